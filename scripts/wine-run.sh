#!/bin/bash
# Runs a Windows program under Wine in the build's private prefix:
#   wine-run.sh PREFIX PROGRAM [ARGS...]
# TAVOMIR_WINEPREFIX overrides PREFIX. The prefix is initialised once and
# one persistent wineserver serves every process of the run.
set -eu
default_prefix=$1; shift
export WINEPREFIX="${TAVOMIR_WINEPREFIX:-$default_prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$WINEPREFIX")"
{
    flock 9
    if [ ! -f "$WINEPREFIX/.tavomir-ready" ]; then
        /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
        wineserver -w 9>&-
        touch "$WINEPREFIX/.tavomir-ready"
    fi
    # Start the server and the prefix's services detached from our output:
    # they outlive this process and would hold the caller's pipes and our lock open.
    wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
    /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 9>&- || true
} 9>"$WINEPREFIX.lock"
case "$(file -b "$1")" in
    PE32+*) loader=/usr/lib/wine/wine64 ;;
    *)      loader=/usr/lib/wine/wine ;;
esac
exec "$loader" "$@"
