#!/usr/bin/env bash
# Test_rireruv --check as a test bench's script meets it: no terminal at all (standard input
# /dev/null, output to files), every line read by a JSON reader (jq), the start line first and
# the exit status as the verdict: 0 the presses asked for, 1 the time ran out, 2 a failed
# initialisation, a refused setting, no receiver, or output that cannot be written; 128 and
# the signal after a signal, with the library freed.
# usage: check_test.sh Test_rireruv SCRATCH
set -euo pipefail
exe=$1 scratch=$2
mkdir -p "$scratch"
out=$scratch/check.out err=$scratch/check.err
# A clean environment, but for the sanitizer's settings when the sanitizer build runs the test.
clean=(env -i PATH="$PATH" ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}")
fail() { echo "FAIL: $*"; echo "---- stdout ----"; cat "$out"; echo "---- stderr ----"; cat "$err"; exit 1; }

# Runs the check with a clean environment and the settings given, under the command in $under
# if any; sets $status.
check() {
  local settings=() args=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do settings+=("$1"); shift; done
  shift
  args=("$@")
  status=0
  # shellcheck disable=SC2086 # $under is words
  "${clean[@]}" "${settings[@]}" ${under:-} "$exe" --check "${args[@]}" </dev/null \
    >"$out" 2>"$err" || status=$?
  # Every line is JSON, the first is the start line, and the last one is the verdict.
  jq -e . "$out" >/dev/null || fail "a line that is not JSON"
  [ "$(head -n 1 "$out" | jq -r '.event + " " + (.schema | tostring)')" = "start 1" ] ||
    fail "the first line is not the start line of schema 1"
  [ "$(tail -n 1 "$out" | jq -r .event)" = verdict ] || fail "the last line is not the verdict"
}
start() { head -n 1 "$out" | jq -r "$1"; }
verdict() { tail -n 1 "$out" | jq -r "$1"; }
# Whether any line satisfies the jq condition (jq 1.6's -e looks only at the last line's output).
has() { jq -s -e "any(.[]; $1)" "$out" >/dev/null; }
presses() { jq -r 'select(.event == "press") | .scancode' "$out" | tr '\n' ' '; }

check RIRERUV_DATA="05 - 05 AB" -- --presses 3 --timeout 20
[ "$status" = 0 ] || fail "exit $status after the presses asked for"
[ "$(presses)" = "5 5 171 " ] || fail "presses $(presses)"
[ "$(jq -r 'select(.event == "press") | .number' "$out" | tr '\n' ' ')" = "1 2 3 " ] ||
  fail "press numbers"
[ "$(verdict '.verdict + " " + (.presses | tostring) + " " + .board')" = "pass 3 simulated" ] ||
  fail "verdict"
