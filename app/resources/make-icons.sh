#!/usr/bin/env bash
# Draws the application icons. Run once by hand; the .ico files are committed,
# so building never needs ImageMagick. Both groups hold 32x32 images at 32 bits
# per pixel: app_large.ico two (the plain drawing and one on a light tile),
# app_small.ico one, which the system scales down to 16x16.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A sheet of paper with a folded corner and a magnifying glass over it.
draw() {
    convert -size 32x32 xc:"$1" \
        -fill '#fdfdfd' -stroke '#2a4f8f' -strokewidth 1.5 \
        -draw 'polygon 5,2 19,2 25,8 25,29 5,29' \
        -fill '#c9d8f0' -draw 'polygon 19,2 19,8 25,8' \
        -stroke '#7f93b8' -strokewidth 1 \
        -draw 'line 8,12 20,12' -draw 'line 8,16 16,16' -draw 'line 8,20 14,20' \
        -fill '#ffd24acc' -stroke '#1e3a6e' -strokewidth 2.5 -draw 'circle 19,19 25,19' \
        -stroke '#1e3a6e' -strokewidth 4 -draw 'line 23,24 29,30' \
        -depth 8 -type TrueColorAlpha "PNG32:$2"
}
draw none "$tmp/plain.png"
draw '#e8eef8' "$tmp/tile.png"

convert "$tmp/plain.png" "$tmp/tile.png" app_large.ico
convert "$tmp/plain.png" app_small.ico
