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
set -euo pipefail

# Wine refuses a relative prefix and would quietly fall back to another one.
prefix=$(realpath -m "$1")
mode=${2:-null}
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="

if [ "$mode" = --stop ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    exit 0
fi

mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9

if [ ! -f "$prefix/.kindsniffer-ready" ]; then
    rm -rf "$prefix"
    wineboot -i </dev/null >/dev/null 2>&1 || true
    wineserver -w
    if [ ! -f "$prefix/system.reg" ]; then
        echo "wine-prefix.sh: could not create the Wine prefix $prefix" >&2
        exit 1
    fi
    # A crash must end the process, not start an interactive debugger.
    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' /f </dev/null >/dev/null 2>&1
    if [ "$mode" = null ]; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    fi
    wineserver -w
    touch "$prefix/.kindsniffer-ready"
fi
exec 9>&-  # what starts below outlives this script and must not hold the lock

# A server that outlives each test, detached from the caller's pipes: a test
# runner waits for every process that holds its output open. wineserver -p
# exits with 2 when a server for this prefix already runs.
if setsid wineserver -p </dev/null >/dev/null 2>&1; then
    setsid wine cmd /c exit </dev/null >/dev/null 2>&1
fi
