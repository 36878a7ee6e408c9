#!/usr/bin/env bash
# Serves a published update tree with nginx as the update host, until it is
# stopped (SIGTERM or SIGINT). It takes korin-update-server's options, so tests
# and the demo start either the same way:
#
#   nginx_update_host.sh --root DIR --cert PEM --key PEM [--address A|auto]
#                        [--ready-file FILE] [--request-log FILE] [--work DIR]
#                        [--port P]
#
# The server block is update_host.nginx.conf.in beside this script, for
# "localhost" and the default update host on port 443 (or P: a load test
# keeps off the port the tests' servers share). With --address auto a
# free loopback address 127.1.x.y is chosen; the ready file receives the
# address once nginx listens. The request log gets each request's target, a
# line each. Everything nginx writes (configuration, pid, logs, temporary
# files) stays in the work folder (a temporary one, removed at the end, unless
# --work names one; its access.log has "METHOD TARGET STATUS" lines), so it
# runs as root or as any other user. nginx's errors go to standard error.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
die() { echo "nginx_update_host.sh: $*" >&2; exit 2; }

root="" cert="" key="" address=127.0.0.1 port=443 ready="" request_log="" work=""
while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || die "$1 needs a value"
    case "$1" in
        --root) root=$(realpath -m "$2") ;;
        --cert) cert=$(realpath -m "$2") ;;
        --key) key=$(realpath -m "$2") ;;
        --address) address=$2 ;;
        --port) port=$2 ;;
        --ready-file) ready=$2 ;;
        --request-log) request_log=$(realpath -m "$2") ;;
        --work) work=$(realpath -m "$2") ;;
        *) die "unknown option $1" ;;
    esac
    shift 2
done
[ -n "$root" ] && [ -n "$cert" ] && [ -n "$key" ] || die "--root, --cert and --key are needed"
command -v nginx >/dev/null || PATH=$PATH:/usr/sbin
command -v nginx >/dev/null || die "nginx is not installed (make deps installs nginx-light)"
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/temp"

# Temporary folders of every module built in, so that none falls back to the
# system's folders.
built=$(nginx -V 2>&1)
temp_paths=""
for module in client_body proxy fastcgi uwsgi scgi; do
    if [[ $built != *"--without-http_${module}_module"* ]]; then
        temp_paths+="    ${module}_temp_path \"$work/temp/$module\";"$'\n'
    fi
done
# Workers of a root master run as this user, not as nobody, who may not read
# a private temporary folder.
user=""
[ "$(id -u)" -eq 0 ] && user="user $(id -un) $(id -gn);"
targets=""
[ -z "$request_log" ] || targets="    access_log \"$request_log\" targets;"

configure() {
    shopt -u patsub_replacement 2>/dev/null || true
    local server
    server=$(<"$here/update_host.nginx.conf.in")
    server=${server//@ADDRESS@/$1}
    server=${server//@PORT@/$port}
    server=${server//@HOST@/localhost update.korinplayer.example}
    server=${server//@CERT@/$cert}
    server=${server//@KEY@/$key}
    server=${server//@TREE@/$root}
    printf '%s\n' "$server" >"$work/update_host.conf"
    cat >"$work/nginx.conf" <<CONF
$user
daemon off;
worker_processes 1;
pid "$work/nginx.pid";
error_log stderr warn;
events {
    worker_connections 64;
}
http {
    log_format requests '\$request_method \$request_uri \$status';
    log_format targets '\$request_uri';
    access_log "$work/access.log" requests;
$targets
$temp_paths    include "$work/update_host.conf";
}
CONF
}

nginx_pid=""
stop() {
    [ -z "$nginx_pid" ] || kill -TERM "$nginx_pid" 2>/dev/null || true
    [ -z "$nginx_pid" ] || wait "$nginx_pid" || true
    exit 0
}
trap stop TERM INT

for attempt in 1 2 3 4 5; do
    listen=$address
    [ "$address" != auto ] || listen="127.1.$((RANDOM % 250 + 1)).$((RANDOM % 250 + 1))"
    configure "$listen"
    rm -f "$work/nginx.pid"
    nginx -p "$work" -c "$work/nginx.conf" -e stderr 2>"$work/nginx.err" &
    nginx_pid=$!
    # The pid file is written once the listening socket is bound.
    while [ ! -s "$work/nginx.pid" ] && kill -0 "$nginx_pid" 2>/dev/null; do
        sleep 0.02
    done
    if [ -s "$work/nginx.pid" ]; then
        # nginx's messages, now and later, on our standard error
        tail -n +1 -f --pid "$nginx_pid" "$work/nginx.err" >&2 &
        if [ -n "$ready" ]; then
            printf '%s\n' "$listen" >"$ready.tmp"
            mv "$ready.tmp" "$ready"
        fi
        wait "$nginx_pid" || true
        exit 1
    fi
    wait "$nginx_pid" || true
    nginx_pid=""
    if [ "$address" != auto ] || ! grep -q "Address already in use" "$work/nginx.err"; then
        break
    fi
done
cat "$work/nginx.err" >&2
die "nginx did not start on $listen:$port"
