#!/usr/bin/env bash
# Builds the fuzz preset and runs its libFuzzer targets.
#
#   scripts/fuzz.sh [TARGET] [SECONDS]
#
# TARGET is signatures, magic, lint, text, encoding (the text tests), languages
# (the weighing of languages), journal
# (what --undo reads), one of the structure readers zip, compound, inflate
# or pointer, or buffer (the library's buffer entry point over the shipped
# set) (default: each in turn); SECONDS is how long each one runs
# (default 60). New inputs go to a working corpus
# under FUZZ_OUT (default build/fuzz/work), seeded from fuzz/corpus/, which is
# only read. A crash, a sanitizer report or a failed check leaves its input
# in FUZZ_OUT/findings/ and makes the script fail. FUZZ_RUNS stops a target
# after that many executions instead; extra libFuzzer flags go in FUZZ_FLAGS.
set -euo pipefail
cd "$(dirname "$0")/.."

all_targets=(signatures magic lint text encoding languages zip compound inflate pointer journal buffer)
targets=("${all_targets[@]}")
if [ $# -ge 1 ] && [ -n "$1" ]; then
    targets=("$1")
fi
seconds=${2:-60}
out=${FUZZ_OUT:-build/fuzz/work}

# Inputs beyond these lengths add little but slow each execution down.
max_len() {
    case $1 in
        signatures | lint) echo 2048 ;;
        # room for a few sectors of a compound file, or a small archive
        zip | compound | buffer) echo 16384 ;;
        inflate) echo 4096 ;;
        # past the 1,024-byte first look that rules most binaries out
        encoding | languages) echo 4096 ;;
        # a few journal lines, odd names included
        journal) echo 4096 ;;
        *) echo 256 ;;
    esac
}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

status=0
for target in "${targets[@]}"; do
    binary=build/fuzz/fuzz/fuzz_$target
    if [ ! -x "$binary" ]; then
        echo "fuzz.sh: no target $target (one of ${all_targets[*]})" >&2
        exit 2
    fi
    mkdir -p "$out/$target" "$out/findings"
    echo "== fuzz_$target for ${seconds}s"
    # -runs=-1 is libFuzzer's "no limit".
    if ! "$binary" -max_total_time="$seconds" -runs="${FUZZ_RUNS:--1}" -max_len="$(max_len "$target")" \
        -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/findings/$target-" ${FUZZ_FLAGS:-} \
        "$out/$target" "fuzz/corpus/$target" 2>"$out/$target.log"; then
        echo "fuzz.sh: fuzz_$target found a fault; see $out/$target.log and $out/findings/" >&2
        tail -n 40 "$out/$target.log" >&2
        status=1
    fi
    grep -E '^stat::number_of_executed_units|^Done' "$out/$target.log" || true
done
exit $status
