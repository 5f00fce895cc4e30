#!/usr/bin/env bash
# scene_e2e.sh: end-to-end runs of the real talvern-corridor under a private Xvfb with a window
# manager, driven as a user would: answering the start-up question, holding keys, switching
# the display with F1, minimising, closing and interrupting it.
#
# Usage: scene_e2e.sh PROGRAM SCENARIO
#   windowed-switch   1024x768x24 screen: No at start, 640x480 window, hold Up, F1 refused
#                     full screen -> Yes -> second window, minimise/restore, close -> status 0
#   fullscreen-escape 640x480x16 screen: No at start, F1 goes full screen, Escape ends with 0
#                     and the screen keeps its mode
#   sigint            640x480x16 screen: Yes at start (full screen), SIGINT ends it cleanly
# Run from the directory that holds Data/. Screenshots go to $E2E_SHOTS when it is set.
set -u
PROGRAM=$1
SCENARIO=$2
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../e2e/harness.sh
source "$HERE/../e2e/harness.sh"

START_TITLE="Talvern Corridor"
SWITCH_TITLE="Brimble's First Polygon Tutorial"

e2e_init || exit 1
# Sanitizer builds: the slow unwinder deadlocks inside llvmpipe's JIT, which allocates while
# LLVM holds the unwinder's lock to register its frames, so the program under test keeps the
# fast one. Leak checks stay on, with the harness's suppressions for the system libraries.
if ldd "$PROGRAM" 2>/dev/null | grep -q libasan; then
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=1"
fi
SHOTS=${E2E_SHOTS:-$E2E_WORK}
mkdir -p "$SHOTS"

shot() {
  e2e_screenshot "$SHOTS/$SCENARIO-$1.png" || e2e_fail "screenshot $1"
  e2e_log "screenshot $SHOTS/$SCENARIO-$1.png"
}

# Fails unless two screenshots differ in more than a handful of pixels.
expect_different() {
  local diff
  diff=$(compare -metric AE "$SHOTS/$SCENARIO-$1.png" "$SHOTS/$SCENARIO-$2.png" null: 2>&1)
  diff=${diff%% *}
  e2e_log "$1 vs $2: $diff pixels differ"
  [[ "$diff" =~ ^[0-9]+$ ]] && ((diff > 100)) || e2e_fail "$1 and $2 look the same ($diff)"
}

# Fails unless window ID has a client area of exactly 640x480.
expect_client_640x480() {
  local geometry
  geometry=$(e2e_client_geometry "$1") || e2e_fail "no geometry for $1"
  e2e_log "client geometry of $1: $geometry"
  read -r _ _ w h <<<"$geometry"
  [[ "$w" == 640 && "$h" == 480 ]] || e2e_fail "client area is ${w}x$h, not 640x480"
}

# Fails unless the root window is WxH.
expect_screen() {
  local size
  size=$(e2e_screen_size) || e2e_fail "no screen size"
  [[ "$size" == "$1 $2" ]] || e2e_fail "screen is $size, not $1 $2"
}

# A scene frame is not a blank screen: the centre of the window is not all one colour.
expect_scene_drawn() {
  local colours
  colours=$(convert "$SHOTS/$SCENARIO-$1.png" -crop 400x300+120+140 -unique-colors \
    -format '%w' info: 2>/dev/null)
  e2e_log "$1: $colours distinct colours"
  [[ "$colours" =~ ^[0-9]+$ ]] && ((colours > 20)) || e2e_fail "$1 shows no scene ($colours)"
}

# Presses KEY for a moment, as a user does: long enough for the program to see it down on a
# frame of its own (the key table is read once per frame, so a press and release handled in
# one batch goes unseen), short of the keyboard's auto-repeat.
tap() {
  xdotool keydown "$1" sleep 0.3 keyup "$1"
}

