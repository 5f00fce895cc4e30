#!/usr/bin/env bash
# keys_test.sh: key and activation messages from real X input: a held key's first
# WM_KEYDOWN, its auto-repeats and WM_KEYUP; letters; Alt+key and F10 as system keys;
# minimise and restore through the window manager as WM_SIZE and WM_ACTIVATE; another
# window taking the focus; a resize by the window manager.
set -u
source "$(dirname "$0")/../e2e/harness.sh"
[[ -x "${SDL_PROBE:-}" ]] || { echo "SDL_PROBE not set" >&2; exit 1; }
e2e_init
e2e_start_x 1024x768x24 || e2e_fail "no X server"

out=$E2E_WORK/probe.txt
e2e_run "$out" "$SDL_PROBE" window --title "Probe Keys"
probe=$E2E_PID
e2e_wait_line "$out" '^ready$' 30 >/dev/null || e2e_fail "the probe did not get ready"
id=$(e2e_wait_window "Probe Keys" 10) || e2e_fail "no window"
e2e_focus_window "$id" || e2e_fail "could not focus the window"
sleep 0.3

# Up held for 1.5 s: one key-down (previous state clear), auto-repeats (previous state
# set), one key-up (previous state and transition set). Up is extended, scan code 0x48.
from=$(e2e_line_count "$out")
e2e_hold_key Up 1.5
e2e_wait_line "$out" '^msg WM_KEYUP 0x26 ' 5 "$from" >/dev/null || e2e_fail "no WM_KEYUP for Up"
up=$(tail -n "+$((from + 1))" "$out" | grep -E '^msg WM_KEY(DOWN|UP) 0x26 ')
first=$(head -n1 <<<"$up")
[[ "$first" == "msg WM_KEYDOWN 0x26 0x1480001" ]] || e2e_fail "first Up message: $first"
repeats=$(grep -c '^msg WM_KEYDOWN 0x26 0x41480001$' <<<"$up")
((repeats >= 3)) || e2e_fail "only $repeats auto-repeats in 1.5 s"
last=$(tail -n1 <<<"$up")
[[ "$last" == "msg WM_KEYUP 0x26 0xc1480001" ]] || e2e_fail "last Up message: $last"

# A letter: virtual key 'A', and TranslateMessage adds its character.
from=$(e2e_line_count "$out")
e2e_press_key a
e2e_wait_line "$out" '^msg WM_KEYUP 0x41 ' 5 "$from" >/dev/null || e2e_fail "no WM_KEYUP for A"
tail -n "+$((from + 1))" "$out" | grep -q '^msg WM_KEYDOWN 0x41 0x1e0001$' ||
  e2e_fail "no WM_KEYDOWN for A"

# Alt held while X goes down and up: Alt and X arrive as system keys (X with the Alt
# context flag), never as plain key messages.
from=$(e2e_line_count "$out")
e2e_key_down alt && e2e_press_key x && e2e_key_up alt
e2e_wait_line "$out" '^msg WM_SYSKEYUP 0x12 ' 5 "$from" >/dev/null || e2e_fail "no WM_SYSKEYUP for Alt"
alt=$(tail -n "+$((from + 1))" "$out" | grep -E '^msg WM_(SYS)?KEY')
expected=$'msg WM_SYSKEYDOWN 0x12 0x20380001\nmsg WM_SYSKEYDOWN 0x58 0x202d0001\nmsg WM_SYSKEYUP 0x58 0xe02d0001\nmsg WM_SYSKEYUP 0x12 0xc0380001'
[[ "$alt" == "$expected" ]] || e2e_fail "Alt+X gave: $alt"

# F10 alone is a system key too.
from=$(e2e_line_count "$out")
e2e_press_key F10
e2e_wait_line "$out" '^msg WM_SYSKEYUP 0x79 ' 5 "$from" >/dev/null || e2e_fail "no WM_SYSKEYUP for F10"
tail -n "+$((from + 1))" "$out" | grep -q '^msg WM_SYSKEYDOWN 0x79 0x440001$' ||
  e2e_fail "no WM_SYSKEYDOWN for F10"

# Minimise through the window manager: 0x0 size, then inactive with the minimised flag.
from=$(e2e_line_count "$out")
e2e_minimize "$id" || e2e_fail "could not minimise"
e2e_wait_line "$out" '^msg WM_ACTIVATE 0x10000 ' 10 "$from" >/dev/null ||
  e2e_fail "no WM_ACTIVATE with the minimised flag"
tail -n "+$((from + 1))" "$out" | grep -q '^msg WM_SIZE 0x1 0x0$' || e2e_fail "no WM_SIZE 0x0"

# Restore: active without the minimised flag, and the 640x480 size again.
from=$(e2e_line_count "$out")
e2e_restore "$id" || e2e_fail "could not restore"
e2e_wait_line "$out" '^msg WM_ACTIVATE 0x1 ' 10 "$from" >/dev/null ||
  e2e_fail "no WM_ACTIVATE on restore"
e2e_wait_line "$out" '^msg WM_SIZE 0x0 0x1e00280$' 10 "$from" >/dev/null ||
  e2e_fail "no WM_SIZE 640x480 on restore"

# Another window taking the focus deactivates ours without the minimised flag; focusing
# ours again activates it.
# (openbox may hand the focus to the new window as soon as it maps.)
from=$(e2e_line_count "$out")
other_out=$E2E_WORK/other.txt
e2e_run "$other_out" xmessage -title "Other Window" "another program"
other=$(e2e_wait_window "Other Window" 10) || e2e_fail "no other window"
e2e_focus_window "$other" || e2e_fail "could not focus the other window"
e2e_wait_line "$out" '^msg WM_ACTIVATE 0x0 ' 10 "$from" >/dev/null ||
  e2e_fail "no WM_ACTIVATE (inactive, not minimised) when another window got the focus"
from=$(e2e_line_count "$out")
e2e_focus_window "$id" || e2e_fail "could not focus the probe again"
e2e_wait_line "$out" '^msg WM_ACTIVATE 0x1 ' 10 "$from" >/dev/null ||
  e2e_fail "no WM_ACTIVATE when the focus came back"

# The window manager resizing the window: WM_SIZE with the new client size (800x600).
from=$(e2e_line_count "$out")
xdotool windowsize "$id" 800 600 || e2e_fail "could not resize"
e2e_wait_line "$out" '^msg WM_SIZE 0x0 0x2580320$' 10 "$from" >/dev/null ||
  e2e_fail "no WM_SIZE 800x600"

e2e_close_window "$id"
e2e_wait_pid "$probe" 15 || e2e_fail "the probe did not end"
[[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS"
e2e_log "pass"
