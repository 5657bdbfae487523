#!/usr/bin/env bash
# Test_rireruv --check on the described card's replayed presses (umockdev-run), with no
# terminal: its JSON lines, read by jq, must list every press of the replay, and ir-keytable -t
# on the same replay must see the same scancodes in the same order (keytable_agrees.sh).
# usage: check_agrees.sh Test_rireruv EVENTS SCRATCH -- UMOCKDEV-RUN COMMAND...
set -euo pipefail
exe=$1 events=$2 scratch=$3
shift 4
out=$scratch/check_card.out
trace=$scratch/check_card.trace
fail() { echo "FAIL: $*"; cat "$out"; exit 1; }
mkdir -p "$scratch"

count=$(awk '$1 == "E:" && $3 == "0004" && $4 == "0004"' "$events" | wc -l)
status=0
env RIRERUV_DEVICE=auto "$@" "$exe" --check --presses "$count" --timeout 30 \
  </dev/null >"$out" 2>"$scratch/check_card.err" || status=$?
[ "$status" = 0 ] || fail "exit $status: $(tail -n 1 "$out")"
jq -s -e 'any(.[]; .event == "message" and (.text | startswith("board: rc0")))' "$out" \
  >/dev/null || fail "the board is not named"
jq -s -e 'any(.[]; .event == "press" and .key == "KEY_POWER" and .keymap == "rc-pinnacle-color")' \
  "$out" >/dev/null || fail "the mapped key is not named"
echo "ok: --check read $count presses from the card and exited 0"
# The scancodes, in the trace's form, for the comparison with ir-keytable.
jq -r 'select(.event == "press") | "press scancode=\(.hex) protocol=\(.protocol)"' "$out" >"$trace"
exec "$(dirname "$0")/keytable_agrees.sh" "$trace" "$scratch" -- "$@"