[ "$(start '[.board, .simulated, .asked_by, .presses, .timeout_ms, .version, .receiver] |
            map(tostring) | join(" ")')" = "simulated true RIRERUV_DATA 3 20000 1.0.0.2 null" ] ||
  fail "the start line: $(head -n 1 "$out")"
has '.event == "message" and (.text | startswith("summary: 3 presses"))' ||
  fail "no summary: ZELK_Free not called?"
echo "ok: three presses, exit 0, the same key twice is two presses"

# --timeout S waits S seconds at least; how much longer depends on the machine, so only the
# lower bound is checked.
began=$(date +%s%3N)
check RIRERUV_DATA="-" -- --timeout 1
took=$(($(date +%s%3N) - began))
[ "$status" = 1 ] || fail "exit $status when nothing arrives"
[ "$(verdict .verdict)" = timeout ] || fail "verdict"
[ "$took" -ge 1000 ] || fail "--timeout 1 gave up after $took ms"
echo "ok: nothing in 1 s, exit 1 (after $took ms)"

check RIRERUV_DATA="05 GG" RIRERUV_INIT_STATUS=9 -- --presses 1
[ "$status" = 2 ] || fail "exit $status after a refused setting"
[ "$(verdict .verdict)" = init_failed ] || fail "verdict"
has '.event == "message" and (.text | contains("GG"))' || fail "the reason is not among the lines"
grep -qF 'GG' "$err" || fail "the reason is not on standard error"
check RIRERUV_INIT_STATUS=8 -- --presses 1
[ "$status" = 2 ] || fail "exit $status after ZELK_HWInit returned 8"
has '.event == "message" and (.text | contains("RIRERUV_INIT_STATUS=8"))' || fail "no reason"
echo "ok: a refused setting and a failed initialisation, exit 2, the reason in a line"

# Nothing asked for and no receiver (an empty umockdev testbed stands in for /sys): no pass,
# and the way to the simulated board.
under="umockdev-run --" check -- --timeout 5
[ "$status" = 2 ] && [ "$(verdict .verdict)" = init_failed ] || fail "exit $status with no card"
[ "$(start .board)" = null ] || fail "a board named"
has '.event == "message" and (.text | contains("RIRERUV_DEVICE=simulated"))' ||
  fail "no word of the simulated board"
echo "ok: no receiver and nothing asked for: exit 2, and how to try the simulated board"

for bad in "--presses 0" "--timeout x" "--frob" "--presses"; do
  status=0
  # shellcheck disable=SC2086 # the words are the arguments
  "${clean[@]}" "$exe" --check $bad </dev/null >"$out" 2>"$err" || status=$?
  [ "$status" = 2 ] && [ ! -s "$out" ] && grep -q usage "$err" || fail "--check $bad: exit $status"
done
echo "ok: bad arguments, exit 2 with the usage, nothing on standard output"

# Each signal while polling: the library freed (its summary said, ZELK_Free traced), the
# verdict "interrupted", and 128 + the signal; never a pass. SIGINT and SIGQUIT at their
# defaults, as Ctrl-C finds them in a terminal (a script's background job ignores them).
trace=$scratch/check.trace
for sig in TERM:143 INT:130 HUP:129 QUIT:131; do
  rm -f "$out" "$trace"
  env --default-signal=INT,QUIT "${clean[@]}" RIRERUV_DATA="-" RIRERUV_TRACE="$trace" "$exe" \
    --check --timeout 60 </dev/null >"$out" 2>"$err" &
  pid=$!
  for _ in $(seq 200); do grep -q '^ZELK_GetRemoteData' "$trace" 2>/dev/null && break; sleep 0.05; done
  kill -"${sig%:*}" "$pid"
  status=0
  wait "$pid" || status=$?
  [ "$status" = "${sig#*:}" ] || fail "exit $status after SIG${sig%:*}"
  [ "$(verdict '.verdict + " " + .signal')" = "interrupted SIG${sig%:*}" ] ||
    fail "SIG${sig%:*}: the last line is no verdict \"interrupted\""
  [ "$(tail -n 1 "$trace")" = ZELK_Free ] || fail "SIG${sig%:*}: ZELK_Free was not called"
done
echo "ok: SIGTERM, SIGINT, SIGHUP, SIGQUIT end it with 128 + the signal, the library freed"

# Inside a slow library call the first signal waits for the call; a second ends it at once.
rm -f "$out" "$trace"
"${clean[@]}" RIRERUV_DATA="05" RIRERUV_DELAY_MS=30000 RIRERUV_TRACE="$trace" "$exe" --check \
  </dev/null >"$out" 2>"$err" &
pid=$!
for _ in $(seq 200); do grep -q '"board: ' "$out" 2>/dev/null && break; sleep 0.05; done
kill -TERM "$pid"
for _ in $(seq 200); do grep -q 'a second signal ends it at once' "$err" && break; sleep 0.05; done
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" = 143 ] || fail "a second SIGTERM in a slow call: exit $status"
grep -q '"verdict":"pass"' "$out" && fail "a pass after two signals"
# What it found so far is not lost with it: the summary and the verdict on standard error, and
# the verdict line on standard output, which could still be written.
[ "$(verdict '.verdict + " " + .signal + " " + (.status|tostring)')" = "interrupted SIGTERM 143" ] ||
  fail "a second SIGTERM in a slow call: the last line is no verdict \"interrupted\""
grep -q '^rireruv: summary: no press read from the simulated board' "$err" &&
  grep -q 'verdict interrupted by SIGTERM in a slow library call.*: 0 of 1 presses; exit 143$' "$err" ||
  fail "a second SIGTERM in a slow call: no summary or verdict on standard error: $(cat "$err")"
echo "ok: a second SIGTERM inside a slow library call ends it at once, with 143, its verdict said"

# Output that cannot be written is no pass: a full disc and a closed standard output exit 2
# and say why; a reader that leaves ends it as SIGPIPE would. The library is freed each time it
# was set up.
rm -f "$trace"
status=0
"${clean[@]}" RIRERUV_DATA="05" RIRERUV_TRACE="$trace" "$exe" --check >/dev/full \
  2>"$err" </dev/null || status=$?
[ "$status" = 2 ] && grep -q "could not write its output (No space left on device)" "$err" ||
  fail "/dev/full: exit $status"
[ "$(tail -n 1 "$trace")" = ZELK_Free ] || fail "/dev/full: ZELK_Free was not called"
rm -f "$trace"
status=0
"${clean[@]}" RIRERUV_DATA="05" RIRERUV_TRACE="$trace" "$exe" --check >&- 2>"$err" \
  </dev/null || status=$?
[ "$status" = 2 ] && grep -q "standard output is closed" "$err" || fail ">&-: exit $status"
[ ! -s "$trace" ] || fail ">&-: the library was set up with standard output closed"
rm -f "$trace"
status=0
{ "${clean[@]}" RIRERUV_DATA="-" RIRERUV_TRACE="$trace" "$exe" --check --timeout 60 \
  2>"$err" </dev/null || echo "$?" >"$scratch/status"; } | head -n 1 >"$out"
status=$(cat "$scratch/status" 2>/dev/null || echo 0)
rm -f "$scratch/status"
[ "$status" = 141 ] || fail "| head -1: exit $status"
[ "$(tail -n 1 "$trace")" = ZELK_Free ] || fail "| head -1: ZELK_Free was not called"
echo "ok: /dev/full and a closed output exit 2 with the reason; | head -1 ends with 141; freed"

# --help and --version answer without a terminal and do nothing else.
status=0
"$exe" --version </dev/null >"$out" 2>"$err" || status=$?
[ "$status" = 0 ] && [ "$(head -n 1 "$out")" = "Test_rireruv 1.0.0.2 (product 1.0.0.1)" ] &&
  grep -qE '^librireruv [0-9]+\.[0-9]+\.[0-9]+$' "$out" || fail "--version: exit $status"
status=0
"$exe" --help </dev/null >"$out" 2>"$err" || status=$?
[ "$status" = 0 ] && grep -q -- '--check' "$out" && [ ! -s "$err" ] || fail "--help: exit $status"
echo "ok: --version gives the version resource's numbers and the library's; --help the usage"
