# shellcheck shell=bash
# Sourced by the Wine stages: with $out set, makes a fresh 32-bit Wine prefix in $out/prefix
# on a virtual X display of its own, and ends every process it started when the script exits.
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/wine-env"
# scripts/test gives all its stages one prefix instead, VERIFIER_WINEPREFIX, made fresh once a
# run: a prefix takes 10-15 s to make.
program_env "${VERIFIER_WINEPREFIX:-$out/prefix}"
cleanup() {
  wineserver -k 2>/dev/null || true
  end_display
}
trap cleanup EXIT
virtual_display "$out/xvfb.log"

if [ -n "${VERIFIER_WINEPREFIX:-}" ]; then
  "$top/scripts/wine-prefix" "$WINEPREFIX"
else
  "$top/scripts/wine-prefix" "$WINEPREFIX" --fresh
fi
