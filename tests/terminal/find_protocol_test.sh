#!/usr/bin/env bash
# test-rireruv --find-protocol on a described receiver that decodes raw light (card.umockdev
# with a protocols file "rc-5 [nec] jvc [lirc]"), its remote speaking nec-x: the protocols are
# saved, every one is enabled, the presses name nec-x and the address, and the protocols file
# is put back so that the kernel shows the same bytes, at the end and after each signal. Without
# permission to write the file it changes nothing. The testbed's protocols file keeps what was
# written (no kernel behind it): the test applies the kernel's rule to what is left there.
# usage: find_protocol_test.sh Test_rireruv FEED_CARD CARD_DEVICE SCRATCH
set -euo pipefail
exe=$1 feed=$2 device=$3 scratch=$4/find_protocol
mkdir -p "$scratch"
out=$scratch/out.json control=$scratch/keys-$$.fifo left=$scratch/protocols-left
fail() { echo "FAIL: $*"; cat "$out"; exit 1; }
trap 'rm -f "$control"' EXIT

original="rc-5 [nec] jvc [lirc]"
sed 's/^A: protocols=.*/A: protocols=rc-5 [nec] jvc [lirc]\\n/' "$device" >"$scratch/raw.umockdev"
printf 'E: 0.1 0004 0004 %d\n' 0x02bd0c 0x02bd0d 0x02bd0e >"$scratch/presses.events"

# What the kernel would show after a write of WORDS over the file it had (rc-main.c): "none"
# empties the set, "+p" adds, "-p" removes, a plain name sets it to itself alone.
kernel_after() { # WRITTEN
  awk -v written="$1" -v before="$original" 'BEGIN {
    n = split(before, w, " ")
    for (i = 1; i <= n; i++) { p = w[i]; gsub(/[][]/, "", p); order[i] = p; on[p] = (w[i] ~ /^\[/) }
    m = split(written, c, " ")
    for (i = 1; i <= m; i++) {
      x = c[i]; op = substr(x, 1, 1)
      if (op == "+" || op == "-") x = substr(x, 2)
      if (x == "lirc") continue
      if (x == "none") { for (p in on) if (p != "lirc") on[p] = 0; continue }
      if (op == "+") on[x] = 1; else if (op == "-") on[x] = 0
      else { for (p in on) if (p != "lirc") on[p] = 0; on[x] = 1 }
    }
    s = ""; for (i = 1; i <= n; i++) s = s (i > 1 ? " " : "") (on[order[i]] ? "[" order[i] "]" : order[i])
    print s }'
}

# run [SIGNAL]: the finder on the card; with a signal, sent once the protocols are all on.
run() {
  rm -f "$out" "$left" "$control"
  TMPDIR=$scratch RIRERUV_DEVICE=auto FEED_CARD_DEVICE=$scratch/raw.umockdev FEED_PROTOCOL=10 \
    FEED_PROTOCOLS_OUT=$left umockdev-wrapper "$feed" --lirc "$control" "$scratch/presses.events" \
    -- "$exe" --find-protocol --presses 3 --timeout 20 </dev/null >"$out" 2>/dev/null &
  local pid=$!
  for _ in $(seq 400); do grep -q '"protocols_written"' "$out" 2>/dev/null && break; sleep 0.05; done
  if [ -n "${1:-}" ]; then
    kill "-$1" "$(pgrep -P "$pid" -f -- --find-protocol)"
  else
    for _ in 1 2 3; do echo >"$control"; done
  fi
  status=0
  wait "$pid" || status=$?
  jq -e . "$out" >/dev/null || fail "a line that is not JSON"
}
restored() { # what the kernel shows now, from the bytes the testbed's file was left with
  [ "$(kernel_after "$(cat "$left")")" = "$original" ]
}

run
[ "$status" = 0 ] || fail "exit $status"
[ "$(jq -r 'select(.event == "protocols_written") | .request' "$out")" = "none +rc-5 +nec +jvc" ] ||
  fail "every protocol was not enabled in one write"
[ "$(jq -s -c '[.[] | select(.event == "press") | .variant + " " + .address]' "$out")" = \
  '["nec-x 0x2bd","nec-x 0x2bd","nec-x 0x2bd"]' ] || fail "the presses' variant and address"
[ "$(tail -n 1 "$out" | jq -r '[.verdict, .protocol, .variant, .address] | join(" ")')" = \
  "found nec nec-x 0x2bd" ] || fail "the verdict"
restored || fail "protocols left as \"$(cat "$left")\", which the kernel shows otherwise"
echo "ok: all protocols on in one write, nec-x and its address in 3 presses, the protocols back"

for sig in TERM:143 INT:130 HUP:129 QUIT:131; do
  run "${sig%:*}"
  [ "$status" = "${sig#*:}" ] || fail "SIG${sig%:*}: exit $status"
  [ "$(tail -n 1 "$out" | jq -r .verdict)" = interrupted ] || fail "SIG${sig%:*}: verdict"
  restored || fail "SIG${sig%:*}: protocols left as \"$(cat "$left")\""
done
echo "ok: SIGTERM, SIGINT, SIGHUP and SIGQUIT end it with 128 + the signal, the protocols back each time"
