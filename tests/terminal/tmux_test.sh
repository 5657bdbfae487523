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

# The one way this test waits: until a check of the screen passes (or, after !, stops
# passing), looked at every 50 ms for up to 5 s. A check reads what the program or a command
# printed, never what the test typed: a typed command line stays on the screen, and a check
# that can match it passes before anything has happened.
wait_until() {
  local negate=0
  [ "$1" = "!" ] && { negate=1; shift; }
  for _ in $(seq 100); do
    if "$@"; then [ $negate = 0 ] && return 0
    else [ $negate = 1 ] && return 0; fi
    sleep 0.05
  done
  fail "waited for ${negate/1/the end of }$*"
}
shows() { screen | grep -qF -- "$1"; }      # the text anywhere (what the program draws)
shows_line() { screen | grep -qxF -- "$1"; } # a whole line that is exactly the text
wait_for() { # [!] TEXT: the program's window shows (or stops showing) TEXT
  if [ "$1" = "!" ]; then wait_until ! shows "$2"; else wait_until shows "$1"; fi
}
# Types a command line into the shell and waits until it has run: it ends by printing MARK on
# a line of its own, written as two quoted halves so that the typed line never contains it.
in_shell() { # MARK COMMAND
  t send-keys -t "$session" "$2; echo '${1:0:1}''${1:1}'" Enter
  wait_until shows_line "$1"
}
data_value() { screen | grep -F ">Stop<" | sed -E 's/.*Remote +([0-9A-F]*) +>Stop<.*/\1/'; }
polled_twice() { [ "$(grep -c '^ZELK_GetRemoteData' "$1" 2>/dev/null)" -ge 2 ]; }
data_shown() { [ -n "$(data_value)" ]; }
data_differs_from() { local now; now=$(data_value); [ -n "$now" ] && [ "$now" != "$1" ]; }
# Echo and canonical input, both on (the modes a shell expects), as the line before MARK.
modes_restored() { screen | grep -B1 -xF "$1" | head -n 1 | grep -qxE 'echo icanon *'; }
modes_command="stty -a | tr ' ;' '\n\n' | grep -x -e echo -e icanon | sort | tr '\n' ' '; echo"

t -f /dev/null new-session -d -s "$session" -x 100 -y 30 "env -i PATH=$PATH TERM=screen-256color LANG=C.UTF-8 HOME=$HOME PS1='$ ' bash --norc --noprofile"
in_shell "before-verifier" "clear"

# Open, Start, and the simulated board's data changes.
t send-keys -t "$session" "RIRERUV_DATA='11 22 33 44 55' $exe; echo exit=\$?" Enter
wait_for "VOR Odiruvid Aru VAV713A / 878"
wait_for ">Start<"
t send-keys -t "$session" Enter
wait_for ">Stop<"
wait_until data_shown
first=$(data_value)
wait_until data_differs_from "$first"
second=$(data_value)
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
wait_until shows_line "exit=0"
shows "VOR Odiruvid" && fail "the dialog is still on the screen"
shows_line "before-verifier" || fail "the screen from before was not restored"
# Only the pane shell's own children count: other tests run this executable at the same time.
pgrep -P "$(t display-message -p -t "$session" '#{pane_pid}')" >/dev/null &&
  fail "the process is still running"
in_shell "=modes" "$modes_command"
modes_restored "=modes" || fail "the terminal modes were not restored"
echo "ok: Esc ended it; the terminal is restored"

# Ctrl-C closes the program as its close box would (the library is freed), and restores the
# terminal as well.
work=$(dirname "$exe")/tmux_test
rm -rf "$work" && mkdir -p "$work"
t send-keys -t "$session" "clear; RIRERUV_TRACE=$work/interrupted.txt $exe" Enter
wait_for "VOR Odiruvid"
t send-keys -t "$session" C-c
wait_for ! "VOR Odiruvid"
t send-keys -t "$session" 'echo exit=$?' Enter # the shell drops the rest of a line Ctrl-C ended
wait_until shows_line "exit=130"
in_shell "=again" "$modes_command"
modes_restored "=again" || fail "Ctrl-C left the terminal in raw modes"
[ "$(tail -n 1 "$work/interrupted.txt")" = "ZELK_Free" ] || fail "Ctrl-C did not free the library"
echo "ok: Ctrl-C ended it, the library was freed; the terminal is restored"

# A library slower than the timer keeps no key from being read: the menu key, Esc and Enter
# answer while it polls, and Esc ends it with the library freed last.
in_shell "=slow" "clear"
t send-keys -t "$session" "RIRERUV_DELAY_MS=300 RIRERUV_TRACE=$work/slow.txt $exe; echo exit=\$?" Enter
wait_for ">Start<"
t send-keys -t "$session" Enter
wait_for ">Stop<"
wait_until polled_twice "$work/slow.txt" # a tick is late from here on
t send-keys -t "$session" F10
wait_for "關於 Test_rireruv(A)..."
t send-keys -t "$session" Escape
wait_for ! "關於 Test_rireruv(A)..."
t send-keys -t "$session" Enter
wait_for ">Start<"
t send-keys -t "$session" Escape
wait_until shows_line "exit=0"
[ "$(tail -n 1 "$work/slow.txt")" = "ZELK_Free" ] || fail "the slow library was not freed last"
echo "ok: a 300 ms library: the menu, Stop and Esc all answered"

# Alt+F4 closes, as on Windows.
in_shell "=altf4" "clear"
t send-keys -t "$session" "$exe; echo exit=\$?" Enter
wait_for ">Start<"
t send-keys -t "$session" M-F4
wait_until shows_line "exit=0"
echo "ok: Alt+F4 closed it"

# The library's reason for a failure is on the status line, and again after the exit.
reason='rireruv: RIRERUV_DATA: token 1, "GG", is not a hex byte 00-FF or -'
in_shell "=failure" "clear"
t send-keys -t "$session" "RIRERUV_DATA=GG $exe; echo exit=\$?" Enter
wait_for "ZELK_HWInit() failed!"
wait_for "$reason"
t send-keys -t "$session" Enter
wait_until shows_line "exit=0"
wait_until shows_line "$reason"
echo "ok: the failure's reason shown, and printed again after the exit"

# A terminal that cannot show the dialog is named, and nothing is drawn.
in_shell "=dumb" "clear"
t send-keys -t "$session" "TERM=dumb $exe; echo exit=\$?" Enter
wait_until shows_line "exit=2"
shows "cannot move the cursor" || fail "TERM=dumb was not explained"
echo "ok: TERM=dumb is explained"
# Without a terminal it says so at once and fails, writing nothing to the pipe.
set +e
piped=$(timeout 10 "$exe" </dev/null 2>"$work/no-terminal.txt" | wc -c)
code=${PIPESTATUS[0]}
set -e
[ "$code" = 2 ] || fail "without a terminal it exited with $code, not 2"
[ "$piped" = 0 ] || fail "without a terminal it wrote $piped bytes to the pipe"
grep -q "must be a terminal" "$work/no-terminal.txt" || fail "without a terminal it did not say why"
echo "ok: without a terminal it says so and exits 2"
echo "---- the screen at the end ----"
screen | sed -e '/^$/d'
