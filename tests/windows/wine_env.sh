#!/usr/bin/env bash
# The Wine runner of the windows test layer.
#   wine_env.sh init            make the 64-bit prefix (once)
#   wine_env.sh run EXE [ARGS]  run a Windows program; its exit status
#   wine_env.sh code EXE [ARGS] run it through cmd and print its full exit code
#   wine_env.sh prefix          print the prefix's folder
#   wine_env.sh probe32 EXE     does this machine run the 32-bit product? exit
#                               0 when it does, else 1 and the reason on stdout
#   wine_env.sh serve WORK HOST-BIN-DIR INSTALLER
#                               publish in WORK/tree the tests' offer
#                               (32.0.0.465 of every type, INSTALLER its
#                               packages), make the test authority
#                               (WORK/certs/ca.pem and ca.der) and serve the
#                               tree with the test server on 127.0.0.1:443 (and
#                               8443, plain HTTP on 8080) in the background (pid in WORK/server.pid, each
#                               request's target in WORK/requests.log)
# The 64-bit build of the same sources always runs under wine64; the 32-bit
# product runs only where wine32 is installed and the machine executes 32-bit
# code. A missing Wine is a failure, never a skip.
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
probe32)
    # A PE32 program started without wine32 "exits 0" without running, so
    # only an exit code the program itself chose counts: -isSAUEnabled
    # answers 1001 when the settings file enables silent auto-update.
    exe=$2
    if [ ! -x /usr/lib/wine/wine ]; then
        echo "wine32 is not installed (/usr/lib/wine/wine is missing)"
        exit 1
    fi
    tervalon="$WINEPREFIX/drive_c/windows/syswow64/Tervalon"
    if [ -e "$tervalon" ]; then
        echo "$tervalon exists already; the probe would disturb it"
        exit 1
    fi
    mkdir -p "$tervalon/Korin"
    printf 'SilentAutoUpdateEnable=1\r\n' >"$tervalon/Korin/zvs.cfg"
    got=$("$0" code "$exe" -isSAUEnabled) || true
    rm -rf "$tervalon"
    if [ "$got" != 1001 ]; then
        echo "the 32-bit product did not run under Wine (exit code '$got', expected 1001)"
        exit 1
    fi
    ;;
serve)
    work=$2
    bin=$3
    cat >"$work/offer.txt" <<'OFFER'
major 32
majorBeta 33
loudVer 32.0.0.465
loudVerBeta 33.0.0.12
checkFrequency 2
offer ActiveX release 32.0.0.465
offer Plugin release 32.0.0.465
offer Pepper release 32.0.0.465
OFFER
    "$bin/korin-publish" "$work/offer.txt" "$work/tree" --installer "$4" >/dev/null
    "$here/../../tools/update_server/make_test_certificates.sh" "$work/certs"
    openssl x509 -in "$work/certs/ca.pem" -outform DER -out "$work/certs/ca.der"
    : >"$work/requests.log"
    # The port is the machine's: another run's server may hold it a while.
    for _ in $(seq 60); do
        "$bin/korin-update-server" --root "$work/tree" --cert "$work/certs/server.pem" \
            --key "$work/certs/server.key" --address 127.0.0.1 --port 443 \
            --second-port 8443 --http-port 8080 \
            --ready-file "$work/ready" --request-log "$work/requests.log" 2>"$work/server.log" &
        echo $! >"$work/server.pid"
        for _ in $(seq 200); do
            [ -s "$work/ready" ] && break
            kill -0 "$(cat "$work/server.pid")" 2>/dev/null || break
            sleep 0.05
        done
        [ -s "$work/ready" ] && break
        grep -q 'cannot listen' "$work/server.log" || break
        sleep 2
    done
    if [ ! -s "$work/ready" ]; then
        echo "wine_env.sh: the test server did not come up:" >&2
        cat "$work/server.log" >&2
        exit 1
    fi
    ;;
*)
    echo "usage: wine_env.sh init | run EXE [ARGS] | code EXE [ARGS] | prefix | probe32 EXE |" \
        "serve WORK HOST-BIN-DIR INSTALLER" >&2
    exit 2
    ;;
esac
