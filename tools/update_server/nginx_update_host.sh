#!/usr/bin/env bash
# Serves a published update tree with nginx as the update host, in the
# foreground, until it is stopped (SIGTERM or SIGQUIT). Everything nginx
# writes (configuration, pid, logs, temporary files) stays in WORK, so it runs
# as root or as any other user.
#
#   nginx_update_host.sh WORK TREE CERT KEY ADDRESS [HOST...]
#
# The server block is update_host.nginx.conf.in beside this script; HOST
# names default to localhost and the default update host. nginx's errors go
# to standard error; each request is logged to WORK/access.log as
# "METHOD TARGET STATUS". WORK/nginx.pid appears once nginx listens.
set -euo pipefail
[ $# -ge 5 ] || { echo "usage: $0 WORK TREE CERT KEY ADDRESS [HOST...]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(realpath -m "$1")
tree=$(realpath -m "$2")
cert=$(realpath -m "$3")
key=$(realpath -m "$4")
address=$5
shift 5
hosts=${*:-localhost update.korinplayer.example}
command -v nginx >/dev/null || PATH=$PATH:/usr/sbin
command -v nginx >/dev/null || { echo "$0: nginx is not installed (make deps)" >&2; exit 127; }

mkdir -p "$work/temp"
rm -f "$work/nginx.pid"
shopt -u patsub_replacement 2>/dev/null || true
server=$(<"$here/update_host.nginx.conf.in")
server=${server//@ADDRESS@/$address}
server=${server//@HOST@/$hosts}
server=${server//@CERT@/$cert}
server=${server//@KEY@/$key}
server=${server//@TREE@/$tree}
printf '%s\n' "$server" >"$work/update_host.conf"

# Temporary folders of every module built in, so that none falls back to the
# system's folders.
built=$(nginx -V 2>&1)
temp_paths=""
for module in client_body proxy fastcgi uwsgi scgi; do
    if [[ $built != *"--without-http_${module}_module"* ]]; then
        temp_paths+="    ${module}_temp_path \"$work/temp/$module\";"$'\n'
    fi
done
# Workers of a root master run as the user that owns WORK's tree here, not
# as nobody, who may not read a private temporary folder.
user=""
[ "$(id -u)" -eq 0 ] && user="user $(id -un) $(id -gn);"

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
    access_log "$work/access.log" requests;
$temp_paths    include "$work/update_host.conf";
}
CONF
exec nginx -p "$work" -c "$work/nginx.conf" -e stderr
