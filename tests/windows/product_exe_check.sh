#!/usr/bin/env bash
# The product exe's form: a PE32 i386 console program.
set -euo pipefail
exe=$1
failures=0
check() {
    if ! grep -q -- "$2" <<<"$3"; then
        echo "FAIL: $1" >&2
        failures=$((failures + 1))
    fi
}
headers=$(i686-w64-mingw32-objdump -f -p "$exe")
check "not a PE32 i386 image" "file format pei-i386" "$headers"
check "not a console program" "Subsystem.*(Windows CUI)" "$headers"
if grep -q -E 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)' <<<"$headers"; then
    echo "FAIL: depends on a mingw runtime DLL" >&2
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "3 passed, 0 failed" || { echo "$failures failed"; exit 1; }
