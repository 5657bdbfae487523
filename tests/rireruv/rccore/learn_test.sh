#!/usr/bin/env bash
# --learn on the described card's lirc node, pressed by feed_card when each prompt shows:
#   1. 40 keys, with a key held, a key repeated, a stray code of another protocol and a code
#      pressed for a second key: the file has the 40 pairs, ir-keytable --test-keymap takes it
#      without a word, and ir-keytable -c -w then -r on the card lists the same pairs; the
#      learnt keys tried are named by the receiver, whose table is as it was after;
#   2. every key giving one code (a receiver that tells none apart): refused, nothing written;
#   3. each way out of a trial (its end, SIGINT, SIGTERM, SIGHUP, SIGQUIT, two signals): the
#      receiver's table byte for byte as it was, and 128 + the signal;
#   4. keys that are a shipped keymap's: it is offered before a learnt one;
#   5. free presses, named afterwards.
# usage: learn_test.sh Test_rireruv FEED_CARD SCRATCH
set -euo pipefail
exe=$1 feed=$2 scratch=$3/learn
rm -rf "$scratch" && mkdir -p "$scratch"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
control=$scratch/control out=$scratch/out err=$scratch/err keymap=$scratch/keymap
count() { grep -c "\"event\":\"$1\"" "$out" 2>/dev/null || true; }
prompted() { [ "$(count prompt)" -ge "$1" ]; } # N: the Nth key has been asked for
seen() { grep -q "$1" "$out" 2>/dev/null; }
wait_for() { # CONDITION...: true within 20 s, or a failure
  for _ in $(seq 400); do "$@" && return 0; sleep 0.05; done
  fail "waited 20 s for: $*"
  return 1
}
# feed_card (on its testbed) runs PROGRAM; EVENTS holds the codes a control line sends in turn.
start() { # EVENTS PROGRAM...
  local events=$1
  shift
  rm -f "$control" "$out" "$err" "$keymap" "$keymap.before"
  TMPDIR=$scratch RIRERUV_DEVICE=auto FEED_KEYMAP_OUT=$keymap umockdev-wrapper "$feed" --lirc \
    "$control" "$events" -- "$@" </dev/null >"$out" 2>"$err" &
  pid=$!
}
events() { # CODE... (decimal): an evemu file of those MSC_SCAN values
  local t=0
  for code in "$@"; do t=$((t + 1)); echo "E: $t.000000 0004 0004 $code"; done
}
press() { for line in "$@"; do echo "$line" >"$control"; done; }
finish() { status=0; wait "$pid" || status=$?; }

# 1. Forty keys. Key 2 is held, key 3 pressed twice at once (one press), key 4 first gets a
# stray NEC code (another protocol), key 5 first gets key 3's code again.
keys=(KEY_0 KEY_1 KEY_2 KEY_3 KEY_4 KEY_5 KEY_6 KEY_7 KEY_8 KEY_9 KEY_A KEY_B KEY_C KEY_D
  KEY_E KEY_F KEY_G KEY_H KEY_I KEY_J KEY_K KEY_L KEY_M KEY_N KEY_O KEY_P KEY_Q KEY_R KEY_S
  KEY_T KEY_U KEY_V KEY_W KEY_X KEY_Y KEY_Z KEY_POWER KEY_MUTE KEY_VOLUMEUP KEY_VOLUMEDOWN)
events 1 2 3 3 4660 4 3 5 $(seq 6 40) 7 9 >"$scratch/forty.events"
list=$(IFS=,; echo "${keys[*]}")
start "$scratch/forty.events" "$exe" --learn --keys "$list" --out "$scratch/learnt.toml" --try 30
for n in $(seq 40); do
  wait_for prompted "$n" || break
  case $n in
    2) press hold ;;
    3) press "" "" ;;
    4 | 5) press "" "" ;;
    *) press "" ;;
  esac
done
wait_for seen '"event":"trial"'
press "" # 7, now KEY_6
wait_for seen '"event":"tried".*"key":"KEY_6"'
press "" # 9, now KEY_8
wait_for seen '"event":"tried".*"key":"KEY_8"'
kill -TERM "$(pgrep -f -n -- "--learn --keys")"
finish
[ "$status" = 143 ] || fail "the learning run ended with $status"
expected=$(for i in $(seq 40); do printf '0x%x = "%s"\n' "$i" "${keys[$((i - 1))]}"; done | sort)
got=$(grep '^0x' "$scratch/learnt.toml" | sort)
[ "$got" = "$expected" ] || fail "the file's pairs: $(diff <(echo "$expected") <(echo "$got") | head -5)"
seen '"why":"0x1234 came in nec, while this remote speaks unknown: another remote' ||
  fail "the stray NEC code was not refused as another remote's"
seen '"key":"KEY_4","scancode":3,"hex":"0x3","why":"0x3 is already KEY_2"' ||
  fail "key 3's code pressed for key 4 was not said to be taken"
cmp -s "$keymap" "$keymap.before" || fail "the trial's end left the table changed"
ir-keytable --test-keymap="$scratch/learnt.toml" >/dev/null 2>"$scratch/test-keymap.err" ||
  fail "ir-keytable --test-keymap refused the file"
