#!/usr/bin/env bash
# A key held is one press: on the described card's lirc node, the first key of card.events held
# for a second (ten frames, nine with the kernel's repeat flag), then the next key pressed once.
# --check --presses 2 must see two presses, the first with its ten frames and its release, the
# second the next key (ten frames counted as presses would end the check on the held key), and
# the kernel's times in microseconds, going forward.
# usage: check_held.sh Test_rireruv FEED_CARD EVENTS SCRATCH
set -euo pipefail
exe=$1 feed=$2 events=$3 scratch=$4
mkdir -p "$scratch"
out=$scratch/check_held.out control=$scratch/check_held-$$.fifo trace=$scratch/check_held.trace
fail() { echo "FAIL: $*"; cat "$out"; exit 1; }
rm -f "$out" "$control" "$trace"
trap 'rm -f "$control"' EXIT

TMPDIR=$scratch RIRERUV_DEVICE=auto RIRERUV_TRACE=$trace umockdev-wrapper "$feed" --lirc "$control" \
  "$events" -- "$exe" --check --presses 2 --timeout 30 </dev/null >"$out" 2>/dev/null &
pid=$!
for _ in $(seq 400); do grep -q '^ZELK_GetRemoteData' "$trace" 2>/dev/null && break; sleep 0.05; done
echo hold >"$control"
# The next key once the held one is let go: its release line says so.
for _ in $(seq 400); do grep -q '"event":"release"' "$out" && break; sleep 0.05; done
echo >"$control"
status=0
wait "$pid" || status=$?
[ "$status" = 0 ] || fail "exit $status"
jq -e . "$out" >/dev/null || fail "a line that is not JSON"
presses=$(jq -s -c '[.[] | select(.event == "press") | .scancode]' "$out")
first=$(awk '$1 == "E:" && $3 == "0004" && $4 == "0004" { print $5 }' "$events" | head -n 2 |
  paste -sd, -)
[ "$presses" = "[$first]" ] || fail "presses $presses, not [$first]"
release=$(jq -s -c '.[] | select(.event == "release" and .number == 1) | [.frames, .by]' "$out")
[ "$release" = '[10,"silence"]' ] || fail "the held key's release: $release"
jq -s -e '[.[] | select(.event == "press") | .kernel_us] | .[0] < .[1]' "$out" >/dev/null ||
  fail "kernel times absent or not going forward"
jq -s -e '.[] | select(.event == "release" and .number == 1) | .held_us >= 900000' "$out" \
  >/dev/null || fail "held for less than the nine repeats' time"
echo "ok: a second's hold is one press of 10 frames, released; the next key is the second press"
