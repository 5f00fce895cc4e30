#!/usr/bin/env bash
# window_test.sh: a window of exactly 640x480 client pixels with its title, drawn with GL
# immediate mode, sized and activated while it is shown, the screen saver decided by its
# window procedure, and a window-manager close request that ends in WM_CLOSE and exit 0.
set -u
source "$(dirname "$0")/../e2e/harness.sh"
[[ -x "${SDL_PROBE:-}" ]] || { echo "SDL_PROBE not set" >&2; exit 1; }
e2e_init
e2e_start_x 1024x768x24 || e2e_fail "no X server"

out=$E2E_WORK/probe.txt
e2e_run "$out" "$SDL_PROBE" window --title "Probe Window"
e2e_wait_line "$out" '^ready$' 30 >/dev/null || e2e_fail "the probe did not get ready"
id=$(e2e_wait_window "Probe Window" 10) || e2e_fail "no window titled exactly 'Probe Window'"

read -r x y w h <<<"$(e2e_client_geometry "$id")"
[[ "$w $h" == "640 480" ]] || e2e_fail "client area is ${w}x${h}, not 640x480"

# Showing the window delivered its size (SIZE_RESTORED, 640 by 480) and the activation
# (WA_ACTIVE, not minimised) to the window procedure before the first frame.
grep -qx 'msg WM_SIZE 0x0 0x1e00280' "$out" || e2e_fail "no WM_SIZE 640x480"
grep -qx 'msg WM_ACTIVATE 0x1 0x0' "$out" || e2e_fail "no WM_ACTIVATE (active, not minimised)"

# The pixel format is at least what was asked: 16 colour bits, 16 depth bits, double.
read -r _ colour depth double <<<"$(grep -m1 '^format ' "$out")"
((colour >= 16 && depth >= 16 && double == 1)) || e2e_fail "pixel format $colour/$depth/$double"

# The first frame's centre, read back from the back buffer: the orange quad.
read -r _ r g b <<<"$(grep -m1 '^pixel ' "$out")"
((r >= 240 && g >= 110 && g <= 145 && b <= 15)) || e2e_fail "GL drew $r $g $b, not orange"

# What reached the screen: orange in the middle of the client area, blue near its corner.
shot=$E2E_WORK/window.png
centre_drawn() {
  e2e_screenshot "$shot" || return 1
  read -r r g b <<<"$(e2e_pixel "$shot" $((x + 320)) $((y + 240)))"
  ((r >= 240 && g >= 110 && g <= 145 && b <= 15))
}
e2e_wait_for 10 centre_drawn
[[ -f "$shot" ]] || e2e_fail "no screenshot"
((r >= 240 && g >= 110 && g <= 145 && b <= 15)) || e2e_fail "screen centre is $r $g $b"
read -r r g b <<<"$(e2e_pixel "$shot" $((x + 8)) $((y + 8)))"
((r <= 15 && g <= 15 && b >= 240)) || e2e_fail "client corner is $r $g $b, not blue"

# The window procedure was asked, and default processing of SC_SCREENSAVE and
# SC_MONITORPOWER lets the screen saver run.
e2e_wait_line "$out" '^saver ' 10 | grep -qx 'saver on' || e2e_fail "screen saver held off"
grep -q '^msg WM_SYSCOMMAND 0xf140 ' "$out" || e2e_fail "SC_SCREENSAVE never asked"
grep -q '^msg WM_SYSCOMMAND 0xf170 ' "$out" || e2e_fail "SC_MONITORPOWER never asked"

from=$(e2e_line_count "$out")
e2e_close_window "$id" || e2e_fail "could not send the close request"
e2e_wait_pid "$E2E_PID" 15 || e2e_fail "the probe did not end after the close request"
[[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS"
# The screen-saver questions (SC_SCREENSAVE, SC_MONITORPOWER) come every few seconds and may
# fall among these; they are not part of the close.
after=$(tail -n "+$((from + 1))" "$out" | grep -E '^(msg WM_SYSCOMMAND|msg WM_CLOSE|quit|teardown)' |
  grep -vE '^msg WM_SYSCOMMAND 0xf1[47]0 ')
expected=$'msg WM_SYSCOMMAND 0xf060 0x0\nmsg WM_CLOSE 0x0 0x0\nquit 0\nteardown ok'
[[ "$after" == "$expected" ]] || e2e_fail "close sequence was: $after"

# A window procedure that swallows SC_SCREENSAVE and SC_MONITORPOWER holds the saver off.
out2=$E2E_WORK/probe-saver.txt
e2e_run "$out2" "$SDL_PROBE" window --title "Probe Saver" --swallow-saver
e2e_wait_line "$out2" '^ready$' 30 >/dev/null || e2e_fail "the second probe did not get ready"
line=$(e2e_wait_line "$out2" '^saver ' 10) || e2e_fail "no screen-saver state"
[[ "$line" == "saver off" ]] || e2e_fail "a swallowed SC_SCREENSAVE left the saver: $line"
grep -q '^msg WM_SYSCOMMAND 0xf140 ' "$out2" || e2e_fail "SC_SCREENSAVE never asked"
grep -q '^msg WM_SYSCOMMAND 0xf170 ' "$out2" || e2e_fail "SC_MONITORPOWER never asked"
id=$(e2e_wait_window "Probe Saver" 10) || e2e_fail "no second window"
e2e_close_window "$id"
e2e_wait_pid "$E2E_PID" 15 || e2e_fail "the second probe did not end"
[[ "$E2E_STATUS" == 0 ]] || e2e_fail "second exit status $E2E_STATUS"

# A window procedure still busy with the window manager's minimise when the user restores:
# the window must stay restored (default processing records the minimise, it does not ask
# the window manager for it again).
out3=$E2E_WORK/probe-slow.txt
e2e_run "$out3" "$SDL_PROBE" window --title "Probe Slow" --slow-minimize
e2e_wait_line "$out3" '^ready$' 30 >/dev/null || e2e_fail "the third probe did not get ready"
id=$(e2e_wait_window "Probe Slow" 10) || e2e_fail "no third window"
e2e_focus_window "$id" || e2e_fail "could not focus the third window"
e2e_minimize "$id" || e2e_fail "cannot minimise"
e2e_wait_line "$out3" '^busy$' 10 >/dev/null || e2e_fail "SC_MINIMIZE never reached the probe"
e2e_restore "$id" || e2e_fail "cannot restore"
e2e_wait_line "$out3" '^msg WM_SYSCOMMAND 0xf120 ' 10 >/dev/null || e2e_fail "no SC_RESTORE"
hidden() { ! e2e_viewable "$id"; }
e2e_wait_for 3 hidden && e2e_fail "the window was minimised again after the restore"
e2e_close_window "$id"
e2e_wait_pid "$E2E_PID" 15 || e2e_fail "the third probe did not end"
e2e_log "pass"
