#!/usr/bin/env bash
# WinHTTP's default proxy under Wine: the prefix's "WinHttpSettings" names a
# tinyproxy on loopback, and the manifest and package downloads of the
# Windows build (its WinHttps tests, against the test update server on
# 127.0.0.1:443 as "localhost") go through it as CONNECT tunnels.
# What Wine 8 does, seen here: it honours the value only when its first
# number is 0x18 (Windows' own default value has it); the value netsh
# writes (0x28) and a malformed one are ignored, and Wine connects
# directly. A proxy that is gone fails the send with 12029, one that
# refuses the CONNECT with 12157. The script checks each of these.
#   proxy_tests.sh WIN-TESTS-EXE HOST-BIN-DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tests_exe=$1
bin=$2
runner=$here/wine_env.sh
key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Internet Settings\Connections'
work=$(mktemp -d /tmp/korin-wine-proxy-XXXXXX)
server=
proxy=
fail() {
    echo "proxy_tests.sh: $*" >&2
    exit 1
}
wine_reg() { "$runner" run reg "$@" >/dev/null 2>&1; }
stop_proxy() {
    [ -n "$proxy" ] && kill "$proxy" 2>/dev/null && wait "$proxy" 2>/dev/null || true
    proxy=
}
cleanup() {
    stop_proxy
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    # The prefix is shared with the other windows tests: leave no proxy.
    for view in 64 32; do wine_reg delete "$key" /v WinHttpSettings /f /reg:$view || true; done
    rm -rf "$work"
}
trap cleanup EXIT

command -v tinyproxy >/dev/null || fail "tinyproxy is not installed (make deps)"

"$runner" serve "$work" "$bin" "$(dirname "$tests_exe")/korin-test-installer.exe" >/dev/null 2>&1 ||
    fail "the test server did not come up: $(cat "$work/server.log" 2>/dev/null)"
server=$(cat "$work/server.pid")

# A port nothing listens on.
port=
for candidate in $(shuf -i 20000-60000 -n 50); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
        port=$candidate
        break
    fi
done
[ -n "$port" ] || fail "no free port for tinyproxy"

# tinyproxy tunnelling only to connect_port.
start_proxy() {
    cat > "$work/tinyproxy.conf" <<CONF
Port $port
Listen 127.0.0.1
Timeout 30
LogFile "$work/tinyproxy.log"
LogLevel Connect
PidFile "$work/tinyproxy.pid"
MaxClients 10
Allow 127.0.0.1
ConnectPort $1
CONF
    tinyproxy -d -c "$work/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
    proxy=$!
    for _ in $(seq 200); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        kill -0 "$proxy" 2>/dev/null || break
        sleep 0.05
    done
    fail "tinyproxy did not start: $(cat "$work/tinyproxy.out" "$work/tinyproxy.log" 2>/dev/null)"
}

le32() {
    printf '%02x%02x%02x%02x' $(($1 & 255)) $((($1 >> 8) & 255)) $((($1 >> 16) & 255)) \
        $((($1 >> 24) & 255))
}
# The value for proxy 127.0.0.1:PORT, no bypass list, with this first number.
setting() {
    local text="127.0.0.1:$port"
    printf '%s%s%s%s%s%s' "$(le32 "$1")" "$(le32 0)" "$(le32 3)" "$(le32 ${#text})" \
        "$(printf '%s' "$text" | od -An -tx1 | tr -d ' \n')" "$(le32 0)"
}
put_setting() {
    for view in 64 32; do
        wine_reg add "$key" /v WinHttpSettings /t REG_BINARY /d "$1" /f /reg:$view ||
            fail "cannot write WinHttpSettings into the prefix"
    done
}
windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }
run_tests() {
    KORIN_TEST_TREE=$(windows_path "$work/tree") \
    KORIN_TEST_AUTHORITY=$(windows_path "$work/certs/ca.der") \
        "$runner" run "$tests_exe" --gtest_brief=1 --gtest_filter="$1" >"$work/tests.out" 2>&1
}
tunnels() { grep -c 'CONNECT localhost:443 ' "$work/tinyproxy.log" 2>/dev/null || true; }
downloads='WinHttps.ManifestArrivesExactlyAsServed:WinHttps.PackageIsVerifiedWrittenAndItsInstallerStartedExactly'

"$runner" init
start_proxy 443
value18=$(setting 0x18)
value28=$(setting 0x28)

echo "Wine's WinHTTP through the proxy (value $value18)"
put_setting "$value18"
before=$(tunnels)
run_tests "$downloads" || fail "the downloads through the proxy failed: $(cat "$work/tests.out")"
[ $(($(tunnels) - before)) -ge 2 ] ||
    fail "tinyproxy saw no CONNECT of the manifest and the package: $(cat "$work/tinyproxy.log")"

echo "the value netsh writes (0x28) and a malformed one: Wine connects directly"
for value in "$value28" "18000000000000000300000040000000313237"; do
    put_setting "$value"
    before=$(tunnels)
    run_tests "$downloads" || fail "direct downloads with value $value failed: $(cat "$work/tests.out")"
    [ "$(tunnels)" -eq "$before" ] || fail "Wine used the proxy for value $value"
done

echo "a proxy that is gone: 12029"
put_setting "$value18"
stop_proxy
KORIN_TEST_PROXY_ERROR=12029 run_tests 'WinHttpsProxy.*' || fail "$(cat "$work/tests.out")"

echo "a proxy that refuses the tunnel: 12157"
start_proxy 8443
before=$(tunnels)
KORIN_TEST_PROXY_ERROR=12157 run_tests 'WinHttpsProxy.*' || fail "$(cat "$work/tests.out")"
[ $(($(tunnels) - before)) -ge 1 ] || fail "tinyproxy saw no CONNECT to refuse"
echo "proxy_tests.sh: all passed"
