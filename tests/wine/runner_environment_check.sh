#!/usr/bin/env bash
# Overrides that any unelevated process of the user can write to
# HKCU\Environment (PATH, ComSpec, TEMP, TMP) reach every program started
# afterwards, the optimizer too; the batch runner builds each batch's
# environment itself, so they change nothing. Checked under Wine through the
# real runner (tests/win32/run_batch_file):
#   - the overrides reach a plain cmd.exe started the same way (else this
#     check would prove nothing);
#   - the batch sees the system's PATH, ComSpec and the profile's TEMP/TMP;
#   - reg.bat, chcp.bat and cmd.bat planted in the overriding PATH are not run.
# The prefix's HKCU\Environment is exported first and put back afterwards.
# Usage: tests/wine/runner_environment_check.sh BUILD_DIR (the windows preset's).
set -euo pipefail
build=${1:?usage: runner_environment_check.sh BUILD_DIR}
wine_run="$build/wine-run"
runner="$build/tests/win32/run_batch_file.exe"
work=$(mktemp -d "${TMPDIR:-/tmp}/qf-environment.XXXXXX")
win() { printf 'Z:%s' "${1//\//\\}"; }
failed=0

"$wine_run" --prepare
"$wine_run" reg export 'HKCU\Environment' "$(win "$work/saved.reg")" /y >/dev/null
restore() {
  "$wine_run" reg delete 'HKCU\Environment' /f >/dev/null 2>&1 || true
  "$wine_run" reg import "$(win "$work/saved.reg")" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap restore EXIT

expect() {  # expect NAME ACTUAL WANTED
  if [ "$2" = "$3" ]; then
    echo "ok   $1"
  else
    failed=$((failed + 1))
    echo "FAIL $1: got '$2', want '$3'"
  fi
}

mkdir "$work/plant"
for name in reg chcp cmd; do
  printf '@echo ran> "%%~f0.ran"\r\n' >"$work/plant/$name.bat"
done
plant=$(win "$work/plant")
"$wine_run" reg add 'HKCU\Environment' /v PATH /t REG_SZ /d "$plant" /f >/dev/null
"$wine_run" reg add 'HKCU\Environment' /v ComSpec /t REG_SZ /d "$plant\\cmd.bat" /f >/dev/null
"$wine_run" reg add 'HKCU\Environment' /v TEMP /t REG_SZ /d 'C:\windows\system32' /f >/dev/null
"$wine_run" reg add 'HKCU\Environment' /v TMP /t REG_SZ /d 'C:\windows\system32' /f >/dev/null

seen=$("$wine_run" cmd.exe /c 'echo %TEMP%^|%ComSpec%^|%LOCALAPPDATA%' | tr -d '\r')
IFS='|' read -r temp comspec local <<<"$seen"
expect "the override reaches a plain cmd.exe: TEMP" "$temp" 'C:\windows\system32'
expect "the override reaches a plain cmd.exe: ComSpec" "$comspec" "$plant\\cmd.bat"

printf '%s\r\n' 'echo TEMP=%TEMP%' 'echo TMP=%TMP%' 'echo ComSpec=%ComSpec%' 'echo PATH=%PATH%' \
  'reg query "HKCU\Environment" /v TEMP >nul' 'echo x | find "x" >nul' >"$work/body.txt"
set +e
output=$("$wine_run" "$runner" "$(win "$work/body.txt")" | tr -d '\r')
code=$?
set -e
expect "the batch succeeds" "$code" 0
value() { sed -n "s/^$1=//p" <<<"$output"; }
expect "TEMP is the profile's" "$(value TEMP)" "$local\\Temp"
expect "TMP is the profile's" "$(value TMP)" "$local\\Temp"
expect "ComSpec is the system's" "$(value ComSpec)" 'C:\windows\system32\cmd.exe'
expect "PATH is the system's" "$(value PATH)" \
  'C:\windows\system32;C:\windows;C:\windows\system32\Wbem;C:\windows\system32\WindowsPowerShell\v1.0\'
expect "no planted batch ran" "$(find "$work/plant" -name '*.ran' | wc -l)" 0

echo "runner environment: $failed failed"
[ "$failed" -eq 0 ]
