#!/usr/bin/env bash
# corridor_e2e.sh: the real talvern-corridor under a private Xvfb (1024x768x24, openbox),
# driven with the keyboard, its window's client area compared with the committed reference
# frame and with frames that talvern-snapshot renders headlessly from the same Data/.
#
# Usage: corridor_e2e.sh PROGRAM SNAPSHOT_TOOL REFERENCE_DIR SCENARIO MAE_TOOL
#   view  the start view matches the reference frame, and its window openings are black
#         (they are drawn over the wall in its plane, so they show only when the window's
#         depth buffer has the 16 bits the program asks for)
#   walk  holding Up moves the view forward (it then matches a snapshot with a larger
#         forwardOffset best), Right turns it right and Left as long turns it back, and F1
#         (full screen refused by this screen, a window accepted) rebuilds the window with
#         the same textures and the same view
# MAE_TOOL is picture-mae (tests/render/picture_mae.cpp). Run from the directory that holds
# Data/.
set -u
PROGRAM=$1
SNAPSHOT=$2
REFERENCE=$3
SCENARIO=$4
MAE_TOOL=$5
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../e2e/harness.sh
source "$HERE/../e2e/harness.sh"

# Largest normalised mean absolute error for "the same picture" between a screenshot (8 bits
# per channel) and a snapshot (a 5/6/5 framebuffer), and between two screenshots.
SAME=0.02
SAME_SCREEN=0.005

e2e_init || exit 1
SHOTS=$E2E_WORK/shots
mkdir -p "$SHOTS"

# mae A B...: the normalised mean absolute error between A and each other picture, a line
# each (9 for a picture of another size).
mae() {
  "$MAE_TOOL" "$@"
}
# nearest A NAME...: the NAME whose picture $SHOTS/NAME.png is nearest to A, printed as
# "NAME ERROR".
nearest() {
  local shot=$1
  shift
  local files=()
  for name in "$@"; do
    files+=("$SHOTS/$name.png")
  done
  paste -d' ' <(printf '%s\n' "$@") <(mae "$shot" "${files[@]}") |
    awk 'NR == 1 || $2 < best { best = $2; name = $1 } END { print name, best }'
}

# less A B: true when the number A is smaller than B.
less() {
  awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'
}

# black_share FILE: the share of near-black pixels in the right half of a frame, where the
# window openings are at the start view.
black_share() {
  convert "$1" -crop 320x480+320+0 +repage -colorspace gray -threshold 3% -negate \
    -format '%[fx:mean]' info:
}

# client_shot NAME: the scene window's client area as $SHOTS/NAME.png.
client_shot() {
  local geometry x y w h
  geometry=$(e2e_client_geometry "$WINDOW") || e2e_fail "no geometry for the window"
  read -r x y w h <<<"$geometry"
  [[ "$w" == 640 && "$h" == 480 ]] || e2e_fail "client area ${w}x$h, not 640x480"
  e2e_screenshot "$SHOTS/screen.png" || e2e_fail "no screenshot"
  convert "$SHOTS/screen.png" -crop "${w}x$h+$x+$y" +repage "$SHOTS/$1.png" ||
    e2e_fail "cannot crop the screenshot"
}

