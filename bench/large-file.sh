#!/usr/bin/env bash
# Worst case for one detection run: a large file against a signature set whose
# eight search patterns all miss, so the whole file is scanned. Each figure is
# a ratio to `cat FILE > /dev/null` on the same file, the two commands run
# alternately, best of several runs each:
#   - 1 GiB of random bytes, as the system schedules it (two cores when free);
#   - the same with both commands pinned to one core (taskset -c 0);
#   - 256 MiB of zeros (the patterns hold runs of zeros);
#   - peak resident memory of the 1 GiB run.
#
#   bench/large-file.sh [CLI] [SIZE_MIB] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v bc >/dev/null || [ ! -x /usr/bin/time ]; then
    echo "$(basename "$0"): bc and /usr/bin/time are missing; run scripts/setup.sh --bench as root" >&2
    exit 2
fi

cli=${1:-build/native/cli/kindsniffer-cli}
size_mib=${2:-1024}
runs=${3:-7}
work=build/bench
mkdir -p "$work"
data="$work/random-${size_mib}M.bin"
zeros="$work/zeros-$((size_mib / 4))M.bin"
sig="$work/searches.xml"

if [ ! -x "$cli" ]; then
    cmake --preset native >/dev/null && cmake --build --preset native --target kindsniffer-cli >/dev/null
fi
if [ ! -f "$data" ] || [ "$(stat -c %s "$data")" -ne $((size_mib * 1048576)) ]; then
    head -c "$((size_mib * 1048576))" /dev/urandom > "$data"
fi
if [ ! -f "$zeros" ] || [ "$(stat -c %s "$zeros")" -ne $((size_mib / 4 * 1048576)) ]; then
    head -c "$((size_mib / 4 * 1048576))" /dev/zero > "$zeros"
fi

# Six-byte and longer patterns: the chance that random data holds one is negligible.
cat > "$sig" <<'XML'
<dat><types>
<type><magic>25 50 44 46</magic><title>PDF</title></type>
<type><magic>?: 25 25 45 4F 46 0A</magic><title>Ends like a PDF</title></type>
<type><magic>?: 00 00 00 00 FF FF</magic><title>Zero run</title></type>
<type><magic>?: 50 4B 05 06 00 00</magic><title>Zip directory end</title></type>
<type><magic>?: 3C 3F 78 6D 6C 20</magic><title>XML declaration</title></type>
<type><magic>?: 89 50 4E 47 0D 0A</magic><title>Embedded PNG</title></type>
<type><magic>?: 42 82 84 77 65 62 6D</magic><title>WebM header</title></type>
<type><magic>?: 57 00 6F 00 72 00 64 00</magic><title>UTF-16 Word</title></type>
<type><magic>?: 00 00 01 BA 44 00</magic><title>MPEG pack</title></type>
</types></dat>
XML

# Wall and processor seconds of one run, "wall cpu". Processor time (user plus
# system) hardly moves when other work holds the cores; wall time does.
# (/usr/bin/time counts processor time in hundredths of a second.)
seconds() {
    local out start end
    out=$(mktemp)
    start=$(date +%s.%N)
    /usr/bin/time -f '%U %S' -o "$out" "$@" >/dev/null
    end=$(date +%s.%N)
    awk -v wall="$(echo "$end - $start" | bc -l)" '{ printf "%s %.2f\n", wall, $1 + $2 }' "$out"
    rm -f "$out"
}

# Best wall and processor times of each of two commands, run alternately so
# that both meet the same load; prints "wall_a wall_b cpu_a cpu_b".
paired() {
    local file=$1 pin=$2 wa=999 wb=999 ca=999 cb=999 a b
    cat "$file" > /dev/null
    for _ in $(seq "$runs"); do
        read -r -a a <<<"$(seconds $pin cat "$file")"
        read -r -a b <<<"$(seconds $pin "$cli" --signatures "$sig" "$file")"
        wa=$(echo "if (${a[0]} < $wa) ${a[0]} else $wa" | bc -l)
        wb=$(echo "if (${b[0]} < $wb) ${b[0]} else $wb" | bc -l)
        ca=$(echo "if (${a[1]} < $ca) ${a[1]} else $ca" | bc -l)
        cb=$(echo "if (${b[1]} < $cb) ${b[1]} else $cb" | bc -l)
    done
    echo "$wa $wb $ca $cb"
}

row() {  # label, file, pin prefix
    local t
    read -r -a t <<<"$(paired "$2" "$3")"
    printf '%-34s %7.3f s %7.3f s %6.2fx   %6.3f s %6.3f s %6.2fx\n' "$1" "${t[0]}" "${t[1]}" \
        "$(echo "${t[1]} / ${t[0]}" | bc -l)" "${t[2]}" "${t[3]}" "$(echo "${t[3]} / ${t[2]}" | bc -l)"
}

"$cli" --signatures "$sig" --json "$data" | grep -q '"undetermined"'
"$cli" --signatures "$sig" --json "$zeros" | grep -q '"undetermined"'

printf 'load before: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-34s %9s %9s %7s   %8s %8s %7s\n' "case" "cat wall" "ours" "ratio" "cat cpu" "ours" "ratio"
row "${size_mib} MiB random, 8 searches" "$data" ""
row "${size_mib} MiB random, one core" "$data" "taskset -c 0"
row "$((size_mib / 4)) MiB zeros, 8 searches" "$zeros" ""
rss=$(/usr/bin/time -f '%M' "$cli" --signatures "$sig" "$data" 2>&1 >/dev/null | tail -1)
printf 'peak resident memory, %s MiB file: %s KiB\n' "$size_mib" "$rss"
printf 'load after: %s\n' "$(cut -d' ' -f1-3 /proc/loadavg)"
