#!/usr/bin/env bash
# test-rireruv --watch-gpio on the described card (a saa7134 GPIO receiver), with /dev/kmsg and
# saa7134's ir_debug parameter in the testbed: build_key lines whose data stays 0 say the card
# type is wrong, lines with data say the receiver works, none say it hears nothing; ir_debug is
# 1 while it watches and 0 again after, also after a signal.
# usage: watch_gpio_test.sh Test_rireruv FEED_CARD EVENTS SCRATCH
set -euo pipefail
exe=$1 feed=$2 events=$3 scratch=$4/watch_gpio
mkdir -p "$scratch"
out=$scratch/out.json control=$scratch/keys-$$.fifo param=$scratch/ir_debug
fail() { echo "FAIL: $*"; cat "$out"; exit 1; }
trap 'rm -f "$control"' EXIT

# run RECORDS... [-- SIGNAL]: the watch for 2 s, each record logged once it watches.
run() {
  local sig=""
  : >"$scratch/kmsg"
  while [ $# -gt 0 ]; do
    [ "$1" = -- ] && { sig=$2; break; }
    echo "7,$RANDOM,1000,-;saa7134: input: $1" >>"$scratch/kmsg"
    shift
  done
  rm -f "$out" "$param" "$control"
  TMPDIR=$scratch RIRERUV_DEVICE=auto FEED_KMSG=$scratch/kmsg FEED_PARAM_OUT=$param \
    umockdev-wrapper "$feed" "$control" "$events" -- "$exe" --watch-gpio --seconds 2 \
    </dev/null >"$out" 2>/dev/null &
  local pid=$!
  for _ in $(seq 400); do grep -q 'press keys of the remote' "$out" 2>/dev/null && break; sleep 0.05; done
  grep -q 'press keys of the remote' "$out" || fail "the watch did not begin"
  if [ -n "$sig" ]; then
    kill "-$sig" "$(pgrep -P "$pid" -f -- --watch-gpio)"
  else
    while read -r _; do echo kmsg >"$control"; done <"$scratch/kmsg"
  fi
  status=0
  wait "$pid" || status=$?
  jq -e . "$out" >/dev/null || fail "a line that is not JSON"
  [ "$(cat "$param")" = 0 ] || fail "ir_debug left as $(cat "$param")"
}
verdict() { tail -n 1 "$out" | jq -r '.verdict + " " + (.changes | tostring)'; }

run "build_key gpio=0x8c00 mask=0xff data=0" "build_key gpio=0x8d00 mask=0xff data=0"
[ "$status" = 1 ] && [ "$(verdict)" = "wrong_card 2" ] || fail "data 0: exit $status, $(verdict)"
grep -q 'the card type (card=) is wrong' "$out" || fail "no word of card="
run "build_key gpio=0x8c05 mask=0xff data=5" "some other line of the log"
[ "$status" = 0 ] && [ "$(verdict)" = "data 1" ] || fail "data 5: exit $status, $(verdict)"
run
[ "$status" = 1 ] && [ "$(verdict)" = "silent 0" ] || fail "nothing: exit $status, $(verdict)"
echo "ok: data 0 is a wrong card=, data a working receiver, nothing a deaf one; ir_debug back to 0"
run -- TERM
[ "$status" = 143 ] || fail "SIGTERM: exit $status"
echo "ok: SIGTERM ends it with 143 and ir_debug back to 0"
