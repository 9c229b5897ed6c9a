#!/usr/bin/env bash
# Takes docs/screenshot.png: Kindsniffer.exe under Wine on a private Xvfb
# display, inside a Wine desktop window so that the caption and icon show,
# with a sample file given on the command line so that a detected type shows.
# Needs the windows preset built (it builds Kindsniffer.exe if not).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

cmake --preset windows >/dev/null
cmake --build --preset windows --target Kindsniffer >/dev/null

display=${SCREENSHOT_DISPLAY:-:95}
prefix=$root/build/windows/wineprefix-x11
work=$(mktemp -d)
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
    scripts/wine-prefix.sh "$prefix" --stop
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
sleep 1

export DISPLAY=$display WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8
unset LC_ALL
scripts/wine-prefix.sh "$prefix" x11

cp build/windows/app/Kindsniffer.exe data/Kindsniffer.xml "$work/"
cp data/samples/holiday-photo.txt "$work/"
(cd "$work" && exec wine explorer /desktop=Kindsniffer,300x110 Kindsniffer.exe holiday-photo.txt \
    </dev/null >/dev/null 2>&1) &
app=$!

desktop=
for _ in $(seq 200); do
    desktop=$(xdotool search --onlyvisible --name 'Wine desktop' 2>/dev/null | head -1) || true
    [ -n "$desktop" ] && xdotool search --onlyvisible --name '^Kindsniffer$' >/dev/null 2>&1 && break
    sleep 0.1
done
[ -n "$desktop" ] || { echo "screenshot: no Wine desktop window appeared" >&2; exit 1; }
sleep 2  # let the dialog finish painting
import -window "$desktop" "$work/desktop.png"
# The dialog is centred on the desktop; trim the empty desktop around it.
convert "$work/desktop.png" -trim +repage -bordercolor white -border 8 docs/screenshot.png
kill "$app" 2>/dev/null || true
echo "screenshot: docs/screenshot.png"
