#!/usr/bin/env bash
# Every log code of the program is written logCode(NNNN), which does not
# compile without the code's meaning in support/log_codes.h: a code constant,
# a table of codes or a message built from a bare number is refused here.
# With --self-test it first shows that a planted bare code is caught.
set -euo pipefail

check() {
    local src=$1
    local found
    found=$( (grep -rnP '\bk(Log|Digest)\w*\s*=\s*-?\d{4}\b' "$src" || true
        grep -rnP 'logCode(Message|LastError)\(\s*\d' "$src" || true
        # A table of codes: its opening line and the two after it.
        find "$src" -name '*.h' -o -name '*.cpp' | sort | xargs perl -ne '
            $left = 3 if /Codes\w*(\[\])?\s*(=\s*)?\{/;
            if ($left > 0) {
                $left--;
                (my $bare = $_) =~ s/logCode\(\d+\)//g;
                print "$ARGV:$.: $_" if $bare =~ /\b1\d{3}\b/;
            }
            close ARGV if eof;') |
        grep -v 'support/log_codes\.h' || true)
    if [[ -n $found ]]; then
        echo "FAIL: a log code written without logCode(), so without a meaning:" >&2
        echo "$found" >&2
        return 1
    fi
}

if [[ ${1:-} == --self-test ]]; then
    shift
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/update"
    printf 'constexpr int kLogFine = logCode(1608);\nconstexpr Codes kCodes{logCode(1600), logCode(1601)};\n' \
        >"$work/update/ok.h"
    check "$work" || { echo "FAIL: self-test: a clean tree was refused" >&2; exit 1; }
    for bad in 'constexpr int kLogNew = 1700;' 'constexpr Codes kCodes{logCode(1600), 1700};' \
        'writeLog(platform, Info, logCodeMessage(1700));'; do
        printf '%s\n' "$bad" >"$work/update/bad.cpp"
        if check "$work" 2>/dev/null; then
            echo "FAIL: self-test: '$bad' was not caught" >&2
            exit 1
        fi
    done
    rm "$work/update/bad.cpp"
fi
check "${1:?usage: log_codes_check.sh [--self-test] SOURCE_DIR}/src"
echo "every log code has its meaning"