[ ! -s "$scratch/test-keymap.err" ] || fail "ir-keytable --test-keymap: $(cat "$scratch/test-keymap.err")"
# ir-keytable loads it into the card's receiver and lists it back.
start "$scratch/forty.events" sh -c "ir-keytable -c -w '$scratch/learnt.toml' -s rc0 >/dev/null &&
  ir-keytable -r -s rc0"
finish
listed=$(sed -n 's/^.*scancode 0x0*\([0-9a-f][0-9a-f]*\) = \([A-Z_0-9]*\) .*$/0x\1 = "\2"/p' "$out" |
  sort)
[ "$status" = 0 ] && [ "$listed" = "$expected" ] ||
  fail "ir-keytable -w then -r (exit $status): $(diff <(echo "$expected") <(echo "$listed") | head -5)"
[ "$failures" = 0 ] && echo "ok: 40 keys learnt (held, repeated, stray, taken), the file taken by ir-keytable"

# 2. Every key the same code: refused, and no file.
before=$failures
events 0 0 0 0 0 0 >"$scratch/zero.events"
start "$scratch/zero.events" "$exe" --learn --keys KEY_1,KEY_2,KEY_3 --out "$scratch/zero.toml"
refused() { [ "$(count refused)" -ge "$1" ]; }
wait_for prompted 1 && press ""
wait_for prompted 2
for n in 1 2 3; do
  # Each its own press: a person's pause (part of the input) puts it past rc-core's 250 ms
  # key-up window of the one before, where the same code would be the key still held.
  sleep 0.3
  press ""
  [ "$n" = 3 ] || wait_for refused "$n"
done
finish
[ "$status" = 1 ] && [ ! -e "$scratch/zero.toml" ] && grep -q "does not tell your keys apart" "$err" ||
  fail "every key 0x0: exit $status, $(ls "$scratch" | grep -c zero.toml) file"
[ "$failures" = "$before" ] && echo "ok: every key giving 0x0 is refused, nothing written"

# 3. Each way out of a trial puts the table back as it was.
before=$failures
events 1 2 5 >"$scratch/short.events" # 5 is the card's KEY_POWER: a key the trial changes
for way in end:0 INT:130 TERM:143 HUP:129 QUIT:131 TERM-TERM:143; do
  try=30
  [ "${way%:*}" = end ] && try=1
  start "$scratch/short.events" "$exe" --learn --keys KEY_1,KEY_2,KEY_3 --out "$scratch/short.toml" \
    --try "$try"
  for n in 1 2 3; do wait_for prompted "$n" && press ""; done
  wait_for seen '"event":"trial"'
  learner=$(pgrep -f -n -- "--learn --keys KEY_1" || true)
  case ${way%:*} in
    end) ;;
    TERM-TERM) kill -TERM "$learner"; kill -TERM "$learner" ;;
    *) kill "-${way%:*}" "$learner" ;;
  esac
  finish
  [ "$status" = "${way#*:}" ] || fail "${way%:*}: exit $status"
  cmp -s "$keymap" "$keymap.before" || fail "${way%:*}: the table was not put back"
  ! cmp -s "$keymap.before" /dev/null || fail "${way%:*}: no table read before"
done
[ "$failures" = "$before" ] &&
  echo "ok: the trial's end, SIGINT, SIGTERM, SIGHUP, SIGQUIT and two signals put the table back"
# 4. Keys that are all a shipped keymap's (pinnacle_color.toml's first three): it is offered,
# as a shipped keymap beats a learnt one, and learning goes on.
events 89 74 24 38 >"$scratch/shipped.events"
start "$scratch/shipped.events" "$exe" --learn --keys KEY_MUTE,KEY_POWER,KEY_TEXT,KEY_TV \
  --out "$scratch/shipped.toml"
for n in 1 2 3 4; do wait_for prompted "$n" && press ""; done
finish
grep -q '"event":"offer","file":"/lib/udev/rc_keymaps/pinnacle_color.toml"' "$out" &&
  [ "$status" = 0 ] || fail "no shipped keymap offered for pinnacle_color's keys (exit $status)"
[ "$failures" = 0 ] && echo "ok: a shipped keymap matching the keys learnt is offered"
# 5. Free presses, named afterwards: each new code until a second's pause; a code the card's
# keymap names keeps that name (5 is its KEY_POWER), the others are KEY_UNKNOWN to rename.
events 5 34 35 >"$scratch/free.events"
start "$scratch/free.events" "$exe" --learn --keys free --timeout 1 --out "$scratch/free.toml"
wait_for prompted 1 && press "" "" # 34 at once after 5: another code, not the key held
wait_for seen '"learnt":2' && press ""
finish
got=$(grep '^0x' "$scratch/free.toml" 2>/dev/null | tr '\n' ' ')
[ "$status" = 0 ] && [ "$got" = '0x5 = "KEY_POWER" 0x22 = "KEY_UNKNOWN" 0x23 = "KEY_UNKNOWN" ' ] ||
  fail "free presses: exit $status, $got"
[ "$failures" = 0 ] && echo "ok: free presses written with the keymap's names, KEY_UNKNOWN for the rest"
exit $((failures > 0))
