#!/usr/bin/env bash
# ir-keytable -a, the command udev runs at boot, beside --boot-plan on the described card and the
# same made-up keymap folders: for each rc_maps.cfg both must take the same files in the same
# order, stop at the same file, refuse the same line. Why: a boot plan is worth reading only if
# it is what ir-keytable does, and a rule of keytable.c misread (the folders' order, every
# matching line or the first, where a column ends, a long line, a CR) shows here against the real
# thing. Then what a script meets: the verdicts, the exit statuses, the line --keymap gives
# (added as it says, ir-keytable must then load that keymap first), and no file changed.
# ir-keytable reads /etc/rc_keymaps and /lib/udev/rc_keymaps alone: the test runs in a mount
# namespace of its own with made-up folders mounted over those (and over /lib/modules where there
# is one), so nothing of the machine's is read or changed. Needs root; skipped (77) otherwise.
# usage: boot_plan_agrees.sh CARD_DEVICE SCRATCH OURS...  (OURS: the mode, less its options)
set -euo pipefail
if [ -z "${BOOT_PLAN_OWN_MOUNTS:-}" ]; then
  [ "$(id -u)" = 0 ] || { echo "SKIP: a mount namespace needs root"; exit 77; }
  for d in /etc/rc_keymaps /lib/udev/rc_keymaps; do
    [ -d "$d" ] || { echo "SKIP: no $d to mount over (ir-keytable is not installed)"; exit 77; }
  done
  BOOT_PLAN_OWN_MOUNTS=1 exec unshare -m --propagation private "$0" "$@"
fi
card=$1 scratch=$2
shift 2
rm -rf "$scratch"
mkdir -p "$scratch/etc/adir" "$scratch/lib" "$scratch/learnt" "$scratch/testbeds" \
  "$scratch/modules/$(uname -r)/kernel/drivers/media/rc/keymaps"
: >"$scratch/modules/$(uname -r)/kernel/drivers/media/rc/keymaps/rc-pinnacle-color.ko"
export TMPDIR=$scratch/testbeds # umockdev-run's testbeds
mount --bind "$scratch/etc" /etc/rc_keymaps
mount --bind "$scratch/lib" /lib/udev/rc_keymaps
modules=no
if [ -d /lib/modules ]; then mount --bind "$scratch/modules" /lib/modules; modules=yes; fi
keymap='[[protocols]]\nname = "made_up"\nprotocol = "nec"\n[protocols.scancodes]\n0x40c = "KEY_POWER"\n'
for f in lib/pinnacle_color.toml lib/any.toml lib/both.toml etc/both.toml etc/my.toml \
  learnt/remote.toml; do printf '%b' "$keymap" >"$scratch/$f"; done
cfg=$scratch/rc_maps.cfg out=$scratch/ours.json
fail() { echo "FAIL: $*"; cat "$scratch/theirs" "$out"; exit 1; }

