#!/usr/bin/env bash
# A batch of many small files: kindsniffer-cli with the shipped signature set
# against `file --extension` on the very same files, printed as a ratio.
#
#   bench/batch.sh [CLI] [COUNT] [SIGNATURES]
set -euo pipefail
cd "$(dirname "$0")/.."

cli=${1:-build/native/cli/kindsniffer-cli}
count=${2:-10000}
signatures=${3:-data/Kindsniffer.xml}
work=build/bench/batch
corpus=build/bench/corpus

if [ ! -x "$cli" ]; then
    cmake --preset native >/dev/null && cmake --build --preset native --target kindsniffer-cli >/dev/null
fi
[ -f "$corpus/manifest.json" ] || python3 tests/corpus/make_corpus.py "$corpus" >/dev/null 2>&1

# Copies of the corpus's small files, round robin, until there are $count.
if [ "$(find "$work" -type f 2>/dev/null | wc -l)" -ne "$count" ]; then
    rm -rf "$work"
    python3 - "$corpus" "$work" "$count" <<'PY'
import os, shutil, sys
corpus, work, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
small = sorted(os.path.join(corpus, n) for n in os.listdir(corpus)
               if n != "manifest.json" and os.path.getsize(os.path.join(corpus, n)) < 65536)
for i in range(count):
    folder = os.path.join(work, str(i // 1000))
    os.makedirs(folder, exist_ok=True)
    src = small[i % len(small)]
    shutil.copyfile(src, os.path.join(folder, f"{i}-{os.path.basename(src)}"))
PY
fi
find "$work" -type f | sort > "$work.list"

best() {  # best wall time of 3 runs, in seconds
    local best=999
    for _ in 1 2 3; do
        local start end
        start=$(date +%s.%N)
        "$@" >/dev/null 2>&1 || true
        end=$(date +%s.%N)
        best=$(echo "$end - $start" | bc -l | awk -v b="$best" '{ print ($1 < b) ? $1 : b }')
    done
    echo "$best"
}

xargs -a "$work.list" cat >/dev/null  # warm the page cache for both
# file has no recursion: a list through xargs is how a batch reaches it.
# kindsniffer-cli is timed both ways: on the same list, and walking the folder.
theirs=$(best xargs -a "$work.list" file --extension)
ours_list=$(best xargs -a "$work.list" "$cli" --signatures "$signatures" --json)
ours_walk=$(best "$cli" --signatures "$signatures" --json -r "$work")

printf 'files: %s small files (%s distinct kinds from the corpus)\n' "$count" "$(find "$corpus" -type f -size -64k ! -name manifest.json | wc -l)"
printf 'file --extension (xargs)      %.3f s\n' "$theirs"
printf 'kindsniffer-cli (xargs)       %.3f s   %.1fx faster\n' "$ours_list" "$(echo "$theirs / $ours_list" | bc -l)"
printf 'kindsniffer-cli -r FOLDER     %.3f s   %.1fx faster\n' "$ours_walk" "$(echo "$theirs / $ours_walk" | bc -l)"
