# Sourced by the tmux tests: a shell in a tmux pane of its own, keys sent as a user would, the
# screen read back, and the one way they wait. Set exe (the verifier's path) before sourcing.
session="verifier-$$"
sock="verifier-$$"
t() { tmux -L "$sock" "$@"; }
cleanup() { t kill-server 2>/dev/null || true; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "---- screen ----"; t capture-pane -p -t "$session"; exit 1; }
screen() { t capture-pane -p -t "$session"; }

# The one way these tests wait: until a check passes (or, after !, stops passing), looked at
# every 50 ms for up to 5 s. A check reads what the program or a command printed, never what
# the test typed: a typed command line stays on the screen, and a check that can match it
# passes before anything has happened.
wait_until() {
  local negate=0
  [ "$1" = "!" ] && { negate=1; shift; }
  for _ in $(seq 100); do
    if "$@"; then [ $negate = 0 ] && return 0
    else [ $negate = 1 ] && return 0; fi
    sleep 0.05
  done
  if [ $negate = 1 ]; then fail "waited for the end of: $*"; else fail "waited for: $*"; fi
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
# Starts the verifier with the settings before it, from a cleared screen; the shell prints its
# exit status after it.
start() { # MARK [VAR=VALUE...] [REDIRECTION]
  in_shell "$1" "clear"
  shift
  t send-keys -t "$session" "$* $exe; echo exit=\$?" Enter
}
# The verifier's process: only the pane shell's children count, as other tests run the same
# executable at the same time.
verifier_pid() { pgrep -P "$(t display-message -p -t "$session" '#{pane_pid}')"; }
# Echo and canonical input, both on (the modes a shell expects), as the line before MARK.
modes_restored() { screen | grep -B1 -xF "$1" | head -n 1 | grep -qxE 'echo icanon *'; }
modes_command="stty -a | tr ' ;' '\n\n' | grep -x -e echo -e icanon | sort | tr '\n' ' '; echo"
# The shell has its terminal back: its modes, and the screen from before the verifier.
expect_restored() { # MARK
  in_shell "$1" "$modes_command"
  modes_restored "$1" || fail "the terminal modes were not restored"
}

t -f /dev/null new-session -d -s "$session" -x 100 -y 30 "env -i PATH=$PATH TERM=screen-256color LANG=C.UTF-8 HOME=$HOME PS1='$ ' bash --norc --noprofile"
in_shell "before-verifier" "clear"