# render_poses NAME FORWARD YAW [NAME FORWARD YAW ...]: headless frames of the scene at those
# cameras as $SHOTS/NAME.png, all drawn in one talvern-snapshot run (a run per frame would
# spend most of its time starting the GL driver); frames already there are kept.
render_poses() {
  local list=$E2E_WORK/poses.txt
  : >"$list"
  while (($# >= 3)); do
    [[ -f "$SHOTS/$1.png" ]] || echo "$2 $3 $SHOTS/$1.png" >>"$list"
    shift 3
  done
  [[ -s "$list" ]] || return 0
  "$SNAPSHOT" --poses "$list" >/dev/null 2>&1 || e2e_fail "talvern-snapshot failed for $(cat "$list")"
}

# How far a held key moves the view depends on the frame rate (one step per frame), which
# varies tenfold between builds and machines, so the searches below cover wide ranges.

# best_forward SHOT YAW: the forwardOffset among -80, -79, ..., -60, -58, ..., -10 whose
# snapshot (at YAW) is nearest to SHOT, printed as "FORWARD ERROR".
best_forward() {
  local forward poses=() names=()
  for forward in $(seq -80 1 -60) $(seq -58 2 -10); do
    poses+=("f${forward}_y$2" "$forward" "$2")
    names+=("f${forward}_y$2")
  done
  render_poses "${poses[@]}"
  nearest "$SHOTS/$1.png" "${names[@]}" | sed 's/^f\(-*[0-9]*\)_y[^ ]*/\1/'
}

# best_yaw SHOT FORWARD: the yaw among -90, -87, ..., 90 whose snapshot (at FORWARD) is
# nearest to SHOT, printed as "YAW ERROR".
best_yaw() {
  local yaw poses=() names=()
  for yaw in $(seq -90 3 90); do
    poses+=("f$2_y${yaw}" "$2" "$yaw")
    names+=("f$2_y${yaw}")
  done
  render_poses "${poses[@]}"
  nearest "$SHOTS/$1.png" "${names[@]}" | sed 's/^f[^_]*_y//'
}

start_program() {
  e2e_start_x 1024x768x24 || e2e_fail "no X server"
  e2e_run "$E2E_WORK/program.txt" "$PROGRAM"
  e2e_click_dialog "Start FullScreen?" right 20 || e2e_fail "no start-up question"
  WINDOW=$(e2e_wait_window "Talvern Corridor" 20) || e2e_fail "no scene window"
  e2e_focus_window "$WINDOW" || e2e_fail "cannot focus the window"
  sleep 1
}

close_program() {
  e2e_close_window "$WINDOW" || e2e_fail "cannot close the window"
  e2e_wait_pid "$E2E_PID" 15 || e2e_fail "the program did not end"
  [[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS"
}

run_view() {
  start_program
  client_shot start
  local error share reference
  error=$(mae "$SHOTS/start.png" "$REFERENCE/start.png")
  e2e_log "start view vs reference: $error"
  less "$error" "$SAME" || e2e_fail "the start view differs from the reference ($error)"
  share=$(black_share "$SHOTS/start.png")
  reference=$(black_share "$REFERENCE/start.png")
  e2e_log "black share of the right half: $share (reference $reference)"
  less "$(awk -v r="$reference" 'BEGIN { print 0.8 * r }')" "$share" ||
    e2e_fail "window openings missing: black share $share, reference $reference"
  close_program
}

run_walk() {
  start_program
  client_shot start
  local forward error startError yawRight yawLeft
  # Up: forward. The nearest snapshot must lie ahead and fit clearly better than the start.
  e2e_hold_key Up 1.5
  sleep 0.5
  client_shot walked
  read -r forward error <<<"$(best_forward walked 0)"
  startError=$(mae "$SHOTS/walked.png" "$SHOTS/f-80_y0.png")
  e2e_log "after Up: nearest forwardOffset $forward ($error; start pose $startError)"
  ((forward > -80)) || e2e_fail "Up did not move the view forward (nearest $forward)"
  less "$error" "$(awk -v e="$startError" 'BEGIN { print 0.8 * e }')" ||
    e2e_fail "after Up no forward position fits clearly better than the start"

  # Right turns right, Left as long turns back.
  e2e_hold_key Right 0.8
  sleep 0.5
  client_shot right
  read -r yawRight error <<<"$(best_yaw right "$forward")"
  e2e_log "after Right: nearest yaw $yawRight ($error)"
  ((yawRight > 0)) || e2e_fail "Right did not turn the view right (nearest $yawRight)"
  e2e_hold_key Left 0.8
  sleep 0.5
  client_shot left
  read -r yawLeft error <<<"$(best_yaw left "$forward")"
  e2e_log "after Left: nearest yaw $yawLeft ($error)"
  ((yawLeft < yawRight)) || e2e_fail "Left did not turn the view left ($yawLeft)"

  # F1: the screen has no 640x480 mode, so the program offers a window instead; the new
  # window must show the same picture.
  client_shot before-switch
  e2e_press_until F1 20 e2e_viewable_dialog "Brimble GL" || e2e_fail "no fall-back question after F1"
  e2e_answer_dialog "Brimble GL" Return 5 || e2e_fail "the fall-back question did not take Return"
  WINDOW=$(e2e_wait_window "Brimble's First Polygon Tutorial" 20) ||
    e2e_fail "no rebuilt window"
  e2e_focus_window "$WINDOW" || true
  sleep 1
  client_shot after-switch
  error=$(mae "$SHOTS/before-switch.png" "$SHOTS/after-switch.png")
  e2e_log "before vs after F1: $error"
  less "$error" "$SAME_SCREEN" || e2e_fail "the rebuilt window shows another picture ($error)"
  close_program
}

case "$SCENARIO" in
view) run_view ;;
walk) run_walk ;;
*) e2e_fail "unknown scenario $SCENARIO" ;;
esac
e2e_log "passed"
