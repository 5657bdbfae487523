#!/usr/bin/env bash
# The Debian package as a new user meets it: what it holds, what lintian says of it, its udev
# rule on a described card, then in a fresh minimal Debian 12 root (debian-root.sh) installed
# with apt-get, used (--help, --version, the dialog in tmux, --check) and purged. A package can
# build and still not install, pull a compiler in, miss its library at run time or leave files
# behind; only installing it where nothing else is shows that.
# usage: tests/install/package_test.sh [FOLDER]
#   FOLDER holds test-rireruv_*.deb and its .changes (and the Windows zip, for its size);
#   without it, scripts/package builds them into build/package first.
# Needs root (chroot, mounts, a mount namespace) and Debian's mirror (the dependencies). Writes
# only under build/package-test/; prints the sizes and the time from apt-get install to the
# dialog on the screen.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$top/build/package-test
root=$work/root
. "$top/tests/support/tmux_lib.sh"
session=dialog
sock=/tmp/package-test.sock # inside the root
wait_seconds=20
[ "$(id -u)" = 0 ] || { echo "package_test: needs root (chroot, mounts)" >&2; exit 2; }
# Every mount below (the root's /proc, /dev and devpts) is made in a mount and pid namespace of
# this test's own: the machine's /dev and /proc are never touched, and nothing stays mounted
# once the test ends, however it ends.
[ -n "${RIRERUV_OWN_MOUNTS:-}" ] ||
  exec env RIRERUV_OWN_MOUNTS=1 unshare -m -p -f --mount-proc "$0" "$@"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
# A group of checks says ok once, when none of them failed.
group=0
begin() { group=$failures; }
passed() { if [ "$failures" = "$group" ]; then ok "$*"; fi; }
indent() { sed 's/^/    /'; }
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

# scripts/package as a user meets it: --help only prints, a wrong option is refused, and
# neither builds or writes anything.
echo "== scripts/package's options"
begin
outputs() { [ ! -d "$top/build/package" ] || find "$top/build/package" -printf '%p %T@\n' | sort; }
before=$(outputs)
status=0
out=$("$top/scripts/package" --help 2>&1) || status=$?
[ "$status" = 0 ] && [[ $out == "usage: scripts/package"* ]] ||
  fail "scripts/package --help: status $status:$(echo; echo "$out" | indent)"
status=0
out=$("$top/scripts/package" --output=build/elsewhere 2>&1) || status=$?
[ "$status" = 2 ] && grep -qF '"--output=build/elsewhere" is not an option' <<<"$out" ||
  fail "scripts/package --output=build/elsewhere: status $status (wanted 2):$(echo
    echo "$out" | indent)"
[ "$(outputs)" = "$before" ] || fail "scripts/package --help or --output wrote into build/package"
passed "scripts/package --help prints its usage (status 0), --output is refused (status 2)," \
  "nothing written"

