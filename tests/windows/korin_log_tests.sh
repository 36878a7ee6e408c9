#!/usr/bin/env bash
# korin-log for Windows under Wine: the same log prints the same lines as the
# host build (system error texts left out: Wine's FormatMessageW words them
# its own way), names system errors through the system, and finds the log
# where the service writes it. Fails, never skips, when Wine cannot run it.
# Usage: korin_log_tests.sh WIN_KORIN_LOG_EXE HOST_BIN_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
host_log="$2/korin-log"
runner="$here/wine_env.sh"
fixture="$here/../tools/korin_log/demo.log"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
[ -x "$host_log" ] || { echo "FAIL: $host_log is missing (build the host preset)" >&2; exit 1; }
windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }

# Prints the exit code; the output goes to $work/NAME.
on_windows() {
    local name=$1 code=0
    shift
    "$runner" run "$exe" "$@" >"$work/$name" 2>"$work/$name.err" || code=$?
    echo "$code"
}
on_host() {
    local name=$1 code=0
    shift
    "$host_log" "$@" >"$work/$name" 2>"$work/$name.err" || code=$?
    echo "$code"
}

# Logs both builds read: the demo's, one cut inside a character, one with a
# stray mark, a control character and a torn last line.
cp "$fixture" "$work/demo.log"
size=$(stat -c %s "$fixture")
head -c $((size - 1)) "$fixture" >"$work/cut.log"
{
    printf '\xff\xfe'
    printf '2026-1-5+9-7-3.4 [warning] 1474 12029\r\n2026-1-5+9-7-3.5 [info] \x1b[2J \xc3\xa9\r\n' |
        iconv -f UTF-8 -t UTF-16LE
    printf '2026-1-5+9-7-3.6 [error] 1217 -2146869232\r\n2026-1-5+9-7' | iconv -f UTF-8 -t UTF-16LE
} >"$work/hostile.log"
for log in demo cut hostile; do
    for options in "" "--runs 1" "--level warning" "--raw"; do
        # shellcheck disable=SC2086
        wcode=$(on_windows "$log.win" --no-system-text $options "$(windows_path "$work/$log.log")")
        # shellcheck disable=SC2086
        hcode=$(on_host "$log.host" --no-system-text $options "$work/$log.log")
        if [ "$wcode" = "$hcode" ] && [ -s "$work/$log.host" ] &&
            cmp -s "$work/$log.win" "$work/$log.host"; then
            passes=$((passes + 1))
        else
            fail "$log.log $options: Windows exit $wcode, host exit $hcode; $(diff "$work/$log.host" "$work/$log.win" | head -5)"
        fi
    done
done

# The Windows build names a system error through the system.
code=$(on_windows named "$(windows_path "$work/demo.log")")
if [ "$code" = 0 ] && grep -qE '; system error 1063 \(.+\)$' "$work/named"; then
    passes=$((passes + 1))
else
    fail "1063 is not named: $(grep 1619 "$work/named")"
fi

# Without a file it reads the log where the 32-bit service writes it:
# System32 as a 32-bit program sees it, SysWOW64 to this 64-bit build.
prefix=$("$runner" prefix)
korin="$prefix/drive_c/windows/syswow64/Tervalon/Korin"
if [ -e "$korin/KorinInstall32.log" ]; then
    fail "$korin/KorinInstall32.log exists already"
else
    made=""
    [ -d "$korin" ] || { mkdir -p "$korin" && made=yes; }
    cp "$fixture" "$korin/KorinInstall32.log"
    code=$(on_windows placed)
    on_windows given "$(windows_path "$fixture")" >/dev/null
    rm -f "$korin/KorinInstall32.log"
    [ -z "$made" ] || rm -rf "$prefix/drive_c/windows/syswow64/Tervalon"
    if [ "$code" = 0 ] && [ -s "$work/placed" ] && cmp -s "$work/placed" "$work/given"; then
        passes=$((passes + 1))
    else
        fail "the log in its place: exit $code, $(head -3 "$work/placed.err")"
    fi
fi

echo "korin-log under Wine: $passes passed, $failures failed"
[ "$failures" = 0 ]
