#!/usr/bin/env bash
# Runs generated script bodies with Wine's cmd.exe, framed by the batch
# runner's fixed header and footer exactly as the runner writes them, and
# checks their exit codes and effects:
#   - through the program's own batch runner: plain reg add / reg delete
#     lines change Wine's registry as written;
#   - a templated body whose steps all succeed or skip exits with 0 (Wine's
#     powershell.exe does nothing and exits 0);
#   - the same body with its step lines replaced by a stand-in that exits 1
#     exits with 1, though the footer's "exit /b 0" follows;
#   - a plain line after a templated step that records its failure makes the
#     body exit with 1;
#   - the terminate-process batch line skips a process that is not running
#     and records a failed taskkill.
# Usage: tests/wine/body_batch_check.sh BUILD_DIR (the windows preset's build
# folder: its wine-run and its natively built body_check are used).
set -euo pipefail
build=${1:?usage: body_batch_check.sh BUILD_DIR}
wine_run="$build/wine-run"
body_check="$build/host-tools/script_body/body_check"
work=$(mktemp -d "${TMPDIR:-/tmp}/qf-bodies.XXXXXX")
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# run_body BODY_FILE: frames the body, runs it, sets $output and $code.
run_body() {
  local bat="$work/run.bat"
  printf '@echo off\r\nsetlocal EnableDelayedExpansion\r\nset "LOG=NUL"\r\nchcp 65001 >nul 2>&1\r\n' >"$bat"
  cat "$1" >>"$bat"
  printf '\r\nexit /b 0\r\n' >>"$bat"
  set +e
  output=$("$wine_run" cmd.exe /c "Z:${bat//\//\\}" 2>&1 | tr -d '\r')
  code=${PIPESTATUS[0]}
  set -e
}

# run_real BODY_FILE: runs the body through the program's own batch runner
# (RunBatchScript, in tests/win32/run_batch_file); sets $output (what the
# runner captured, and the reasons of a failure) and $code.
run_real() {
  set +e
  output=$("$wine_run" "$build/tests/win32/run_batch_file.exe" "Z:${1//\//\\}" 2>&1 | tr -d '\r')
  code=${PIPESTATUS[0]}
  set -e
}

expect() {  # expect NAME ACTUAL WANTED
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $1: got '$2', want '$3'"
    echo "$output" | sed 's/^/    /'
  fi
}

expand() {  # expand SOURCE_TEXT OUT_FILE
  printf '%s' "$1" >"$work/source.txt"
  "$body_check" --print "$work/source.txt" >"$2"
}

"$wine_run" --prepare

key='HKCU\Software\QuarnfeldBodyCheck'
"$wine_run" reg delete "$key" /f >/dev/null 2>&1 || true
expand "plain:
  reg add \"$key\" /v Written /t REG_DWORD /d 7 /f
  reg add \"$key\" /v Removed /t REG_SZ /d gone /f
  reg delete \"$key\" /v Removed /f
" "$work/plain.body"
run_real "$work/plain.body"
expect "plain list exit code" "$code" 0
query=$("$wine_run" reg query "$key" 2>&1 | tr -d '\r')
expect "reg add wrote its value" "$(grep -c 'Written *REG_DWORD *0x7' <<<"$query")" 1
expect "reg delete removed its value" "$(grep -c 'Removed' <<<"$query")" 0
"$wine_run" reg delete "$key" /f >/dev/null 2>&1 || true

expand "title: Templated
clear-directory-contents:
  directory: %TEMP%\\QuarnfeldBodyCheck
disable-service:
  service: QuarnfeldBodyCheck
  min-version: Windows10-1607
restart-note:
  restart: computer
separator
" "$work/templated.body"
run_real "$work/templated.body"
expect "templated body, every step succeeds" "$code" 0

sed 's/^PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command .*/cmd \/c exit 1/' "$work/templated.body" >"$work/failing.body"
run_real "$work/failing.body"
expect "templated body, its steps exit 1" "$code" 1

sed '0,/^PowerShell -NoProfile -NonInteractive -ExecutionPolicy Unrestricted -Command .*/s//cmd \/c exit 1/' "$work/templated.body" >"$work/one.body"
run_body "$work/one.body"
expect "templated body, its first step exits 1" "$code" 1

# A plain line after a templated step records its failure in the same flag.
expand "disable-service:
  service: QuarnfeldBodyCheck
plain:
  reg add \"HKQF\\Software\\Quarnfeld\" /v Flag /t REG_DWORD /d 1 /f >nul 2>&1
  if errorlevel 1 set \"QF_FAILED=1\"
" "$work/recorded.body"
run_real "$work/recorded.body"
expect "templated body, a failed plain line after its step" "$code" 1

expand "terminate-process:
  executable: quarnfeld-not-running.exe
" "$work/terminate.body"
run_body "$work/terminate.body"
expect "terminate-process skips a process that is not running" "$code" 0
expect "terminate-process says so" "$output" "Skipping, quarnfeld-not-running.exe is not running."

# Wine's tasklist lists nothing and its find knows no /i: a stand-in lists the
# process, so that the kill is tried and fails.
sed -e 's/^tasklist [^|]*|/echo "quarnfeld-not-running.exe","4" |/' -e 's/find \/i/find/' \
  "$work/terminate.body" >"$work/kill.body"
run_body "$work/kill.body"
expect "terminate-process records a failed taskkill" "$code" 1

echo "body batch check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
