#!/usr/bin/env bash
# Test_rireruv --check as a test bench's script meets it: no terminal at all (standard input
# /dev/null, output to files), every line read by a JSON reader (jq), and the exit status as
# the verdict: 0 the presses asked for, 1 the time ran out, 2 a failed initialisation or a
# refused setting, 130 after SIGTERM with the library freed.
# usage: check_test.sh Test_rireruv SCRATCH
set -euo pipefail
exe=$1 scratch=$2
mkdir -p "$scratch"
out=$scratch/check.out err=$scratch/check.err
fail() { echo "FAIL: $*"; echo "---- stdout ----"; cat "$out"; echo "---- stderr ----"; cat "$err"; exit 1; }

# Runs the check with a clean environment and the settings given; sets $status.
check() {
  local settings=() args=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do settings+=("$1"); shift; done
  shift
  args=("$@")
  status=0
  env -i PATH="$PATH" "${settings[@]}" "$exe" --check "${args[@]}" </dev/null >"$out" 2>"$err" ||
    status=$?
  # Every line is JSON, and the last one is the verdict.
  jq -e . "$out" >/dev/null || fail "a line that is not JSON"
  [ "$(tail -n 1 "$out" | jq -r .event)" = verdict ] || fail "the last line is not the verdict"
}
verdict() { tail -n 1 "$out" | jq -r "$1"; }
# Whether any line satisfies the jq condition (jq 1.6's -e looks only at the last line's output).
has() { jq -s -e "any(.[]; $1)" "$out" >/dev/null; }
presses() { jq -r 'select(.event == "press") | .scancode' "$out" | tr '\n' ' '; }

check RIRERUV_DATA="05 - 05 AB" -- --presses 3 --timeout 20
[ "$status" = 0 ] || fail "exit $status after the presses asked for"
[ "$(presses)" = "5 5 171 " ] || fail "presses $(presses)"
[ "$(jq -r 'select(.event == "press") | .number' "$out" | tr '\n' ' ')" = "1 2 3 " ] ||
  fail "press numbers"
[ "$(verdict '.verdict + " " + (.presses | tostring)')" = "pass 3" ] || fail "verdict"
has '.event == "message" and (.text | startswith("summary: 3 presses"))' ||
  fail "no summary: ZELK_Free not called?"
echo "ok: three presses, exit 0, the same key twice is two presses"

check RIRERUV_DATA="-" -- --timeout 1
[ "$status" = 1 ] || fail "exit $status when nothing arrives"
[ "$(verdict .verdict)" = timeout ] || fail "verdict"
echo "ok: nothing in 1 s, exit 1"

check RIRERUV_DATA="05 GG" RIRERUV_INIT_STATUS=9 -- --presses 1
[ "$status" = 2 ] || fail "exit $status after a refused setting"
[ "$(verdict .verdict)" = "init failed" ] || fail "verdict"
has '.event == "message" and (.text | contains("GG"))' || fail "the reason is not among the lines"
grep -qF 'GG' "$err" || fail "the reason is not on standard error"
check RIRERUV_INIT_STATUS=8 -- --presses 1
[ "$status" = 2 ] || fail "exit $status after ZELK_HWInit returned 8"
echo "ok: a refused setting and a failed initialisation, exit 2, the reason in a line"

for bad in "--presses 0" "--timeout x" "--frob" "--presses"; do
  status=0
  # shellcheck disable=SC2086 # the words are the arguments
  env -i PATH="$PATH" "$exe" --check $bad </dev/null >"$out" 2>"$err" || status=$?
  [ "$status" = 2 ] && [ ! -s "$out" ] && grep -q usage "$err" || fail "--check $bad: exit $status"
done
echo "ok: bad arguments, exit 2 with the usage, nothing on standard output"

# SIGTERM while polling: the library is freed (its summary is said) and the verdict written.
rm -f "$out"
env -i PATH="$PATH" RIRERUV_DATA="-" "$exe" --check --timeout 60 </dev/null >"$out" 2>"$err" &
pid=$!
for _ in $(seq 200); do grep -q '"board: ' "$out" 2>/dev/null && break; sleep 0.05; done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" = 130 ] || fail "exit $status after SIGTERM"
[ "$(verdict .verdict)" = interrupted ] || fail "verdict"
grep -q '"summary: ' "$out" || fail "ZELK_Free was not called"
echo "ok: SIGTERM ends it with 130, the library freed"

# --help and --version answer without a terminal and do nothing else.
status=0
"$exe" --version </dev/null >"$out" 2>"$err" || status=$?
[ "$status" = 0 ] && [ "$(head -n 1 "$out")" = "Test_rireruv 1.0.0.2 (product 1.0.0.1)" ] &&
  grep -qE '^librireruv [0-9]+\.[0-9]+\.[0-9]+$' "$out" || fail "--version: exit $status"
status=0
"$exe" --help </dev/null >"$out" 2>"$err" || status=$?
[ "$status" = 0 ] && grep -q -- '--check' "$out" && [ ! -s "$err" ] || fail "--help: exit $status"
echo "ok: --version gives the version resource's numbers and the library's; --help the usage"
