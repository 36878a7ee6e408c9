#!/usr/bin/env bash
# The product exe's form: a PE32 i386 console program whose version resource
# says so exactly when its build embeds the development authority (the second
# argument): by configuration, or by the bytes found in the exe.
set -euo pipefail
exe=$1
dev_authority=$2
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
hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }
# The authority the product's build was configured with, and the bytes it holds.
cache="$(dirname "$exe")/../CMakeCache.txt"
configured=$(sed -n 's/^KORIN_AUTHORITY_CERT:FILEPATH=//p' "$cache")
embeds_dev=no
cmp -s "$configured" "$dev_authority" && embeds_dev=yes
grep -qF "$(hex "$dev_authority")" <<<"$(hex "$exe")" && embeds_dev=yes
# Version strings are UTF-16 in the resource section.
version_strings=$(strings -el "$exe")
check "no version resource" "OriginalFilename" "$version_strings"
says_dev=no
grep -q "Embeds the development certificate authority" <<<"$version_strings" && says_dev=yes
if [ "$embeds_dev" != "$says_dev" ]; then
    echo "FAIL: embeds the development authority: $embeds_dev; its version resource says so: $says_dev" >&2
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "5 passed, 0 failed" || { echo "$failures failed"; exit 1; }
