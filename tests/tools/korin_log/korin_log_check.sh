#!/usr/bin/env bash
# korin-log as an administrator runs it: the demo's log against the text it
# must print, and hostile logs (100 MB, random bytes, cut inside a character)
# ending in bounded time and memory with a clear message.
# Usage: korin_log_check.sh KORIN_LOG
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
korin_log=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Runs korin-log with at most 64 MiB of address space and 60 s; prints its exit code.
bounded() {
    local code=0
    (ulimit -v 65536 && timeout 60 "$korin_log" "$@") >"$work/out" 2>"$work/err" || code=$?
    echo "$code"
}

# The demo's log: every entry in plain words, one summary per run.
code=$(bounded "$here/demo.log")
[ "$code" = 0 ] || fail "the demo's log: exit $code: $(cat "$work/err")"
diff -u "$here/demo.expected" "$work/out" >&2 || fail "the demo's log is not shown as expected"

# The last run only, and the errors only.
code=$(bounded --runs 1 "$here/demo.log")
[ "$code" = 0 ] && diff -u <(tail -n 2 "$here/demo.expected") "$work/out" >&2 ||
    fail "--runs 1 does not show the last run alone"
code=$(bounded --level error --no-system-text "$here/demo.log")
grep -q '^2026-12-09 19:34:14.391 \[error\] 1226: .*; system error 1062$' "$work/out" &&
    [ "$(grep -c '\[info\]' "$work/out")" = 0 ] || fail "--level error shows: $(cat "$work/out")"

# Cut inside a character: read up to the last whole line, then says where.
size=$(stat -c %s "$here/demo.log")
head -c $((size - 1)) "$here/demo.log" >"$work/cut.log"
code=$(bounded "$work/cut.log")
[ "$code" = 1 ] && tail -n 1 "$work/out" | grep -q '^-- stopped: line 27 (byte .*) is cut inside a character' ||
    fail "a log cut inside a character: exit $code, last line '$(tail -n 1 "$work/out")'"

# 100 MB of runs (1608, 1612, 1620 each): streamed, and --runs 1 keeps only the last.
printf '2026-1-5+9-7-3.4 [info] 1608\r\n2026-1-5+9-7-3.5 [info] 1612\r\n2026-1-5+9-7-3.6 [info] 1620\r\n' |
    iconv -f UTF-8 -t UTF-16LE >"$work/big.log"
while [ "$(stat -c %s "$work/big.log")" -lt 100000000 ]; do
    cat "$work/big.log" "$work/big.log" >"$work/bigger.log"
    mv "$work/bigger.log" "$work/big.log"
done
code=$(bounded --runs 1 "$work/big.log")
[ "$code" = 0 ] && [ "$(wc -l <"$work/out")" = 4 ] &&
    tail -n 1 "$work/out" | grep -q 'outcome: not due' ||
    fail "a 100 MB log with --runs 1: exit $code, $(wc -l <"$work/out") lines, $(cat "$work/err")"
code=$(bounded --code 1999 "$work/big.log")
[ "$code" = 0 ] && [ ! -s "$work/out" ] || fail "a 100 MB log with --code 1999: exit $code"

# 100 MB of random bytes: stops at once and says where.
head -c 100000000 /dev/urandom >"$work/random.log"
code=$(bounded "$work/random.log")
[ "$code" = 1 ] && tail -n 1 "$work/out" | grep -q '^-- stopped: line 1 (byte 0)' ||
    fail "random bytes: exit $code, last line '$(tail -n 1 "$work/out")' $(cat "$work/err")"

# Without a file: the log where the 32-bit service writes it on a stand-in
# machine, SysWOW64 on a 64-bit one, System32 on a 32-bit one.
machine_tool="$(dirname "$korin_log")/korin-machine"
for bits in 64 32; do
    export KORIN_MACHINE_ROOT="$work/machine$bits"
    if [ "$bits" = 32 ]; then "$machine_tool" init --32-bit; else "$machine_tool" init; fi >/dev/null
    folder=$([ "$bits" = 32 ] && echo System32 || echo SysWOW64)
    mkdir -p "$KORIN_MACHINE_ROOT/drive_c/Windows/$folder/Tervalon/Korin"
    cp "$here/demo.log" "$KORIN_MACHINE_ROOT/drive_c/Windows/$folder/Tervalon/Korin/KorinInstall32.log"
    code=$(bounded)
    [ "$code" = 0 ] && diff -q "$here/demo.expected" "$work/out" >/dev/null ||
        fail "the log of a $bits-bit machine: exit $code, $(cat "$work/err")"
    unset KORIN_MACHINE_ROOT
done

# No log to read is a usage error, not an empty listing.
code=$(KORIN_MACHINE_ROOT= bounded)
[ "$code" = 2 ] && grep -q 'KORIN_MACHINE_ROOT' "$work/err" || fail "no machine: exit $code"

[ "$failures" = 0 ] || exit 1
echo "korin-log: all checks passed"
