#!/usr/bin/env bash
# The manifest downloads through the real WinHTTP under Wine, against the
# test update server on 127.0.0.1:443 as "localhost", with the test
# authority in the prefix's Root store.
#   https_tests.sh WIN-TESTS-EXE HOST-BIN-DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tests_exe=$1
bin=$2
work=$(mktemp -d /tmp/korin-wine-https-XXXXXX)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cat > "$work/offer.txt" <<'OFFER'
major 32
majorBeta 33
loudVer 32.0.0.465
loudVerBeta 33.0.0.12
checkFrequency 2
offer ActiveX release 32.0.0.465
offer Plugin release 32.0.0.465
offer Pepper release 32.0.0.465
OFFER
"$bin/korin-publish" "$work/offer.txt" "$work/tree" \
    --installer "$(dirname "$tests_exe")/korin-test-installer.exe"
"$here/../../tools/update_server/make_test_certificates.sh" "$work/certs"
openssl x509 -in "$work/certs/ca.pem" -outform DER -out "$work/certs/ca.der"
: > "$work/requests.log"
"$bin/korin-update-server" --root "$work/tree" --cert "$work/certs/server.pem" \
    --key "$work/certs/server.key" --address 127.0.0.1 --port 443 \
    --ready-file "$work/ready" --request-log "$work/requests.log" 2>"$work/server.log" &
server=$!
for _ in $(seq 200); do [ -s "$work/ready" ] && break; sleep 0.05; done
if [ ! -s "$work/ready" ]; then
    echo "https_tests.sh: the test server did not come up:" >&2
    cat "$work/server.log" >&2
    exit 1
fi

windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }
KORIN_TEST_TREE=$(windows_path "$work/tree") \
KORIN_TEST_AUTHORITY=$(windows_path "$work/certs/ca.der") \
KORIN_TEST_REQUEST_LOG=$(windows_path "$work/requests.log") \
    "$here/wine_env.sh" run "$tests_exe" --gtest_filter='WinHttps.*' --gtest_brief=1
