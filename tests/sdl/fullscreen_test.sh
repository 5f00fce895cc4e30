#!/usr/bin/env bash
# fullscreen_test.sh: ChangeDisplaySettingsA(640x480x16, CDS_FULLSCREEN) succeeds on a
# display that offers 640x480 at 16 bits, and the popup window then covers the screen and
# leaves full screen again on the restore; on a 1024x768x24 display the same request is
# refused and the window is an ordinary one.
set -u
source "$(dirname "$0")/../e2e/harness.sh"
[[ -x "${SDL_PROBE:-}" ]] || { echo "SDL_PROBE not set" >&2; exit 1; }
e2e_init

# The mode exists.
e2e_start_x 640x480x16 || e2e_fail "no 640x480x16 X server"
out=$E2E_WORK/probe-full.txt
e2e_run "$out" "$SDL_PROBE" window --fullscreen --title "Probe Full"
e2e_wait_line "$out" '^ready$' 30 >/dev/null || e2e_fail "the probe did not get ready"
grep -qx 'display 0' "$out" || e2e_fail "the switch was refused: $(grep display "$out")"
id=$(e2e_wait_window "Probe Full" 10) || e2e_fail "no window"
# openbox places and marks the window a moment after it maps.
full_screen_placed() {
  [[ "$(e2e_client_geometry "$id")" == "0 0 640 480" &&
    "$(e2e_window_state "$id")" == *_NET_WM_STATE_FULLSCREEN* ]]
}
e2e_wait_for 10 full_screen_placed
geometry=$(e2e_client_geometry "$id")
[[ "$geometry" == "0 0 640 480" ]] || e2e_fail "full-screen window at $geometry"
[[ "$(e2e_window_state "$id")" == *_NET_WM_STATE_FULLSCREEN* ]] ||
  e2e_fail "window state: $(e2e_window_state "$id")"
grep -m1 '^cursor ' "$out" | grep -qx 'cursor 0' || e2e_fail "cursor not hidden in full screen"
read -r _ colour _ <<<"$(grep -m1 '^format ' "$out")"
((colour == 16)) || e2e_fail "a 16-bit screen gave $colour colour bits"
e2e_close_window "$id"
e2e_wait_pid "$E2E_PID" 15 || e2e_fail "the probe did not end"
[[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS"
grep -qx 'restored fullscreen 0' "$out" || e2e_fail "still full screen after the restore"
grep '^cursor ' "$out" | tail -n1 | grep -qx 'cursor 1' || e2e_fail "cursor not shown again"
grep -qx 'teardown ok' "$out" || e2e_fail "tear-down failed"
e2e_cleanup
e2e_init

# The mode does not exist.
e2e_start_x 1024x768x24 || e2e_fail "no 1024x768x24 X server"
out=$E2E_WORK/probe-refused.txt
e2e_run "$out" "$SDL_PROBE" window --fullscreen --title "Probe Refused"
e2e_wait_line "$out" '^ready$' 30 >/dev/null || e2e_fail "the probe did not get ready"
grep -qx 'display -2' "$out" || e2e_fail "not refused with DISP_CHANGE_BADMODE: $(grep display "$out")"
id=$(e2e_wait_window "Probe Refused" 10) || e2e_fail "no window"
read -r _ _ w h <<<"$(e2e_client_geometry "$id")"
[[ "$w $h" == "640 480" ]] || e2e_fail "windowed fallback is ${w}x${h}"
read -r sw sh <<<"$(e2e_screen_size)"
[[ "$sw $sh" == "1024 768" ]] || e2e_fail "the screen changed to ${sw}x${sh}"
e2e_close_window "$id"
e2e_wait_pid "$E2E_PID" 15 || e2e_fail "the probe did not end"
[[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS"
e2e_log "pass"
