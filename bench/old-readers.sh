#!/usr/bin/env bash
# Whether an older kindsniffer-cli reads a set that carries elements it does
# not know exactly as before: its --json, --explain and --mismatch output over
# a corpus with the set, next to the same set with those elements taken out.
# Each is cut out of its line and the line kept, so that the line numbers
# --explain prints stay the same.
#
#   bench/old-readers.sh OLD_CLI [SIGNATURES] [CORPUS] [ELEMENT...]
#
# OLD_CLI is an older release's console program, e.g. 0.3.0's (0.2.0 is
# 9f89f8d, 0.1.0 77bdd04):
#   git worktree add --detach /tmp/v030 d7f4e95 && (cd /tmp/v030 && cmake --preset native &&
#       cmake --build build/native --target kindsniffer-cli)
# CORPUS is a folder of files (default: the one the tests generate); ELEMENT
# names the elements to cut (default: mime).
set -euo pipefail
cd "$(dirname "$0")/.."

old=${1:?usage: bench/old-readers.sh OLD_CLI [SIGNATURES] [CORPUS] [ELEMENT...]}
signatures=${2:-data/Kindsniffer.xml}
corpus=${3:-build/native/tests/corpus}
shift $(( $# < 3 ? $# : 3 ))
elements=("$@")
[ ${#elements[@]} -gt 0 ] || elements=(mime)

work=build/bench/old-readers
mkdir -p "$work"
cp "$signatures" "$work/with.xml"
cp "$signatures" "$work/without.xml"
for element in "${elements[@]}"; do
    # <mime>image/png</mime> and an empty <general/> alike.
    sed -i -E "s#[ \t]*<$element>[^<]*</$element>##g; s#[ \t]*<$element/>##g" "$work/without.xml"
done
if cmp -s "$work/with.xml" "$work/without.xml"; then
    echo "the set holds no ${elements[*]} element: nothing to compare" >&2
    exit 2
fi

status=0
for mode in --json --explain --mismatch; do
    refused=0
    for set in with without; do
        # A file that cannot be read exits 1 alike with both sets; the output is what is compared.
        # Exit status 2 is a refusal (an option the release does not have, or a set it cannot open).
        code=0
        "$old" --signatures "$work/$set.xml" $mode -r "$corpus" > "$work/$set$mode.out" 2>&1 || code=$?
        [ "$code" != 2 ] || refused=1
    done
    if [ "$refused" = 1 ]; then
        echo "$mode: refused: $(head -1 "$work/with$mode.out")"
        continue
    fi
    lines=$(wc -l < "$work/with$mode.out")
    if cmp -s "$work/with$mode.out" "$work/without$mode.out"; then
        echo "$mode: identical ($lines lines)"
    else
        echo "$mode: DIFFERENT"
        diff "$work/with$mode.out" "$work/without$mode.out" | head -20
        status=1
    fi
done
exit $status
