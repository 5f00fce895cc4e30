#!/usr/bin/env bash
# nodisplay_test.sh: with no X11 or Wayland display, window creation fails (the program
# reports it and exits 0, rather than running on an invisible offscreen driver) and
# message boxes become one "CAPTION: TEXT" line on stderr with the No/OK answer.
set -u
source "$(dirname "$0")/../e2e/harness.sh"
[[ -x "${SDL_PROBE:-}" ]] || { echo "SDL_PROBE not set" >&2; exit 1; }
e2e_init # also clears DISPLAY and WAYLAND_DISPLAY
export SDL_VIDEODRIVER=offscreen # even when asked for, the offscreen driver is not used

out=$E2E_WORK/window.txt
e2e_run "$out" "$SDL_PROBE" window --title "Probe Nowhere"
e2e_wait_pid "$E2E_PID" 20 || e2e_fail "the probe kept running with no display"
[[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS"
grep -qx 'create failed' "$out" || e2e_fail "window creation did not fail"
! grep -q '^ready$' "$out" || e2e_fail "the probe ran with no display"

out=$E2E_WORK/yesno.txt
e2e_run "$out" "$SDL_PROBE" dialog yesno $'Two\nLines\n' "Probe Caption"
e2e_wait_pid "$E2E_PID" 20 || e2e_fail "the Yes/No box waited with no display"
grep -qx 'Probe Caption: Two Lines' "$out" || e2e_fail "stderr line missing: $(cat "$out")"
grep -qx 'answer 7' "$out" || e2e_fail "a Yes/No box with no display did not answer IDNO"

out=$E2E_WORK/ok.txt
e2e_run "$out" "$SDL_PROBE" dialog ok "Nothing to see." "Probe Note"
e2e_wait_pid "$E2E_PID" 20 || e2e_fail "the OK box waited with no display"
grep -qx 'Probe Note: Nothing to see.' "$out" || e2e_fail "stderr line missing: $(cat "$out")"
grep -qx 'answer 1' "$out" || e2e_fail "an OK box with no display did not answer IDOK"
e2e_log "pass"
