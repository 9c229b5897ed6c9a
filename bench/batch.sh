#!/usr/bin/env bash
# A batch of many small files: kindsniffer-cli with the shipped signature set
# against `file --extension` on the very same files, printed as a ratio, with
# the page cache warm and then emptied before every run (as root).
#
#   bench/batch.sh [CLI] [COUNT] [SIGNATURES]
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v bc >/dev/null || [ ! -x /usr/bin/time ]; then
    echo "$(basename "$0"): bc and /usr/bin/time are missing; run scripts/setup.sh --bench as root" >&2
    exit 2
fi

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

seconds() {  # wall time of one run
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}

drop_caches() {  # as root; elsewhere the cold figures are warm ones
    sync
    echo 3 > /proc/sys/vm/drop_caches 2>/dev/null || cold_ok=no
}
cold_ok=yes

# Best time of each command, the commands run alternately so that both meet
# the same load; with "cold", the page cache is emptied before every run.
compare() {
    local mode=$1 runs=$2
    shift 2
    local -a best=()
    for _ in $(seq "$runs"); do
        local i=0
        for command in "$@"; do
            [ "$mode" = cold ] && drop_caches
            local t
            t=$(eval "seconds $command")
            if [ -z "${best[$i]:-}" ] || [ "$(echo "$t < ${best[$i]}" | bc -l)" = 1 ]; then best[$i]=$t; fi
            i=$((i + 1))
        done
    done
    echo "${best[@]}"
}

theirs='xargs -a "$work.list" file --extension'
ours_list='xargs -a "$work.list" "$cli" --signatures "$signatures" --json'
ours_walk='"$cli" --signatures "$signatures" --json -r "$work"'
ours_one='env KINDSNIFFER_WORKERS=1 "$cli" --signatures "$signatures" --json -r "$work"'

printf 'files: %s small files (%s distinct kinds from the corpus)\n' "$count" \
    "$(find "$corpus" -type f -size -64k ! -name manifest.json | wc -l)"
printf 'load before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
for mode in warm cold; do
    [ "$mode" = warm ] && xargs -a "$work.list" cat >/dev/null
    read -r -a t <<<"$(compare "$mode" 3 "$theirs" "$ours_list" "$ours_walk" "$ours_one")"
    [ "$mode" = cold ] && [ "$cold_ok" = no ] && echo "(cannot empty the page cache: not root)"
    printf '%s cache\n' "$mode"
    printf '  file --extension (xargs)        %7.3f s\n' "${t[0]}"
    printf '  kindsniffer-cli (xargs)         %7.3f s  %5.1fx faster\n' "${t[1]}" "$(echo "${t[0]} / ${t[1]}" | bc -l)"
    printf '  kindsniffer-cli -r FOLDER       %7.3f s  %5.1fx faster\n' "${t[2]}" "$(echo "${t[0]} / ${t[2]}" | bc -l)"
    printf '  the same, one worker            %7.3f s  %5.1fx faster\n' "${t[3]}" "$(echo "${t[0]} / ${t[3]}" | bc -l)"
done
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
