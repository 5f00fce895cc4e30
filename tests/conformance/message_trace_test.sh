#!/usr/bin/env bash
# message_trace_test.sh PROGRAM: runs the message-trace program (the Linux build, or the
# Windows build's .exe under Wine) in a private Xvfb with a window manager, drives it as a
# user would (keys Up and F1, minimise and restore through the window manager, close from
# the window manager) and compares the window messages it traced with the recorded trace
# beside this script. Both platforms must produce that same trace.
set -u
PROGRAM=$1
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=../e2e/harness.sh
source "$HERE/../e2e/harness.sh"

e2e_init || exit 1
# Sanitizer builds keep the fast unwinder: the slow one deadlocks inside llvmpipe's JIT.
if ldd "$PROGRAM" 2>/dev/null | grep -q libasan; then
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=1"
fi
e2e_start_x 1024x768x24 || e2e_fail "no X server"

OUT="$E2E_WORK/trace.txt"
if [[ "$PROGRAM" == *.exe ]]; then
  export TALVERN_WINE_GRAPHICS=x11
  trap 'e2e_wine_stop; e2e_cleanup' EXIT
  e2e_wine_stop
  e2e_run "$OUT" "$ROOT/tools/wine-run.sh" "$PROGRAM"
  START_TIMEOUT=60 # a new Wine prefix is made on first use
else
  e2e_run "$OUT" "$PROGRAM"
  START_TIMEOUT=15
fi

id=$(e2e_wait_window "Message Trace" "$START_TIMEOUT") || e2e_fail "no trace window"
e2e_wait_line "$OUT" '^-- loop' 10 >/dev/null || e2e_fail "the trace program did not start"
e2e_focus_window "$id" || e2e_fail "cannot focus the window"
sleep 0.5
e2e_press_key Up
e2e_press_key F1
sleep 0.5
e2e_minimize "$id" || e2e_fail "cannot minimise"
# Under Wine the window has already lost the focus when it is iconified, so the activation
# with the minimised flag comes only when it is activated again to be restored.
e2e_wait_line "$OUT" 'WM_SIZE type=1 0x0' 10 >/dev/null || e2e_fail "no minimised size"
e2e_restore "$id" || e2e_fail "cannot restore"
e2e_wait_line "$OUT" 'WM_SYSCOMMAND 0xF120' 10 >/dev/null || e2e_fail "no restore command"
sleep 0.5
# A close request from the window manager (WM_DELETE_WINDOW), as the close box sends it.
wmctrl -i -c "$id" || e2e_fail "the window manager did not take the close request"
e2e_wait_pid "$E2E_PID" 20 || e2e_fail "still running after the close request"
[[ "$E2E_STATUS" == 3 ]] || e2e_fail "exit status $E2E_STATUS, not the quit code 3"

# Windows' C runtime ends lines with CR LF.
if ! diff -u "$HERE/message_trace.expected" <(tr -d '\r' <"$OUT"); then
  e2e_fail "the traced messages differ from the recorded trace"
fi
e2e_log "trace matches"
