#!/usr/bin/env bash
# The Wine runner of the windows test layer.
#   wine_env.sh init            make the 64-bit prefix (once)
#   wine_env.sh run EXE [ARGS]  run a Windows program; its exit status
#   wine_env.sh code EXE [ARGS] run it through cmd and print its full exit code
#   wine_env.sh prefix          print the prefix's folder
# This machine cannot execute 32-bit x86 code (not even through WoW64), so
# the tests run the 64-bit build of the same sources under wine64; a missing
# Wine is a failure, never a skip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export WINEPREFIX=${KORIN_WINE_PREFIX:-$here/../../build/wine-prefix}
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
if [ ! -x "$wine" ]; then
    echo "wine_env.sh: $wine is missing: install wine64 (make deps)" >&2
    exit 1
fi

windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }

case "${1:-}" in
init)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        "$wine" wineboot --init >/dev/null 2>&1
        "$wineserver" -w
    fi
    test -f "$WINEPREFIX/system.reg"
    ;;
run)
    shift
    exe=$1
    shift
    "$wine" "$exe" "$@"
    ;;
code)
    shift
    exe=$(windows_path "$1")
    shift
    # wine passes on only 8 bits of the exit code; cmd prints all of it.
    "$wine" cmd /c "$exe $* & echo %ERRORLEVEL%" 2>/dev/null | tr -d '\r' | tail -n 1
    ;;
prefix)
    printf '%s\n' "$WINEPREFIX"
    ;;
*)
    echo "usage: wine_env.sh init | run EXE [ARGS] | code EXE [ARGS] | prefix" >&2
    exit 2
    ;;
esac
