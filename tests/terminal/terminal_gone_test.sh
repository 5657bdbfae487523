#!/usr/bin/env bash
# The native verifier when its terminal goes and no SIGHUP says so: started in a session of its
# own (setsid), its terminal then closed. Only reading the terminal tells (an end of file or an
# error), and that must end it as SIGHUP does: the library freed, status 129. Taken for no key
# yet, it would read a terminal nobody can type in, for ever.
# usage: terminal_gone_test.sh PATH/TO/Test_rireruv
set -euo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(dirname "$exe")/terminal_gone_test
rm -rf "$work" && mkdir -p "$work"
. "$(dirname "$0")/../support/tmux_lib.sh"

# The pane runs setsid, which waits (-w) for a shell in a session of its own: the shell notes
# its pid, runs the verifier and writes its status.
cat >"$work/run" <<EOF
#!/bin/sh
echo \$\$ >"$work/shell.pid"
"$exe"
echo \$? >"$work/status"
EOF
chmod +x "$work/run"
pid=
trap '[ -z "$pid" ] || kill -KILL "$pid" 2>/dev/null || true; tmux_cleanup' EXIT
t -f /dev/null new-session -d -s "$session" -x 100 -y 30 \
  "env -i PATH='$PATH' TERM=screen-256color LANG=C.UTF-8 RIRERUV_DEVICE=simulated \
   RIRERUV_TRACE='$work/trace' ASAN_OPTIONS='${ASAN_OPTIONS:-}' UBSAN_OPTIONS='${UBSAN_OPTIONS:-}' \
   setsid -w '$work/run'"
wait_for ">Start<"
pid=$(pgrep -P "$(cat "$work/shell.pid")")
[ "$(ps -o sid= -p "$pid" | tr -d ' ')" = "$(cat "$work/shell.pid")" ] ||
  fail "the verifier is not in a session of its own"

t kill-session -t "$session" # the terminal closed; the pane's session gets the SIGHUP
trace_ends_with() { [ "$(tail -n 1 "$work/trace" 2>/dev/null)" = "$1" ]; }
wait_until trace_ends_with ZELK_Free
wait_until test -s "$work/status"
[ "$(cat "$work/status")" = 129 ] || fail "exit $(cat "$work/status") once its terminal was gone"
echo "ok: its terminal closed without a SIGHUP, it freed the library and exited with 129"
