#!/usr/bin/env bash
# The Wine runner of the windows test layer.
#   wine_env.sh init            make the 64-bit prefix (once; again when it was
#                               made while 32-bit code could not run)
#   wine_env.sh run EXE [ARGS]  run a Windows program; its exit status
#   wine_env.sh code EXE [ARGS] run it through cmd and print its full exit code
#   wine_env.sh prefix          print the prefix's folder
#   wine_env.sh route32         how this machine runs 32-bit x86 code: "native",
#                               "emulated", or "none: " and the reason
#   wine_env.sh probe32 EXE     does this machine run the 32-bit product? exit
#                               0 when it does, else 1 and the reason on stdout
#   wine_env.sh serve WORK HOST-BIN-DIR INSTALLER
#                               publish in WORK/tree the tests' offer
#                               (32.0.0.465 of every type, INSTALLER its
#                               packages), make the test authority
#                               (WORK/certs/ca.pem and ca.der) and serve the
#                               tree with the test server on 127.0.0.1:443 (and
#                               8443, plain HTTP on 8080) in the background
#                               (pid in WORK/server.pid, each request's target
#                               in WORK/requests.log)
#   wine_env.sh stop            end every process of the prefix
#   wine_env.sh adopt PID       the calling script owns the background process
#                               PID: it is ended once the script is gone
#   wine_env.sh run-served WORK TESTS-EXE [ARGS]
#                               run the Windows tests against what serve
#                               serves: the tree, the authority and the request
#                               log named to them, the server's mirror name in
#                               a hosts file of the run's own (Wine resolves
#                               with the Linux resolver, not the prefix's hosts
#                               file), bound over /etc/hosts in a private mount
#                               namespace, so the machine's is never touched
# The 64-bit build of the same sources always runs under wine64. The 32-bit
# product needs wine32 and a machine that executes i386 code: natively, or
# (the kernels here have no i386 support) through qemu's user-mode emulator,
# registered as the i386 handler in a private user and mount namespace of
# each Wine call, so nothing on the machine changes. In that case every Wine
# call runs in such a namespace, since a 32-bit program may be started by
# any Wine process (the service manager, cmd). Servers are started outside
# it: a user namespace may not bind port 443. A missing Wine is a failure,
# never a skip.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
self="$here/$(basename "$0")"
export WINEPREFIX=${KORIN_WINE_PREFIX:-$here/../../build/wine-prefix}
# KORIN_WINEDEBUG=+secur32 (say) shows what Wine traces, silent otherwise.
export WINEARCH=win64 WINEDEBUG=${KORIN_WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wine32=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
qemu=/usr/bin/qemu-i386-static
if [ ! -x "$wine" ]; then
    echo "wine_env.sh: $wine is missing: install wine64 (make deps)" >&2
    exit 1
fi

# Inside the namespace: i386 ELF programs (executables and shared objects'
# e_type 2 and 3, machine 3) go to qemu; "F" opens the emulator now, so it is
# found whatever the program's mount view. Wine needs its guest address space
# reserved: qemu 7.2 ignores MAP_FIXED_NOREPLACE, and without the reservation
# Wine cannot map its shared user data (c0000018). Wine's TLS (gnutls) runs
# its portable code, not the AES-NI and SSSE3 paths the emulator translates:
# one CI run failed every 32-bit handshake (WinHTTP 12157) that the 64-bit
# build, on the same server, completed.
if [ "${1:-}" = __in-i386-namespace ]; then
    shift
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    echo ":korin-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:$qemu:F" \
        >/proc/sys/fs/binfmt_misc/register
    export QEMU_RESERVED_VA=0xffff0000 GNUTLS_CPUID_OVERRIDE=0x1
    exec "$@"
fi
in_i386_namespace() { unshare --user --map-root-user --mount -- "$self" __in-i386-namespace "$@"; }

probe_route32() {
    if [ ! -x "$wine32" ]; then
        echo "none: wine32 is not installed ($wine32 is missing)"
    elif "$wine32" --version >/dev/null 2>&1; then
        echo native
    elif [ ! -x "$qemu" ]; then
        echo "none: this machine does not execute i386 code and qemu-user-static is not installed ($qemu is missing)"
    elif ! command -v unshare >/dev/null; then
        echo "none: this machine does not execute i386 code and unshare is missing"
    else
        local out
        if out=$(in_i386_namespace "$wine32" --version 2>&1); then
            echo emulated
        else
            echo "none: this machine does not execute i386 code and the emulator route failed: $(head -n 1 <<<"$out")"
        fi
    fi
}
# Probed once per test run: nested calls inherit the answer.
if [ -z "${KORIN_WINE_ROUTE32:-}" ]; then
    KORIN_WINE_ROUTE32=$(probe_route32)
    export KORIN_WINE_ROUTE32
fi
wine() {
    if [ "$KORIN_WINE_ROUTE32" != emulated ]; then
        "$wine" "$@"
        return
    fi
    # A process the emulator ends is reported to Wine as exiting with 0: only
    # the emulator's message on standard error tells, so it fails the call.
    # Standard error goes to a file, not a pipe: the Wine processes a call
    # starts (wineserver, services.exe) inherit it and outlive the call.
    local errors status=0
    errors=$(mktemp)
    in_i386_namespace "$wine" "$@" 2>"$errors" || status=$?
    cat "$errors" >&2
    if grep -q '^qemu: uncaught target signal' "$errors"; then
        echo "wine_env.sh: the emulator ended a 32-bit process: $(grep -m1 '^qemu:' "$errors")" >&2
        status=139
    fi
    rm -f "$errors"
    return "$status"
}

windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }

