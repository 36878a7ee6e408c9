#!/usr/bin/env bash
# The program itself under Wine: switches and exit codes as an administrator
# sees them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
runner="$here/wine_env.sh"
failures=0
passes=0

expect_code() {
    local expected=$1
    shift
    local got
    got=$("$runner" code "$exe" "$@")
    if [ "$got" = "$expected" ]; then
        passes=$((passes + 1))
    else
        echo "FAIL: $(basename "$exe") $* exited with '$got', expected $expected" >&2
        failures=$((failures + 1))
    fi
}

for switch in -install -uninstall -deleteTask -createDefaultTask -setSilentAutoUpdate \
    -setNotifyAutoUpdate -setDisableAutoUpdate -Install /install -unknown; do
    expect_code 0 "$switch"
done
expect_code 0 -install extra arguments

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
