#!/usr/bin/env bash
# The real Kindsniffer.exe in a real window under Xvfb, driven with real key
# presses through xdotool:
#   - Enter and Escape close it with exit code 0, whichever control has the focus;
#   - Shift+Enter and Ctrl+Enter do not close it;
#   - Tab does not move the focus;
#   - with no signature file the warning appears with no main window behind
#     it, and the process ends with 0 once the warning is dismissed.
#
#   e2e_keyboard.sh KINDSNIFFER_EXE WINEPREFIX
#
# The display comes from KINDSNIFFER_TEST_DISPLAY (scripts/test.sh starts Xvfb
# and sets it); without it the test is skipped (exit code 77).
set -euo pipefail

exe=$1
prefix=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ -z "${KINDSNIFFER_TEST_DISPLAY:-}" ]; then
    echo "SKIPPED: KINDSNIFFER_TEST_DISPLAY is not set; scripts/test.sh sets it to a private Xvfb display"
    exit 77
fi
export DISPLAY=$KINDSNIFFER_TEST_DISPLAY
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8
unset LC_ALL

"$root/scripts/wine-prefix.sh" "$prefix" x11
work=$(mktemp -d)
cleanup() {
    "$root/scripts/wine-prefix.sh" "$prefix" --stop
    rm -rf "$work"
}
trap cleanup EXIT

cp "$exe" "$work/Kindsniffer.exe"
cat > "$work/Kindsniffer.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<dat><types>
  <type><magic>FF D8 FF</magic><title>Picture</title><ext>.jpg</ext><ext>.jpeg</ext></type>
</types></dat>
XML
mkdir "$work/bare"
cp "$exe" "$work/bare/Kindsniffer.exe"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Starts the program in FOLDER with ARGS; sets pid.
start() {
    local folder=$1
    shift
    (cd "$folder" && exec wine Kindsniffer.exe "$@" </dev/null >/dev/null 2>&1) &
    pid=$!
}

# Prints the visible windows captioned Kindsniffer, waiting up to 20 s for one.
windows() {
    local i
    for i in $(seq 200); do
        if xdotool search --onlyvisible --name '^Kindsniffer$' 2>/dev/null; then
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Waits up to 10 s for the program to end; sets code to its exit code, or to
# "running". Not to be called in a subshell: only this shell can wait for it.
ended() {
    local i
    code=running
    for i in $(seq 100); do
        if ! kill -0 "$pid" 2>/dev/null; then
            code=0
            wait "$pid" || code=$?
            return
        fi
        sleep 0.1
    done
}

stop() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# Clicks a point given in dialog units of the 173 x 45 template, scaled to the
# window's pixel size (the X window is the dialog's client area).
click() {
    local wid=$1 x=$2 y=$3
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    xdotool mousemove --window "$wid" $((x * WIDTH / 173)) $((y * HEIGHT / 45)) click 1
    sleep 0.3
}

# Control centres in dialog units; the list's is in its selection field.
declare -A centre=([title]="86 14" [list]="31 31" [rename]="86 31" [next]="141 31")

echo "== Enter and Escape close the window from every control"
for control in title list rename next; do
    for key in Return Escape; do
        start "$work"
        wid=$(windows | head -1) || { fail "$control/$key: no window"; stop; continue; }
        xdotool windowfocus --sync "$wid"
        # shellcheck disable=SC2086
        click "$wid" ${centre[$control]}
        xdotool key "$key"
        ended
        [ "$code" = 0 ] || fail "$key with the focus on $control: exit $code"
        [ "$code" = running ] && stop
    done
done

echo "== Shift+Enter and Ctrl+Enter do not close it"
start "$work"
wid=$(windows | head -1) || fail "no window"
xdotool windowfocus --sync "$wid"
click "$wid" ${centre[list]}
click "$wid" ${centre[list]}  # the second click closes the drop-down again
for key in shift+Return ctrl+Return shift+Escape ctrl+Escape; do
    xdotool key "$key"
    sleep 0.5
    kill -0 "$pid" 2>/dev/null || fail "$key closed the window"
done
xdotool key Return
ended
[ "$code" = 0 ] || fail "Return after the modified keys: exit $code"
[ "$code" = running ] && stop

echo "== Tab does not move the focus"
# With the focus kept on the list, Down after Tab chooses .jpeg and Rename
# then gives the file that extension; had Tab moved the focus on, Down would
# change nothing and the file would become photo.jpg.
printf '\xFF\xD8\xFF\xE0 picture' > "$work/photo.dat"
start "$work" photo.dat
wid=$(windows | head -1) || fail "no window"
xdotool windowfocus --sync "$wid"
click "$wid" ${centre[list]}
click "$wid" ${centre[list]}
xdotool key Tab
sleep 0.3
xdotool key Down
sleep 0.3
click "$wid" ${centre[rename]}
xdotool key Escape
ended
[ "$code" = 0 ] || fail "Escape after Rename: exit $code"
[ "$code" = running ] && stop
if [ -f "$work/photo.jpeg" ]; then
    echo "photo.dat became photo.jpeg"
else
    fail "Tab moved the focus: $(cd "$work" && ls photo.* | tr '\n' ' ')"
fi

echo "== No signature file: the warning alone, then exit code 0"
start "$work/bare"
mapfile -t shown < <(windows) || true
if [ "${#shown[@]}" -ne 1 ]; then
    fail "expected the warning alone, saw ${#shown[@]} window(s)"
else
    # The main dialog is 173 x 45 dialog units wide and high, the box is not:
    # the one window up must have the box's OK button, which Return presses.
    eval "$(xdotool getwindowgeometry --shell "${shown[0]}")"
    echo "warning box: ${WIDTH}x${HEIGHT}"
    xdotool windowfocus --sync "${shown[0]}"
    xdotool key Return
fi
ended
[ "$code" = 0 ] || fail "after the warning: exit $code"
[ "$code" = running ] && stop
if xdotool search --onlyvisible --name '^Kindsniffer$' >/dev/null 2>&1; then
    fail "a window stayed behind"
fi

if [ "$failures" -gt 0 ]; then
    echo "$failures failure(s)"
    exit 1
fi
echo "all passed"
