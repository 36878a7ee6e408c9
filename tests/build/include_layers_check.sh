#!/usr/bin/env bash
# The lowest folders, src/platform and src/support, include nothing from a
# subsystem folder: what they need is passed in or declared at their level.
# With --self-test it first shows that a planted upward include is caught.
set -euo pipefail

# Prints every include of a subsystem folder under the two lowest folders of
# a source tree; fails when there is one.
check() {
    local src=$1
    local found
    found=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' \
        "$src/platform" "$src/support" |
        grep -vE '#[[:space:]]*include[[:space:]]*"(platform|support)/' || true)
    if [[ -n $found ]]; then
        echo "FAIL: platform/ or support/ includes a subsystem folder:" >&2
        echo "$found" >&2
        return 1
    fi
}

if [[ ${1:-} == --self-test ]]; then
    shift
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir -p "$work/platform/standin" "$work/support"
    printf '#include "platform/files.h"\n#include "support/text.h"\n' >"$work/support/ok.cpp"
    check "$work" || { echo "FAIL: self-test: a clean tree was refused" >&2; exit 1; }
    printf '#include "settings/runtime_config.h"\n' >"$work/platform/standin/up.cpp"
    if check "$work" 2>/dev/null; then
        echo "FAIL: self-test: an upward include was not caught" >&2
        exit 1
    fi
fi
check "$1/src"
