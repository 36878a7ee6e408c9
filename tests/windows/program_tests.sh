#!/usr/bin/env bash
# The program itself under Wine: switches and exit codes as an administrator
# sees them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
runner="$here/wine_env.sh"
failures=0
passes=0

expect_code() {
    local expected=$1
    shift
    local got
    # A non-zero code fails the runner's pipeline; the printed code counts.
    got=$("$runner" code "$exe" "$@") || true
    if [ "$got" = "$expected" ]; then
        passes=$((passes + 1))
    else
        echo "FAIL: $(basename "$exe") $* exited with '$got', expected $expected" >&2
        failures=$((failures + 1))
    fi
}

for switch in -install -uninstall -deleteTask -createDefaultTask -setSilentAutoUpdate \
    -setNotifyAutoUpdate -setDisableAutoUpdate -Install /install -unknown; do
    expect_code 0 "$switch"
done
expect_code 0 -install extra arguments
expect_code 0 -uninstall  # leaves the prefix without the service

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

windows_path() { printf 'Z:%s' "$(realpath "$1" | sed 's|/|\\|g')"; }

# The auto-update mode switches rewrite the settings file in the 32-bit
# system folder, C:\windows\syswow64 under Wine.
prefix=$("$runner" prefix)
tervalon="$prefix/drive_c/windows/syswow64/Tervalon"
settings="$tervalon/Korin/zvs.cfg"
expect_settings() {
    if cmp -s "$settings" <(printf '%b' "$1"); then
        passes=$((passes + 1))
    else
        fail "after $2 zvs.cfg holds '$(od -An -c "$settings" 2>&1 | tr -s ' ')', expected '$1'"
    fi
}
rm -rf "$tervalon"
for switch in -setSilentAutoUpdate -setNotifyAutoUpdate -setDisableAutoUpdate; do
    expect_code 0 "$switch"
done
[ ! -e "$tervalon" ] || fail "a mode switch made $tervalon"
mkdir -p "$tervalon/Korin"
expect_code 0 -isSAUEnabled
expect_code 0 -setSilentAutoUpdate
expect_settings 'SilentAutoUpdateEnable=1\r\nAutoUpdateDisable=0\r\n' -setSilentAutoUpdate
expect_code 1001 -isSAUEnabled
printf 'AutoUpdateDisable=1\nOther=x\n' >"$settings"
expect_code 0 -setNotifyAutoUpdate
expect_settings 'AutoUpdateDisable=0\r\nOther=x\r\nSilentAutoUpdateEnable=0\r\n' -setNotifyAutoUpdate
expect_code 0 -isSAUEnabled
expect_code 0 -setDisableAutoUpdate
expect_settings 'AutoUpdateDisable=1\r\nOther=x\r\nSilentAutoUpdateEnable=0\r\n' -setDisableAutoUpdate
expect_code 0 -isSAUEnabled
printf 'SilentAutoUpdateEnable=yes\nAutoUpdateDisable=1\n' >"$settings"
expect_code 1001 -isSAUEnabled
entries=$(find "$tervalon/Korin" -mindepth 1 | wc -l)
[ "$entries" -eq 1 ] || fail "$entries entries beside zvs.cfg's folder, expected the file alone"
rm -rf "$tervalon"

# -deleteTask erases the update state.
state='HKLM\SOFTWARE\Tervalonix\KorinPlayerSAU'
for value in UpdateAttempts CheckFrequency; do
    "$runner" run reg add "$state" /v "$value" /t REG_DWORD /d 2 /f >/dev/null 2>&1 ||
        fail "reg add $value"
done
"$runner" run reg add "$state" /v LastUpdateCheck /t REG_QWORD /d 1 /f >/dev/null 2>&1 ||
    fail "reg add LastUpdateCheck"
expect_code 0 -deleteTask
if "$runner" run reg query "$state" >/dev/null 2>&1; then
    fail "-deleteTask left $state"
else
    passes=$((passes + 1))
fi

