#!/usr/bin/env bash
# wine_e2e.sh: end-to-end runs of the real talvern-corridor.exe under Wine (X11 driver) on a
# private Xvfb with openbox, driven as a user would: answering the start-up question, holding
# keys, switching the display with F1, closing the window from the window manager, and
# starting without Data/.
#
# Usage: wine_e2e.sh PROGRAM.exe PROBE.exe SCENARIO
#   windowed-switch       No at start, 640x480 window showing the corridor, hold Up (the view
#                         moves), F1 on a 1024x768x24 screen: full screen refused, the
#                         fall-back question answered Yes, second window, Escape -> status 0
#   window-manager-close  No at start, the window manager closes the window -> status 0
#   no-data               started where there is no Data/: No at start, the box
#                         "Initialization Failed." answered -> status 0
# Run from the directory that holds Data/. WINE_RUN is tools/wine-run.sh; TALVERN_WINEPREFIX
# the prefix shared by these tests (made on first use). Screenshots go to $E2E_SHOTS when set.
set -u
PROGRAM=$1
PROBE=$2
SCENARIO=$3
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../e2e/harness.sh
source "$HERE/../../e2e/harness.sh"

START_TITLE="Talvern Corridor"
SWITCH_TITLE="Brimble's First Polygon Tutorial"
WINE_RUN=${WINE_RUN:-$HERE/../../../tools/wine-run.sh}
export TALVERN_WINE_GRAPHICS=x11
export WINEDEBUG=-all
: "${TALVERN_WINEPREFIX:?TALVERN_WINEPREFIX must name the prefix for these tests}"
export TALVERN_WINEPREFIX


e2e_init || exit 1
trap 'e2e_wine_stop; e2e_cleanup' EXIT
e2e_wine_stop # an earlier run that was killed may have left its Wine processes behind
SHOTS=${E2E_SHOTS:-$E2E_WORK}
mkdir -p "$SHOTS"
STARTED=$(date +%s%N)

shot() {
  e2e_screenshot "$SHOTS/wine-$SCENARIO-$1.png" || e2e_fail "screenshot $1"
  e2e_log "screenshot $SHOTS/wine-$SCENARIO-$1.png"
}

# probe ARGS...: e2e-window-probe's lines (without Windows line ends), from inside Wine.
probe() {
  "$WINE_RUN" "$PROBE" "$@" 2>/dev/null | tr -d '\r'
}

# expect_box CAPTION EXPECTED: the message box CAPTION has exactly the class, message lines
# and buttons EXPECTED (the probe's lines).
expect_box() {
  local got
  got=$(probe dialog "$1")
  e2e_log "box '$1': $(tr '\n' '|' <<<"$got")"
  [[ "$got" == "$2" ]] || e2e_fail "the box '$1' is not as expected:"$'\n'"$got"
}

# answer_box CAPTION KEY: wait for the message box CAPTION (an X window of exactly that name,
# case included; xdotool's name search ignores case), give
# it the focus and press KEY as real input, again while the box is still there (a key that
# comes before Wine has set the box up is lost).
answer_box() {
  local id attempt n
  id=$(e2e_wait_dialog "$1" 60) || return 1
  for ((attempt = 0; attempt < 5; attempt++)); do
    sleep 0.3
    e2e_focus_window "$id"
    xdotool key "$2" 2>/dev/null
    for ((n = 0; n < 20; n++)); do
      xwininfo -id "$id" >/dev/null 2>&1 || return 0
      sleep 0.1
    done
  done
  e2e_log "the box '$1' did not close on $2"
  return 1
}

# Fails unless two screenshots differ in more than a handful of pixels.
expect_different() {
  local diff
  diff=$(compare -metric AE "$SHOTS/wine-$SCENARIO-$1.png" "$SHOTS/wine-$SCENARIO-$2.png" \
    null: 2>&1)
  diff=${diff%% *}
  e2e_log "$1 vs $2: $diff pixels differ"
  [[ "$diff" =~ ^[0-9]+$ ]] && ((diff > 100)) || e2e_fail "$1 and $2 look the same ($diff)"
}

# expect_window_640x480 ID TITLE: the X window ID and Windows' own view of the window TITLE
# both have a 640x480 client area, and both put it at the same place on the screen.
expect_window_640x480() {
  local geometry x y w h facts
  geometry=$(e2e_client_geometry "$1") || e2e_fail "no geometry for $1"
  read -r x y w h <<<"$geometry"
  facts=$(probe window "$2")
  e2e_log "'$2': X client $geometry; Windows: $(tr '\n' '|' <<<"$facts")"
  [[ "$w $h" == "640 480" ]] || e2e_fail "X client area of '$2' is ${w}x$h, not 640x480"
  grep -qx 'client 640 480' <<<"$facts" || e2e_fail "Windows sees another client area"
  grep -qx "origin $x $y" <<<"$facts" || e2e_fail "Windows puts the client area elsewhere"
  grep -qx 'class OpenGL' <<<"$facts" || e2e_fail "not a window of the scene's class"
}

# The window's client area in a screenshot shows the textured corridor: many colours, and
# not mostly black.
expect_scene_drawn() {
  local file="$SHOTS/wine-$SCENARIO-$1.png" crop=$2 colours mean
  colours=$(convert "$file" -crop "$crop" +repage -unique-colors -format '%w' info: 2>/dev/null)
  mean=$(convert "$file" -crop "$crop" +repage -colorspace Gray -format '%[fx:int(255*mean)]' \
    info: 2>/dev/null)
  e2e_log "$1: $colours distinct colours, mean grey $mean in $crop"
  [[ "$colours" =~ ^[0-9]+$ ]] && ((colours > 200)) || e2e_fail "$1 shows no texture ($colours)"
  [[ "$mean" =~ ^[0-9]+$ ]] && ((mean >= 12)) || e2e_fail "$1 is black (mean $mean)"
}

