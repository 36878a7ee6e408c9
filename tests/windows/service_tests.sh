#!/usr/bin/env bash
# -install and -uninstall against Wine's own Service Control Manager: the
# service as the manager stores it (Wine's sc.exe has no qc or qdescription,
# so its registry key is read: where Windows keeps it too), a path with a
# space written quoted, a stopped service left as it is, the description in
# the machine's language.
#   service_tests.sh PRODUCT-EXE SOURCE-DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
texts="$2/src/support/localized_texts.tsv"
runner="$here/wine_env.sh"
service='HKLM\System\CurrentControlSet\Services\VemraKorinPlayerUpdateSvc'
state='HKLM\SOFTWARE\Tervalonix\KorinPlayerSAU'
failures=0
passes=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then passes=$((passes + 1)); else fail "$what"; fi
}
windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }
text_of() { awk -F'\t' -v l="$1" '$1 == l && $2 == 120 { print $3 }' "$texts"; }

# reg query's value of NAME under KEY, as "TYPE DATA".
reg_value() {
    "$runner" run reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$2 \{4\}\(REG_[A-Z_]*\) \{4\}\(.*\)$/\1 \2/p"
}
expect_value() {
    local got
    got=$(reg_value "$1" "$2")
    if [ "$got" = "$3" ]; then
        passes=$((passes + 1))
    else
        fail "$1 $2 is '$got', expected '$3'"
    fi
}
key_exists() { "$runner" run reg query "$1" >/dev/null 2>&1; }
key_missing() { ! key_exists "$1"; }
# Runs the program in the working folder $work, where its log is kept; by
# its Unix path, since cmd would split a path with a space.
run() {
    (cd "$work" && "$runner" run "$@") || fail "$* exited with $?"
}
log_has() { [ -f "$log" ] && iconv -f UTF-16LE -t UTF-8 "$log" | grep -Eq "$1"; }
log_lacks() { ! log_has "$1"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
log="$work/Tervalon/Korin/KorinInstall32.log"
mkdir -p "$work/Korin Player" "$work/plain" "$work/Tervalon/Korin"
spaced="$work/Korin Player/KorinPlayerUpdateService.exe"
plain="$work/plain/KorinPlayerUpdateService.exe"
cp "$exe" "$spaced"
cp "$exe" "$plain"
"$runner" run sc delete VemraKorinPlayerUpdateSvc >/dev/null 2>&1 || true
check "the service is there before -install" key_missing "$service"

# A machine without the service: created as defined, the state reset.
run "$spaced" -install
check "-install made no service" key_exists "$service"
expect_value "$service" ImagePath "REG_EXPAND_SZ \"$(windows_path "$spaced")\""
expect_value "$service" Start "REG_DWORD 0x3"
expect_value "$service" Type "REG_DWORD 0x10"
expect_value "$service" ErrorControl "REG_DWORD 0x1"
expect_value "$service" ObjectName "REG_SZ LocalSystem"
expect_value "$service" DisplayName "REG_SZ Vemra Korin Player Update Service"
expect_value "$service" Description "REG_SZ $(text_of 1033)"
expect_value "$state" UpdateAttempts "REG_DWORD 0x0"
expect_value "$state" LastUpdateCheck "REG_QWORD 0x0"
expect_value "$state" CheckFrequency "REG_DWORD 0x1"
check "-install on a fresh machine logged a registration error" \
    log_lacks '\] (12(19|2[0-9]|3[0-2])|130[2-4]) '

# The service exists and is stopped: the stop is refused (1062), nothing is
# rewritten, the state is reset again.
"$runner" run reg add "$state" /v UpdateAttempts /t REG_DWORD /d 5 /f >/dev/null 2>&1
run "$plain" -install
check "-install on a stopped service did not log 1226 1062" log_has '\[error\] 1226 1062'
expect_value "$service" ImagePath "REG_EXPAND_SZ \"$(windows_path "$spaced")\""
expect_value "$state" UpdateAttempts "REG_DWORD 0x0"

# -uninstall: the state erased, the service gone; the stop of a stopped
# service logs 1226 once more.
rm -f "$log"
run "$plain" -uninstall
check "-uninstall left the service" key_missing "$service"
check "-uninstall left the update state" key_missing "$state"
check "-uninstall did not log 1226 1062" log_has '\[error\] 1226 1062'

# Without the service, -uninstall logs no error of the manager.
rm -f "$log"
run "$plain" -uninstall
check "-uninstall without the service logged a manager error" log_lacks '\] (122[4-9]|1302) '

# A French machine: the description in French.
LC_ALL=fr_FR.UTF-8 LANG=fr_FR.UTF-8 run "$plain" -install
expect_value "$service" Description "REG_SZ $(text_of 1036)"
run "$plain" -uninstall
check "the French -uninstall left the service" key_missing "$service"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
