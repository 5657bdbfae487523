# shellcheck shell=bash
# Sourced by everything that drives a program in tmux (the terminal tests, the described card,
# the installers' tests, scripts/bench): a pane on a tmux server of the test's own, keys sent
# as a user would, the screen read back, and the one way they wait. After sourcing, a test sets
# what differs: session and sock (the server, tmux -L, so that tests running at once never
# meet), t (a server elsewhere, as in a root), wait_seconds, screen_joined (a line wider than
# the pane read whole), exe (what start runs), and fail (a test that counts its failures and
# goes on).
session="verifier-$$"
sock="verifier-$$"
wait_seconds=5
screen_joined=
t() { tmux -L "$sock" "$@"; }
tmux_cleanup() { t kill-server 2>/dev/null || true; }
# Quiet once the pane is gone: an installer's pane ends with the program it runs.
screen() { t capture-pane -p ${screen_joined:+-J} -t "$session" 2>/dev/null; }
show_screen() { echo "---- screen ----"; screen; }
fail() { echo "FAIL: $*"; show_screen; exit 1; }
keys() { t send-keys -t "$session" "$@"; }

# The one way these tests wait: until a check passes (or, after !, stops passing), looked at
# every 50 ms for up to wait_seconds, or SECONDS after -s. A check reads what the program or a
# command printed, never what the test typed: a typed command line stays on the screen, and a
# check that can match it passes before anything has happened. Where fail goes on, the screen
# waited on is shown here, and the wait returns 1.
wait_until() { # [-s SECONDS] [!] CHECK...
  local seconds=$wait_seconds negate=0
  [ "$1" = -s ] && { seconds=$2; shift 2; }
  [ "$1" = "!" ] && { negate=1; shift; }
  for _ in $(seq $((seconds * 20))); do
    if "$@"; then [ $negate = 0 ] && return 0
    else [ $negate = 1 ] && return 0; fi
    sleep 0.05
  done
  if [ $negate = 1 ]; then fail "waited $seconds s for the end of: $*"
  else fail "waited $seconds s for: $*"; fi
  show_screen
  return 1
}
shows() { screen | grep -qF -- "$1"; }      # the text anywhere (what the program draws)
shows_line() { screen | grep -qxF -- "$1"; } # a whole line that is exactly the text
wait_for() { # [!] TEXT: the program's window shows (or stops showing) TEXT
  if [ "$1" = "!" ]; then wait_until ! shows "$2"; else wait_until shows "$1"; fi
}
# What the dialog's data field shows while it polls: the last byte read, in hex.
data_value() { screen | grep -F ">Stop<" | sed -E 's/.*Remote +([0-9A-F]*) +>Stop<.*/\1/'; }

# A shell as clean as a new user's, in a pane of COLUMNSxROWS, but for the sanitizer's settings
# when the sanitizer build runs the test, and the simulated board asked for (a test that wants
# a card names one): with nothing asked, the verifier would look at the machine's own /sys.
# Once it answers, the screen holds only the line before-verifier. The server goes when the
# test ends.
tmux_open() { # COLUMNSxROWS
  trap tmux_cleanup EXIT
  local shell="env -i PATH=$PATH TERM=screen-256color LANG=C.UTF-8 HOME=$HOME PS1='$ '"
  shell+=" RIRERUV_DEVICE=simulated"
  shell+=" ASAN_OPTIONS=${ASAN_OPTIONS:-} UBSAN_OPTIONS=${UBSAN_OPTIONS:-}"
  t -f /dev/null new-session -d -s "$session" -x "${1%x*}" -y "${1#*x}" \
    "$shell bash --norc --noprofile"
  in_shell "before-verifier" "clear"
}
# Types a command line into the shell and waits until it has run: it ends by printing MARK on
# a line of its own, written as two quoted halves so that the typed line never contains it.
in_shell() { # MARK COMMAND
  keys "$2; echo '${1:0:1}''${1:1}'" Enter
  wait_until shows_line "$1"
}
# Starts exe with the settings before it, from a cleared screen; the shell prints its exit
# status after it.
start() { # MARK [VAR=VALUE...] [REDIRECTION]
  in_shell "$1" "clear"
  shift
  keys "$* $exe; echo exit=\$?" Enter
}
# The verifier's process: only the pane shell's children count, as other tests run the same
# executable at the same time.
verifier_pid() { pgrep -P "$(t display-message -p -t "$session" '#{pane_pid}')"; }
# Echo and canonical input, both on (the modes a shell expects), as the line before MARK.
modes_restored() { screen | grep -B1 -xF "$1" | head -n 1 | grep -qxE 'echo icanon *'; }
modes_command="stty -a | tr ' ;' '\n\n' | grep -x -e echo -e icanon | sort | tr '\n' ' '; echo"
# The shell has its terminal back: its modes, and the screen from before the verifier.
expect_restored() { # MARK [WHAT FAILED]
  in_shell "$1" "$modes_command"
  modes_restored "$1" || fail "${2:-the terminal modes were not restored}"
}
