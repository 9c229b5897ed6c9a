#!/usr/bin/env bash
# Found files: how often kindsniffer-cli, `file --extension`, the npm package file-type and Magika offer the true
# extension of real files taken from Debian packages (see bench/found_files.py for how they are chosen).
#
#   bench/found-files.sh [--cache DIR] [--cli PATH] [--signatures FILE] [--magika DIR] [--regather]
#                        [--packages LIST] [--per-extension N]
#
# Magika is run from a folder that holds its model and runner (magika-ext.mjs, with its package.json and
# package-lock.json): --magika, else $MAGIKA_PEER, else ../shared/peers/magika beside this tree. The folder is copied
# into build/bench-magika and its one package, onnxruntime-node, installed there from the npm registry; without the
# folder, Magika is left out of the tables.
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
gather_args=()
magika=${MAGIKA_PEER:-../shared/peers/magika}
while [ $# -gt 0 ]; do
    case $1 in
        --magika) magika=$2; shift 2 ;;
        --packages) gather_args+=(--packages "$2"); shift 2 ;;
        --per-extension) gather_args+=(--per-extension "$2"); shift 2 ;;
        --cache) cache=$2; shift 2 ;;
        --cli) cli=$2; shift 2 ;;
        --signatures) signatures=$2; shift 2 ;;
        --regather) regather=1; shift ;;
        *) echo "usage: $0 [--cache DIR] [--cli PATH] [--signatures FILE] [--magika DIR] [--regather]" \
               "[--packages LIST] [--per-extension N]" >&2; exit 2 ;;
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

# Magika is a peer to measure against, never part of Kindsniffer: its model and packages stay in build/.
magika_args=()
magika_dir=build/bench-magika
if [ -f "$magika/magika-ext.mjs" ] && [ -f "$magika/model/model.onnx" ]; then
    if [ ! -f "$magika_dir/node_modules/onnxruntime-node/package.json" ] \
        || ! cmp -s "$magika/package-lock.json" "$magika_dir/package-lock.json"; then
        rm -rf "$magika_dir"
        mkdir -p "$magika_dir"
        (cd "$magika" && tar --exclude=./node_modules -cf - .) | (cd "$magika_dir" && tar -xf -)
        (cd "$magika_dir" && npm ci --ignore-scripts --no-audit --no-fund --silent >/dev/null)
    fi
    cp "$magika/magika-ext.mjs" "$magika_dir/"
    magika_model=$(grep -o -m1 'standard_v[0-9_]*' "$magika/README.md" 2>/dev/null || true)
    magika_args=(--magika-script "$magika_dir/magika-ext.mjs" --magika-version "$magika_model")
else
    echo "found-files.sh: no Magika runner in $magika; its column is left out (--magika DIR)" >&2
fi

if [ "$regather" = 1 ] || [ ! -f "$cache/READY" ]; then
    rm -f "$cache/READY"
    python3 bench/found_files.py gather "$cache" "${gather_args[@]}"
fi
python3 bench/found_files.py score "$cache" --cli "$cli" --signatures "$signatures" \
    --file-type-script "$node_dir/file-type-ext.mjs" --file-type-version "$file_type_version" "${magika_args[@]}" \
    --misses "$cache/misses-kindsniffer.tsv" --answers "$cache/answers.tsv"
