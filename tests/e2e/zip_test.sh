#!/usr/bin/env bash
# The Windows zip as a user meets it, under Wine: usage: tests/e2e/zip_test.sh ZIP [BIN_DIR]
# Unpacked into build/zip-test, the zip must hold Test_rireruv.EXE and README.txt at its top and
# our stand-in in simulated-board/, where Windows does not look for it. Then:
#   1. the EXE alone does not start: Wine's loader says rireruv.dll is missing, and the process
#      ends by itself, so no dialog came up (a dialog would wait for the user);
#   2. with simulated-board/rireruv.dll put beside it, the end-to-end scenario of polling passes,
#      driven by the e2e driver from BIN_DIR (default build/win32/bin, where scripts/build win32
#      puts it), on the zip's own EXE and library;
#   3. the library's version information, as Windows shows it (GetFileVersionInfo, read by
#      version_info.exe from BIN_DIR), says it is the simulated board.
# Writes only under build/zip-test; ends with "N passed, N failed".
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: tests/e2e/zip_test.sh ZIP [BIN_DIR]" >&2
  exit 2
fi
zip=$(realpath "$1")
bin=$(realpath "${2:-$top/build/win32/bin}")
[ -f "$zip" ] || { echo "zip_test: no zip at $1 (scripts/package makes it)" >&2; exit 2; }
for f in e2e_driver.exe e2e_probe.dll version_info.exe; do
  [ -f "$bin/$f" ] || { echo "zip_test: $bin/$f is missing: scripts/build win32 first" >&2; exit 2; }
done

out=$top/build/zip-test
rm -rf "$out"
mkdir -p "$out"
passed=0
failed=0
check() { # WHAT COMMAND...: passes when the command does; counted, never ends the script
  local what=$1
  shift
  if "$@"; then
    echo "PASS $what"
    passed=$((passed + 1))
  else
    echo "FAIL $what"
    failed=$((failed + 1))
  fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}

# ---- the layout ----------------------------------------------------------------------------
app=$out/unpacked
unzip -q "$zip" -d "$app"
layout() {
  local missing=0 f
  for f in Test_rireruv.EXE README.txt simulated-board/rireruv.dll; do
    [ -f "$app/$f" ] || { echo "     the zip has no $f at its place; it holds:"; missing=1; }
  done
  [ "$missing" -eq 0 ] || (cd "$app" && find . -type f | sed 's/^\./     /')
  [ ! -e "$app/rireruv.dll" ] || { echo "     rireruv.dll is beside the EXE already"; missing=1; }
  return "$missing"
}
check "the zip holds Test_rireruv.EXE, README.txt and simulated-board/rireruv.dll" layout
if [ "$failed" -gt 0 ]; then finish || exit 1; fi

. "$top/tests/e2e/wine-session.sh"

# ---- 1. the EXE alone ----------------------------------------------------------------------
alone() {
  local status=0
  (cd "$app" && timeout 30 wine Test_rireruv.EXE >"$out/alone.out" 2>"$out/alone.err") ||
    status=$?
  tr -d '\r' <"$out/alone.err" >"$out/alone.log"
  if [ "$status" -eq 124 ]; then
    echo "     still running after 30 s: something (a dialog?) waits; its stderr:"
  elif [ "$status" -eq 0 ]; then
    echo "     it ran and exited 0, as if the library were there; its stderr:"
  elif ! grep -q 'err:module:import_dll Library rireruv.dll (which is needed by .*Test_rireruv.EXE.*) not found' \
    "$out/alone.log"; then
    echo "     it exited $status without Wine's \"Library rireruv.dll ... not found\"; its stderr:"
  else
    sed 's/^/     wine: /' "$out/alone.log"
    return 0
  fi
  sed 's/^/     /' "$out/alone.log"
  return 1
}
check "the EXE alone ends at once: rireruv.dll is missing" alone

# ---- 2. one scenario with the zip's library beside the EXE ---------------------------------
cp "$app/simulated-board/rireruv.dll" "$app/"
cp "$bin/e2e_driver.exe" "$bin/e2e_probe.dll" "$app/"
scenario() {
  mkdir -p "$out/scenario"
  timeout 120 wine explorer /desktop=zip,1024x768 "$(winepath -w "$app/e2e_driver.exe")" \
    "$(winepath -w "$out/scenario")" --scenario "polling shows each byte in turn" \
    >"$out/scenario/wine.log" 2>&1 || true
  if [ ! -f "$out/scenario/report.txt" ]; then
    echo "     the driver wrote no report; see $out/scenario/wine.log"
    return 1
  fi
  sed 's/^/     /' "$out/scenario/report.txt"
  tail -n 1 "$out/scenario/report.txt" | grep -qx "ALL PASSED"
}
check "with simulated-board/rireruv.dll beside it, the polling scenario passes" scenario

# ---- 3. what Windows says the library is ---------------------------------------------------
cp "$bin/version_info.exe" "$out/"
names_itself() {
  (cd "$app" && wine "$(winepath -w "$out/version_info.exe")" 'simulated-board\rireruv.dll') \
    2>"$out/version.err" | tr -d '\r' >"$out/version.txt" || true
  sed 's/^/     /' "$out/version.txt"
  grep -q '^FileDescription: .*simulated board' "$out/version.txt" &&
    grep -q '^ProductName: .*simulated board' "$out/version.txt" &&
    grep -qx 'OriginalFilename: rireruv.dll' "$out/version.txt"
}
check "the library's version information names the simulated board" names_itself

finish
