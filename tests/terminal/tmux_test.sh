#!/usr/bin/env bash
# The native verifier in a real terminal: tmux runs it in a shell, sends keys as a user
# would and reads the screen back. usage: tmux_test.sh PATH/TO/Test_rireruv
set -euo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
. "$(dirname "$0")/../support/tmux_lib.sh"
tmux_open 100x30

polled_twice() { [ "$(grep -c '^ZELK_GetRemoteData' "$1" 2>/dev/null)" -ge 2 ]; }
data_shown() { [ -n "$(data_value)" ]; }
data_differs_from() { local now; now=$(data_value); [ -n "$now" ] && [ "$now" != "$1" ]; }

# Open, Start, and the simulated board's data changes.
keys "RIRERUV_DATA='11 22 33 44 55' $exe; echo exit=\$?" Enter
wait_for "VOR Odiruvid Aru VAV713A / 878"
wait_for ">Start<"
keys Enter
wait_for ">Stop<"
wait_until data_shown
first=$(data_value)
wait_until data_differs_from "$first"
second=$(data_value)
echo "ok: polling shows $first, then $second"

# The About box from the system menu, and back.
keys M-Space
wait_for "關於 Test_rireruv(A)..."
keys a
wait_for "確定"
wait_for "Test_rireruv Version 1.0"
echo "ok: About box open"
keys Escape
wait_for ! "確定"
wait_for ">Stop<"
echo "ok: About box closed"

# Esc ends the program, and the terminal is the shell's again.
keys Escape
wait_until shows_line "exit=0"
shows "VOR Odiruvid" && fail "the dialog is still on the screen"
shows_line "before-verifier" || fail "the screen from before was not restored"
verifier_pid >/dev/null && fail "the process is still running"
expect_restored "=modes"
echo "ok: Esc ended it; the terminal is restored"

# Ctrl-C closes the program as its close box would (the library is freed), and restores the
# terminal as well.
work=$(dirname "$exe")/tmux_test
rm -rf "$work" && mkdir -p "$work"
keys "clear; RIRERUV_TRACE=$work/interrupted.txt $exe" Enter
wait_for "VOR Odiruvid"
keys C-c
wait_for ! "VOR Odiruvid"
keys 'echo exit=$?' Enter # the shell drops the rest of a line Ctrl-C ended
wait_until shows_line "exit=130"
expect_restored "=again" "Ctrl-C left the terminal in raw modes"
[ "$(tail -n 1 "$work/interrupted.txt")" = "ZELK_Free" ] || fail "Ctrl-C did not free the library"
echo "ok: Ctrl-C ended it, the library was freed; the terminal is restored"

# A library slower than the timer keeps no key from being read: the menu key, Esc and Enter
# answer while it polls, and Esc ends it with the library freed last.
start "=slow" RIRERUV_DELAY_MS=300 "RIRERUV_TRACE=$work/slow.txt"
wait_for ">Start<"
keys Enter
wait_for ">Stop<"
wait_until polled_twice "$work/slow.txt" # a tick is late from here on
keys F10
wait_for "關於 Test_rireruv(A)..."
keys Escape
wait_for ! "關於 Test_rireruv(A)..."
keys Enter
wait_for ">Start<"
keys Escape
wait_until shows_line "exit=0"
[ "$(tail -n 1 "$work/slow.txt")" = "ZELK_Free" ] || fail "the slow library was not freed last"
echo "ok: a 300 ms library: the menu, Stop and Esc all answered"

# Alt+F4 closes, as on Windows.
start "=altf4"
wait_for ">Start<"
keys M-F4
wait_until shows_line "exit=0"
echo "ok: Alt+F4 closed it"

# The library's reason for a failure is on the status line, and again after the exit.
reason='rireruv: RIRERUV_DATA: token 1, "GG", is not a hex byte 00-FF or -'
start "=failure" RIRERUV_DATA=GG
wait_for "ZELK_HWInit() failed!"
wait_for "$reason"
keys Enter
wait_until shows_line "exit=2" # the failure box is the verdict
wait_until shows_line "$reason"
echo "ok: the failure's reason shown, and printed again after the exit"

# A terminal that cannot show the dialog is named, and nothing is drawn.
start "=dumb" TERM=dumb
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
