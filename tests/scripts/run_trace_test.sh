#!/usr/bin/env bash
# scripts/run from a folder of the user's own, with a relative RIRERUV_TRACE: the trace must be
# written there, although the program runs from the checkout (terminal) or from build/win32/bin
# under Wine. It uses the trees scripts/test built and, under Wine, the prefix build/wine.
# usage: run_trace_test.sh terminal|wine WORK_DIR (under build/)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
mode=${1:-}
case $mode in
  terminal | wine) ;;
  *) echo "usage: run_trace_test.sh terminal|wine WORK_DIR" >&2; exit 2 ;;
esac
mkdir -p "$2"
work=$(cd "$2" && pwd)/$mode
mine=$work/mine
rm -rf "$work" && mkdir -p "$mine"
touch "$work/started" # a trace.txt newer than this, where the program runs from, is astray
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
log=$work/run.log

if [ "$mode" = terminal ]; then
  status=0
  # With no board setting: the source tree's first command asks for the simulated board.
  (cd "$mine" && RIRERUV_TRACE=trace.txt "$top/scripts/run" -- --check \
    --timeout 20 >"$log" 2>&1) || status=$?
  [ "$status" = 0 ] || fail "scripts/run -- --check: status $status; it said: $(tail -n 5 "$log")"
  grep -q '"asked_by":"RIRERUV_DEVICE=simulated"' "$log" ||
    fail "scripts/run did not ask for the simulated board: $(grep -m1 '"start"' "$log")"
  complete() { [ "$(head -n 1 "$1")" = "ZELK_HWInit 0" ] && [ "$(tail -n 1 "$1")" = ZELK_Free ]; }
else
  . "$top/scripts/wine-env"
  run=
  cleanup() {
    WINEPREFIX=$shared_wineprefix wineserver -k 2>/dev/null || true
    [ -n "$run" ] && { kill "$run" 2>/dev/null || true; wait "$run" 2>/dev/null || true; }
    end_display
  }
  trap cleanup EXIT
  virtual_display "$work/xvfb.log"
  (cd "$mine" && RIRERUV_DATA=05 RIRERUV_TRACE=trace.txt \
    exec "$top/scripts/run" --wine >"$log" 2>&1) &
  run=$!
  # The dialog sets the library up as it opens: that first line is the sign it is running.
  for _ in $(seq 1200); do
    grep -q '^ZELK_HWInit 0' "$mine/trace.txt" 2>/dev/null && break
    kill -0 "$run" 2>/dev/null || break
    sleep 0.1
  done
  # The library writes it with Windows' line ends.
  complete() { [ "$(head -n 1 "$1" | tr -d '\r')" = "ZELK_HWInit 0" ]; }
fi

what=scripts/run
if [ "$mode" = wine ]; then what="scripts/run --wine"; fi
if [ -f "$mine/trace.txt" ] && complete "$mine/trace.txt"; then
  echo "ok: $what with RIRERUV_TRACE=trace.txt wrote the trace in the folder it was started in"
else
  fail "$what with RIRERUV_TRACE=trace.txt: no trace as wanted in $mine" \
    "($(cat "$mine/trace.txt" 2>/dev/null | tr '\n' ' ')); it said: $(tail -n 5 "$log")"
fi
astray=$(find "$top" "$top/build/linux" "$top/build/win32/bin" -maxdepth 1 -name trace.txt \
  -newer "$work/started" 2>/dev/null || true)
[ -z "$astray" ] || fail "a trace was written where the program runs: $astray"
[ "$failures" = 0 ]
