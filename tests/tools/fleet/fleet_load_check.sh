#!/usr/bin/env bash
# korin-fleet load over a tiny published tree: a two-second run reports a
# nonzero rate, no errors and the hosts for a forecast; a mix the host
# refuses, a target outside the tree and an interrupted run fail clearly, and
# nginx is gone after every run. A missing nginx or wrk fails: never a skip.
# Usage: fleet_load_check.sh KORIN_FLEET KORIN_PUBLISH
set -euo pipefail
fleet=$(realpath "$1")
publish=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cd "$work"
printf '%s\n' "major 32" "majorBeta 33" "loudVer 32.0.0.465" \
    "offer Plugin release 32.0.0.465" >offer.txt
head -c 200000 /dev/urandom >installer.exe
"$publish" offer.txt tree --installer installer.exe >publish.log 2>&1 ||
    { cat publish.log >&2; exit 1; }
sau=/pub/korinplayer/update/current/sau
echo hidden >"tree$sau/.signing" # the host answers 404 for it
printf '%s\n' "# peak minute" "600 $sau/currentmajor.xml" "450 $sau/31/xml/version.xml" \
    "300 $sau/31/xml/patch.xml" "4 $sau/31/install/install_all_win_pl_sgn.z" >peak.txt
printf '%s\n' "100 $sau/currentmajor.xml" "1 $sau/.signing" >refused.txt
printf '%s\n' "100 $sau/currentmajor.xml" "1 $sau/30/xml/version.xml" >outside.txt
mkdir forecast
printf '%s\n' "machines 100000" "days 14" "peak-requests-per-second 2000" \
    "peak-bytes-per-second 1000000" >forecast/summary.txt

# Every run's own files go below tmp/: after it, no process names them and
# none is left.
mkdir tmp
export TMPDIR=$work/tmp
host_gone() {
    ! pgrep -af "$TMPDIR/" >&2 || fail "$1: still running"
    [ -z "$(ls -A "$TMPDIR")" ] || fail "$1: left $(ls -A "$TMPDIR")"
}

# name | mix | exit code | lines the output must hold (extended regexes, ';' between)
cases=(
    "clean run|peak.txt|0|^requests-per-second [1-9][0-9]*$;^errors 0$;^requests-per-second-per-core [1-9][0-9]*$;^hosts [1-9][0-9]*$;^cdn-megabits-per-second 16.0$"
    "refused target|refused.txt|1|^korin-fleet load: errors under load: [1-9][0-9]* answers of 400 or above"
    "target outside the tree|outside.txt|2|^korin-fleet load: $sau/30/xml/version.xml is not a file in tree$"
)
for row in "${cases[@]}"; do
    IFS='|' read -r name mix expected patterns <<<"$row"
    code=0
    timeout 60 "$fleet" load --tree tree --mix "$mix" --seconds 2 --forecast forecast \
        >out.txt 2>&1 || code=$?
    [ "$code" = "$expected" ] || fail "$name: exit $code, not $expected: $(cat out.txt)"
    IFS=';' read -ra lines <<<"$patterns"
    for pattern in "${lines[@]}"; do
        grep -Eq "$pattern" out.txt || fail "$name: no line /$pattern/ in: $(cat out.txt)"
    done
    host_gone "$name"
done

# Interrupted mid-run: it says so and leaves nothing running.
"$fleet" load --tree tree --mix peak.txt --seconds 30 >out.txt 2>&1 &
pid=$!
sleep 4
kill -INT "$pid"
code=0
wait "$pid" || code=$?
[ "$code" = 1 ] && grep -q "^korin-fleet load: interrupted" out.txt ||
    fail "interrupted: exit $code: $(cat out.txt)"
host_gone interrupted

[ "$failures" = 0 ] || exit 1
echo "korin-fleet load: all checks passed"
