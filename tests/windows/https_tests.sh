#!/usr/bin/env bash
# The manifest downloads through the real WinHTTP under Wine, against the
# test update server on 127.0.0.1:443 as "localhost", with the test
# authority in the prefix's Root store, the server's mirror name resolved
# through a hosts file of the run's own (wine_env.sh run-served).
#   https_tests.sh WIN-TESTS-EXE HOST-BIN-DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tests_exe=$1
bin=$2
work=$(mktemp -d /tmp/korin-wine-https-XXXXXX)
cleanup() {
    [ -f "$work/server.pid" ] && kill "$(cat "$work/server.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
"$here/wine_env.sh" serve "$work" "$bin" "$(dirname "$tests_exe")/korin-test-installer.exe"

"$here/wine_env.sh" run-served "$work" "$tests_exe" --gtest_filter='WinHttps.*' --gtest_brief=1