# -deleteTask deletes the hourly task through the real Task Scheduler: one
# planted with Wine's schtasks is gone from the store afterwards.
task_name='Vemra Korin Player Updater'
task_file="$prefix/drive_c/windows/system32/tasks/$task_name"
task_xml=$(mktemp --suffix=.xml)
cat >"$task_xml" <<'XML'
<?xml version="1.0"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Author>Someone</Author></RegistrationInfo>
  <Actions><Exec><Command>C:\windows\notepad.exe</Command></Exec></Actions>
</Task>
XML
"$runner" run schtasks /create /tn "$task_name" /xml "$(windows_path "$task_xml")" /f \
    >/dev/null 2>&1 || fail "schtasks /create"
rm -f "$task_xml"
if [ ! -f "$task_file" ]; then
    fail "schtasks /create left no $task_file"
else
    expect_code 0 -deleteTask
    if [ -e "$task_file" ]; then
        fail "-deleteTask left $task_file"
    else
        passes=$((passes + 1))
    fi
fi

# Started by bare name through PATH from another folder, the program takes
# its own path from its module: argv[0] joined to the working folder would
# name a file that is not there. The entry's test in the Windows test program
# checks the path the entry logs against the copy's real place; a second copy
# lies deeper than MAX_PATH (Wine's own PATH search cannot reach that deep, so
# it is started by its full path).
tests_exe="$(dirname "$exe")/korin-win-tests.exe"
module_test=WinEntry.TakesTheModulesPathNotTheTypedName
expect_module_path() {
    local folder=$1 search=$2 output
    shift 2
    mkdir -p "$folder"
    cp "$tests_exe" "$folder/"
    output=$(cd "$work/elsewhere" && WINEPATH=$search \
        KORIN_EXPECTED_MODULE="$(windows_path "$folder")\\korin-win-tests.exe" \
        "$runner" run "$@" --gtest_filter=$module_test 2>&1) || true
    if grep -q 'PASSED.* 1 test' <<<"$output"; then
        passes=$((passes + 1))
    else
        fail "module path of a copy in $folder started as $*: $output"
    fi
}
if [ ! -f "$tests_exe" ]; then
    fail "$tests_exe is missing: the module path cannot be tested"
else
    work=$(mktemp -d)
    mkdir -p "$work/elsewhere" "$work/on path"
    expect_module_path "$work/on path" "$(windows_path "$work/on path")" cmd /c korin-win-tests
    deep="$work/deep"
    while [ ${#deep} -lt 300 ]; do deep="$deep/a folder of the program"; done
    mkdir -p "$deep"
    expect_module_path "$deep" "" "$(windows_path "$deep")\\korin-win-tests.exe"
    rm -rf "$work"
fi

# Started without arguments outside the Service Control Manager, the program
# cannot reach the dispatcher (1063) and asks the SCM to start the service;
# no cycle runs in this process. The settings switch verbose logging on so
# that the info entries are written; the log lies below the working folder.
log_entries() {
    iconv -f UTF-16LE -t UTF-8 "$1" | tr -d '\r' | sed 's/^[^ ]* //'
}
work=$(mktemp -d)
mkdir -p "$work/Tervalon/Korin" "$tervalon/Korin"
printf 'SilentAutoUpdateVerboseLogging=1\r\n' >"$settings"
got=$(cd "$work" && "$runner" code "$exe") || true
[ "$got" = 0 ] || fail "started without arguments it exited with '$got', expected 0"
log="$work/Tervalon/Korin/KorinInstall32.log"
if [ ! -f "$log" ]; then
    fail "started without arguments it wrote no log"
else
    entries=$(log_entries "$log")
    # From 1618 on: the dispatcher's failure, then only the start request's
    # own entries (1221, 1222, 1223 with their error, or 1604).
    tail_entries=$(sed -n '/^\[info\] 1618$/,$p' <<<"$entries")
    if [ "$(sed -n 2p <<<"$tail_entries")" != "[info] 1619 1063" ]; then
        fail "the dispatcher's entries are '$tail_entries', expected 1618 then 1619 1063"
    elif sed -n '3,$p' <<<"$tail_entries" | grep -qvE '^\[(error\] 122[123] [0-9]+|info\] 1604)$'; then
        fail "after the dispatcher failed the log holds '$tail_entries'"
    else
        passes=$((passes + 1))
    fi
fi
rm -rf "$work" "$tervalon"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
