#!/usr/bin/env bash
# windows_zip_test.sh: makes the Windows zip from the Windows build, unpacks it into a new
# folder and runs the viewer from there under Wine, through the same windowed scenario as
# the built program: the zip alone must be enough to run it.
#
# Usage: windows_zip_test.sh BUILD_DIR PROBE.exe
# WINE_RUN and TALVERN_WINEPREFIX as for tests/windows/e2e/wine_e2e.sh.
set -euo pipefail
build=$(cd "$1" && pwd)
probe=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$work" && cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; fail "cpack did not make the zip"; }
zip=$(ls "$work"/out/talvern-corridor-*-windows-x64.zip)
echo "$zip"
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
folder=$(ls -d "$work"/unpacked/talvern-corridor-*)
(cd "$folder" && find . -type f | sort)
for file in talvern-corridor.exe bmpdecode.exe Data/floor1.bmp Data/pillars1.bmp Data/ceiling.bmp; do
  [ -f "$folder/$file" ] || fail "the zip has no $file"
done

cd "$folder"
bash "$here/../windows/e2e/wine_e2e.sh" "$folder/talvern-corridor.exe" "$probe" windowed-switch
