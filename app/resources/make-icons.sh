#!/usr/bin/env bash
# Draws the application icons. Run by hand after changing the drawing; the .ico
# files are committed, so building never needs ImageMagick or icoutils.
#   app_large.ico: 16, 24, 32, 48 and 256 pixels, what Explorer picks from for
#                  its views; the 256 one PNG-compressed, as Windows expects.
#   app_small.ico: 16 and 24, for the title bar and the taskbar at 100% and 150%.
# Every size is drawn from the one drawing below, not scaled from another
# image, so the small ones stay sharp and all stay in step. Both groups carry
# the same 16 and 24 images. Running it again gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A sheet of paper with a folded corner and a magnifying glass over it, in a
# 32-unit square scaled to SIZE. Strokes scale too but keep at least one pixel;
# below 32 pixels the sheet carries two text lines instead of three.
draw() {
    local size=$1 out=$2 lines
    stroke() { awk -v w="$1" -v s="$size" 'BEGIN { w = w * s / 32; if (w < 1) w = 1; printf "%.3f", w * 32 / s }'; }
    lines=(-draw 'line 8,12 20,12' -draw 'line 8,16 16,16' -draw 'line 8,20 14,20')
    [ "$size" -lt 32 ] && lines=(-draw 'line 8,11 20,11' -draw 'line 8,16 15,16')
    convert -size "${size}x$size" xc:none \
        -affine "$(awk -v s="$size" 'BEGIN { printf "%g,0,0,%g,0,0", s / 32, s / 32 }')" \
        -fill '#fdfdfd' -stroke '#2a4f8f' -strokewidth "$(stroke 1.5)" \
        -draw 'polygon 5,2 19,2 25,8 25,29 5,29' \
        -fill '#c9d8f0' -draw 'polygon 19,2 19,8 25,8' \
        -stroke '#7f93b8' -strokewidth "$(stroke 1)" "${lines[@]}" \
        -fill '#ffd24acc' -stroke '#1e3a6e' -strokewidth "$(stroke 2.5)" -draw 'circle 19,19 25,19' \
        -stroke '#1e3a6e' -strokewidth "$(stroke 4)" -draw 'line 23,24 29,30' \
        -depth 8 -type TrueColorAlpha -strip "PNG32:$out"
}
for size in 16 24 32 48 256; do
    draw "$size" "$tmp/$size.png"
done

# icotool stores the small ones as 32-bit bitmaps and, with --raw, the 256 one
# as the PNG itself.
icotool -c -o app_large.ico "$tmp/16.png" "$tmp/24.png" "$tmp/32.png" "$tmp/48.png" --raw="$tmp/256.png"
icotool -c -o app_small.ico "$tmp/16.png" "$tmp/24.png"
