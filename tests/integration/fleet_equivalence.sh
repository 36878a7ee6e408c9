#!/usr/bin/env bash
# fleet-equivalence: the fleet forecast and real stand-in machines agree.
#
#   fleet_equivalence.sh BIN_DIR WORK_DIR [--trace FILE | --self-check-only]
#
# Publishes a tree of signed packages of korin-test-installer and serves it
# with the test update server. First a self-check of this harness: one
# machine replayed from a trace written here by hand. Then `korin-fleet
# forecast --trace` on a small always-on fleet over that tree (or the given
# trace, made over WORK_DIR/tree), and each traced machine replayed for real:
# a fresh stand-in machine with the trace's players, random seed and clock;
# `-install` (its task's start minute must be the trace's); for each run the
# clock set to the run's time and the hourly task started, until the service
# has stopped; each installed version written at its time (the test installer
# records its start and changes nothing). The server's requests of each
# machine must be the trace's, in order; the first difference is printed.
set -euo pipefail

bin=${1:?usage: fleet_equivalence.sh BIN_DIR WORK_DIR [--trace FILE | --self-check-only]}
work=${2:?usage: fleet_equivalence.sh BIN_DIR WORK_DIR [--trace FILE | --self-check-only]}
mode=${3:-forecast}
given_trace=${4:-}
top=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "$bin" && pwd)
mkdir -p "$work"
work=$(cd "$work" && pwd)

task="Vemra Korin Player Updater"
epoch_seconds=11644473600 # from 1601-01-01 to 1970-01-01

fail() {
    echo "fleet-equivalence: FAILED: $*" >&2
    exit 1
}

# FILETIME <-> the clock's text.
filetime() { echo $((($(date -u -d "$1" +%s) + epoch_seconds) * 10000000)); }
clock_text() {
    local seconds=$(($1 / 10000000 - epoch_seconds)) fraction=$(($1 % 10000000))
    local text
    text=$(date -u -d "@$seconds" +%Y-%m-%dT%H:%M:%S)
    if [ "$fraction" -ne 0 ]; then text+=$(printf '.%07d' "$fraction"); fi
    echo "${text}Z"
}

# The published tree: every kind of request (current-major and version
# manifests, a patch manifest, patch and full packages), daily checks.
rm -rf "$work/tree" "$work/machines" "$work/certs"
cat >"$work/offer.txt" <<'OFFER'
major 32
majorBeta 33
loudVer 32.0.0.465
loudVerBeta 33.0.0.12
checkFrequency 1
offer ActiveX release 32.0.0.465 31.0.0.0
offer Plugin release 32.0.0.465
offer Pepper release 32.0.0.465
offer Pepper beta 33.0.0.12
patch Plugin release 31 p31to32 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
OFFER
printf 'patch' | cat "$bin/korin-test-installer" - >"$work/patch-installer"
"$bin/korin-publish" "$work/offer.txt" "$work/tree" --installer "$bin/korin-test-installer" \
    --patch-installer "$work/patch-installer" >"$work/publish.log" 2>&1 ||
    fail "korin-publish: $(cat "$work/publish.log")"
"$top/tools/update_server/make_test_certificates.sh" "$work/certs"

requests="$work/requests.log"
rm -f "$requests" "$work/ready"
"$bin/korin-update-server" --root "$work/tree" --cert "$work/certs/server.pem" \
    --key "$work/certs/server.key" --address auto --ready-file "$work/ready" \
    --request-log "$requests" 2>"$work/server.log" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 200); do [ -s "$work/ready" ] && break; sleep 0.05; done
[ -s "$work/ready" ] || fail "the test update server did not start: $(cat "$work/server.log")"
address=$(cat "$work/ready")
touch "$requests"

player_type() {
    case "$1" in
        ActiveX | Plugin | Pepper) ;;
        *) fail "the trace names a player type '$1' (ActiveX, Plugin or Pepper)" ;;
    esac
}

# How many service runs the log shows ended (1620, written once the service
# has reported stopped).
services_ended() {
    if [ -f "$1" ]; then tr -d '\0' <"$1" | grep -c '\] 1620' || true; else echo 0; fi
}

