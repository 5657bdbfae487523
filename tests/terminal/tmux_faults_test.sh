#!/usr/bin/env bash
# The native verifier in a real terminal when things go wrong: signals, a busy library, keys and
# sequences it has no use for or split on their way, a closed standard error, a locale without
# UTF-8, a terminal too small or very wide. usage: tmux_faults_test.sh PATH/TO/Test_rireruv
set -euo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(dirname "$exe")/tmux_faults_test
rm -rf "$work" && mkdir -p "$work"
. "$(dirname "$0")/../support/tmux_lib.sh"
tmux_open 100x30

bytes() { keys -H "$@"; } # as the terminal would send them, in hex
last_line_of() { [ "$(tail -n 1 "$2" 2>/dev/null)" = "$1" ]; }
pane_size_is() { [ "$(stty -F "$(t display -p -t "$session" '#{pane_tty}')" size)" = "$1" ]; }
# Sleeping in the library's slow call (the front end waits in poll, never in nanosleep).
in_library() { grep -q nanosleep "/proc/$1/wchan" 2>/dev/null; }

# A second Ctrl-C, while a slow library keeps the verifier from reading, ends it at once; the
# first only asks it to close, which it does when the call returns, 30 s later. (A shell of its
# own that ignores Ctrl-C reports the status: the pane's would drop the rest of the line.)
in_shell "=busy" "clear"
keys "bash -c 'trap \"\" INT; RIRERUV_DELAY_MS=30000 \"\$0\"; echo exit=\$?' $exe" Enter
wait_for ">Start<"
keys Enter
wait_for ">Stop<"
pid=$(verifier_pid)
pid=$(pgrep -P "$pid") # the verifier, under the shell that reports its status
wait_until in_library "$pid"
keys C-c
# Two signals sent before the first is handled are one: another Ctrl-C until it ends.
ended_by_another() { kill -0 "$pid" 2>/dev/null || return 0; keys C-c; return 1; }
wait_until ended_by_another
wait_until shows_line "exit=130"
# What the library said, and the summary it would have said at ZELK_Free, are not lost with it.
shows_line "rireruv: board: simulated (demo remote), asked for by RIRERUV_DEVICE=simulated" ||
  fail "a second Ctrl-C lost the library's board line"
shows "rireruv: summary: no press read from the simulated board" || fail "a second Ctrl-C lost the library's summary"
expect_restored "=busy-modes"
echo "ok: a second Ctrl-C ended a verifier busy in the library at once, its messages kept"

# SIGTERM, SIGHUP and SIGQUIT close it as its close box would: the library freed, its
# messages printed again, the terminal restored, and 128 plus the signal as its status.
for signal in TERM:15 HUP:1 QUIT:3; do
  start "=$signal" "RIRERUV_TRACE=$work/${signal%:*}.txt"
  wait_for ">Start<"
  kill "-${signal%:*}" "$(verifier_pid)"
  wait_until shows_line "exit=$((128 + ${signal#*:}))"
  wait_until last_line_of ZELK_Free "$work/${signal%:*}.txt"
  shows_line "rireruv: board: simulated (demo remote), asked for by RIRERUV_DEVICE=simulated" ||
    fail "SIG${signal%:*}: no messages after"
  expect_restored "=$signal-modes"
done
echo "ok: SIGTERM, SIGHUP and SIGQUIT closed it, the library freed, 143, 129 and 131"

# Alt+F4 closes the active window, as xterm sends it (Alt in the sequence) and as tmux, rxvt
# and the Linux console send it (an Esc before F4).
start "=altf4"
wait_for ">Start<"
keys M-Space a
wait_for "Test_rireruv Version 1.0"
bytes 1b 5b 31 3b 33 53 # xterm: ESC [ 1 ; 3 S
wait_for ! "Test_rireruv Version 1.0"
shows ">Start<" || fail "xterm's Alt+F4 closed more than the About box"
bytes 1b 1b 4f 53 # ESC ESC O S
wait_until shows_line "exit=0"
echo "ok: Alt+F4, as xterm and as tmux send it, closed the About box, then the verifier"

# Keys it has no use for are ignored, their sequences swallowed whole: read as Esc, one would
# close the dialog and leave its rest in the shell; pasted text is no keys either. Then F10,
# which does something, shows that all before it was read.
start "=unknown"
wait_for ">Start<"
keys C-Left M-Up M-a Home End
bytes 1b 5b 49 1b 5b 4f             # focus in, focus out
bytes 1b 5b 31 7e 1b 5b 34 7e       # Home and End as VT220 sends them
bytes 1b 4f 48 1b 4f 46             # Home and End as xterm sends them, application mode
t set-buffer -b pasted "x y" # its space would press Start
t paste-buffer -p -b pasted -t "$session" # bracketed: the verifier asked for it
keys F10
wait_for "關於 Test_rireruv(A)..."
shows ">Start<" || fail "a key it has no use for pressed Start"
keys Escape Escape
wait_until shows_line "exit=0"
[ "$(screen | grep -A1 -xF "exit=0" | tail -n 1)" = '$' ] ||
  fail "bytes of a sequence reached the shell"
echo "ok: Ctrl+Left, Alt+Up, Alt+a, Home, End, focus reports and a paste were ignored"

