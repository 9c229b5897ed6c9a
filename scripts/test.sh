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

# A private X display for the tests that open real windows: the first number
# no other X server holds, so that two test runs on one machine do not share one.
display_number=97
while [ -e "/tmp/.X$display_number-lock" ]; do display_number=$((display_number + 1)); done
display=:$display_number
if command -v Xvfb >/dev/null; then
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export KINDSNIFFER_TEST_DISPLAY=$display
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

# Each fuzz target for a bounded time; a finding fails the run.
echo "== fuzz"
seconds=${KINDSNIFFER_FUZZ_SECONDS:-45}
for target in signatures magic lint text zip compound inflate pointer; do
    case $target in
        zip | compound | inflate | pointer) limit=$((seconds < 30 ? seconds : 30)) ;;
        *) limit=$seconds ;;
    esac
    FUZZ_OUT=build/fuzz/ci scripts/fuzz.sh "$target" "$limit" || status=1
done
echo "tests: $((total - failed)) passed, $failed failed"
exit $status