# The crop geometry of the client area of window ID, for ImageMagick.
client_crop() {
  local x y w h
  read -r x y w h <<<"$(e2e_client_geometry "$1")"
  echo "${w}x${h}+${x}+${y}"
}

# Starts the program from the current directory and answers the start-up question No.
start_windowed() {
  e2e_run "$E2E_WORK/program.txt" "$WINE_RUN" "$PROGRAM"
  # The first test to run makes the Wine prefix, which takes a while.
  e2e_wait_dialog "Start FullScreen?" 90 >/dev/null || e2e_fail "no start-up question"
  expect_box "Start FullScreen?" $'class #32770\ntext Would You Like To Run In Fullscreen Mode?\nbutton &Yes\nbutton &No'
  answer_box "Start FullScreen?" n || e2e_fail "the start-up question was not answered"
}

run_windowed_switch() {
  start_windowed
  local id
  id=$(e2e_wait_window "$START_TITLE" 20) || e2e_fail "no window titled $START_TITLE"
  expect_window_640x480 "$id" "$START_TITLE"
  sleep 1
  shot start
  expect_scene_drawn start "$(client_crop "$id")"

  local mode
  mode=$(probe mode)
  e2e_log "display mode: $mode"

  e2e_focus_window "$id" || e2e_fail "cannot focus the window"
  e2e_hold_key Up 1
  sleep 0.5
  shot walked
  expect_different start walked
  expect_scene_drawn walked "$(client_crop "$id")"

  # The screen offers no 640x480x16 mode: Windows refuses the change and the program asks.
  xdotool keydown F1 sleep 0.3 keyup F1
  e2e_wait_dialog "Brimble GL" 20 >/dev/null || e2e_fail "no fall-back question"
  e2e_find_window "$START_TITLE" >/dev/null && e2e_fail "the first window is still there"
  expect_box "Brimble GL" $'class #32770\ntext The Requested Fullscreen Mode Is Not Supported By\ntext Your Video Card. Use Windowed Mode Instead?\nbutton &Yes\nbutton &No'
  [[ "$(probe mode)" == "$mode" ]] || e2e_fail "the display mode changed: $(probe mode)"
  shot question
  answer_box "Brimble GL" y || e2e_fail "the fall-back question was not answered"

  id=$(e2e_wait_window "$SWITCH_TITLE" 20) || e2e_fail "no window titled $SWITCH_TITLE"
  expect_window_640x480 "$id" "$SWITCH_TITLE"
  read -r w h <<<"$(e2e_screen_size)"
  [[ "$w $h" == "1024 768" ]] || e2e_fail "the screen is ${w}x$h after the refused switch"
  sleep 1
  shot switched
  expect_scene_drawn switched "$(client_crop "$id")"

  e2e_focus_window "$id" || e2e_fail "cannot focus the second window"
  xdotool keydown Escape sleep 0.3 keyup Escape
  e2e_expect_exit_zero 20
  e2e_find_window "$SWITCH_TITLE" >/dev/null && e2e_fail "the window outlived the program"
  return 0
}

run_window_manager_close() {
  command -v wmctrl >/dev/null || e2e_fail "wmctrl is not installed"
  start_windowed
  local id
  id=$(e2e_wait_window "$START_TITLE" 20) || e2e_fail "no window titled $START_TITLE"
  expect_window_640x480 "$id" "$START_TITLE"
  sleep 1
  shot start
  expect_scene_drawn start "$(client_crop "$id")"
  # Asks openbox to close it (_NET_CLOSE_WINDOW); openbox sends WM_DELETE_WINDOW.
  wmctrl -i -c "$id" || e2e_fail "wmctrl could not ask for the close"
  e2e_expect_exit_zero 20
  e2e_find_window "$START_TITLE" >/dev/null && e2e_fail "the window outlived the program"
  return 0
}

run_no_data() {
  local empty=$E2E_WORK/no-data
  mkdir -p "$empty"
  cd "$empty" || e2e_fail "cannot enter $empty"
  [[ ! -e Data ]] || e2e_fail "Data/ exists in $empty"
  start_windowed
  e2e_wait_dialog "ERROR" 20 >/dev/null || e2e_fail "no ERROR box"
  expect_box "ERROR" $'class #32770\ntext Initialization Failed.\nbutton OK'
  # The window was torn down before the box, and the picture decoder said nothing.
  e2e_find_window "$START_TITLE" >/dev/null && e2e_fail "the window is still there"
  e2e_find_dialog "Error" >/dev/null && e2e_fail "a decoder message appeared"
  shot error
  answer_box "ERROR" Return || e2e_fail "the ERROR box was not answered"
  e2e_expect_exit_zero 20
  return 0
}

e2e_start_x 1024x768x24 || e2e_fail "no X server"
case "$SCENARIO" in
windowed-switch) run_windowed_switch ;;
window-manager-close) run_window_manager_close ;;
no-data) run_no_data ;;
*) e2e_fail "unknown scenario $SCENARIO" ;;
esac
elapsed=$((($(date +%s%N) - STARTED) / 100000000))
e2e_log "PASS $SCENARIO in $((elapsed / 10)).$((elapsed % 10)) s"