# A key split on its way, as over SSH, is never Esc and text: as Esc, an arrow's start would
# close the dialog and its rest land in the shell. The pause inside each is part of the input.
# Within the escape delay (3 s here; 500 ms by default, which the unit tests pin) the parts
# join: an Up arrow 100 ms apart. The rest of what was given
# up is dropped: X10's press after Esc closed the About box (its button byte, a space, would
# press Start). F10 shows all before it was read; Esc alone closes, after the delay.
hex() { printf %s "$1" | od -An -tx1; }
split() { bytes $(hex "$1"); sleep "$2"; bytes $(hex "$3"); } # FIRST PAUSE REST
menu_and_back() {
  keys F10
  wait_for "關於 Test_rireruv(A)..."
  keys Escape
  wait_for ! "關於 Test_rireruv(A)..."
}
start "=split" ESCDELAY=3000 # room for a loaded machine between the two parts tmux sends
wait_for ">Start<"
split $'\e' 0.1 "[A"
keys M-Space a
wait_for "Test_rireruv Version 1.0"
bytes 1b
wait_for ! "Test_rireruv Version 1.0" # the Esc taken
bytes $(hex "[M +%")
menu_and_back
shows ">Start<" || fail "the rest of a split sequence pressed Start"
keys Escape
wait_until shows_line "exit=0"
echo "ok: an Up split 100 ms, and X10's press after Esc was taken: nothing pressed or closed"

# With ESCDELAY=0 each part is given up at once: a click on Stop, its press split a second, is
# no click (a whole one first shows where Start/Stop is).
start "=split-now" ESCDELAY=0
wait_for ">Start<"
y=$(screen | grep -n -F ">Start<" | head -n 1 | cut -d: -f1)
x=$(($(screen | sed -n "${y}p" | sed 's/>Start<.*//' | LC_ALL=C.UTF-8 wc -m) + 2))
keys -l $'\e'"[<0;$x;${y}M"$'\e'"[<0;$x;${y}m"
wait_for ">Stop<"
split $'\e'"[<0;$x" 1 ";${y}M"$'\e'"[<0;$x;${y}m" # apart, even where the reads lag
menu_and_back
shows ">Stop<" || fail "a click split in its press pressed Stop"
keys Escape
wait_until shows_line "exit=0"
echo "ok: with ESCDELAY=0, a click split in its press pressed nothing"

# With standard error closed, the library's reason is still on the status line.
reason='rireruv: RIRERUV_DATA: token 1, "GG", is not a hex byte 00-FF or -'
start "=closed" RIRERUV_DATA=GG "2>&-"
wait_for "ZELK_HWInit() failed!"
wait_for "$reason"
keys Enter
wait_until shows_line "exit=2"
echo "ok: with standard error closed, the reason is on the status line"

# In the C locale, where UTF-8 cannot be drawn: ASCII frames, a '?' for each cell of what
# cannot be shown; the About box's OK is ????, not blank.
start "=c-locale" LANG=C LC_ALL=C
wait_for "+--------------------------------------------+"
wait_for "| # VOR Odiruvid Aru VAV713A / 878        [X]|"
keys M-Space
wait_for "| ???? Test_rireruv(A)... |"
keys a
wait_for ">????<"
shows "─" && fail "a frame of UTF-8 in the C locale"
keys Escape Escape
wait_until shows_line "exit=0"
echo "ok: the C locale: ASCII frames, ? for the Chinese texts"

# The terminal must hold the About box as well, which may open at any time: 61 x 15.
start "=small"
wait_for ">Start<"
t resize-window -t "$session" -x 50 -y 20
wait_for "needs 61x15"
t resize-window -t "$session" -x 100 -y 30
wait_for ">Start<"
keys Escape
wait_until shows_line "exit=0"
echo "ok: too small for the About box, said so"

# A click beyond column 223, where X10's mouse reports end: the verifier asks for SGR's.
t resize-window -t "$session" -x 500 -y 30
wait_until pane_size_is "30 500" # the pane's terminal takes the size a moment later
start "=wide"
wait_for ">Start<"
[ "$(t display-message -p -t "$session" '#{mouse_sgr_flag}')" = 1 ] ||
  fail "the verifier did not ask for SGR mouse reports"
row=$(screen | grep -n -F "[X]│" | head -n 1 | cut -d: -f1)
x=$(screen | sed -n "${row}p" | sed 's/\[X\].*//' | LC_ALL=C.UTF-8 wc -m) # the X, from 1
[ "$x" -gt 223 ] || fail "the close box is at column $x, not beyond 223"
keys -l $'\e'"[<0;$x;${row}M"$'\e'"[<0;$x;${row}m"
wait_until shows_line "exit=0"
t resize-window -t "$session" -x 100 -y 30
echo "ok: a click at column $x closed it"

# After an idle wait, Start and Stop at once: no poll between them, since a timer's first tick
# is a period after it is set, not when the clock was last read before the wait.
start "=timing" "RIRERUV_TRACE=$work/start-stop.txt"
wait_for ">Start<"
sleep 0.5 # the user's pause: no wait for an effect, the idle wait itself
keys Enter Enter F10
wait_for "關於 Test_rireruv(A)..."
keys Escape Escape
wait_until shows_line "exit=0"
polls=$(grep -c '^ZELK_GetRemoteData' "$work/start-stop.txt" || true)
[ "$polls" = 0 ] || fail "$polls polls between Start and Stop, pressed together after a pause"
echo "ok: after an idle wait, no poll between Start and Stop pressed together"
