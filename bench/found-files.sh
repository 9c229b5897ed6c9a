#!/usr/bin/env bash
# Found files: how often kindsniffer-cli, `file --extension` and the npm package file-type offer the true
# extension of real files taken from Debian packages (see bench/found_files.py for how they are chosen).
#
#   bench/found-files.sh [--cache DIR] [--cli PATH] [--signatures FILE] [--regather]
#
# The packages, their unpacked trees and the chosen files live in the cache folder (several hundred MB):
# --cache, else $FOUND_FILES_CACHE, else build/found-files. It is gathered once and reused; --regather picks the
# files anew. The packages are split into the set the signature set was studied against and a new set
# (bench/found-files-packages.txt); each is scored on its own. The tables go to stdout; the files outside the text
# category that kindsniffer-cli does not name first go to CACHE/misses-kindsniffer.tsv, and every tool's answer
# for every file to CACHE/answers.tsv.
set -euo pipefail
cd "$(dirname "$0")/.."

cache=${FOUND_FILES_CACHE:-build/found-files}
cli=build/native/cli/kindsniffer-cli
signatures=data/Kindsniffer.xml
regather=0
while [ $# -gt 0 ]; do
    case $1 in
        --cache) cache=$2; shift 2 ;;
        --cli) cli=$2; shift 2 ;;
        --signatures) signatures=$2; shift 2 ;;
        --regather) regather=1; shift ;;
        *) echo "usage: $0 [--cache DIR] [--cli PATH] [--signatures FILE] [--regather]" >&2; exit 2 ;;
    esac
done

# Everything it runs comes from Debian's packages, which scripts/setup.sh installs (Node.js and npm with --bench).
missing=()
for tool in apt-get dpkg-deb file python3 node npm cmake; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
        scripts/setup.sh --bench >/dev/null
    else
        echo "found-files.sh: ${missing[*]} missing; run scripts/setup.sh --bench as root" >&2
        exit 2
    fi
fi
if [ ! -x "$cli" ]; then
    cmake --preset native >/dev/null && nice -n 10 cmake --build --preset native --target kindsniffer-cli >/dev/null
fi
node_dir=build/bench-node
if [ ! -f "$node_dir/node_modules/file-type/package.json" ]; then
    # The newest major version of file-type that this Node.js supports (Debian 12's is 18).
    node_major=$(node -p 'process.versions.node.split(".")[0]')
    if [ "$node_major" -ge 22 ]; then major=22; elif [ "$node_major" -ge 20 ]; then major=21; else major=20; fi
    mkdir -p "$node_dir"
    (cd "$node_dir" && npm install --no-audit --no-fund --silent "file-type@$major" >/dev/null)
fi
# file-type is an ES module: the script must sit beside node_modules to import it by name.
cp bench/file-type-ext.mjs "$node_dir/"
file_type_version=$(node -p "require('./$node_dir/node_modules/file-type/package.json').version")

if [ "$regather" = 1 ] || [ ! -f "$cache/READY" ]; then
    rm -f "$cache/READY"
    python3 bench/found_files.py gather "$cache"
fi
python3 bench/found_files.py score "$cache" --cli "$cli" --signatures "$signatures" \
    --file-type-script "$node_dir/file-type-ext.mjs" --file-type-version "$file_type_version" \
    --misses "$cache/misses-kindsniffer.tsv" --answers "$cache/answers.tsv"
