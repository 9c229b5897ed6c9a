#!/usr/bin/env bash
# Builds and runs every test: natively, natively under AddressSanitizer and
# UBSan, and the Windows build under Wine; then runs each fuzz target for a
# while (KINDSNIFFER_FUZZ_SECONDS, 45 by default; the structure readers, whose
# inputs are small, 30 at most). Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then
    scripts/setup.sh
fi

export WINEDEBUG=-all
cleanup() {
    [ -d build/windows/wineprefix ] && scripts/wine-prefix.sh build/windows/wineprefix --stop
    if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
    return 0
}
trap cleanup EXIT

# A private X display for the tests that open real windows. Xvfb picks a
# number no other server holds and says which once it listens: a lock file in
# /tmp is no guide, since a run in another root has a /tmp of its own but
# shares the sockets. Without a display the keyboard test skips itself.
if command -v Xvfb >/dev/null; then
    display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    if [ -s "$display_file" ]; then
        export KINDSNIFFER_TEST_DISPLAY=:$(head -n 1 "$display_file")
    else
        echo "test.sh: Xvfb did not start; the keyboard test will skip itself" >&2
    fi
    rm -f "$display_file"
fi

status=0
failed=0
total=0
for preset in native native-asan windows; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = windows ]; then
        # Made here rather than inside the first test's discovery, so that a
        # Wine that cannot start says so plainly in this log.
        scripts/wine-prefix.sh build/windows/wineprefix null || status=1
    fi
    # Under Wine a program has been seen, twice in some ten full runs, to end at
    # once with no output and a failure before any of its code ran; such a test
    # gets one more try. A test that fails for a reason of its own fails twice.
    repeat=()
    [ "$preset" = windows ] && repeat=(--repeat until-pass:2)
    ctest --preset "$preset" -j2 "${repeat[@]}" | tee "build/$preset/ctest.log" || status=1
    counts=$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/\1 \2/p' "build/$preset/ctest.log")
    [ -n "$counts" ] || { counts="0 0"; status=1; }  # CTest itself did not finish
    failed=$((failed + ${counts% *})); total=$((total + ${counts#* }))
done

# The library's promise that one opened set serves many threads at once,
# watched by ThreadSanitizer; the rest of the tree is covered above.
echo "== tsan"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target kindsniffer_library_threads
ctest --preset tsan -R '^library\.threads$' | tee build/tsan/ctest.log || status=1
counts=$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/\1 \2/p' build/tsan/ctest.log)
[ -n "$counts" ] || { counts="0 0"; status=1; }
failed=$((failed + ${counts% *})); total=$((total + ${counts#* }))

# Each fuzz target for a bounded time; a finding fails the run.
echo "== fuzz"
seconds=${KINDSNIFFER_FUZZ_SECONDS:-45}
for target in signatures magic lint text encoding languages zip compound inflate pointer journal buffer; do
    case $target in
        encoding | languages | zip | compound | inflate | pointer | journal | buffer) limit=$((seconds < 30 ? seconds : 30)) ;;
        *) limit=$seconds ;;
    esac
    FUZZ_OUT=build/fuzz/ci scripts/fuzz.sh "$target" "$limit" || status=1
done
echo "tests: $((total - failed)) passed, $failed failed"
exit $status
