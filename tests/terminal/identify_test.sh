#!/usr/bin/env bash
# test-rireruv --identify on the described card (card.umockdev, a saa7134 GPIO receiver whose
# kernel keymap is rc-pinnacle-color), its presses read from the lirc node: keys of the card's
# own remote are told to be pinnacle_color.toml among the shipped keymaps, and the kernel's
# loaded one; a NEC remote's presses on made-up keymap folders, one of another address among
# them, are matched to the keymap in the first folder, not the one of that name it hides, and the
# other address is said; then no press, no keymap matched, a signal, and what cannot run. The
# JSON lines through jq, and each exit status.
# usage: identify_test.sh FEED_CARD SCRATCH -- PROGRAM [ARGS...]   (PROGRAM ARGS start the mode:
#        test-rireruv --identify, or identify_driver --identify)
set -euo pipefail
feed=$1 scratch=$2/identify
shift 3
mode=("$@")
mkdir -p "$scratch"
out=$scratch/out.json err=$scratch/err.txt control=$scratch/keys-$$.fifo
fail() { echo "FAIL: $*"; cat "$out" "$err"; exit 1; }
trap 'rm -f "$control"' EXIT

# presses FILE SCANCODE...: an evemu events file of those presses, as feed_card reads them.
presses() {
  local file=$1; shift
  : >"$file"
  for s in "$@"; do printf 'E: 0.1 0004 0004 %d\n' "$s" >>"$file"; done
}

