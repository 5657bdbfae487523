#!/usr/bin/env bash
# The native verifier in a real terminal: tmux runs it in a shell, sends keys as a user
# would and reads the screen back. usage: tmux_test.sh PATH/TO/Test_rireruv
set -euo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
session="verifier-$$"
sock="verifier-$$"
t() { tmux -L "$sock" "$@"; }
cleanup() { t kill-server 2>/dev/null || true; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "---- screen ----"; t capture-pane -p -t "$session"; exit 1; }
screen() { t capture-pane -p -t "$session"; }
# Waits up to 5 s for the screen to show (or, with !, to stop showing) a text.
wait_for() {
  local negate=0
  [ "$1" = "!" ] && { negate=1; shift; }
  for _ in $(seq 100); do
    if screen | grep -qF -- "$1"; then [ $negate = 0 ] && return 0
    else [ $negate = 1 ] && return 0; fi
    sleep 0.05
  done
  fail "waited for ${negate/1/the end of }\"$1\""
}
data_value() { screen | grep -F ">Stop<" | sed -E 's/.*Remote +([0-9A-F]*) +>Stop<.*/\1/'; }
# Echo and canonical input, both on: the modes a shell expects.
modes_restored() { screen | grep -F "$1" | grep -qE '^(icanon echo|echo icanon) '; }

t -f /dev/null new-session -d -s "$session" -x 100 -y 30 "env -i PATH=$PATH TERM=screen-256color LANG=C.UTF-8 HOME=$HOME PS1='$ ' bash --norc --noprofile"
t send-keys -t "$session" "echo before-verifier" Enter
wait_for "before-verifier"

# Open, Start, and the simulated board's data changes.
t send-keys -t "$session" "RIRERUV_DATA='11 22 33 44 55' $exe; echo exit=\$?" Enter
wait_for "VOR Odiruvid Aru VAV713A / 878"
wait_for ">Start<"
t send-keys -t "$session" Enter
wait_for ">Stop<"
sleep 0.3
first=$(data_value)
sleep 0.3
second=$(data_value)
[ -n "$first" ] && [ -n "$second" ] && [ "$first" != "$second" ] || fail "data did not change: '$first' then '$second'"
echo "ok: polling shows $first, then $second"

# The About box from the system menu, and back.
t send-keys -t "$session" M-Space
wait_for "關於 Test_rireruv(A)..."
t send-keys -t "$session" a
wait_for "確定"
wait_for "Test_rireruv Version 1.0"
echo "ok: About box open"
t send-keys -t "$session" Escape
wait_for ! "確定"
wait_for ">Stop<"
echo "ok: About box closed"

# Esc ends the program, and the terminal is the shell's again.
t send-keys -t "$session" Escape
wait_for "exit=0"
screen | grep -qF "VOR Odiruvid" && fail "the dialog is still on the screen"
screen | grep -qF "before-verifier" || fail "the screen from before was not restored"
pgrep -f "^$exe" >/dev/null && fail "the process is still running"
t send-keys -t "$session" "stty -a | tr ' ;' '\n\n' | grep -x -e echo -e icanon | tr '\n' ' '; echo =modes" Enter
wait_for "=modes"
modes_restored "=modes" || fail "the terminal modes were not restored"
echo "ok: Esc ended it; the terminal is restored"

# Ctrl-C restores the terminal as well.
t send-keys -t "$session" "clear; $exe" Enter
wait_for "VOR Odiruvid"
t send-keys -t "$session" C-c
wait_for ! "VOR Odiruvid"
t send-keys -t "$session" 'echo exit=$?' Enter # the shell drops the rest of a line Ctrl-C ended
wait_for "exit=130"
t send-keys -t "$session" "stty -a | tr ' ;' '\n\n' | grep -x -e echo -e icanon | tr '\n' ' '; echo =again" Enter
wait_for "=again"
modes_restored "=again" || fail "Ctrl-C left the terminal in raw modes"
echo "ok: Ctrl-C ended it; the terminal is restored"
echo "---- the screen at the end ----"
screen | sed -e '/^$/d'