# Background processes a test script starts (the test server, a waiting
# program) are written down with the script that owns them; a script ctest
# killed on its timeout runs no clean-up, so each new serve or adopt ends
# those whose owner is gone, before they hold port 443 against the next test.
orphans="$WINEPREFIX.children"
started() { [ -r "/proc/$1/stat" ] && awk '{ print $22 }' "/proc/$1/stat"; }
reap_orphans() {
    [ -f "$orphans" ] || return 0
    local pid since owner owner_since kept=
    while read -r pid since owner owner_since; do
        if [ "$(started "$owner" || true)" = "$owner_since" ]; then
            kept+="$pid $since $owner $owner_since"$'\n'
        elif [ "$(started "$pid" || true)" = "$since" ]; then
            kill -- -"$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
        fi
    done <"$orphans"
    printf '%s' "$kept" >"$orphans"
}
adopt() { echo "$1 $(started "$1") $PPID $(started "$PPID")" >>"$orphans"; }

case "${1:-}" in
init)
    # A prefix made while 32-bit code could not run has no 32-bit system
    # (kernel32 then fails with c0000135): made again where it can now.
    if [ -f "$WINEPREFIX/system.reg" ] && [ "${KORIN_WINE_ROUTE32%%:*}" != none ] &&
        [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
        "$wineserver" -k 2>/dev/null || true
        rm -rf "$WINEPREFIX"
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wine wineboot --init >/dev/null 2>&1
        "$wineserver" -w
    fi
    # The manager waits this long for a started service to connect: a 32-bit
    # one takes about a minute to start under the emulator.
    wine reg add 'HKLM\System\CurrentControlSet\Control' /v ServicesPipeTimeout \
        /t REG_DWORD /d 300000 /f >/dev/null 2>&1
    "$wineserver" -w
    test -f "$WINEPREFIX/system.reg"
    ;;
run)
    shift
    exe=$1
    shift
    wine "$exe" "$@"
    ;;
code)
    shift
    exe=$(windows_path "$1")
    shift
    # wine passes on only 8 bits of the exit code; cmd prints all of it.
    # A process the emulator ended has no exit code to print.
    out=$(wine cmd /c "$exe $* & echo %ERRORLEVEL%" 2>/dev/null) || [ $? -ne 139 ] || {
        echo "ended by the emulator"
        exit 1
    }
    tr -d '\r' <<<"$out" | tail -n 1
    ;;
prefix)
    printf '%s\n' "$WINEPREFIX"
    ;;
route32)
    printf '%s\n' "$KORIN_WINE_ROUTE32"
    ;;
probe32)
    # A PE32 program started without wine32 "exits 0" without running, so
    # only an exit code the program itself chose counts: -isSAUEnabled
    # answers 1001 when the settings file enables silent auto-update.
    exe=$2
    if [ "${KORIN_WINE_ROUTE32%%:*}" = none ]; then
        echo "${KORIN_WINE_ROUTE32#none: }"
        exit 1
    fi
    # Whatever is there was left by a run killed before its clean-up.
    tervalon="$WINEPREFIX/drive_c/windows/syswow64/Tervalon"
    rm -rf "$tervalon"
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
    reap_orphans
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
        [ -s "$work/ready" ] && adopt "$(cat "$work/server.pid")" && break
        grep -q 'cannot listen' "$work/server.log" || break
        sleep 2
    done
    if [ ! -s "$work/ready" ]; then
        echo "wine_env.sh: the test server did not come up:" >&2
        cat "$work/server.log" >&2
        exit 1
    fi
    ;;
stop)
    "$wineserver" -k 2>/dev/null || true
    ;;
adopt)
    reap_orphans
    adopt "$2"
    ;;
run-served)
    work=$2
    shift 2
    { cat /etc/hosts; printf '127.0.0.1 mirror.korinplayer.example\n'; } >"$work/hosts"
    namespace=(unshare --mount)
    [ "$(id -u)" = 0 ] || namespace=(unshare --user --map-root-user --mount)
    KORIN_TEST_TREE=$(windows_path "$work/tree") \
        KORIN_TEST_AUTHORITY=$(windows_path "$work/certs/ca.der") \
        KORIN_TEST_REQUEST_LOG=$(windows_path "$work/requests.log") \
        "${namespace[@]}" sh -c 'mount --bind "$1" /etc/hosts && shift && exec "$@"' sh \
        "$work/hosts" "$self" run "$@"
    ;;
*)
    echo "usage: wine_env.sh init | run EXE [ARGS] | code EXE [ARGS] | prefix | route32 |" \
        "probe32 EXE | serve WORK HOST-BIN-DIR INSTALLER | stop | adopt PID | run-served WORK TESTS-EXE [ARGS]" >&2
    exit 2
    ;;
esac
