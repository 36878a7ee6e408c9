#!/usr/bin/env bash
# A release configure refuses the development authority, named or by default,
# and accepts another one. Configures the source tree in temporary folders.
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
configure() {
    local name=$1
    shift
    cmake -S "$source_dir" -B "$work/$name" -DKORIN_BUILD_TESTS=OFF "$@" >"$work/$name.log" 2>&1
}
expect_refused() {
    local name=$1
    shift
    if configure "$name" "$@" || ! grep -q "KORIN_AUTHORITY_CERT" "$work/$name.log"; then
        echo "FAIL: $name: a release build configured with the development authority" >&2
        cat "$work/$name.log" >&2
        failures=$((failures + 1))
    fi
}
expect_refused unnamed -DKORIN_RELEASE=ON
expect_refused dev-named -DKORIN_RELEASE=ON \
    -DKORIN_AUTHORITY_CERT="$source_dir/tools/dev-ca/authority.der"
# Any other certificate file configures, and says nothing of the development one.
head -c 999 /dev/urandom >"$work/other.der"
if ! configure other -DKORIN_RELEASE=ON -DKORIN_AUTHORITY_CERT="$work/other.der" ||
    grep -q "DEVELOPMENT" "$work/other.log"; then
    echo "FAIL: a release build with its own authority did not configure cleanly" >&2
    cat "$work/other.log" >&2
    failures=$((failures + 1))
fi
if ! configure dev || ! grep -q "DEVELOPMENT certificate authority" "$work/dev.log"; then
    echo "FAIL: a development build does not say it embeds the development authority" >&2
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "4 passed, 0 failed" || { echo "$failures failed"; exit 1; }