# Replays machine $2 of trace $1 on a fresh stand-in machine; fails at the
# first difference from the trace.
replay() {
    local trace=$1 i=$2
    local m="$work/machines/$i"
    local machine_line
    machine_line=$(awk -v i="$i" '$1 == "machine" && $2 == i' "$trace")
    [ -n "$machine_line" ] || fail "the trace has no machine $i"
    local seed start_minute players
    seed=$(awk '{for (f = 3; f < NF; f++) if ($f == "seed") print $(f + 1)}' <<<"$machine_line")
    start_minute=$(awk '{for (f = 3; f < NF; f++) if ($f == "start-minute") print $(f + 1)}' \
        <<<"$machine_line")
    players=$(awk '{for (f = 3; f < NF; f++) if ($f == "installed") print $(f + 1)}' \
        <<<"$machine_line")
    [ -n "$seed" ] && [ -n "$start_minute" ] || fail "malformed machine line: $machine_line"
    # The machine's events in time order; the trace's order where times tie.
    local events="$m.events"
    mkdir -p "$work/machines"
    awk -v i="$i" '($1 == "run" || $1 == "installed") && $2 == i {print $3, NR, $0}' "$trace" |
        sort -k1,1n -k2,2n | cut -d' ' -f3- >"$events"
    awk -v i="$i" '$1 == "request" && $2 == i {print $3, $4}' "$trace" >"$m.expected"
    local first
    first=$(awk '{print $3; exit}' "$events")
    [ -n "$first" ] || first=$(filetime 2026-01-01T00:00:00Z)

    export KORIN_MACHINE_ROOT="$m"
    rm -rf "$m"
    local machine="$bin/korin-machine"
    "$machine" init >/dev/null
    "$machine" hosts add localhost "$address"
    "$machine" trust add "$work/certs/ca.pem"
    local player
    for player in ${players//,/ }; do
        player_type "${player%%=*}"
        "$machine" reg add "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayer${player%%=*}" /v Version \
            /d "${player#*=}" /f /reg:32 >/dev/null
    done
    local system32="$m/drive_c/Windows/System32" korin="$m/drive_c/Windows/SysWOW64/Tervalon/Korin"
    mkdir -p "$korin" "$m/drive_c/Program Files/Korin"
    printf 'SilentAutoUpdateEnable=1\r\nSilentAutoUpdateVerboseLogging=1\r\nSilentAutoUpdateServerDomain=localhost\r\n' \
        >"$korin/zvs.cfg"
    local program="$m/drive_c/Program Files/Korin/KorinPlayerUpdateService.exe"
    cp "$bin/korin-update-service" "$program"
    "$machine" random seed "$seed"
    "$machine" clock set "$(clock_text "$first")"
    (cd "$system32" && "$program" -install) || fail "machine $i: -install exited $?"
    local boundary
    boundary=$("$machine" schtasks /query /tn "$task" /xml | sed -n 's:.*<StartBoundary>\(.*\)</StartBoundary>.*:\1:p')
    [ "$((10#${boundary:14:2}))" = "$start_minute" ] ||
        fail "machine $i (seed $seed): the task starts at minute ${boundary:14:2} ($boundary), the trace says $start_minute"

    local log="$korin/KorinInstall32.log"
    : >"$m.got"
    local kind at time type version ended asked state
    while read -r kind _ time type version; do
        if [ "$kind" = installed ]; then
            player_type "$type"
            "$machine" reg add "HKLM\\SOFTWARE\\Tervalonix\\KorinPlayer$type" /v Version \
                /d "$version" /f /reg:32 >/dev/null
            continue
        fi
        "$machine" clock set "$(clock_text "$time")"
        ended=$(services_ended "$log")
        asked=$(wc -l <"$requests")
        "$machine" schtasks /run /tn "$task" >/dev/null
        for at in $(seq 1200); do
            if [ "$(services_ended "$log")" -gt "$ended" ]; then
                state=$("$machine" sc query VemraKorinPlayerUpdateSvc | awk '/STATE/ {print $4}')
                [ "$state" = STOPPED ] && break
            fi
            sleep 0.025
        done
        [ "$at" -lt 1200 ] || fail "machine $i: the service run at $(clock_text "$time") did not end within 30 s (log: $log)"
        tail -n +$((asked + 1)) "$requests" | sed "s/^/$time /" >>"$m.got"
    done <"$events"

    local expected got
    expected=$(wc -l <"$m.expected")
    got=$(wc -l <"$m.got")
    local n=1
    while [ "$n" -le "$expected" ] || [ "$n" -le "$got" ]; do
        local want have
        want=$(sed -n "${n}p" "$m.expected")
        have=$(sed -n "${n}p" "$m.got")
        if [ "${want#* }" != "${have#* }" ]; then
            echo "machine $i (seed $seed): request $n of $expected in the trace, $got made:" >&2
            [ -n "$want" ] && echo "  trace:   ${want#* } (at $(clock_text "${want%% *}"))" >&2 ||
                echo "  trace:   nothing more" >&2
            [ -n "$have" ] && echo "  machine: ${have#* } (in the run at $(clock_text "${have%% *}"))" >&2 ||
                echo "  machine: nothing more" >&2
            echo "  (the machine's log: KORIN_MACHINE_ROOT=$m $bin/korin-log)" >&2
            fail "machine $i does not make the requests its trace says"
        fi
        n=$((n + 1))
    done
    echo "machine $i: start minute $start_minute, $(grep -c '^run ' "$events") runs, $got requests as traced"
}

# The self-check: seed 1 draws minute 47; Plugin 31.0.0.100 without player
# files reads the patch manifest but takes the full package; the installed
# version changes before the second run, which finds nothing to update and
# records the check; the third is not due.
self_check() {
    local t0 trace="$work/self-check.trace"
    local sau=/pub/korinplayer/update/current/sau
    t0=$(filetime 2026-03-02T08:47:00Z)
    {
        echo "machine 0 seed 1 clock-offset 0 start-minute 47 installed Plugin=31.0.0.100"
        echo "run 0 $t0"
        for target in $sau/currentmajor.xml $sau/31/xml/version.xml $sau/31/xml/patch.xml \
            $sau/31/install/install_all_win_pl_sgn.z; do
            echo "request 0 $t0 $target"
        done
        echo "installed 0 $((t0 + 600 * 10000000)) Plugin 32.0.0.465"
        echo "run 0 $((t0 + 3600 * 10000000))"
        for target in $sau/currentmajor.xml $sau/32.0.0.465/xml/version.xml; do
            echo "request 0 $((t0 + 3600 * 10000000)) $target"
        done
        echo "run 0 $((t0 + 7200 * 10000000))"
    } >"$trace"
    replay "$trace" 0
    echo "self-check passed"
}

self_check
case "$mode" in
    --self-check-only) exit 0 ;;
    --trace)
        [ -f "$given_trace" ] || fail "no trace file '$given_trace'"
        trace=$given_trace
        ;;
    forecast)
        [ -x "$bin/korin-fleet" ] ||
            fail "korin-fleet is not built ($bin/korin-fleet): the forecast lives in tools/fleet/"
        cat >"$work/fleet.txt" <<'FLEET'
# Six always-on machines, three days, every launch succeeds and the player
# changes 90 minutes later, so that a machine launches twice before it is
# current; clocks up to half an hour off.
seed 20260302
start 2026-03-02T08:00Z
on always 1
installed Plugin 31.0.0.100 0.5
installed ActiveX 31.0.0.0 0.3
installed Pepper 32.0.0.1 0.4
installer-failure 0
install-delay-minutes 90
clock-offset-seconds 1800
FLEET
        trace="$work/trace.txt"
        "$bin/korin-fleet" forecast --machines 6 --days 3 --out "$work/forecast" \
            --fleet "$work/fleet.txt" --offer "$work/tree" --trace "$trace" --threads 1 \
            >"$work/forecast.log" 2>&1 || fail "korin-fleet forecast: $(cat "$work/forecast.log")"
        ;;
    *) fail "unknown option '$mode'" ;;
esac
machines=$(awk '$1 == "machine" {print $2}' "$trace")
[ -n "$machines" ] || fail "the trace $trace names no machine"
for i in $machines; do
    replay "$trace" "$i"
done
echo "fleet-equivalence: passed: $(wc -w <<<"$machines") machines make the requests of their trace"
