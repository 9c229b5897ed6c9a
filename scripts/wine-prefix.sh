#!/usr/bin/env bash
# Prepares a Wine prefix for running our Windows programs and tests, and keeps
# a persistent wineserver for it so that each test does not pay for start-up.
#
#   wine-prefix.sh PREFIX [null|x11]   create and configure PREFIX if needed,
#                                      and start its server if none runs
#   wine-prefix.sh PREFIX --stop       stop its server and every Wine process in it
#
# The null graphics driver lets dialogs be created with no X server at all;
# x11 is for real windows under Xvfb.
#
# Every step that can fail says which one did: this runs inside CTest's test
# discovery, where a bare non-zero status is all anyone would otherwise see.
set -euo pipefail

# Wine refuses a relative prefix and would quietly fall back to another one.
prefix=$(realpath -m "$1")
mode=${2:-null}
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

stop_server() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}

if [ "$mode" = --stop ]; then
    stop_server
    exit 0
fi

mkdir -p "$(dirname "$prefix")"
log="$prefix.log"

# Runs a Wine command with its chatter kept in the log, and shows the log when
# the command fails.
quietly() {
    if ! "$@" </dev/null >>"$log" 2>&1; then
        echo "wine-prefix.sh: '$*' failed for $prefix; its output:" >&2
        sed 's/^/    /' "$log" >&2
        return 1
    fi
}

create_prefix() {
    stop_server
    rm -rf "$prefix"
    : >"$log"
    # wineboot's own status says little (it fails on harmless steps); the
    # registry it leaves behind says whether the prefix exists.
    wineboot -i </dev/null >>"$log" 2>&1 || true
    wineserver -w
    if [ ! -f "$prefix/system.reg" ]; then
        echo "wine-prefix.sh: wineboot left no registry in $prefix; its output:" >&2
        sed 's/^/    /' "$log" >&2
        return 1
    fi
    # A crash must end the process, not start an interactive debugger.
    quietly wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f || return 1
    if [ "$mode" = null ]; then
        quietly wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f || return 1
    fi
    wineserver -w
    touch "$prefix/.kindsniffer-ready"
}

exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.kindsniffer-ready" ]; then
    # A first start has been seen to fail once in CI, where it could not be
    # looked into; one more try from nothing costs a few seconds.
    create_prefix || { echo "wine-prefix.sh: trying once more" >&2; create_prefix; }
fi
exec 9>&-  # what starts below outlives this script and must not hold the lock

# A server that outlives each test, detached from the caller's pipes: a test
# runner waits for every process that holds its output open. wineserver -p
# exits with 2 when a server for this prefix already runs.
if setsid wineserver -p </dev/null >/dev/null 2>&1; then
    # Starting Wine's own services now keeps them out of the first test's
    # time. Whether they came up is for the tests to show, not for this
    # warm-up to decide.
    setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true
fi
exit 0