# "loads | FILE... ", "stops NAME | FILE... " (the files taken before), "refused N", "no_line"
theirs() {
  local f=$scratch/theirs n files stop
  n=$(sed -n 's/^Invalid parameter on line \([0-9]*\) of .*/\1/p' "$f")
  [ -n "$n" ] && { echo "refused $n"; return; }
  grep -q 'not found. Keep as-is' "$f" && { echo no_line; return; }
  files=$(sed -n 's/^Parsing \(.*\) keycode file as .*/\1/p' "$f")
  stop=$(sed -n -e 's/^error: Unable to find keymap \(.*\) in \/etc\/rc_keymaps or .*/\1/p' \
    -e "s/^Can't load \(.*\) keymap$/\1/p" -e 's/^Empty keymap \(.*\)$/\1/p' "$f")
  if [ -n "$stop" ]; then
    echo "stops $stop | $(echo "$files" | grep -vxF -- "$stop" | sed '/^$/d; s/$/ /' | tr -d '\n')"
  elif grep -q '^Opening ' "$f"; then
    echo "loads | $(echo "$files" | sed 's/$/ /' | tr -d '\n')"
  else
    echo "unexpected"
  fi
}
ours() {
  jq -r -s '(map(select(.event == "verdict"))[0]) as $v | [.[] | select(.event == "line")] as $l
    | if $v.outcome == "refused" then "refused \($v.at)"
      elif $v.outcome == "no_line" then "no_line"
      elif $v.outcome == "stops" then "stops " + ($l[] | select(.number == $v.at) | .path // .file)
        + " | " + ([$l[] | select(.number < $v.at) | .path + " "] | add // "")
      else "loads | " + ([$l[] | .path + " "] | add // "") end' "$out"
}
# both CONFIG [OPTION...]: ir-keytable -a and the mode on CONFIG (printf's %b escapes; - for the
# file as it is); they must agree.
both() {
  [ "$1" = - ] || printf '%b' "$1" >"$cfg"
  shift
  (cd / && umockdev-run -d "$card" -- ir-keytable -v -a "$cfg" -s rc0) >/dev/null \
    2>"$scratch/theirs" || true
  status=0
  umockdev-run -d "$card" -- "${ours_command[@]}" --config "$cfg" "$@" >"$out" \
    2>"$scratch/ours.err" || status=$?
  jq -e . "$out" >/dev/null || fail "a line that is not JSON"
  [ "$(ours)" = "$(theirs)" ] || fail "ir-keytable: \"$(theirs)\", the boot plan: \"$(ours)\""
}
ours_command=("$@")
verdict() { jq -r 'select(.event == "verdict") | "\(.verdict) \(.status)"' "$out"; }
long=$(printf '#%02100d' 0)

both '# a comment\n\n\t \n* rc-pinnacle-color pinnacle_color.toml#the package'"'"'s\n'
[ "$(verdict) $status" = "same 0 0" ] || fail "the packaged table: $(verdict), exit $status"
both 'SAA7134 rc-pinnacle-color my.toml\n* rc-pinnacle-color pinnacle_color.toml\nbttv * any.toml\n*\t*\tboth.toml\n'
[ "$(verdict) $status" = "differs 1 1" ] || fail "two files: $(verdict), exit $status"
[ "$(jq -r 'select(.number == 4) | .hides' "$out")" = /lib/udev/rc_keymaps/both.toml ] ||
  fail "the /etc file does not say it hides the /lib one"
both 'saa7134 rc-pinacle-color my.toml\n'
[ "$(verdict) $status" = "nothing 1 1" ] || fail "a typo: $(verdict), exit $status"
if [ $modules = yes ]; then
  jq -s -e 'any(.[]; .event == "dead_line" and .why == ["unknown_table"])' "$out" >/dev/null ||
    fail "the typo's line is not named"
else
  grep -q 'table names not checked' "$scratch/ours.err" || fail "no word that tables went unchecked"
fi
both '* rc-pinnacle-color pinnacle_color.toml\nsaa7134 * gone.toml\n'
jq -s -e 'any(.[]; .event == "dead_line" and .number == 2 and .why == ["missing_file"])' \
  "$out" >/dev/null || fail "the missing file's line is not named"
both '* * adir\n'
both "$long\\n* * any.toml\\n"
both '* rc-pinnacle-color pinnacle_color.toml\r\n'
both "* * $scratch/lib/any.toml\\n"
echo "ok: ir-keytable -a and the boot plan take the same files, stop and refuse alike (8 files)"

before=$(ls -lR --time-style=full-iso "$scratch/etc" "$scratch/lib" "$scratch/learnt")
both '# a comment\n\n\t \n* rc-pinnacle-color pinnacle_color.toml\n' --keymap "$scratch/learnt/remote.toml"
[ "$before" = "$(ls -lR --time-style=full-iso "$scratch/etc" "$scratch/lib" "$scratch/learnt")" ] ||
  fail "the boot plan changed a file"
line=$(jq -r 'select(.event == "add_line") | "\(.before) \(.copy_to) \(.line)"' "$out")
[ "$line" = "4 /etc/rc_keymaps/remote.toml saa7134 rc-pinnacle-color remote.toml" ] ||
  fail "the line to add: $line"
jq -s -e --arg c "sudo ir-keytable -a $cfg -s rc0" \
  'any(.[]; .event == "add_line" and .apply_now[0] == $c)' "$out" >/dev/null ||
  fail "no command to apply it now"
read -r above copy_to added <<<"$line"
cp "$scratch/learnt/remote.toml" "$copy_to"
sed -i "${above}i $added" "$cfg"
both - --keymap "$scratch/learnt/remote.toml"
[ "$(theirs)" = "loads | /etc/rc_keymaps/remote.toml /lib/udev/rc_keymaps/pinnacle_color.toml " ] ||
  fail "the line added as told does not load the keymap first: $(theirs)"
[ "$(verdict) $status" = "same 0 0" ] || fail "the keymap loaded first: $(verdict), exit $status"
echo "ok: --keymap gives the line, the place and the copy that make ir-keytable load it first"

for bad in "--device rc9 --config $cfg" "--config $scratch/none.cfg" "--config"; do
  status=0
  # shellcheck disable=SC2086
  umockdev-run -d "$card" -- "${ours_command[@]}" $bad >"$out" 2>/dev/null || status=$?
  [ $status = 2 ] || fail "$bad: exit $status, not 2"
done
echo "ok: no such receiver, no config, a usage error: exit 2"
