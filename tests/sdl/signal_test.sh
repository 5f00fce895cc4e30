#!/usr/bin/env bash
# signal_test.sh: SIGINT and SIGTERM reach the window as a close request (WM_SYSCOMMAND
# SC_CLOSE, then WM_CLOSE), so the program's own loop ends with exit 0 and its tear-down
# runs, also from full screen.
set -u
source "$(dirname "$0")/../e2e/harness.sh"
[[ -x "${SDL_PROBE:-}" ]] || { echo "SDL_PROBE not set" >&2; exit 1; }
e2e_init
e2e_start_x 640x480x16 || e2e_fail "no X server"

# interrupt NAME SIGNAL ARGS...: run the probe (output in NAME.txt), send SIGNAL once it is
# ready, and check the ending.
interrupt() {
  local out=$E2E_WORK/$1.txt signal=$2
  shift 2
  e2e_run "$out" "$SDL_PROBE" window "$@"
  e2e_wait_line "$out" '^ready$' 30 >/dev/null || e2e_fail "the probe did not get ready"
  local from
  from=$(e2e_line_count "$out")
  kill "-$signal" "$E2E_PID"
  e2e_wait_pid "$E2E_PID" 15 || e2e_fail "SIG$signal did not end the probe"
  [[ "$E2E_STATUS" == 0 ]] || e2e_fail "SIG$signal: exit status $E2E_STATUS"
  local after
  after=$(tail -n "+$((from + 1))" "$out" | grep -E '^(msg WM_SYSCOMMAND 0xf060|msg WM_CLOSE|quit|teardown)')
  [[ "$after" == $'msg WM_SYSCOMMAND 0xf060 0x0\nmsg WM_CLOSE 0x0 0x0\nquit 0\nteardown ok' ]] ||
    e2e_fail "SIG$signal ending: $after"
}

interrupt windowed-int INT --title "Probe Interrupt"
interrupt windowed-term TERM --title "Probe Terminate"
interrupt fullscreen-term TERM --title "Probe Full" --fullscreen
grep -qx 'display 0' "$E2E_WORK/fullscreen-term.txt" || e2e_fail "the full-screen switch failed"
grep -qx 'restored fullscreen 0' "$E2E_WORK/fullscreen-term.txt" ||
  e2e_fail "full screen not left after SIGTERM"
e2e_log "pass"