# run EVENTS PRESSES|holdPRESSES|SIGNAL [ARGS...]: the mode on the card, under feed_card; once
# it has started, press PRESSES keys of EVENTS (holdN: N, the second held for a second, its
# repeat frames coming as a NEC remote sends them), or send it SIGNAL. Sets status.
run() {
  local events=$1 then=$2; shift 2
  rm -f "$out" "$err" "$control"
  TMPDIR=$scratch RIRERUV_DEVICE=auto umockdev-wrapper "$feed" --lirc "$control" "$events" \
    -- "${mode[@]}" "$@" </dev/null >"$out" 2>"$err" &
  local pid=$!
  for _ in $(seq 400); do
    grep -q '"event":"start"' "$out" 2>/dev/null || ! kill -0 "$pid" 2>/dev/null && break
    sleep 0.05
  done
  case $then in
    [0-9]*) for _ in $(seq "$then"); do echo >"$control"; done ;;
    hold*) echo >"$control"; echo hold >"$control"; for _ in $(seq $((${then#hold} - 2))); do echo >"$control"; done ;;
    *) kill "-$then" "$(pgrep -P "$pid" -f -- --identify)" ;;
  esac
  status=0
  wait "$pid" || status=$?
  [ ! -s "$out" ] || jq -e . "$out" >/dev/null || fail "a line that is not JSON"
}
verdict() { tail -n 1 "$out" | jq -r "$1"; }

# The card's own remote, among every shipped keymap: mute, power (held: one press), select,
# volume up (the card's kernel keymap has power elsewhere: no key for it in the press).
presses "$scratch/pinnacle.events" 0x59 0x4a 0x0d 0x2d
run "$scratch/pinnacle.events" hold4 --presses 4 --timeout 20 --keymaps /lib/udev/rc_keymaps
[ "$status" = 0 ] || fail "the card's remote: exit $status"
[ "$(jq -r 'select(.event == "start") | [.receiver, .node, .keymap] | join(" ")' "$out")" = \
  "rc0 /dev/lirc0 rc-pinnacle-color" ] || fail "the start line's receiver"
[ "$(jq -s -c '[.[] | select(.event == "press") | .hex + " " + .protocol + " " + (.key // "-")]' \
  "$out")" = '["0x59 unknown KEY_MUTE","0x4a unknown -","0x0d unknown KEY_SELECT","0x2d unknown KEY_VOLUMEUP"]' ] ||
  fail "the presses"
[ "$(jq -r 'select(.event == "match" and .after == 4 and .rank == 1) |
  [.name, .matched, .of, .loaded] | join(" ")' "$out")" = "pinnacle_color 4 4 true" ] ||
  fail "the best match after 4 presses"
[ "$(verdict '[.verdict, .status, .file, .matched, .of, .tied, .loaded] | join(" ")')" = \
  "matched 0 /lib/udev/rc_keymaps/pinnacle_color.toml 4 4 0 true" ] || fail "the verdict"
grep -q '^your presses match pinnacle_color.toml: 4 of 4; the kernel loads it already' "$err" ||
  fail "the verdict for a person"
[ -z "$(jq 'select(.event == "second_remote")' "$out")" ] || fail "a second remote that is not there"
echo "ok: 4 presses of the card's remote are pinnacle_color.toml of the shipped keymaps, the kernel's own"

# A NEC remote at address 0x02 on made-up folders: etc's avermedia_m135a.toml hides lib's; the
# third press has address 0x06.
keymaps=$scratch/keymaps
rm -rf "$keymaps"
mkdir -p "$keymaps/etc" "$keymaps/lib"
cp /lib/udev/rc_keymaps/avermedia_m135a.toml /lib/udev/rc_keymaps/it913x_v1.toml "$keymaps/lib/"
printf '%s\n' '[[protocols]]' 'name = "my_m135a"' 'protocol = "nec"' '[protocols.scancodes]' \
  '0x0200 = "KEY_POWER2"' '0x0201 = "KEY_MODE"' '0x0205 = "KEY_NUMERIC_1"' \
  >"$keymaps/etc/avermedia_m135a.toml"
presses "$scratch/nec.events" 0x0200 0x0201 0x0605 0x0205
FEED_PROTOCOL=9 run "$scratch/nec.events" 4 --presses 4 --timeout 20 \
  --keymaps "$keymaps/etc" --keymaps "$keymaps/lib"
[ "$status" = 0 ] || fail "a NEC remote: exit $status"
[ "$(jq -r 'select(.event == "start") | .keymaps' "$out")" = 2 ] || fail "the keymaps read"
[ "$(jq -s -c '[.[] | select(.event == "second_remote") |
  .after, [.remotes[] | .address + ":" + (.presses | map(tostring) | join(","))]]' "$out")" = \
  '[3,["0x02:1,2","0x06:3"]]' ] || fail "the second remote, said once, after its press"
[ "$(verdict '[.verdict, .status, .file, .name, .matched, .of, .second_remote] | join(" ")')" = \
  "likely 0 $keymaps/etc/avermedia_m135a.toml my_m135a 3 4 press 3 has nec address 0x06, the others nec address 0x02: a second remote" ] ||
  fail "the verdict"
grep -q '^press 3 has nec address 0x06.*: a second remote; press only the remote' "$err" ||
  fail "the second remote for a person"
echo "ok: a NEC remote's keymap from the first folder, hiding the second's; the other address said"

# No press in time; presses no keymap maps.
run "$scratch/nec.events" 0 --timeout 1 --keymaps "$keymaps/lib"
[ "$status" = 1 ] && [ "$(verdict .verdict)" = no_press ] || fail "no press: exit $status"
presses "$scratch/unmapped.events" 0xee01
FEED_PROTOCOL=9 run "$scratch/unmapped.events" 1 --presses 1 --timeout 20 --keymaps "$keymaps/lib"
[ "$status" = 1 ] && [ "$(verdict '.verdict + " " + (.file | tostring)')" = "none null" ] ||
  fail "no keymap matched: exit $status"
echo "ok: no press in time, and a press no keymap maps, end with 1"

run "$scratch/nec.events" TERM --keymaps "$keymaps/lib"
[ "$status" = 143 ] && [ "$(verdict .verdict)" = interrupted ] || fail "SIGTERM: exit $status"
echo "ok: SIGTERM ends it with 143"

# What cannot run: no keymap file, no such receiver, an option it does not take.
run "$scratch/nec.events" 0 --keymaps "$keymaps/none"
[ "$status" = 2 ] && [ "$(verdict .verdict)" = failed ] || fail "no keymaps: exit $status"
grep -q "no keymap file could be read in $keymaps/none" "$err" || fail "no keymaps: the reason"
run "$scratch/nec.events" 0 --device rc7 --keymaps "$keymaps/lib"
[ "$status" = 2 ] && [ "$(jq -r 'select(.event == "start") | .receiver' "$out")" = null ] ||
  fail "no such receiver: exit $status"
grep -q "RIRERUV_DEVICE=rc7: no such receiver; found rc0" "$err" || fail "rc7: the reason"
for bad in "--presses 0" "--timeout x" "--keymaps" "--learn now"; do
  run "$scratch/nec.events" 0 $bad
  [ "$status" = 2 ] && [ ! -s "$out" ] || fail "\"$bad\": exit $status"
done
echo "ok: no keymaps, no such receiver and wrong options end with 2, saying why"
