#!/usr/bin/env bash
# The service's whole run under Wine's own Service Control Manager: started
# by the manager, one update cycle against the host's test update server
# (as "localhost", the test authority in the machine's Root store) starts
# the published test installer; then the program started without arguments
# outside the manager asks the manager to start the service, whose cycle
# follows; a stop sent while the cycle waits on the server does not shorten it.
#   service_run_tests.sh PRODUCT-EXE HOST-BIN-DIR
# KORIN_SERVICE_RUN_SHORT=1: the first run only, then -deleteTask (the state
# the cycle left erased) and -uninstall: the 32-bit product's smoke, where
# each process start costs a minute. KORIN_TRUST_EXE: the adapter tests
# that trust the test authority (default: the product's build's).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
bin=$2
bin64=$(dirname "$exe")
runner="$here/wine_env.sh"
prefix=$("$runner" prefix)
windows="$prefix/drive_c/windows"
tervalon="$prefix/drive_c/windows/syswow64/Tervalon"
plugin='HKLM\SOFTWARE\Tervalonix\KorinPlayerPlugin'
state='HKLM\SOFTWARE\Tervalonix\KorinPlayerSAU'
failures=0
passes=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }

work=$(mktemp -d /tmp/korin-wine-service-XXXXXX)
keeper=
cleanup() {
    [ -n "$keeper" ] && kill -- -"$keeper" 2>/dev/null || true
    "$runner" run "$exe" -uninstall >/dev/null 2>&1 || true
    "$runner" run reg delete "$plugin" /f >/dev/null 2>&1 || true
    "$runner" run reg delete "$plugin" /f /reg:32 >/dev/null 2>&1 || true
    "$runner" run reg delete "$state" /f /reg:32 >/dev/null 2>&1 || true
    "$runner" run reg delete "$state" /f /reg:64 >/dev/null 2>&1 || true
    [ -f "$work/server.pid" ] && kill "$(cat "$work/server.pid")" 2>/dev/null || true
    rm -rf "$work" "$tervalon" "$windows/Tervalon"
    rm -f "$windows/installer-record.txt"
}
trap cleanup EXIT

# The tree offers 32.0.0.465 with the test installer as its package; only
# Plugin is installed.
"$runner" serve "$work" "$bin" "$bin64/korin-test-installer.exe" >/dev/null
# The adapter tests' WinHTTP case puts the test authority in the machine's
# Root store, where the service's WinHTTP finds it too.
KORIN_TEST_TREE=$(windows_path "$work/tree") KORIN_TEST_AUTHORITY=$(windows_path "$work/certs/ca.der") \
    "$runner" run "${KORIN_TRUST_EXE:-$bin64/korin-win-tests.exe}" --gtest_brief=1 \
    --gtest_filter=WinHttps.ManifestArrivesExactlyAsServed >"$work/trust.log" 2>&1 || {
    echo "service_run_tests.sh: the test authority was not trusted:" >&2
    cat "$work/trust.log" >&2
    exit 1
}

# Plugin 31.0.0.100 installed, in both registry views; the settings file
# enables silent updates from the test server with verbose logging.
for view in /reg:32 /reg:64; do
    "$runner" run reg add "$plugin" /v Version /t REG_SZ /d 31.0.0.100 /f $view >/dev/null 2>&1
    "$runner" run reg add "$plugin" /v PlayerPath /t REG_SZ /d 'C:\windows\system32\Korin\pl.dll' \
        /f $view >/dev/null 2>&1
done
mkdir -p "$tervalon/Korin" "$windows/Tervalon/Korin"
printf 'SilentAutoUpdateEnable=1\r\nSilentAutoUpdateVerboseLogging=1\r\nSilentAutoUpdateServerDomain=localhost\r\n' \
    >"$tervalon/Korin/zvs.cfg"
