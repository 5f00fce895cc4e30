#!/usr/bin/env bash
# wine-run.sh PROGRAM.exe [ARGS...]: runs a Windows program of the windows build under Wine,
# with its exit status. CTest uses it as the emulator of every Windows test.
#
# The Wine prefix lives in a temporary folder (TALVERN_WINEPREFIX, or one per user under
# $TMPDIR) and is made on first use, once, even when several tests start at the same time.
# TALVERN_WINE_GRAPHICS picks Wine's display driver for a new prefix: "null" (the default)
# needs no X server, so windows and message boxes exist but nothing is shown; "x11" shows
# them on $DISPLAY. Wine's own diagnostics stay off unless WINEDEBUG says otherwise.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: wine-run.sh PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
wine=$(command -v wine || true)
if [ -z "$wine" ]; then
  echo "wine-run.sh: wine is not installed (apt-get install wine wine64)" >&2
  exit 2
fi

# Wine turns Windows file names into Unix ones with the locale's character set. Without a
# locale (a new machine or container names none) that is ASCII, and a name with any other
# character can be neither created nor opened; the caller's locale could also change a
# program's code page. So every run gets the same UTF-8 locale, which the C library always
# has.
export LC_ALL=C.UTF-8

graphics=${TALVERN_WINE_GRAPHICS:-null}
export WINEPREFIX=${TALVERN_WINEPREFIX:-${TMPDIR:-/tmp}/talvern-wine-$(id -u)-$graphics}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}

# Making a prefix takes seconds; the first caller makes it while the others wait.
if [ ! -e "$WINEPREFIX/.talvern-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -e "$WINEPREFIX/.talvern-ready" ]; then
    rm -rf "$WINEPREFIX"
    DISPLAY= "$wine" wineboot --init >/dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$graphics" /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.talvern-ready"
  fi
  exec 9>&-
fi

if [ "$graphics" = null ]; then
  unset DISPLAY
fi
# Wine's server and its service processes outlive a program by a few seconds, and they
# inherit the output of whichever Wine program started them. Started here by a program that
# does nothing, with no output, they do not keep the caller (CTest) waiting on our stdout and
# stderr after the real program has ended; when they already run this costs little.
"$wine" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
