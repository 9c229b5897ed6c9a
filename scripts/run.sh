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
