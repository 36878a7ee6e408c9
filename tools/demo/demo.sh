#!/usr/bin/env bash
# Runs what the program can do so far against a fresh stand-in machine and
# shows the result.
#
# UPDATE_HOST=nginx serves the published tree with nginx
# (tools/update_server/nginx_update_host.sh) instead of the test server.
set -euo pipefail
update_host=${UPDATE_HOST:-test-server}
case "$update_host" in
    nginx | test-server) ;;
    *) echo "UPDATE_HOST is nginx or test-server, not '$update_host'" >&2; exit 2 ;;
esac
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

step "Auto-update mode: the switches rewrite the settings file (32-bit system folder)"
settings="$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin/zvs.cfg"
query() {
    set +e
    "$bin/korin-update-service" -isSAUEnabled
    code=$?
    set -e
    printf '  -isSAUEnabled: exit %s (1001 seen as %s by Linux: silent auto-update %s)\n' \
        "$code" $((1001 % 256)) "$([ "$code" -eq $((1001 % 256)) ] && echo on || echo off)"
}
printf 'AutoUpdateDisable=1\nSilentAutoUpdateServerDomain=updates.example.org\n' >"$settings"
echo "  before (an administrator's file, LF lines):"
sed -n l "$settings" | sed 's/^/    /'
query
for mode in -setSilentAutoUpdate -setNotifyAutoUpdate -setDisableAutoUpdate; do
    "$bin/korin-update-service" "$mode"
    echo "  after $mode (CR LF lines, other entries kept in place):"
    sed -n l "$settings" | sed 's/^/    /'
    query
done

step "-deleteTask erases the update state in the registry's 32-bit view"
state='HKLM\SOFTWARE\Tervalonix\KorinPlayerSAU'
"$bin/korin-machine" reg add "$state" /v UpdateAttempts /t REG_DWORD /d 3 /reg:32 /f >/dev/null
"$bin/korin-machine" reg add "$state" /v CheckFrequency /t REG_DWORD /d 2 /reg:32 /f >/dev/null
"$bin/korin-machine" reg add "$state" /v LastUpdateCheck /t REG_QWORD /d 134116992000000000 \
    /reg:32 /f >/dev/null
show "$bin/korin-machine" reg query "$state" /reg:32
"$bin/korin-update-service" -deleteTask
set +e
show "$bin/korin-machine" reg query "$state" /reg:32
echo "  exit $?"
set -e

step "Without a machine the program refuses to run"
set +e
KORIN_MACHINE_ROOT= "$bin/korin-update-service" -install
echo "  exit $?"
set -e

step "Which players need an update: a published tree served over HTTPS ($update_host)"
work="$top/build/demo-server"
rm -rf "$work"
mkdir -p "$work"
cat > "$work/offer.txt" <<'OFFER'
major 32
majorBeta 33
loudVer 32.0.0.465
loudVerBeta 33.0.0.12
checkFrequency 3
offer ActiveX release 32.0.0.465 31.0.0.0
offer Plugin release 32.0.0.465
offer Pepper release 32.0.0.465
offer Pepper beta 33.0.0.12
patch Plugin release 31 p31to32 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad
OFFER
show cat "$work/offer.txt"
# Every package holds the test installer, which records how it was started.
printf 'patch' | cat "$bin/korin-test-installer" - > "$work/patch-installer"
show "$bin/korin-publish" "$work/offer.txt" "$work/tree" --installer "$bin/korin-test-installer" \
    --patch-installer "$work/patch-installer"
"$top/tools/update_server/make_test_certificates.sh" "$work/certs"
# nginx takes the test server's options.
server_program="$bin/korin-update-server"
[ "$update_host" != nginx ] || server_program="$top/tools/update_server/nginx_update_host.sh"
requests="$work/requests.log"
"$server_program" --root "$work/tree" --cert "$work/certs/server.pem" \
    --key "$work/certs/server.key" --address auto --ready-file "$work/ready" \
    --request-log "$requests" 2>"$work/server.log" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 200); do [ -s "$work/ready" ] && break; sleep 0.05; done
if [ ! -s "$work/ready" ]; then
    echo "the update host ($update_host) did not start:" >&2
    cat "$work/server.log" >&2
    exit 1