if [ $# -ge 1 ]; then
  dir=$(cd "$1" && pwd)
else
  "$top/scripts/package"
  dir=$top/build/package
fi
debs=("$dir"/test-rireruv_*_amd64.deb)
if [ ${#debs[@]} != 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package_test: want one test-rireruv_*_amd64.deb in $dir" >&2
  exit 2
fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
# A run that was stopped may have left the root's mounts (the host's /dev among them): never
# remove across one.
"$top/tests/install/debian-root.sh" --umount "$root"
if findmnt -rn -o TARGET | grep -q "^$(realpath -m "$work")/"; then
  echo "package_test: something is still mounted under $work; not removing it" >&2
  exit 1
fi
rm -rf --one-file-system "$work" && mkdir -p "$work/tmp"
export TMPDIR=$work/tmp # lintian, umockdev and mktemp: their scratch files stay under build/

# ---- what the package holds ----------------------------------------------------------------------
echo "== the package: $(basename "$deb")"
begin
lib_dir=/usr/lib/x86_64-linux-gnu/test-rireruv
# One line a path: its type (- file, d folder, l link), the path, and where a link points.
dpkg-deb -c "$deb" | awk '{ line = substr($1, 1, 1) " " substr($6, 2)
  if ($7 == "->") line = line " -> " $8
  print line }' >"$work/contents"
for want in "- /usr/bin/test-rireruv" "l /usr/bin/Test_rireruv -> test-rireruv" \
  "- $lib_dir/librireruv.so" "- /usr/lib/udev/rules.d/70-test-rireruv.rules" \
  "- /usr/share/man/man1/test-rireruv.1.gz" \
  "l /usr/share/man/man1/Test_rireruv.1.gz -> test-rireruv.1.gz" \
  "- /usr/share/doc/test-rireruv/README.md.gz" "- /usr/share/doc/test-rireruv/copyright"; do
  grep -qxF -- "$want" "$work/contents" || fail "the package has no \"$want\""
done
# The library is the verifier's own: nothing of it on the linker's path, no link to it.
public=$(grep -E '^. /usr/lib/x86_64-linux-gnu/[^/]+$' "$work/contents" || true)
[ -z "$public" ] || fail "files in the public library folder: $public"
[ "$(grep -c librireruv "$work/contents")" = 1 ] ||
  fail "not one librireruv but: $(grep librireruv "$work/contents" | tr '\n' ' ')"
passed "files: the command and its link, the private library, the rule, the page and its link," \
  "the docs"

begin
unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
runpath=$(readelf -d "$unpacked/usr/bin/test-rireruv" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = "$lib_dir" ] || fail "RUNPATH of test-rireruv is \"$runpath\", not $lib_dir"
for f in usr/bin/test-rireruv "${lib_dir#/}/librireruv.so"; do
  if ! sections=$(readelf -S "$unpacked/$f" 2>&1); then fail "readelf $f: $sections"
  elif grep -qE '\.(symtab|debug_info)' <<<"$sections"; then fail "$f is not stripped"; fi
done
passed "RUNPATH $runpath; both stripped"

# The page renders at 80 columns without a warning from man or groff.
page=$unpacked/usr/share/man/man1/test-rireruv.1.gz
warnings=$( { MANWIDTH=80 man --warnings -l "$page" >/dev/null; } 2>&1
  zcat "$page" | groff -ww -man -z 2>&1)
[ -z "$warnings" ] && ok "man renders test-rireruv(1) without warnings" ||
  fail "man or groff warns about test-rireruv(1):$(echo; echo "$warnings" | indent)"

# Lintian, Debian's own checks (policy, the page, the binaries), with the informational tags:
# no error and no warning.
lintian -I --pedantic "$deb" "${deb%.deb}.changes" >"$work/lintian.txt" 2>&1 || true
said=$(grep -v '^running with root privileges' "$work/lintian.txt" || true)
echo "lintian says: ${said:-nothing}" | indent
if grep -qE '^[EW]: ' "$work/lintian.txt"; then fail "lintian reports errors or warnings"
else ok "lintian: no errors, no warnings"; fi

# ---- the Windows zip, beside it ------------------------------------------------------------------
zip=$(ls "$dir"/test-rireruv-*-windows.zip 2>/dev/null | head -n 1 || true)
if [ -n "$zip" ]; then
  echo "== the Windows zip: $(basename "$zip")"
  begin
  entries=$(unzip -Z1 "$zip" | tr '\n' ' ')
  [ "$entries" = "Test_rireruv.EXE README.txt simulated-board/rireruv.dll " ] ||
    fail "the zip holds \"$entries\", not Test_rireruv.EXE README.txt simulated-board/rireruv.dll"
  for f in Test_rireruv.EXE simulated-board/rireruv.dll; do
    [ "$(unzip -p "$zip" "$f" | head -c 2)" = MZ ] || fail "$f in the zip is no Windows program"
  done
  readme=$(unzip -p "$zip" README.txt)
  lines=$(printf '%s\n' "$readme" | wc -l)
  [ "$(printf '%s\n' "$readme" | grep -c $'\r$')" = "$lines" ] ||
    fail "README.txt has lines without CRLF"
  grep -qF "Version $version"$'\r' <<<"$readme" ||
    fail "README.txt does not give the version $version"
  grep -qF 'simulated-board\rireruv.dll' <<<"$readme" ||
    fail "README.txt does not say where the simulated board is"
  passed "the zip: Test_rireruv.EXE, README.txt (CRLF, version $version)," \
    "simulated-board/rireruv.dll"
fi

# ---- the udev rule on a described card -----------------------------------------------------------
# udevadm runs the package's rule (and no other) on the described SAA7134 card's nodes and a
# keyboard's event device, in a mount namespace of its own, so the machine's rules and its
# /run/udev are neither read nor written.
echo "== the udev rule"
begin
cat >"$work/keyboard.umockdev" <<'EOF'
P: /devices/platform/i8042/serio0/input/input3/event2
N: input/event2
E: DEVNAME=/dev/input/event2
E: SUBSYSTEM=input
A: dev=13:66

P: /devices/platform/i8042/serio0/input/input3
E: SUBSYSTEM=input
E: NAME="AT Translated Set 2 keyboard"

P: /devices/platform/i8042/serio0
E: SUBSYSTEM=serio

P: /devices/platform/i8042
E: SUBSYSTEM=platform
EOF
mkdir -p "$work/udev-run" "$work/udev-none"
udev_tags() { # SYSFS_PATH: the tags the package's rule gives the device
  unshare -m sh -c 'mount --bind "$1" /run && mount --bind "$2" /usr/lib/udev/rules.d &&
      mount --bind "$3" /etc/udev/rules.d &&
      umockdev-run --device "$4" --device "$5" -- udevadm test "$6"' \
    sh "$work/udev-run" "$unpacked/usr/lib/udev/rules.d" "$work/udev-none" \
    "$top/tests/rireruv/rccore/card.umockdev" "$work/keyboard.umockdev" "$1" >"$work/udevadm.txt" 2>&1 ||
    true
  cat "$work/udevadm.txt" >>"$work/udevadm-all.txt"
  sed -n 's/^CURRENT_TAGS=//p' "$work/udevadm.txt"
}
for node in /sys/class/lirc/lirc0 /sys/class/input/event5; do
  tags=$(udev_tags "$node")
  [[ $tags == *:uaccess:* ]] ||
    fail "$node is not tagged uaccess (tags \"$tags\"); udevadm said:$(echo
      tail -n 15 "$work/udevadm.txt" | indent)"
done
tags=$(udev_tags /sys/class/input/event2)
[[ $tags != *:uaccess:* ]] || fail "a keyboard's event device is tagged uaccess too: \"$tags\""
errors=$(grep -F '70-test-rireruv.rules:' "$work/udevadm-all.txt" | sort -u || true)
[ -z "$errors" ] || fail "udevadm finds errors in the rule:$(echo; echo "$errors" | indent)"
passed "the described card's lirc0 and event5 are tagged uaccess, a keyboard's event2 is not"

# ---- installed in a fresh Debian 12 --------------------------------------------------------------
echo "== in a fresh minimal Debian 12 root"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive "$@"; }
t() { in_root tmux -S "$sock" "$@"; }
cleanup() {
  if [ -S "$root$sock" ]; then tmux_cleanup; fi
  "$top/tests/install/debian-root.sh" --umount "$root"
}
trap cleanup EXIT
"$top/tests/install/debian-root.sh" "$root"
packages() {
  in_root dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' | awk '$1 == "ii" { print $2 }' | sort
}
in_root apt-get update -qq >"$work/apt-update.log" 2>&1 || { cat "$work/apt-update.log"; exit 1; }
# The test's own tool first, so that what the package pulls in is counted apart from it.
in_root apt-get install -y -qq tmux >"$work/apt-tmux.log" 2>&1 ||
  { cat "$work/apt-tmux.log"; exit 1; }
