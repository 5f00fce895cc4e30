#!/usr/bin/env bash
# installed_files_test.sh: installs a build into a scratch prefix and checks what a desktop
# sees there: the desktop entry and the AppStream metadata pass their validators, the entry
# starts the installed viewer in the installed data folder, each icon is a PNG of its size,
# and every man page is there.
#
# Usage: installed_files_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/usr
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }

entry=$(ls "$prefix"/share/applications/*.desktop)
desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
appstreamcli validate --no-net --pedantic "$prefix"/share/metainfo/*.metainfo.xml ||
  fail "appstreamcli validate"

id=$(basename "$entry" .desktop)
grep -qx "Exec=$prefix/bin/talvern-corridor" "$entry" || fail "Exec does not name the installed viewer"
grep -qx "Path=$prefix/share/talvern-corridor" "$entry" || fail "Path is not the installed data folder"
grep -qx "Icon=$id" "$entry" || fail "Icon is not $id"
for texture in floor1 pillars1 ceiling; do
  [ -f "$prefix/share/talvern-corridor/Data/$texture.bmp" ] || fail "no $texture.bmp"
done

# A PNG's width and height are the two big-endian words after "IHDR".
for size in 48 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  read -r width height < <(od -An -j16 -N8 -tu1 "$icon" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$width" = "$size" ] && [ "$height" = "$size" ] || fail "$icon is ${width}x$height"
done

for page in man1/bmpdecode.1 man1/talvern-snapshot.1 man6/talvern-corridor.6; do
  grep -q "^\.TH" "$prefix/share/man/$page" || fail "no man page $page"
  ! grep -q "@[A-Z_]*@" "$prefix/share/man/$page" || fail "$page has an unfilled @NAME@"
done
echo "installed files are valid"
