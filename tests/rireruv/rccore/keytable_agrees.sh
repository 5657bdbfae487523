#!/usr/bin/env bash
# ir-keytable -t, the kernel's own tool, reading the same replayed presses of the described
# card as the library did in rccore_replay_evdev: both must see the same scancodes in the same
# order. Why: ir-keytable is the reference for what a press on an rc-core receiver is, so this
# catches a reader that drops, splits, merges or misreads presses in a way our own decoding
# tests would agree with.
# usage: keytable_agrees.sh TRACE SCRATCH -- UMOCKDEV-RUN COMMAND...
#   TRACE: the library's trace of the replay; SCRATCH: a folder for ir-keytable's output;
#   the rest: the umockdev-run command line that replays the card, ending in "--".
set -euo pipefail
trace=$1 scratch=$2
shift 3
out=$scratch/keytable.out

[ -s "$trace" ] || { echo "FAIL: no trace at $trace (rccore_replay_evdev makes it)"; exit 1; }
# "press scancode=0x40c protocol=- repeat=0" -> "0x40c"
ours=$(sed -n 's/^press scancode=\(0x[0-9a-f]*\) .*/\1/p' "$trace")
count=$(echo "$ours" | wc -l)

# ir-keytable never ends by itself; its own process group lets it be ended with umockdev-run.
# stdbuf: its output is a file, which it would otherwise hold back until it ends.
rm -f "$out"
setsid "$@" stdbuf -oL ir-keytable -s rc0 -t >"$out" 2>&1 &
reader=$!
trap 'kill -- -$reader 2>/dev/null || true' EXIT

# "0.500000: event type EV_MSC(0x04): scancode = 0x05" -> "0x5"
theirs() { sed -n 's/.*EV_MSC(0x04): scancode = \(0x[0-9a-f]*\).*/\1/p' "$out" |
    while read -r code; do printf '0x%x\n' "$code"; done; }
# Waits until ir-keytable has printed as many presses as we traced, or has ended.
for _ in $(seq 200); do
    [ "$(theirs | wc -l)" -ge "$count" ] && break
    kill -0 "$reader" 2>/dev/null || break
    sleep 0.05
done

echo "ours (RIRERUV_TRACE)  ir-keytable -t"
paste <(echo "$ours") <(theirs) | awk -F'\t' '{ printf "%-22s %s\n", $1, $2 }'
if [ "$(theirs)" != "$ours" ]; then
    echo "FAIL: the scancodes differ; ir-keytable printed:"
    cat "$out"
    exit 1
fi
echo "ok: $count presses, the same scancodes in the same order"
