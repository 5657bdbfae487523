#!/usr/bin/env bash
# The Wine stage: a fresh Wine prefix on a virtual X display, then, inside Wine's own desktop
# window (so captions, frames and minimising work as with a window manager):
#   1. the Win32 fidelity tests, the model's own tests run on Wine's user32;
#   2. the driver's scenarios against the real Test_rireruv.EXE and rireruv.dll, whose
#      screenshots are turned into PNGs.
# usage: tests/e2e/run.sh BIN_DIR OUT_DIR [SCREENSHOT_DIR]
set -euo pipefail
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
shots=${3:-}
started=$(date +%s%N)

. "$(dirname "$0")/wine-session.sh"
ready=$(date +%s%N)

# Under code page 1252 (LANG=C), where the model's ANSI conversion is pinned down.
echo "== Win32 fidelity tests on Wine's user32"
LANG=C LC_ALL=C timeout 180 wine explorer /desktop=fidelity,800x600 \
  "$(winepath -w "$bin/win32_fidelity.exe")" 2>&1 | tr -d '\r' >"$out/fidelity.txt" || true
grep -E '^\[ *(OK|FAILED|PASSED) *\]' "$out/fidelity.txt" | grep -v '^\[  FAILED  \] [0-9]* tests\?, listed' || true
fidelity_ok=0
if grep -qE '^\[  PASSED  \] [0-9]+ tests?\.$' "$out/fidelity.txt" && ! grep -q '^\[  FAILED  \]' "$out/fidelity.txt"; then
  fidelity_ok=1
fi
tested=$(date +%s%N)

echo "== end-to-end scenarios"
rm -f "$out"/*.bmp "$out/report.txt"
timeout 240 wine explorer /desktop=e2e,1024x768 "$(winepath -w "$bin/e2e_driver.exe")" \
  "$(winepath -w "$out")" >>"$out/wine.log" 2>&1 || true
finished=$(date +%s%N)

cat "$out/report.txt" 2>/dev/null || echo "e2e: the driver wrote no report (see $out/wine.log)"
if [ -n "$shots" ]; then
  mkdir -p "$shots"
  for bmp in "$out"/*.bmp; do
    [ -e "$bmp" ] && convert "$bmp" -strip "$shots/$(basename "${bmp%.bmp}").png"
  done
fi
echo "wine stage: set-up $(((ready - started) / 1000000)) ms, fidelity tests $(((tested - ready) / 1000000)) ms, scenarios $(((finished - tested) / 1000000)) ms"
[ "$fidelity_ok" = 1 ] || { echo "wine stage: fidelity tests failed (see $out/fidelity.txt)"; exit 1; }
tail -n 1 "$out/report.txt" 2>/dev/null | grep -qx "ALL PASSED"
