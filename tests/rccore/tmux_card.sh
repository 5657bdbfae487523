#!/usr/bin/env bash
# The native verifier reading the described card, in a real terminal: tmux runs it with
# RIRERUV_DEVICE=auto on the card of card.umockdev (through feed_card, under
# umockdev-wrapper), Start is pressed, and each press of card.events must show its byte in
# the dialog's data field, in turn, while the status line names the card.
# usage: tmux_card.sh Test_rireruv FEED_CARD EVENTS SCRATCH
# Why feed_card rather than umockdev-run's replay: the test presses the next key only once it
# has seen the last one's byte, so no press can land while the dialog is not yet polling or
# two within one poll, however loaded the machine is.
set -euo pipefail
abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
exe=$(abs "$1") feed=$(abs "$2") events=$(abs "$3") scratch=$(abs "$4")
session="card-$$"
sock="card-$$"
control=$scratch/keys.fifo
trace=$scratch/tmux_card.trace
t() { tmux -L "$sock" "$@"; }
cleanup() { t kill-server 2>/dev/null || true; rm -f "$control"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "---- screen ----"; t capture-pane -p -t "$session"; exit 1; }
screen() { t capture-pane -p -t "$session"; }

# The one way this test waits: until a check of what the program drew passes, looked at
# every 50 ms for up to 10 s (never a check that the typed command line could satisfy).
wait_until() {
  for _ in $(seq 200); do "$@" && return 0; sleep 0.05; done
  fail "waited for $*"
}
shows() { screen | grep -qF -- "$1"; }
shows_line() { screen | grep -qxF -- "$1"; }
data_value() { screen | grep -F ">Stop<" | sed -E 's/.*Remote +([0-9A-F]*) +>Stop<.*/\1/'; }
data_is() { [ "$(data_value)" = "$1" ]; }
# The byte the dialog shows for a scancode: its low byte in hex, without padding (%X).
shown_for() { printf '%X' $(($1 & 0xFF)); }

scancodes=$(awk '$1 == "E:" && $3 == "0004" && $4 == "0004" { print $5 }' "$events")
[ -n "$scancodes" ] || fail "no presses in $events"
rm -f "$trace" "$control"

# A clean shell, but for the sanitizer's settings when the sanitizer build runs this.
shell="env -i PATH=$PATH TERM=screen-256color LANG=C.UTF-8 HOME=$HOME PS1='$ '"
shell+=" ASAN_OPTIONS=${ASAN_OPTIONS:-} UBSAN_OPTIONS=${UBSAN_OPTIONS:-}"
t -f /dev/null new-session -d -s "$session" -x 100 -y 30 "$shell bash --norc --noprofile"
run="TMPDIR=$scratch RIRERUV_DEVICE=auto RIRERUV_TRACE=$trace"
run+=" umockdev-wrapper $feed $control $events -- $exe"
t send-keys -t "$session" "clear; $run; echo exit=\$?" Enter

# The status line names the card, the driver, the board and the node read.
card="rireruv: board: rc0, saa7134, saa7134 IR (Pinnacle PCTV 110i), reading /dev/input/event5"
wait_until shows "$card"
wait_until shows ">Start<"
t send-keys -t "$session" Enter
wait_until shows ">Stop<"
wait_until data_is 0 # before the first press the board writes nothing and the dialog shows 0
echo "ok: the status line names the card; polling shows 0 before any press"

# Each press, once the last one's byte is on the screen.
for code in $scancodes; do
  echo >"$control"
  wait_until data_is "$(shown_for "$code")"
  echo "ok: scancode $(printf '0x%x' "$code") shows as $(data_value)"
done
shows "$card" || fail "the status line no longer names the card"

echo "---- the screen, polling the card ----"
screen | sed -e '/^$/d'
t send-keys -t "$session" Escape
wait_until shows_line "exit=0"
grep -c '^press ' "$trace" | grep -qx "$(echo "$scancodes" | wc -l)" ||
  fail "the trace has other presses than were pressed: $(grep '^press ' "$trace")"
echo "ok: Esc ended it; every press traced once"
