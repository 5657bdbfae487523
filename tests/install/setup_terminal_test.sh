#!/usr/bin/env bash
# scripts/setup terminal and scripts/run where nothing else is: a fresh minimal Debian 12 root
# (debian-root.sh) with the checkout copied in. What this machine holds hides a package the
# terminal set forgets, and a set that brings Wine or the i386 architecture along goes unseen
# where they are installed anyway; only an empty system shows both.
#   1. scripts/setup terminal says what it installs before it does, and installs it; again, it
#      says nothing and does nothing;
#   2. no Wine, no i386 architecture, no zh_TW locale, no C++ cross compiler came with it;
#   3. scripts/run, in a terminal (tmux) from a folder of the user's own, builds the verifier
#      and opens the dialog; Start polls, Esc ends it with status 0, and the relative
#      RIRERUV_TRACE is written in that folder;
#   4. the built Test_rireruv: --version, and --check on RIRERUV_DATA="05".
# usage: tests/install/setup_terminal_test.sh
# Needs root (chroot, mounts), Debian's mirror, git and tmux. Writes only under
# build/setup-terminal-test/, and keeps the root there only when something failed; prints the
# time of each step (a few minutes in all).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$top/build/setup-terminal-test
root=$work/root
. "$top/tests/support/tmux_lib.sh"
session=run
sock=setup-terminal-$$

if [ $# -gt 0 ]; then
  case $1 in
    -h | --help) sed -n '2,/^[^#]/{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
    *) echo "setup_terminal_test: takes no arguments but --help, not \"$*\"" >&2; exit 2 ;;
  esac
fi
[ "$(id -u)" = 0 ] || { echo "setup_terminal_test: needs root (chroot, mounts)" >&2; exit 2; }
# Every mount below (the root's /proc, /dev and devpts) is made in a mount and pid namespace of
# this test's own: the machine's /dev and /proc are never touched, and nothing stays mounted
# once the test ends, however it ends.
[ -n "${RIRERUV_OWN_MOUNTS:-}" ] ||
  exec env RIRERUV_OWN_MOUNTS=1 unshare -m -p -f --mount-proc "$0" "$@"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
