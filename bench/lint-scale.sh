#!/usr/bin/env bash
# Lint time against the number of types: a signature file of N distinct types
# (random 4-byte patterns, a few sharing their first bytes), linted once for
# each N. Near-linear growth is the aim: 5x the types should cost about 5x.
#
#   bench/lint-scale.sh [CLI] [N...]     (default: build/native/cli/kindsniffer-cli 40000 200000)
set -euo pipefail
cli=${1:-build/native/cli/kindsniffer-cli}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(40000 200000)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for n in "${sizes[@]}"; do
    python3 - "$n" > "$dir/set.xml" <<'PY'
import random, sys
n = int(sys.argv[1])
rng = random.Random(7)
print('<?xml version="1.0"?>\n<dat>\n<types>')
for i in range(n):
    lead = "50 4B" if i % 10 == 0 else "%02X %02X" % (rng.randrange(256), rng.randrange(256))
    print("<type><magic>%s %02X %02X</magic><magic>-2: %02X ??</magic><title>T%d</title><ext>.t%d</ext></type>"
          % (lead, rng.randrange(256), rng.randrange(256), rng.randrange(256), i, i))
print('</types>\n</dat>')
PY
    start=$(date +%s.%N)
    "$cli" --lint "$dir/set.xml" > /dev/null 2>&1 || true
    end=$(date +%s.%N)
    printf '%7d types  %6.2f s\n' "$n" "$(echo "$end - $start" | bc)"
done
