#!/usr/bin/env bash
# The real verifier measured under Wine, in a fresh prefix on a virtual X display:
#   tests/e2e/measure.sh BIN_DIR OUT_DIR --soak SECONDS   polling leaks nothing (fails if it does)
#   tests/e2e/measure.sh BIN_DIR OUT_DIR --bench SECONDS  the benchmark's figures (never fails)
set -euo pipefail
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
mode=$3
seconds=$4
. "$(dirname "$0")/wine-session.sh"

rm -f "$out/report.txt"
timeout $((seconds * 3 + 300)) wine explorer /desktop=measure,1024x768 \
  "$(winepath -w "$bin/e2e_driver.exe")" "$(winepath -w "$out")" "$mode" "$seconds" \
  >>"$out/wine.log" 2>&1 || true
grep -v '^ALL PASSED$' "$out/report.txt" 2>/dev/null || true
[ "$mode" = --bench ] || grep -qx "ALL PASSED" "$out/report.txt"