run_windowed_switch() {
  e2e_start_x 1024x768x24 || e2e_fail "no X server"
  e2e_run "$E2E_WORK/program.txt" "$PROGRAM"
  e2e_click_dialog "Start FullScreen?" right 20 || e2e_fail "no start-up question"
  local id
  id=$(e2e_wait_window "$START_TITLE" 20) || e2e_fail "no window titled $START_TITLE"
  expect_client_640x480 "$id"
  sleep 1
  shot start
  expect_scene_drawn start

  e2e_focus_window "$id" || e2e_fail "cannot focus the window"
  e2e_hold_key Up 1
  sleep 0.5
  shot walked
  expect_different start walked

  # The 1024x768 screen offers no 640x480 mode: the fall-back question, answered Yes.
  tap F1
  e2e_answer_dialog "Brimble GL" Return 20 || e2e_fail "no fall-back question"
  id=$(e2e_wait_window "$SWITCH_TITLE" 20) || e2e_fail "no window titled $SWITCH_TITLE"
  expect_client_640x480 "$id"
  e2e_find_window "$START_TITLE" >/dev/null && e2e_fail "the first window is still there"
  sleep 1
  shot switched
  expect_scene_drawn switched

  e2e_minimize "$id" || e2e_fail "cannot minimise"
  sleep 0.5
  [[ "$(e2e_window_state "$id")" == *_NET_WM_STATE_HIDDEN* ]] || e2e_fail "not minimised"
  kill -0 "$E2E_PID" || e2e_fail "the program ended while minimised"
  e2e_restore "$id" || e2e_fail "cannot restore"
  sleep 1
  [[ "$(e2e_window_state "$id")" != *_NET_WM_STATE_HIDDEN* ]] || e2e_fail "still minimised"
  shot restored
  expect_scene_drawn restored

  e2e_close_window "$id" || e2e_fail "cannot send the close request"
  e2e_expect_exit_zero 15
}

run_fullscreen_escape() {
  e2e_start_x 640x480x16 || e2e_fail "no X server"
  e2e_run "$E2E_WORK/program.txt" "$PROGRAM"
  e2e_click_dialog "Start FullScreen?" right 20 || e2e_fail "no start-up question"
  local id
  id=$(e2e_wait_window "$START_TITLE" 20) || e2e_fail "no window titled $START_TITLE"
  expect_client_640x480 "$id"
  e2e_focus_window "$id" || e2e_fail "cannot focus the window"
  sleep 0.5

  # This screen offers 640x480 at 16 bits: no question, a full-screen window.
  tap F1
  id=$(e2e_wait_window "$SWITCH_TITLE" 20) || e2e_fail "no window titled $SWITCH_TITLE"
  e2e_find_dialog "Brimble GL" >/dev/null && e2e_fail "full screen was refused"
  sleep 1
  local geometry
  geometry=$(e2e_client_geometry "$id") || e2e_fail "no geometry"
  e2e_log "full-screen geometry: $geometry"
  [[ "$geometry" == "0 0 640 480" ]] || e2e_fail "not covering the screen: $geometry"
  shot fullscreen
  expect_scene_drawn fullscreen

  e2e_focus_window "$id"
  tap Escape
  e2e_expect_exit_zero 15
  expect_screen 640 480
  e2e_find_window "$SWITCH_TITLE" >/dev/null && e2e_fail "the window outlived the program"
  return 0
}

run_sigint() {
  e2e_start_x 640x480x16 || e2e_fail "no X server"
  e2e_run "$E2E_WORK/program.txt" "$PROGRAM"
  e2e_answer_dialog "Start FullScreen?" Return 20 || e2e_fail "no start-up question"
  local id
  id=$(e2e_wait_window "$START_TITLE" 20) || e2e_fail "no window titled $START_TITLE"
  sleep 1
  shot fullscreen
  expect_scene_drawn fullscreen
  kill -INT "$E2E_PID"
  e2e_expect_exit_zero 15
  expect_screen 640 480
  e2e_find_window "$START_TITLE" >/dev/null && e2e_fail "the window outlived the program"
  return 0
}

case "$SCENARIO" in
windowed-switch) run_windowed_switch ;;
fullscreen-escape) run_fullscreen_escape ;;
sigint) run_sigint ;;
*) e2e_fail "unknown scenario $SCENARIO" ;;
esac
e2e_log "PASS $SCENARIO"
