#!/usr/bin/env bash
# The main job: builds the console program and examines the sample files
# (named with the wrong extensions on purpose) against the shipped signature set.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
    scripts/setup.sh
fi

cmake --preset native >/dev/null
cmake --build --preset native --target kindsniffer-cli >/dev/null
build/native/cli/kindsniffer-cli data/samples/*

# With a display, the Windows dialog too: built by the windows preset and
# opened under Wine on a sample file. Close it with Enter or Escape.
if [ -n "${DISPLAY:-}" ]; then
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target Kindsniffer >/dev/null
    prefix=$PWD/build/windows/wineprefix-x11
    scripts/wine-prefix.sh "$prefix" x11
    WINEPREFIX=$prefix WINEDEBUG=-all LANG=ja_JP.UTF-8 wine build/windows/app/Kindsniffer.exe data/samples/holiday-photo.txt
fi
