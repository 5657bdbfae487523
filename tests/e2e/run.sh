#!/usr/bin/env bash
# The Wine stage. First, without Wine, the shipped files' own checks (ctest in their tree:
# size limits, import and export tables, the stand-in's version information). Then a fresh
# Wine prefix on a virtual X display, and inside Wine's own desktop window (so captions, frames
# and minimising work as with a window manager):
#   1. the Win32 fidelity tests, the model's own tests run on Wine's user32;
#   2. the call seam's tests, against both builds of the stand-in;
#   3. the driver's scenarios against the real Test_rireruv.EXE with the __cdecl rireruv.dll
#      (BIN_DIR), whose screenshots are turned into PNGs, then again with the __stdcall one
#      (BIN_DIR/stdcall, report in OUT_DIR/stdcall).
# The GoogleTest programs come from the posix-threads tree beside BIN_DIR's: build/win32/bin
# goes with build/win32-tests/bin (or WIN32_TESTS_BIN).
# usage: tests/e2e/run.sh BIN_DIR OUT_DIR [SCREENSHOT_DIR]
set -euo pipefail
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
shots=${3:-}
tests_bin=${WIN32_TESTS_BIN:-$(dirname "$bin")-tests/bin}
started=$(date +%s%N)
failed=()

echo "== the shipped files: sizes, imports, exports, version information"
ctest --test-dir "$(dirname "$bin")" --no-tests=error -V >"$out/files.txt" 2>&1 ||
  failed+=("file checks (see $out/files.txt)")
grep -E 'tests passed|bytes, limit|over its limit|not one of|, expected \[|: version |version information' \
  "$out/files.txt" |
  sed 's/^[0-9]*: -- //' || true

. "$(dirname "$0")/wine-session.sh"
ready=$(date +%s%N)

# A GoogleTest program under Wine, in its own desktop: passes when it says so and nothing failed.
gtest_under_wine() { # NAME EXE OUTPUT
  if [ ! -f "$2" ]; then
    echo "$1: $2 is missing (build the test programs' tree)" >"$3"
  else
    timeout 180 wine explorer "/desktop=$1,800x600" "$(winepath -w "$2")" 2>&1 |
      tr -d '\r' >"$3" || true
  fi
  grep -E '^\[ *(OK|FAILED|PASSED) *\]' "$3" |
    grep -v '^\[  FAILED  \] [0-9]* tests\?, listed' || true
  grep -qE '^\[  PASSED  \] [0-9]+ tests?\.$' "$3" && ! grep -q '^\[  FAILED  \]' "$3"
}

# Under code page 1252 (LANG=C), where the model's ANSI conversion is pinned down.
echo "== Win32 fidelity tests on Wine's user32"
LANG=C LC_ALL=C gtest_under_wine fidelity "$tests_bin/win32_fidelity.exe" "$out/fidelity.txt" ||
  failed+=("fidelity tests (see $out/fidelity.txt)")
echo "== the call seam, into both stand-ins"
SEAM_STANDINS=$(winepath -w "$bin") \
  gtest_under_wine seam "$tests_bin/seam_test.exe" "$out/seam.txt" ||
  failed+=("seam tests (see $out/seam.txt)")
tested=$(date +%s%N)

# The driver's scenarios with the EXE and stand-in in DIR; its report goes to REPORT_DIR.
scenarios() { # DIR REPORT_DIR
  mkdir -p "$2"
  rm -f "$2"/*.bmp "$2/report.txt"
  timeout 300 wine explorer /desktop=e2e,1024x768 "$(winepath -w "$1/e2e_driver.exe")" \
    "$(winepath -w "$2")" >>"$2/wine.log" 2>&1 || true
  cat "$2/report.txt" 2>/dev/null || echo "e2e: the driver wrote no report (see $2/wine.log)"
  tail -n 1 "$2/report.txt" 2>/dev/null | grep -qx "ALL PASSED"
}
echo "== end-to-end scenarios, __cdecl rireruv.dll"
scenarios "$bin" "$out" || failed+=("scenarios with the __cdecl library")
echo "== end-to-end scenarios, __stdcall rireruv.dll"
scenarios "$bin/stdcall" "$out/stdcall" || failed+=("scenarios with the __stdcall library")
finished=$(date +%s%N)

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  for bmp in "$out"/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" -strip "$shots/$(basename "${bmp%.bmp}").png"
  done
fi
ms() { echo $((($2 - $1) / 1000000)); }
echo "wine stage: set-up $(ms "$started" "$ready") ms, GoogleTest programs" \
  "$(ms "$ready" "$tested") ms, scenarios $(ms "$tested" "$finished") ms"
for f in "${failed[@]}"; do echo "wine stage: failed: $f"; done
[ ${#failed[@]} -eq 0 ]