packages >"$work/packages-before"
cp "$deb" "$root/tmp/"

shows_all() { local s; s=$(screen); for x in "$@"; do grep -qF -- "$x" <<<"$s" || return 1; done; }
ended() { [ -s "$root/tmp/dialog-status" ]; }

snapshot() {
  in_root find / -xdev \( -path /proc -o -path /dev -o -path /tmp -o -path /var/lib/dpkg \
    -o -path /var/lib/apt -o -path /var/cache -o -path /var/log \) -prune -o -print | sort
}
snapshot >"$work/files-before"
started=$(now)
in_root apt-get install -y -qq "/tmp/$(basename "$deb")" >"$work/apt-install.log" 2>&1 ||
  { fail "apt-get install failed:"; indent <"$work/apt-install.log"; exit 1; }
installed=$(now)
# The dialog on the simulated board, asked for, in a 100x30 terminal (room for the press log).
t new-session -d -s "$session" -x 100 -y 30 "TERM=screen-256color test-rireruv --simulated;
  echo \$? >/tmp/dialog-status.part; mv /tmp/dialog-status.part /tmp/dialog-status"
if wait_until shows_all ">Start<" "rireruv: board: simulated"; then
  shown=$(now)
  ok "the dialog shows >Start< and \"rireruv: board: simulated\""
  echo "time: apt-get install to the dialog on the screen: $(seconds "$started" "$shown") s" \
    "(apt-get install $(seconds "$started" "$installed") s," \
    "then the dialog $(seconds "$installed" "$shown") s)"
  keys Enter
  wait_until shows ">Stop<" && ok "Enter: >Stop<"
  keys Escape
  if wait_until ended; then
    status=$(cat "$root/tmp/dialog-status")
    [ "$status" = 0 ] && ok "Esc ended it with status 0" || fail "Esc ended it with status $status"
  fi