# Wine's manager starts services in C:\windows (Windows: in system32); the
# log lies below the working folder, the installer records in it.
log="$windows/Tervalon/Korin/KorinInstall32.log"
record="$windows/installer-record.txt"
log_entries() { [ -f "$log" ] && iconv -f UTF-16LE -t UTF-8 "$log" | tr -d '\r' | sed 's/^[^ ]* //'; }
# Waits (at most 5 min: a 32-bit service starts in about a minute under the
# emulator) for the installer's record and the dispatcher's return.
await_cycle() {
    local until=$((SECONDS + 300))
    while [ "$SECONDS" -lt "$until" ]; do
        [ -s "$record" ] && log_entries | grep -qx '\[info\] 1620' && return 0
        sleep 0.1
    done
    return 1
}
# The entries hold the given lines in this order (others between them).
in_order() {
    local entries=$1
    shift
    awk -v want="$(printf '%s\n' "$@")" 'BEGIN { n = split(want, w, "\n") }
        $0 == w[i + 1] { i++ } END { exit !(i >= n) }' <<<"$entries"
}
expect_record() {
    local first
    first=$(sed -n 1p "$record" 2>/dev/null | tr -d '\r')
    if [ "$first" = "KorinPlayerInstaller.exe -install -iv 9" ]; then
        passes=$((passes + 1))
    else
        fail "$1: the installer recorded '$(cat "$record" 2>/dev/null)'"
    fi
}
await_stopped() {
    local until=$((SECONDS + 300))
    while [ "$SECONDS" -lt "$until" ]; do
        "$runner" run sc query VemraKorinPlayerUpdateSvc 2>/dev/null | grep -q STOPPED && return 0
        sleep 0.1
    done
    fail "the service did not stop after its cycle"
}

# Once only system processes are left, Wine shuts them down, services.exe
# and its services with it; a waiting program keeps the service's cycle alive.
setsid "$runner" run cmd /c "ping -n 3600 127.0.0.1 >NUL" >/dev/null 2>&1 &
keeper=$!
"$runner" adopt "$keeper"

# Registered with the manager and started by it: one whole cycle.
"$runner" run sc delete VemraKorinPlayerUpdateSvc >/dev/null 2>&1 || true
"$runner" run "$exe" -install >/dev/null 2>&1 || fail "-install exited with $?"
rm -f "$log" "$record"
"$runner" run sc start VemraKorinPlayerUpdateSvc >"$work/sc.log" 2>&1 ||
    fail "sc start exited with $?: $(cat "$work/sc.log")"
if ! await_cycle; then
    fail "started by the manager, no cycle ended within 5 min; log: $(log_entries | tr '\n' ' ')"
else
    passes=$((passes + 1))
    in_order "$(log_entries)" '[info] 1618' '[info] 1608' '[info] 1612' '[info] 1620' ||
        fail "the service's entries are out of order: $(log_entries | tr '\n' ' ')"
    expect_record "started by the manager"
fi
await_stopped

# Due again, in the view of either bitness.
reset_last_check() {
    for view in /reg:32 /reg:64; do
        "$runner" run reg add "$state" /v LastUpdateCheck /t REG_QWORD /d 0 /f $view >/dev/null 2>&1
    done
}
uninstall_and_finish() {
    "$runner" run "$exe" -uninstall >/dev/null 2>&1 || fail "-uninstall exited with $?"
    if "$runner" run reg query 'HKLM\System\CurrentControlSet\Services\VemraKorinPlayerUpdateSvc' \
        >/dev/null 2>&1; then
        fail "-uninstall left the service"
    fi
    echo "$passes passed, $failures failed"
    [ "$failures" -eq 0 ]
    exit
}
if [ "${KORIN_SERVICE_RUN_SHORT:-}" = 1 ]; then
    # The state lies in the registry view of the product's bitness.
    in_a_view() {
        "$runner" run reg query "$@" /reg:32 >/dev/null 2>&1 ||
            "$runner" run reg query "$@" /reg:64 >/dev/null 2>&1
    }
    in_a_view "$state" /v UpdateAttempts || fail "the cycle counted no attempt"
    "$runner" run "$exe" -deleteTask >/dev/null 2>&1 || fail "-deleteTask exited with $?"
    ! in_a_view "$state" || fail "-deleteTask left $state"
    uninstall_and_finish
fi

