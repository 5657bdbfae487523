#!/usr/bin/env bash
# Two builds of one commit give the same bytes: scripts/package in this checkout, then in a clone
# of the same commit in another folder, with another time zone, locale and umask; the .deb
# files and the Windows zip must be identical (cmp). Users and Debian's tools can then check a
# package against its source, and a difference means something of the build machine leaked in
# (a path, a time, a file mode).
# usage: tests/install/reproducible_test.sh
# Takes two package builds (a few minutes). Writes only under build/ (build/package, and the
# clone in build/package-repro).
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$top/build/package-repro
clone=$work/clone
commit=$(git -C "$top" rev-parse HEAD)

echo "== first build: this checkout ($top)"
"$top/scripts/package"
first=$top/build/package

echo "== second build: a clone of ${commit:0:12} in $clone," \
  "TZ=Asia/Taipei, LC_ALL=zh_TW.UTF-8, umask 077"
rm -rf "$work" && mkdir -p "$work"
git clone -q --no-local "$top" "$clone"
git -C "$clone" checkout -q --detach "$commit"
(umask 077 && env TZ=Asia/Taipei LANG=zh_TW.UTF-8 LC_ALL=zh_TW.UTF-8 "$clone/scripts/package")
second=$clone/build/package

# Where two .deb files differ: the members, then the files inside.
explain_deb() {
  local a=$work/explain/a b=$work/explain/b
  rm -rf "$work/explain" && mkdir -p "$a" "$b"
  diff <(ar tv "$1") <(ar tv "$2") | sed 's/^/    ar: /' || true
  diff <(dpkg-deb -c "$1") <(dpkg-deb -c "$2") | sed 's/^/    listing: /' || true
  dpkg-deb -R "$1" "$a" && dpkg-deb -R "$2" "$b"
  diff -r -q "$a" "$b" | sed 's/^/    /' || true
}
explain_zip() { # every field of every entry (its first line names the file, which differs)
  diff <(unzip -Zv "$1" | tail -n +2) <(unzip -Zv "$2" | tail -n +2) | head -n 40 |
    sed 's/^/    /' || true
}

failures=0 compared=0
for path in "$first"/*.deb "$first"/*-windows.zip; do
  name=$(basename "$path")
  if [ ! -f "$second/$name" ]; then
    echo "FAIL: the second build has no $name (it has: $(cd "$second" && ls | tr '\n' ' '))"
    failures=$((failures + 1))
    continue
  fi
  compared=$((compared + 1))
  if cmp -s "$path" "$second/$name"; then
    echo "ok: $name is the same, byte for byte ($(stat -c %s "$path") bytes," \
      "sha256 $(sha256sum <"$path" | cut -c1-16)...)"
  else
    echo "FAIL: $name differs between the two builds:"
    case $name in
      *.deb) explain_deb "$path" "$second/$name" ;;
      *.zip) explain_zip "$path" "$second/$name" ;;
    esac
    failures=$((failures + 1))
  fi
done
if [ "$compared" -lt 3 ]; then
  echo "FAIL: compared $compared files, wanted the .deb, the -dbgsym .deb and the zip"
  failures=$((failures + 1))
fi
# The second build proved what it had to; its clone (90 MB) goes unless it differed.
if [ "$failures" = 0 ]; then
  rm -rf "$clone"
  echo "reproducible_test: all passed"
else echo "reproducible_test: $failures failed"; exit 1; fi