indent() { sed 's/^/    /'; }
began=$SECONDS
mark=$SECONDS
step_took() { echo "time: $1: $((SECONDS - mark)) s"; mark=$SECONDS; }

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
passed=0
# A root that passed is removed (about 1 GB); one that failed is kept to be looked into.
cleanup() {
  tmux_cleanup
  "$top/tests/install/debian-root.sh" --umount "$root"
  if [ "$passed" = 1 ] && ! findmnt -rn -o TARGET | grep -q "^$root/"; then
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT

rm -rf "$work/logs" && mkdir -p "$work/logs"
"$top/tests/install/debian-root.sh" "$root"
# The checkout as it is, work in progress included: what git tracks or would track.
mkdir -p "$root/src"
(cd "$top" && git ls-files -z -co --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf -) | tar --warning=no-timestamp -x -C "$root/src"
packages() { in_root dpkg-query -W -f '${db:Status-Abbrev} ${Package}:${Architecture}\n' |
  awk '$1 == "ii" { print $2 }' | sort; }
packages >"$work/logs/packages-before"
step_took "a fresh root with the checkout"

# ---- scripts/setup terminal -------------------------------------------------------------------
echo "== scripts/setup terminal"
status=0
in_root bash -c 'cd /src && scripts/setup terminal' >"$work/logs/setup.txt" 2>&1 || status=$?
indent <"$work/logs/setup.txt"
step_took "scripts/setup terminal"
[ "$status" = 0 ] && ok "scripts/setup terminal: status 0" || fail "scripts/setup terminal: status $status"
# Said on one line before anything was done: apt-get prints nothing (-qq), so the line is first.
said=$(head -n 1 "$work/logs/setup.txt")
[[ $said == "setup (terminal): installing "*" packages with apt-get: "* ]] &&
  ok "it said what it installs first" || fail "its first line is not what it installs: \"$said\""
if grep -qiE 'i386|zh_TW|changes the system' "$work/logs/setup.txt"; then
  fail "the terminal set announced a change of the system"
fi
status=0
again=$(in_root bash -c 'cd /src && scripts/setup terminal' 2>&1) || status=$?
[ "$status" = 0 ] && [ -z "$again" ] && ok "run again: nothing said, nothing done" ||
  fail "run again: status $status, said: $again"

packages >"$work/logs/packages-after"
comm -13 "$work/logs/packages-before" "$work/logs/packages-after" >"$work/logs/pulled"
kib=$(in_root dpkg-query -W -f '${Installed-Size} ${Package}:${Architecture}\n' |
  awk 'NR == FNR { pulled[$1]; next } $2 in pulled { s += $1 } END { print s + 0 }' \
    "$work/logs/pulled" -)
echo "scripts/setup terminal installed $(wc -l <"$work/logs/pulled") packages, $((kib / 1024)) MiB"
foreign=$(in_root dpkg --print-foreign-architectures)
[ -z "$foreign" ] && ok "no foreign architecture in dpkg" || fail "foreign architectures: $foreign"
unwanted=$(grep -E '^(wine|libwine|fonts-wine)|:i386$|^g\+\+-mingw' "$work/logs/pulled" || true)
[ -z "$unwanted" ] && ok "no Wine, no i386 package, no C++ cross compiler" ||
  fail "the terminal set brought: $(tr '\n' ' ' <<<"$unwanted")"
if in_root sh -c 'locale -a' 2>/dev/null | grep -qi '^zh_TW'; then fail "a zh_TW locale was made"; fi

# ---- scripts/run in a terminal ----------------------------------------------------------------
echo "== scripts/run in tmux, from /root/mine with RIRERUV_TRACE=trace.txt"
mkdir -p "$root/root/mine"
rm -f "$root/tmp/run-status"
ended() { [ -s "$root/tmp/run-status" ]; }
t -f /dev/null new-session -d -s "$session" -x 100 -y 30 "chroot '$root' env -i \
  PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TERM=screen-256color \
  RIRERUV_DATA='05 0A' RIRERUV_TRACE=trace.txt \
  bash -c 'cd /root/mine && /src/scripts/run; echo \$? >/tmp/run-status.part; mv /tmp/run-status.part /tmp/run-status'"
dialog_or_end() { shows ">Start<" || ended; }
# The first build takes a minute or two on two cores.
if wait_until -s 900 dialog_or_end && ! ended; then
  step_took "scripts/run, building, to the dialog on the screen"
  ok "the dialog shows >Start<"
  keys Enter
  wait_until -s 20 eval 'screen | grep -qE "Remote +[5A] +>Stop<"' &&
    ok "Start: >Stop< and a byte of RIRERUV_DATA"
  keys Escape
  if wait_until -s 20 ended; then
    status=$(cat "$root/tmp/run-status")
    [ "$status" = 0 ] && ok "Esc ended it with status 0" || fail "Esc ended it with status $status"
  fi
else
  fail "scripts/run ended with status $(cat "$root/tmp/run-status" 2>/dev/null) before the dialog:"
  screen | indent
fi
trace=$root/root/mine/trace.txt
if [ -f "$trace" ] && [ "$(head -n 1 "$trace" | cut -d' ' -f1)" = ZELK_HWInit ] &&
   grep -q '^ZELK_GetRemoteData' "$trace" && [ "$(tail -n 1 "$trace")" = ZELK_Free ]; then
  ok "the trace is in the user's folder: /root/mine/trace.txt, ZELK_HWInit to ZELK_Free"
else
  fail "no trace in /root/mine/trace.txt from ZELK_HWInit to ZELK_Free; trace.txt files:" \
    "$(find "$root/src" "$root/root" -name trace.txt | tr '\n' ' ')"
fi
# scripts/setup terminal has no GoogleTest: the tree must have been made without its tests.
grep -qx 'BUILD_TESTING:BOOL=OFF' "$root/src/build/linux/CMakeCache.txt" &&
  ok "build/linux was configured without its tests" || fail "build/linux has BUILD_TESTING on"

# ---- the built program ------------------------------------------------------------------------
exe=/src/build/linux/Test_rireruv
status=0
out=$(in_root "$exe" --version 2>&1) || status=$?
[ "$status" = 0 ] && [[ $out == Test_rireruv* ]] && ok "--version: $(head -n 1 <<<"$out")" ||
  fail "--version: status $status:$(echo; indent <<<"$out")"
status=0
out=$(in_root env RIRERUV_DATA="05" "$exe" --check --timeout 10 2>/dev/null) || status=$?
if [ "$status" = 0 ] && grep -q '"event":"press".*"byte":5,' <<<"$out" &&
   grep -q '"event":"verdict","verdict":"pass"' <<<"$out"; then
  ok "--check with RIRERUV_DATA=05: the press 05, pass, status 0"
else
  fail "--check with RIRERUV_DATA=05: status $status:$(echo; indent <<<"$out")"
fi

echo "time: setup_terminal_test in all: $((SECONDS - began)) s"
[ "$failures" = 0 ] || { echo "$failures failed; the root is kept in $root"; exit 1; }
passed=1
echo "setup_terminal_test: all passed"
