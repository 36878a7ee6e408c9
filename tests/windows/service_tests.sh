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

# The key as reg export writes it (UTF-16 in the file, so no console code
# page stands between a French text and the test), one value a line:
# "Name"="text", "Name"=dword:00000003, "Name"=hex(b):00,...
exported() {
    local file
    file=$(mktemp)
    "$runner" run reg export "$1" "$(windows_path "$file")" /y >/dev/null 2>&1 || true
    iconv -f UTF-16LE -t UTF-8 "$file" 2>/dev/null | tr -d '\r' | sed 's/^\xEF\xBB\xBF//'
    rm -f "$file"
}
# A text as a .reg file writes it: backslashes and quotes escaped.
reg_text() { printf '"%s"' "$(printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g')"; }
expect_value() {  # expect_value KEY NAME DATA (as exported)
    if exported "$1" | grep -Fxq "\"$2\"=$3"; then
        passes=$((passes + 1))
    else
        fail "$1 has no $2=$3: $(exported "$1" | grep -F "\"$2\"=" || echo none)"
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
expect_value "$service" ImagePath "$(reg_text "\"$(windows_path "$spaced")\"")"
expect_value "$service" Start dword:00000003
expect_value "$service" Type dword:00000010
expect_value "$service" ErrorControl dword:00000001
expect_value "$service" ObjectName '"LocalSystem"'
expect_value "$service" DisplayName '"Vemra Korin Player Update Service"'
expect_value "$service" Description "$(reg_text "$(text_of 1033)")"
expect_value "$state" UpdateAttempts dword:00000000
expect_value "$state" LastUpdateCheck 'hex(b):00,00,00,00,00,00,00,00'
expect_value "$state" CheckFrequency dword:00000001
check "-install on a fresh machine logged a registration error" \
    log_lacks '\] (12(19|2[0-9]|3[0-2])|130[2-4]) '

# The service exists and is stopped: the stop is refused (1062), nothing is
# rewritten, the state is reset again.
"$runner" run reg add "$state" /v UpdateAttempts /t REG_DWORD /d 5 /f >/dev/null 2>&1
run "$plain" -install
check "-install on a stopped service did not log 1226 1062" log_has '\[error\] 1226 1062'
expect_value "$service" ImagePath "$(reg_text "\"$(windows_path "$spaced")\"")"
expect_value "$state" UpdateAttempts dword:00000000

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
# Wine takes the user interface language from LC_ALL, even where the host
# lacks that locale (bash then warns that it cannot set it).
(cd "$work" && env LC_ALL=fr_FR.UTF-8 "$runner" run "$plain" -install) ||
    fail "-install on a French machine exited with $?"
expect_value "$service" Description "$(reg_text "$(text_of 1036)")"
run "$plain" -uninstall
check "the French -uninstall left the service" key_missing "$service"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