fi

packages >"$work/packages-after"
pulled=$(comm -13 "$work/packages-before" "$work/packages-after" | grep -vx test-rireruv |
  tr '\n' ' ')
echo "apt-get install pulled in: ${pulled:-nothing}"
compilers=$(comm -13 "$work/packages-before" "$work/packages-after" |
  grep -E '^(gcc|g\+\+|cpp|clang|cmake|binutils|build-essential)([-.0-9].*)?$' || true)
[ -z "$compilers" ] || fail "the package pulled in a compiler or build tool: $compilers"
cc1plus=$(find "$root/usr/lib/gcc" -name cc1plus 2>/dev/null || true)
[ -z "$cc1plus" ] || fail "cc1plus is installed: $cc1plus"
[ -z "$compilers$cc1plus" ] && ok "no compiler, no build tool installed"

status=0
out=$(in_root test-rireruv --help 2>&1) || status=$?
[ "$status" = 0 ] && [[ $out == usage:* ]] && ok "--help: the usage, status 0" ||
  fail "--help: status $status:$(echo; echo "$out" | indent)"
status=0
out=$(in_root test-rireruv --version 2>&1) || status=$?
if [ "$status" = 2 ] && grep -qF 'is not an option' <<<"$out"; then
  echo "skipped: --version (this verifier has no --version yet)"
else
  # The package's version begins with the program's, so that apt and the program agree.
  program=$(head -n 1 <<<"$out" | sed -n 's/^test-rireruv \([0-9.]*\) .*/\1/p')
  if [ "$status" = 0 ] && [ -n "$program" ] &&
    { [ "$version" = "$program" ] || [[ $version == "$program"+* ]]; }; then
    ok "--version: $(head -n 1 <<<"$out"), the package's $version"
  else
    fail "--version (status $status) does not give the package's version $version:$(echo
      echo "$out" | indent)"
  fi
fi

# The check mode, through the README's name of the command.
status=0
out=$(in_root env RIRERUV_DATA="05 0A" Test_rireruv --check --presses 2 2>/dev/null) || status=$?
if [ "$status" = 0 ] && grep -q '"event":"verdict","verdict":"pass"' <<<"$out" &&
  [ "$(grep -c '"event":"press"' <<<"$out")" = 2 ] && grep -q '"byte":5,' <<<"$out" &&
  grep -q '"byte":10,' <<<"$out"; then
  ok "Test_rireruv --check --presses 2: presses 05 and 0A, pass, status 0"
else
  fail "Test_rireruv --check --presses 2: status $status:$(echo; echo "$out" | indent)"
fi