fi
address=$(cat "$work/ready")
echo "-- $update_host serves the tree on $address:443"
show "$bin/korin-machine" hosts add localhost "$address"
show "$bin/korin-machine" trust add "$work/certs/ca.pem"
# The 32-bit installers write the 32-bit view; the file path also in the 64-bit one.
player='HKLM\SOFTWARE\Tervalonix\KorinPlayer'
show "$bin/korin-machine" reg add "${player}Plugin" /v Version /d 31.0.0.100 /f /reg:32
show "$bin/korin-machine" reg add "${player}Plugin" /v PlayerPath /d 'C:\Windows\System32\Korin\pl.dll' /f /reg:32
show "$bin/korin-machine" reg add "${player}Plugin" /v PlayerPath /d 'C:\Windows\System32\Korin\pl.dll' /f /reg:64
show "$bin/korin-machine" reg add "${player}Pepper" /v Version /d 32.0.0.1 /f /reg:32
show "$bin/korin-machine" reg add "${player}PepperReleaseType" /v Release /t REG_DWORD /d 0 /f /reg:32
mkdir -p "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Korin" "$KORIN_MACHINE_ROOT/drive_c/Windows/System32/Korin"
printf abc > "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Korin/pl.dll"
printf abc > "$KORIN_MACHINE_ROOT/drive_c/Windows/System32/Korin/pl.dll"
rm -f "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log"
show "$bin/korin-update-check" --server localhost
echo "-- the service's log (verbose):"
iconv -f UTF-16LE -t UTF-8 "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log" | tr -d '\r'
echo "-- what the server was asked:"
cat "$requests"

step "The update: the chosen type's package downloaded, verified, its installer started"
asked=$(wc -l <"$requests")
rm -f "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log" \
    "$system32/installer-record.txt"
show "$bin/korin-update-check" --server localhost --install
for _ in $(seq 100); do [ -s "$system32/installer-record.txt" ] && break; sleep 0.05; done
echo "-- the service's log (verbose):"
iconv -f UTF-16LE -t UTF-8 "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log" | tr -d '\r'
echo "-- the package fetched:"
tail -n +$((asked + 1)) "$requests" | grep -v '\.xml' || true
installer="$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/KorinPlayerInstaller.exe"
if cmp -s "$installer" "$work/patch-installer"; then
    echo "-- KorinPlayerInstaller.exe holds the patch package's installer, byte for byte"
else
    echo "-- KorinPlayerInstaller.exe differs from the patch package's installer" >&2
    exit 1
fi
echo "-- what the installer recorded (command line, working folder, its own path):"
sed 's/^/    /' "$system32/installer-record.txt"

step "A deployed machine: -install, the hourly task's run, the service's one cycle, -uninstall"
log="$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/Tervalon/Korin/KorinInstall32.log"
rm -f "$log" "$system32/installer-record.txt" "$KORIN_MACHINE_ROOT/drive_c/Windows/SysWOW64/KorinPlayerInstaller.exe"
"$bin/korin-machine" reg delete 'HKLM\SOFTWARE\Tervalonix\KorinPlayerSAU' /f /reg:32 >/dev/null 2>&1 || true
printf 'SilentAutoUpdateEnable=1\r\nSilentAutoUpdateVerboseLogging=1\r\nSilentAutoUpdateServerDomain=localhost\r\n' >"$settings"
programs="$KORIN_MACHINE_ROOT/drive_c/Program Files/Korin"
mkdir -p "$programs"
cp "$bin/korin-update-service" "$programs/KorinPlayerUpdateService.exe"
service="$programs/KorinPlayerUpdateService.exe"
show "$service" -install
show "$bin/korin-machine" sc qc VemraKorinPlayerUpdateSvc
show "$bin/korin-machine" schtasks /query
show "$bin/korin-machine" schtasks /run /tn "Vemra Korin Player Updater"
echo "-- the service's states as other processes see them:"
last=""
for _ in $(seq 200); do
    state=$("$bin/korin-machine" sc query VemraKorinPlayerUpdateSvc | grep STATE | awk '{print $3, $4}' || true)
    if [ -n "$state" ] && [ "$state" != "$last" ]; then
        echo "    $state"
        last=$state
    fi
    if [ "$state" = "1 STOPPED" ] && grep -qa . "$system32/installer-record.txt" 2>/dev/null; then
        break
    fi
    sleep 0.05
done
echo "-- what the installer recorded (command line, working folder, its own path):"
sed 's/^/    /' "$system32/installer-record.txt"
echo "-- the log of both runs (the task's start request and the service), as korin-log reads it:"
"$bin/korin-log" --runs 2
show "$service" -uninstall
set +e
show "$bin/korin-machine" sc query VemraKorinPlayerUpdateSvc
show "$bin/korin-machine" schtasks /query
set -e
kill $server 2>/dev/null || true
