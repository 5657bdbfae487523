#!/usr/bin/env bash
# A fresh minimal Debian 12 root for the tests that install as a new user would: made once with
# debootstrap --variant=minbase (a few minutes, from Debian's mirror) and kept as a tarball under
# build/, then unpacked anew for each test, so that no test sees what another installed.
# usage: debian-root.sh DEST      (DEST is emptied first; it must be under build/)
# Needs root (debootstrap and chroot do) and the debootstrap package.
# DEST gets /proc and a /dev of its own mounted (apt, tmux and ptys need them; the machine's
# /dev is never bound in), inside the caller's own mount and pid namespace, which it must have
# made (unshare -m -p -f --mount-proc, RIRERUV_OWN_MOUNTS=1); a test unmounts them with
# debian-root.sh --umount DEST. Removal never crosses into a mount.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cache=$top/build/debian-root/bookworm-minbase.tar
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ "${1:-}" = "--help" ] || [ $# -eq 0 ]; then
  sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
  [ $# -eq 0 ] && exit 2 || exit 0
fi
if [ "$1" = "--umount" ]; then
  for m in dev proc; do umount -R "$2/$m" 2>/dev/null || true; done
  exit 0
fi
dest=$1
case $(realpath -m "$dest") in
  "$top"/build/*) ;;
  *) echo "debian-root: $dest is not under $top/build" >&2; exit 2 ;;
esac
[ "$(id -u)" = 0 ] || { echo "debian-root: needs root (debootstrap, chroot)" >&2; exit 2; }
if [ -z "${RIRERUV_OWN_MOUNTS:-}" ]; then
  echo "debian-root: run it in a mount and pid namespace of its own (unshare -m -p -f" \
    "--mount-proc, with RIRERUV_OWN_MOUNTS=1), as the install tests do: its mounts must not" \
    "reach the machine's" >&2
  exit 2
fi

if [ ! -f "$cache" ]; then
  echo "debian-root: making a minimal Debian 12 root once (debootstrap, a few minutes)" >&2
  work=$top/build/debian-root/work
  rm -rf "$work" && mkdir -p "$work"
  debootstrap --variant=minbase bookworm "$work" "$mirror" >"$top/build/debian-root/debootstrap.log" 2>&1 ||
    { tail -n 20 "$top/build/debian-root/debootstrap.log" >&2; exit 1; }
  # The host's resolver, so that apt-get inside reaches the mirror.
  cp /etc/resolv.conf "$work/etc/resolv.conf"
  tar -C "$work" -cf "$cache.part" . && mv "$cache.part" "$cache"
  rm -rf "$work"
fi
"$0" --umount "$dest"
if findmnt -rn -o TARGET | grep -q "^$(realpath -m "$dest")/"; then
  echo "debian-root: something is still mounted under $dest; not removing it" >&2
  exit 1
fi
rm -rf --one-file-system "$dest" && mkdir -p "$dest"
tar -C "$dest" -xf "$cache"
mount -t proc proc "$dest/proc"
# A /dev of the root's own: a small tmpfs with the nodes apt, tmux and the tests use, and a new
# devpts instance for the root's terminals. The machine's /dev is never bound in, so nothing a
# package's maintainer script does inside can change the device nodes other tests are using.
mount -t tmpfs -o mode=0755,nosuid,size=1m rootdev "$dest/dev"
for node in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
  IFS=: read -r name major minor <<<"$node"
  mknod -m 0666 "$dest/dev/$name" c "$major" "$minor"
done
mkdir -p "$dest/dev/pts" "$dest/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 rootpts "$dest/dev/pts"
ln -s pts/ptmx "$dest/dev/ptmx"
ln -s /proc/self/fd "$dest/dev/fd"
for i in 0:stdin 1:stdout 2:stderr; do ln -s "/proc/self/fd/${i%%:*}" "$dest/dev/${i#*:}"; done
