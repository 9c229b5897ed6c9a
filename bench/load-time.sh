#!/usr/bin/env bash
# How long kindsniffer-cli takes to load a signature set: a run on a one-byte
# file with the set, next to the same run with a set of one type, interleaved;
# the difference is the load (and the parse of every pattern).
#
#   bench/load-time.sh [CLI] [SIGNATURES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."

cli=${1:-build/native/cli/kindsniffer-cli}
signatures=${2:-data/Kindsniffer.xml}
runs=${3:-40}

if [ ! -x "$cli" ]; then
    cmake --preset native >/dev/null && cmake --build --preset native --target kindsniffer-cli >/dev/null
fi
work=build/bench/load-time
mkdir -p "$work"
printf 'x' > "$work/one-byte"
printf '<?xml version="1.0"?>\n<dat><types>\n<type><magic>00</magic><title>T</title></type>\n</types></dat>\n' \
    > "$work/one-type.xml"

python3 - "$cli" "$signatures" "$work" "$runs" <<'PY'
import resource, statistics, subprocess, sys, time
cli, signatures, work, runs = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

def once(sig):
    """Wall time and processor time (user + system) of one run, in ms."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([cli, "--signatures", sig, f"{work}/one-byte"], stdout=subprocess.DEVNULL, check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime
    return wall * 1000, cpu * 1000

full, bare = [], []
for _ in range(runs):  # interleaved, so that a busy moment falls on both
    full.append(once(signatures))
    bare.append(once(f"{work}/one-type.xml"))
types = open(signatures, "rb").read().count(b"<type>")
print(f"signature set: {signatures} ({types} types), {runs} runs each")
print("                        wall median   wall best   processor median")
for name, rows in (("run with the set", full), ("run with one type", bare)):
    wall, cpu = [r[0] for r in rows], [r[1] for r in rows]
    print(f"{name:22}  {statistics.median(wall):8.2f} ms  {min(wall):8.2f} ms  {statistics.median(cpu):8.2f} ms")
med = lambda rows, i: statistics.median(r[i] for r in rows)
print(f"{'loading the set':22}  {med(full, 0) - med(bare, 0):8.2f} ms  "
      f"{min(r[0] for r in full) - min(r[0] for r in bare):8.2f} ms  {med(full, 1) - med(bare, 1):8.2f} ms")
PY