# Without arguments outside the manager: no dispatcher (1063), the start is
# asked of the manager (1604), and the service's cycle follows. The state is
# reset so that the cycle checks again.
reset_last_check
rm -f "$log" "$record"
(cd "$windows" && "$runner" run "$exe") || fail "started without arguments it exited with $?"
if ! await_cycle; then
    fail "started without arguments, no cycle ended within 5 min; log: $(log_entries | tr '\n' ' '); server: $(cat "$work/server.log")"
else
    entries=$(log_entries)
    in_order "$entries" '[info] 1618' '[info] 1619 1063' '[info] 1604' ||
        fail "the program's own entries are not 1618, 1619 1063, 1604: $(tr '\n' ' ' <<<"$entries")"
    # The service's run: its own 1618 after the failed dispatcher, then its cycle.
    in_order "$entries" '[info] 1619 1063' '[info] 1618' '[info] 1608' '[info] 1612' '[info] 1620' ||
        fail "no cycle of the service followed: $(tr '\n' ' ' <<<"$entries")"
    expect_record "started through the manager"
    passes=$((passes + 1))
fi
await_stopped

# A stop while the cycle waits on the server: the handler logs the control
# and reports stop-pending twice (check points 2 and 3) before the manager's
# answer, but nothing shortens the cycle; it ends as it would have, with the
# installer started, and only then is the service stopped. The server holds
# the first manifest until it is released.
held=/pub/korinplayer/update/current/sau/currentmajor.xml
printf '%s hold\n' "$held" >"$work/tree/misbehave"
: >"$work/requests.log"
reset_last_check
rm -f "$log" "$record"
"$runner" run sc start VemraKorinPlayerUpdateSvc >"$work/sc.log" 2>&1 ||
    fail "sc start exited with $?: $(cat "$work/sc.log")"
for _ in $(seq 3000); do
    grep -qxF "$held" "$work/requests.log" && break
    sleep 0.1
done
# STATE, CHECKPOINT and WAIT_HINT of an sc answer, on one line.
status_of() { tr -d '\r' <"$1" | grep -E '^ *(STATE|CHECKPOINT|WAIT_HINT) ' | tr -s ' ' | tr '\n' ';'; }
pending=' STATE : 3 STOP_PENDING; CHECKPOINT : 0x3; WAIT_HINT : 0x0;'
if ! grep -qxF "$held" "$work/requests.log"; then
    fail "the service's cycle never asked for $held; log: $(log_entries | tr '\n' ' ')"
else
    "$runner" run sc stop VemraKorinPlayerUpdateSvc >"$work/stop.log" 2>&1 ||
        fail "sc stop exited with $?: $(cat "$work/stop.log")"
    [ "$(status_of "$work/stop.log")" = "$pending" ] ||
        fail "sc stop answered '$(status_of "$work/stop.log")', expected '$pending'"
    "$runner" run sc query VemraKorinPlayerUpdateSvc >"$work/held.log" 2>&1 || true
    entries=$(log_entries)
    if [ "$(status_of "$work/held.log")" != "$pending" ] || [ -e "$record" ] ||
        grep -qx '\[info\] 1620' <<<"$entries"; then
        fail "while the cycle waits, '$(status_of "$work/held.log")', log: $(tr '\n' ' ' <<<"$entries")"
    else
        passes=$((passes + 1))
    fi
    touch "$work/tree/release"
    if ! await_cycle; then
        fail "stopped while waiting, no cycle ended within 5 min; log: $(log_entries | tr '\n' ' ')"
    else
        in_order "$(log_entries)" '[info] 1618' '[info] 1608' '[info] 1622 1' '[info] 1623' \
            '[info] 1610' '[info] 1612' '[info] 1620' ||
            fail "a stop during the cycle logged: $(log_entries | tr '\n' ' ')"
        expect_record "stopped during the cycle"
    fi
    await_stopped
    "$runner" run sc query VemraKorinPlayerUpdateSvc >"$work/stopped.log" 2>&1 || true
    stopped=' STATE : 1 STOPPED; CHECKPOINT : 0x0; WAIT_HINT : 0x0;'
    [ "$(status_of "$work/stopped.log")" = "$stopped" ] ||
        fail "after the cycle the service is '$(status_of "$work/stopped.log")'"
fi
rm -f "$work/tree/misbehave" "$work/tree/release"
uninstall_and_finish
