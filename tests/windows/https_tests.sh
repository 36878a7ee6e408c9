#!/usr/bin/env bash
# The manifest downloads through the real WinHTTP under Wine, against the
# test update server on 127.0.0.1:443 as "localhost", with the test
# authority in the prefix's Root store. Wine resolves names with the Linux
# resolver, not the prefix's hosts file: the server's mirror name is given in
# a hosts file of this run's own, bound over /etc/hosts in a private mount
# namespace, so the machine's is never touched.
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

{ cat /etc/hosts; printf '127.0.0.1 mirror.korinplayer.example\n'; } >"$work/hosts"
namespace=(unshare --mount)
[ "$(id -u)" = 0 ] || namespace=(unshare --user --map-root-user --mount)

windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }
KORIN_TEST_TREE=$(windows_path "$work/tree") \
KORIN_TEST_AUTHORITY=$(windows_path "$work/certs/ca.der") \
KORIN_TEST_REQUEST_LOG=$(windows_path "$work/requests.log") \
    "${namespace[@]}" sh -c 'mount --bind "$1" /etc/hosts && shift && exec "$@"' sh \
    "$work/hosts" "$here/wine_env.sh" run "$tests_exe" --gtest_filter='WinHttps.*' --gtest_brief=1
