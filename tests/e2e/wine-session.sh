# Sourced by the Wine stages: with $out set, makes a fresh 32-bit Wine prefix in $out/prefix
# on a virtual X display of its own, and ends every process it started when the script exits.
top=$(cd "$(dirname "$0")/../.." && pwd)
# scripts/test gives all its stages one prefix instead, VERIFIER_WINEPREFIX, made fresh once a
# run: a prefix takes 10-15 s to make.
export WINEPREFIX=${VERIFIER_WINEPREFIX:-$out/prefix} WINEARCH=win32
export WINEDEBUG=-all,err+module        # quiet, but a missing DLL is still reported
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko install prompts
# Code page 950, so the program's 8-bit texts are those of a Taiwanese Windows.
export LANG=zh_TW.UTF-8 LC_ALL=zh_TW.UTF-8

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
export DISPLAY=":$display"
# -br: a black root, so windows already closed do not linger in later screenshots.
Xvfb "$DISPLAY" -screen 0 1024x768x24 -br -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

if [ -n "${VERIFIER_WINEPREFIX:-}" ]; then
  "$top/scripts/wine-prefix" "$WINEPREFIX"
else
  "$top/scripts/wine-prefix" "$WINEPREFIX" --fresh
fi
