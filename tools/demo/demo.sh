#!/usr/bin/env bash
# Runs what the program can do so far against a fresh stand-in machine and
# shows the result.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
bin="$top/build/host/bin"
export KORIN_MACHINE_ROOT="$top/build/demo-machine"
rm -rf "$KORIN_MACHINE_ROOT"

step() { printf '\n== %s\n' "$*"; }
show() { printf '$ %s\n' "$*"; "$@"; }

step "A fresh stand-in machine: 64-bit Windows 10, English"
show "$bin/korin-machine" init
show "$bin/korin-machine" reg query 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion'

step "The program, started by an administrator from System32 (exit codes)"
system32="$KORIN_MACHINE_ROOT/drive_c/Windows/System32"
cd "$system32"
for args in -install -uninstall -deleteTask -createDefaultTask -setSilentAutoUpdate \
    -setNotifyAutoUpdate -setDisableAutoUpdate -isSAUEnabled -Install /install; do
    set +e
    "$bin/korin-update-service" $args
    code=$?
    set -e
    printf '  korin-update-service %-24s exit %s\n' "$args" "$code"
done

step "Command runs log nothing while verbose logging is off"
mkdir -p "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin"
"$bin/korin-update-service" -unknown
ls -la "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin"

step "Without a machine the program refuses to run"
set +e
KORIN_MACHINE_ROOT= "$bin/korin-update-service" -install
echo "  exit $?"
set -e