# A root without a card (no /sys at all) is no pass: nothing asked for, the check looks for a
# receiver, fails with the reason and how to try the simulated board, and names no board.
status=0
in_root test-rireruv --check --timeout 5 >"$work/no-card.out" 2>"$work/no-card.err" || status=$?
if [ "$status" = 2 ] && [ "$(head -n 1 "$work/no-card.out" | jq -r '[.event, .schema, .board,
    .program] | map(tostring) | join(" ")')" = "start 1 null test-rireruv" ] &&
  [ "$(tail -n 1 "$work/no-card.out" | jq -r .verdict)" = init_failed ] &&
  grep -q 'RIRERUV_DEVICE=simulated' "$work/no-card.err"; then
  ok "--check with no card: status 2, init_failed, the reason and the way to the simulated board"
else
  fail "--check with no card: status $status:$(echo; cat "$work/no-card.out" \
    "$work/no-card.err" | indent)"
fi
# Output that cannot be written is no pass either.
status=0
in_root sh -c 'test-rireruv --simulated --check >/dev/full' 2>"$work/full.err" || status=$?
[ "$status" = 2 ] && grep -q 'could not write its output' "$work/full.err" &&
  ok "--check >/dev/full: status 2, and why" ||
  fail "--check >/dev/full: status $status:$(echo; indent <"$work/full.err")"

# ---- purged: nothing of the package is left, nothing else went -----------------------------------
begin
in_root dpkg -L test-rireruv | sort >"$work/package-files"
snapshot >"$work/files-installed"
in_root apt-get remove --purge -y -qq test-rireruv >"$work/apt-purge.log" 2>&1 ||
  { fail "apt-get remove --purge failed:"; indent <"$work/apt-purge.log"; }
snapshot >"$work/files-purged"
left=()
while IFS= read -r f; do
  # A folder the package shares with others (/usr/bin) stays, as it should.
  if grep -qxF -- "$f" "$work/files-purged" && ! in_root dpkg -S "$f" >/dev/null 2>&1; then
    left+=("$f")
  fi
done <"$work/package-files"
[ ${#left[@]} = 0 ] || fail "left after the purge: ${left[*]}"
gone=$(comm -23 "$work/files-installed" "$work/files-purged" | comm -23 - "$work/package-files")
[ -z "$gone" ] || fail "the purge removed what was not the package's:$(echo; echo "$gone" | indent)"
in_root dpkg-query -W -f '${db:Status-Abbrev}' test-rireruv 2>/dev/null | grep -q '^ii' &&
  fail "dpkg still has test-rireruv installed"
# What its maintainer scripts made is in no list: with the dependencies it pulled in purged as
# well, the root must be as it was before the install.
in_root apt-get autoremove --purge -y -qq >"$work/apt-autoremove.log" 2>&1 ||
  { fail "apt-get autoremove --purge failed:"; indent <"$work/apt-autoremove.log"; }
snapshot >"$work/files-after"
new=$(comm -13 "$work/files-before" "$work/files-after")
[ -z "$new" ] ||
  fail "new since before the install, after purging it and its dependencies:$(echo
    echo "$new" | indent)"
missing=$(comm -23 "$work/files-before" "$work/files-after")
[ -z "$missing" ] || fail "gone since before the install:$(echo; echo "$missing" | indent)"
passed "apt-get remove --purge: none of its $(wc -l <"$work/package-files") paths left but" \
  "shared folders, nothing else touched; with its dependencies autoremoved, the root is as before"

# ---- sizes ---------------------------------------------------------------------------------------
sizes="installed $(dpkg-deb -f "$deb" Installed-Size) KiB; .deb $(stat -c %s "$deb") bytes"
[ -z "$zip" ] || sizes+="; zip $(stat -c %s "$zip") bytes"
echo "sizes: $sizes"

# A root that passed has nothing left to show: it goes (300 MB); one that failed stays to look at.
if [ "$failures" = 0 ]; then
  cleanup
  trap - EXIT
  rm -rf --one-file-system "$root"
  echo "package_test: all passed"
else echo "package_test: $failures failed (the root stays in $root)"; exit 1; fi
