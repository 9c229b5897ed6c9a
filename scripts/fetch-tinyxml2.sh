#!/usr/bin/env bash
# Unpacks Debian's tinyxml2 source into .deps/tinyxml2 for the MinGW build.
# The source is fetched, never committed.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
dest="$here/.deps/tinyxml2"
[ -f "$dest/tinyxml2.cpp" ] && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source --download-only -qq tinyxml2 >/dev/null)
orig=$(ls "$work"/tinyxml2_*.orig.tar.* | head -n 1)
mkdir -p "$dest"
tar -xf "$orig" -C "$dest" --strip-components=1
test -f "$dest/tinyxml2.cpp"
