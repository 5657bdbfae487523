#!/usr/bin/env bash
# The native verifier reading the described card, in a real terminal: tmux runs it with
# RIRERUV_DEVICE=auto on the card of card.umockdev (through feed_card, under
# umockdev-wrapper), Start is pressed, and each press of card.events must show its byte in
# the dialog's data field and its row in the press log (number, scancode, protocol, key name),
# while the status line names the card and its keymap; at exit, the summary counts the keys.
# With "lirc" the presses come as records on the lirc node; otherwise on the event device,
# where the test first waits for the hint that nothing arrives, and sees a press withdraw it.
# usage: tmux_card.sh Test_rireruv FEED_CARD EVENTS SCRATCH [lirc]
# Why feed_card rather than umockdev-run's replay: the test presses the next key only once it
# has seen the last one's row, so no press can land while the dialog is not yet polling, however
# loaded the machine is.
set -euo pipefail
abs() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
exe=$(abs "$1") feed=$(abs "$2") events=$(abs "$3") scratch=$(abs "$4") mode=${5:-evdev}
. "$(dirname "$0")/../../support/tmux_lib.sh"
session="card-$$"
sock="card-$mode-$$"
wait_seconds=10
screen_joined=1 # the summary at exit is wider than the pane
# Named for this run: two runs in one build folder at once must not press each other's keys.
control=$scratch/keys-$mode-$$.fifo
trace=$scratch/tmux_card-$mode-$$.trace
data_is() { [ "$(data_value)" = "$1" ]; }
# The byte the dialog shows for a scancode: its low byte in hex, without padding (%X).
shown_for() { printf '%X' $(($1 & 0xFF)); }
# The log's row of press N: "N  1.200  0x40c  nec  0  0.25s x2  not in rc-pinnacle-color  0C".
log_row() { screen | awk -v n="$1" '$1 == n && $2 ~ /^[0-9]+\.[0-9]+$/ && $3 ~ /^0x/' | tail -n 1; }
# Its scancode, protocol, key and byte (the toggle and held columns left out).
row_is() {
  [ "$(log_row "$1" | awk '{ s = $3 " " $4; i = 7; if ($i ~ /^x[0-9]+$/) i++
                             for (; i <= NF; i++) s = s " " $i; print s }')" = "$2" ]
}

[ "$mode" = lirc ] && lirc=--lirc node=/dev/lirc0 || lirc="" node=/dev/input/event5
scancodes=$(awk '$1 == "E:" && $3 == "0004" && $4 == "0004" { print $5 }' "$events")
[ -n "$scancodes" ] || fail "no presses in $events"
rm -f "$trace" "$control"

tmux_open 100x32
trap 'tmux_cleanup; rm -f "$control" "$trace"' EXIT
run="TMPDIR=$scratch RIRERUV_DEVICE=auto RIRERUV_TRACE=$trace"
run+=" umockdev-wrapper $feed $lirc $control $events -- $exe"
keys "clear; $run; echo exit=\$?" Enter

# The status line names the card, the driver, the board, the node read and the keymap.
card="rireruv: board: rc0, saa7134, saa7134 IR (Pinnacle PCTV 110i), reading $node, keymap"
wait_until shows "$card"
wait_until shows ">Start<"
wait_until shows "no press yet"
keys Enter
wait_until shows ">Stop<"
wait_until data_is 0 # before the first press the board writes nothing and the dialog shows 0
echo "ok: the status line names the card and its keymap; polling shows 0 before any press"

if [ "$mode" != lirc ]; then
  wait_until -s 15 shows "what to check is above"
  shows "decodes in hardware" && shows "nobody else has" || fail "the hint says too little"
  echo "ok: after 8 s without a press, the hint: $(screen | grep -F 'no press in' | head -n 1)"
fi

# Each press, once the last one's row is in the log.
n=0
for code in $scancodes; do
  n=$((n + 1))
  echo >"$control"
  wait_until shows "Press log: $n press"
  wait_until data_is "$(shown_for "$code")"
  key=$( [ $((code)) = 5 ] && echo KEY_POWER || echo "not in rc-pinnacle-color")
  proto=-
  if [ "$mode" = lirc ]; then proto=$( [ $((code)) -gt 255 ] && echo nec || echo unknown); fi
  want="$(printf '0x%x' "$code") $proto $key"
  wait_until row_is "$n" "$want $(shown_for "$code" | sed 's/^\(.\)$/0\1/')"
  echo "ok: press $n: $(log_row "$n" | sed 's/  */ /g')"
done
shows "what to check is above" && fail "the hint stayed after a press"
shows "$card" || fail "the status line no longer names the card"
[ "$(log_row 1 | awk '{print $3}')" = "$(log_row "$n" | awk '{print $3}')" ] ||
  fail "card.events should end with its first key again: the same key twice is two rows"

echo "---- the screen, polling the card ----"
screen | sed -e '/^$/d'
keys Escape
wait_until shows_line "exit=0"
gpio=- i2c=- # the event device names no protocol; the lirc node does
[ "$mode" = lirc ] && gpio=unknown i2c=nec
summary="rireruv: summary: $n presses read from rc0, 6 distinct scancodes; 1 of 16 keys of"
summary+=" rc-pinnacle-color seen: KEY_POWER; 5 scancodes not in rc-pinnacle-color: 0x0"
summary+=" ($gpio) 0x1f ($gpio) 0xab ($gpio) 0xff ($gpio) 0x40c ($i2c)"
shows "$summary" || fail "no summary at exit: $summary"
grep -c '^press ' "$trace" | grep -qx "$n" ||
  fail "the trace has other presses than were pressed: $(grep '^press ' "$trace")"
echo "ok: Esc ended it; the summary counted the keys; every press traced once"
