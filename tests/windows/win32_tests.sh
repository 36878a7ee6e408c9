#!/usr/bin/env bash
# The 32-bit product and the 32-bit adapter tests under Wine, where this
# machine runs 32-bit code. Where it does not, one line says so and the test
# is reported as skipped (exit 77): the 64-bit build's run stands alone then.
# The line is also written to VERDICT-FILE, which `make test` prints.
#   win32_tests.sh PRODUCT-EXE WIN32-TESTS-EXE VERDICT-FILE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
product=$1
tests_exe=$2
verdict=$3
runner="$here/wine_env.sh"
say() { echo "$1" | tee "$verdict"; }

if ! reason=$("$runner" probe32 "$product"); then
    say "Windows tests: 64-bit build only; the 32-bit product was not run: $reason"
    exit 77
fi
status=0
"$here/program_tests.sh" "$product" || status=1
"$runner" run "$tests_exe" --gtest_brief=1 --gtest_filter=-WinHttps.*:WinHttpsProxy.* || status=1
if [ "$status" -eq 0 ]; then
    say "Windows tests: 64-bit build and the 32-bit product under Wine, both passed"
else
    say "Windows tests: the 32-bit product under Wine FAILED"
fi
exit "$status"
