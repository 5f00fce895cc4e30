#!/usr/bin/env bash
# debian_install_test.sh: builds the Debian package from a build directory and installs it
# into a brand-new minimal Debian 12 root, as a user would with apt: then, inside that root,
# renders the scene with talvern-snapshot, decodes an installed texture with bmpdecode, checks
# that the desktop entry's command and working folder exist, and removes the package, which
# must leave none of its files behind.
#
# Usage (as root): debian_install_test.sh BUILD_DIR
# A pristine root (debootstrap --variant=minbase) is made once and kept in
# $TALVERN_DEBIAN_ROOT_CACHE (default /var/tmp/talvern-debian-root); each run works on a copy.
# Exits 77 (skipped) when not run as root.
set -euo pipefail
build=$(cd "$1" && pwd)
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: installing into a new Debian root needs root (chroot, mounts)"
  exit 77
fi

cache=${TALVERN_DEBIAN_ROOT_CACHE:-/var/tmp/talvern-debian-root}
work=$(mktemp -d /var/tmp/talvern-package-XXXXXX)
root=$work/root
unmount() {
  for m in dev/pts dev proc sys; do
    umount "$root/$m" 2>/dev/null || true
  done
}
cleanup() {
  unmount
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

echo "== the package"
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack did not make the package"; }
deb=$(ls "$work"/out/talvern-corridor_*_amd64.deb)
echo "$deb"

if [ ! -x "$cache/bookworm/bin/bash" ]; then
  echo "== making a minimal Debian 12 root (once)"
  mirror=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  [ -n "$mirror" ] || mirror=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list 2>/dev/null || true)
  [ -n "$mirror" ] || mirror=http://deb.debian.org/debian
  rm -rf "$cache/bookworm.partial"
  mkdir -p "$cache"
  debootstrap --variant=minbase bookworm "$cache/bookworm.partial" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log"; fail "debootstrap failed"; }
  mv "$cache/bookworm.partial" "$cache/bookworm"
fi
cp -a "$cache/bookworm" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mount -t sysfs sys "$root/sys"
cp "$deb" "$root/tmp/"
name=$(basename "$deb")

# in_root COMMAND: runs COMMAND with bash inside the new root, with a clean environment.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive /bin/bash -euo pipefail -c "$1" </dev/null
}

echo "== installing with apt"
in_root "apt-get update -q >/dev/null && apt-get install -y -q /tmp/$name" >"$work/apt.log" 2>&1 ||
  { tail -n 30 "$work/apt.log"; fail "apt-get install failed"; }
echo "$(grep -c "^Setting up" "$work/apt.log") packages set up, the recommended ones included"

echo "== the installed programs"
in_root '
  cd /usr/share/talvern-corridor
  talvern-snapshot --out /tmp/x.png
  test "$(head -c 8 /tmp/x.png | od -An -tx1 | tr -d " \n")" = 89504e470d0a1a0a
  bmpdecode -o /tmp/floor.ppm Data/floor1.bmp
  test "$(head -c 2 /tmp/floor.ppm)" = P6
  bmpdecode --version
' || fail "the installed programs did not run"

echo "== the desktop entry"
in_root '
  entry=$(ls /usr/share/applications/*.desktop)
  command=$(sed -n "s/^Exec=\([^ ]*\).*/\1/p" "$entry")
  folder=$(sed -n "s/^Path=//p" "$entry")
  echo "$entry: Exec $command, Path $folder"
  test -x "$command"
  test -f "$folder/Data/floor1.bmp"
  test -f "$folder/Data/pillars1.bmp"
  test -f "$folder/Data/ceiling.bmp"
' || fail "the desktop entry names a missing command or folder"

echo "== removing it"
in_root 'dpkg -L talvern-corridor' >"$work/files"
in_root 'apt-get purge -y -q talvern-corridor' >"$work/purge.log" 2>&1 ||
  { cat "$work/purge.log"; fail "apt-get purge failed"; }
left=0
while read -r path; do
  # Shared folders such as /usr/share/man stay; every file, and the folders that were only
  # ours, must be gone.
  if [ -e "$root$path" ] && { [ ! -d "$root$path" ] || [ -z "$(ls -A "$root$path")" ]; } &&
    ! in_root "dpkg -S '$path'" >/dev/null 2>&1; then
    echo "left behind: $path" >&2
    left=1
  fi
done <"$work/files"
[ -e "$root/usr/share/talvern-corridor" ] && { echo "left behind: /usr/share/talvern-corridor" >&2; left=1; }
[ "$left" -eq 0 ] || fail "the package left files behind"
echo "installed, ran and removed cleanly"
