#!/usr/bin/env bash
# The scripts where a user meets them, in the shell: what they say and how they end when the
# machine is not as they need it. usage: scripts_test.sh SOURCE_DIR WORK_DIR (under build/)
set -euo pipefail
src=$(cd "$1" && pwd)
mkdir -p "$2"
work=$(cd "$2" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
show_output() { while IFS= read -r line; do echo "    $line"; done <<<"$out"; }

# Runs a command, keeping its exit status and everything it printed.
status=0
out=
capture() {
  status=0
  out=$("$@" 2>&1) || status=$?
}
# expect STATUS TEXT WHAT: the last command ended with STATUS and said TEXT.
expect() {
  if [ "$status" != "$1" ] || ! grep -qF -- "$2" <<<"$out"; then
    fail "$3: exit $status (wanted $1), without \"$2\" in:"
    show_output
  else
    echo "ok: $3"
  fi
}

# --wine with a display where no X server answers: said, not a silent exit 0 from Wine.
n=55
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
capture env DISPLAY=":$n" "$src/scripts/run" --wine
expect 2 "no X server answers at DISPLAY=:$n" "run --wine with no X server at :$n"
capture env -u DISPLAY "$src/scripts/run" --wine
expect 2 "DISPLAY is not set" "run --wine without DISPLAY"

capture "$src/scripts/build" windows
expect 2 "\"windows\" is not one of linux, win32 or all" "build with an unknown tree"

# The analysis finds its files without git: a copy with no .git lists what the checkout
# lists, and with no sources at all it fails.
copy="$work/nogit"
rm -rf "$copy" && mkdir -p "$copy"
(cd "$src" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$copy"
capture "$copy/scripts/analyse" --list
count=$(tail -n 1 <<<"$out" | sed -n 's/^\([0-9]*\) files$/\1/p')
if [ "$status" != 0 ] || [ -z "$count" ] || [ "$count" -eq 0 ]; then
  fail "analyse --list without .git: exit $status, count '${count}':"
  show_output
else
  echo "ok: analyse --list without .git: $count files"
fi
# And it is the same list as in the checkout itself.
mine=$(head -n -1 <<<"$out")
capture "$src/scripts/analyse" --list
if [ "$(head -n -1 <<<"$out")" = "$mine" ]; then
  echo "ok: analyse --list without .git lists what the checkout lists"
else
  fail "analyse --list without .git differs from the checkout's: $(diff <(echo "$mine") \
        <(head -n -1 <<<"$out") | tr '\n' ' ')"
fi

empty="$work/empty"
rm -rf "$empty" && mkdir -p "$empty/scripts"
cp "$src/scripts/analyse" "$empty/scripts/"
capture "$empty/scripts/analyse"
expect 1 "found no .cpp files" "analyse with no sources fails"

[ "$failures" = 0 ] || { echo "$failures failed"; exit 1; }
