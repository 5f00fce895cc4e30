# harness.sh: a bash library for end-to-end tests that drive real X11 programs. Source it
# from a test script; it starts a private Xvfb (with the openbox window manager), finds and
# drives windows with xdotool and xwininfo, answers SDL message boxes, sends real close
# requests, reads client-area geometry, takes screenshots, and kills only what it started.
#
# Typical use:
#   source "$(dirname "$0")/../e2e/harness.sh"
#   e2e_init                          # work directory, trap for the clean-up
#   e2e_start_x 640x480x16            # Xvfb + openbox; exports DISPLAY
#   e2e_run "$E2E_WORK/out.txt" ./my-program args...   # pid in E2E_PID
#   id=$(e2e_wait_window "My Title" 10) || e2e_fail "no window"
#   e2e_close_window "$id"
#   e2e_wait_pid "$E2E_PID" 10 || e2e_fail "still running"; echo "status $E2E_STATUS"
#
# Every function returns non-zero on failure and never exits the script itself, except
# e2e_fail. Functions that produce a value print it on stdout.
#
# Environment read:
#   E2E_CLOSE_TOOL  path of the close-request helper built from tests/e2e (optional; without
#                   it e2e_close_window falls back to Alt+F4 through openbox)
#   E2E_KEEP        when set to 1, the work directory is kept after the test

# The folder of this file (for lsan.supp).
E2E_HARNESS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Processes started by this harness (only these are ever killed).
E2E_PIDS=()
E2E_WORK=""
E2E_XVFB_PID=""
E2E_WM_PID=""

# e2e_log MESSAGE...: a timestamped line on stderr (the test log).
e2e_log() {
  printf '[e2e %s] %s\n' "$(date +%H:%M:%S.%N | cut -c1-12)" "$*" >&2
}

# e2e_fail MESSAGE...: log the failure, dump the work directory's *.txt files to stderr
# (the programs' output), and exit the test with status 1 (the trap then cleans up).
e2e_fail() {
  e2e_log "FAIL: $*"
  if [[ -n "$E2E_WORK" && -d "$E2E_WORK" ]]; then
    local f
    for f in "$E2E_WORK"/*.txt; do
      [[ -f "$f" ]] || continue
      printf -- '--- %s ---\n' "$(basename "$f")" >&2
      cat "$f" >&2
    done
  fi
  exit 1
}

# e2e_cleanup: end every process this harness started, newest first (programs, then the
# window manager, then Xvfb): SIGTERM, up to 3 s to end, then SIGKILL and remove the work directory unless E2E_KEEP=1. Installed as
# the EXIT trap by e2e_init; safe to call more than once.
e2e_cleanup() {
  local i pid n
  # One at a time, so that each program can still talk to the X server while it ends.
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${E2E_PIDS[$i]}
    if kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null
      n=0
      while kill -0 "$pid" 2>/dev/null && [[ "$(ps -o stat= -p "$pid" 2>/dev/null)" != Z* ]] &&
        ((n < 30)); do
        sleep 0.1
        n=$((n + 1))
      done
      kill -KILL "$pid" 2>/dev/null
    fi
    wait "$pid" 2>/dev/null
  done
  E2E_PIDS=()
  if [[ -n "$E2E_WORK" && -d "$E2E_WORK" && "${E2E_KEEP:-0}" != 1 ]]; then
    rm -rf "$E2E_WORK"
  fi
}

# e2e_init: create the work directory ($E2E_WORK, under $TMPDIR or /tmp), install the
# clean-up trap (EXIT, and INT/TERM which exit through it), clear DISPLAY and
# WAYLAND_DISPLAY, and point LSAN_OPTIONS at lsan.supp beside this file. Call once, first.
e2e_init() {
  E2E_WORK=$(mktemp -d "${TMPDIR:-/tmp}/e2e.XXXXXX") || return 1
  trap e2e_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  unset DISPLAY WAYLAND_DISPLAY
  # Sanitizer builds: leaks inside the system libraries under SDL are not ours to report.
  export LSAN_OPTIONS="suppressions=$E2E_HARNESS_DIR/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}

# e2e_track PID: add a process started elsewhere to the set the clean-up kills.
e2e_track() {
  E2E_PIDS+=("$1")
}

# e2e_start_x [SCREEN] [--no-wm]: start Xvfb on a free display number with the screen
# WIDTHxHEIGHTxDEPTH (default 1024x768x24; 640x480x16 gives a real 640x480 full-screen
# mode), wait until it accepts clients, export DISPLAY, then start openbox (unless --no-wm)
# and wait until it manages the screen. Xvfb picks the free number itself (-displayfd).
# Fails, naming them, when the X tools the harness uses are not installed.
e2e_start_x() {
  local screen=1024x768x24 wm=1 arg
  for arg in "$@"; do
    case "$arg" in
    --no-wm) wm=0 ;;
    *x*x*) screen=$arg ;;
    *)
      e2e_log "e2e_start_x: unknown argument $arg"
      return 1
      ;;
    esac
  done
  [[ -n "$E2E_WORK" ]] || e2e_init || return 1
  local tool missing=""
  for tool in Xvfb xdotool xwininfo xprop import convert; do
    command -v "$tool" >/dev/null || missing+=" $tool"
  done
  if ((wm)) && ! command -v openbox >/dev/null; then
    missing+=" openbox"
  fi
  if [[ -n "$missing" ]]; then
    e2e_log "missing tools:$missing (Debian: xvfb xdotool x11-utils imagemagick openbox)"
    return 1
  fi
  local fifo="$E2E_WORK/displayfd"
  rm -f "$fifo"
  mkfifo "$fifo" || return 1
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$fifo" \
    >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  e2e_track "$E2E_XVFB_PID"
  local number=""
  # The read returns when Xvfb writes its display number, or at EOF if it dies.
  if ! read -r -t 20 number <"$fifo" || [[ -z "$number" ]]; then
    e2e_log "Xvfb did not start: $(cat "$E2E_WORK/xvfb.log")"
    return 1
  fi
  export DISPLAY=":$number"
  e2e_log "Xvfb $screen on $DISPLAY (pid $E2E_XVFB_PID)"
  if ((wm)); then
    # openbox claims the screen (and sets _NET_SUPPORTING_WM_CHECK) before it has loaded its
    # theme and fonts; a window mapped in that gap can stay unmapped for good, and SDL waits
    # for the map inside SDL_ShowWindow. So wait for openbox's start-up command instead,
    # which it runs once it is ready to manage windows. The first start on a new machine
    # builds the font cache, hence the long limit.
    local ready="$E2E_WORK/openbox-ready"
    rm -f "$ready"
    # Keep openbox's cache and settings inside the work directory.
    XDG_CACHE_HOME="$E2E_WORK/cache" XDG_CONFIG_HOME="$E2E_WORK/config" \
      openbox --sm-disable --startup "touch '$ready'" >"$E2E_WORK/openbox.log" 2>&1 &
    E2E_WM_PID=$!
    e2e_track "$E2E_WM_PID"
    local n=0
    until [[ -e "$ready" ]]; do
      n=$((n + 1))
      if ((n > 600)) || ! kill -0 "$E2E_WM_PID" 2>/dev/null; then
        e2e_log "openbox did not start: $(cat "$E2E_WORK/openbox.log")"
        return 1
      fi
      sleep 0.1
    done
    e2e_log "openbox running (pid $E2E_WM_PID)"
  fi
}

# e2e_run OUTPUT COMMAND [ARGS...]: start COMMAND in the background with stdout and stderr
# into the file OUTPUT and no stdin; its pid is tracked and left in E2E_PID.
e2e_run() {
  local out=$1
  shift
  # Emptied here, not in the child, so nothing waits on an earlier run's lines meanwhile.
  : >"$out"
  "$@" >>"$out" 2>&1 </dev/null &
  E2E_PID=$!
  e2e_track "$E2E_PID"
}

# e2e_wait_pid PID [TIMEOUT]: wait up to TIMEOUT seconds (default 10) for a process that
# this shell started (e2e_run) to end, and set E2E_STATUS to its exit status (128+N when
# killed by signal N). Returns 1, leaving E2E_STATUS empty, when it still runs at the
# timeout. Call it directly, not inside $(...): only the starting shell can reap the child.
e2e_wait_pid() {
  local pid=$1 timeout=${2:-10} n=0
  local limit=$((timeout * 10))
  E2E_STATUS=""
  while kill -0 "$pid" 2>/dev/null; do
    # An ended but unreaped child still answers kill -0; wait reaps it below.
    if [[ "$(ps -o stat= -p "$pid" 2>/dev/null)" == Z* ]]; then
      break
    fi
    n=$((n + 1))
    if ((n > limit)); then
      return 1
    fi
    sleep 0.1
  done
  local status=0
  wait "$pid" 2>/dev/null || status=$?
  E2E_STATUS=$status
}

# e2e_expect_exit_zero [TIMEOUT]: wait up to TIMEOUT seconds (default 15) for the program
# in E2E_PID to end and fail the test unless its status is 0; when it does not end, say
# whether it waits on one of the program's error boxes ("SHUTDOWN ERROR", "ERROR").
e2e_expect_exit_zero() {
  if ! e2e_wait_pid "$E2E_PID" "${1:-15}"; then
    local caption
    for caption in "SHUTDOWN ERROR" "ERROR"; do
      e2e_find_dialog "$caption" >/dev/null && e2e_fail "the program waits on an $caption box"
    done
    e2e_fail "the program did not end"
  fi
  [[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS, not 0"
  e2e_log "exit status 0"
}

# e2e_wine_stop: end every Wine process of the prefix $TALVERN_WINEPREFIX (the program, Wine's
# services and its desktop process) and wait for them, so that none stays bound to this
# test's display once the X server is gone. Does nothing before the prefix exists.
e2e_wine_stop() {
  if [[ -n "${TALVERN_WINEPREFIX:-}" && -e "$TALVERN_WINEPREFIX/.talvern-ready" ]]; then
    WINEPREFIX=$TALVERN_WINEPREFIX wineserver -k 2>/dev/null
    WINEPREFIX=$TALVERN_WINEPREFIX wineserver -w 2>/dev/null
  fi
  return 0
}

# e2e_wait_line FILE PATTERN [TIMEOUT] [FROM]: wait up to TIMEOUT seconds (default 10)
# until a line of FILE after its first FROM lines (default 0) matches the extended regular
# expression PATTERN; prints the first such line.
e2e_wait_line() {
  local file=$1 pattern=$2 timeout=${3:-10} from=${4:-0} n=0 line
  local limit=$((timeout * 10))
  while true; do
    if [[ -f "$file" ]] && line=$(tail -n "+$((from + 1))" "$file" | grep -E -m1 -- "$pattern"); then
      echo "$line"
      return 0
    fi
    n=$((n + 1))
    ((n > limit)) && return 1
    sleep 0.1
  done
}

# e2e_line_count FILE: the number of lines FILE has now (0 when it does not exist); pass it
# as FROM to e2e_wait_line to wait only for output that comes after this point.
e2e_line_count() {
  if [[ -f "$1" ]]; then
    wc -l <"$1" | tr -d ' '
  else
    echo 0
  fi
}

# e2e_find_window TITLE: the id (decimal) of a visible top-level window whose name is
# exactly TITLE, via xdotool's name search. Prints the first match; non-zero when none.
e2e_find_window() {
  local title=$1 pattern
  # xdotool matches a regular expression: escape it and anchor it for an exact match.
  pattern="^$(printf '%s' "$title" | sed 's/[][\.*^$(){}?+|/]/\\&/g')\$"
  local ids
  ids=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null) || return 1
  [[ -n "$ids" ]] || return 1
  head -n1 <<<"$ids"
}

# e2e_find_dialog TITLE: the id (hex, 0x...) of a window named exactly TITLE as listed by
# `xwininfo -root -tree` (finds SDL's message boxes, whose UTF8_STRING name xdotool misses).
# The innermost (client) window is printed when a window manager has reparented it.
e2e_find_dialog() {
  local title=$1
  xwininfo -root -tree 2>/dev/null |
    awk -v want="\"$title\"" '{
      id = $1; rest = $0; sub(/^[ \t]*0x[0-9a-f]+ /, "", rest)
      # rest starts with the quoted name, then ": (" class ")".
      if (index(rest, want ":") == 1 || rest == want) last = id
    } END { if (last != "") print last; else exit 1 }'
}

# e2e_wait_window TITLE [TIMEOUT]: wait up to TIMEOUT seconds (default 10) for
# e2e_find_window TITLE to succeed; prints the id.
e2e_wait_window() {
  local title=$1 timeout=${2:-10} n=0 id
  local limit=$((timeout * 10))
  until id=$(e2e_find_window "$title"); do
    n=$((n + 1))
    ((n > limit)) && return 1
    sleep 0.1
  done
  echo "$id"
}

# e2e_wait_dialog TITLE [TIMEOUT]: the same for e2e_find_dialog, waiting also until the box
# is mapped and viewable (it exists a moment before it can take input).
e2e_wait_dialog() {
  local title=$1 timeout=${2:-10} n=0 id
  local limit=$((timeout * 10))
  until id=$(e2e_find_dialog "$title") && e2e_viewable "$id"; do
    n=$((n + 1))
    ((n > limit)) && return 1
    sleep 0.1
  done
  echo "$id"
}

# e2e_viewable ID: succeeds when window ID is mapped and all its ancestors are.
e2e_viewable() {
  xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# e2e_viewable_dialog TITLE: succeeds, printing nothing, when the box TITLE is up and viewable.
e2e_viewable_dialog() {
  local id
  id=$(e2e_find_dialog "$1") && e2e_viewable "$id"
}

# e2e_wait_for TIMEOUT COMMAND [ARGS...]: run COMMAND every 0.1 s until it succeeds, for
# up to TIMEOUT seconds; non-zero when it never did. For conditions that follow an action
# (a window reaching its full-screen place, a frame reaching the screen).
e2e_wait_for() {
  local timeout=$1 n=0
  shift
  local limit=$((timeout * 10))
  until "$@"; do
    n=$((n + 1))
    ((n > limit)) && return 1
    sleep 0.1
  done
}

# e2e_answer_dialog TITLE KEY [TIMEOUT]: wait for the message box TITLE and send it KEY
# (Return answers the default button, Escape the cancel/no button), until the box goes:
# a key that arrives while the box is still being set up is sent again, up to 5 times.
e2e_answer_dialog() {
  local title=$1 key=$2 timeout=${3:-10} id attempt n
  id=$(e2e_wait_dialog "$title" "$timeout") || return 1
  for ((attempt = 0; attempt < 5; attempt++)); do
    sleep 0.3
    xdotool key --window "$id" "$key" 2>/dev/null
    for ((n = 0; n < 20; n++)); do
      xwininfo -id "$id" >/dev/null 2>&1 || return 0
      sleep 0.1
    done
  done
  e2e_log "the dialog '$title' did not close on $key"
  return 1
}

# e2e_click_dialog TITLE BUTTON [TIMEOUT]: wait for the two-button message box TITLE, click
# its left or right button (BUTTON is left or right) with the mouse, and wait until the box
# has closed. The buttons sit side by side, centred near the bottom edge of the box.
e2e_click_dialog() {
  local title=$1 side=$2 timeout=${3:-10} id geometry x y w h cx cy attempt n
  id=$(e2e_wait_dialog "$title" "$timeout") || return 1
  for ((attempt = 0; attempt < 5; attempt++)); do
    sleep 0.3
    geometry=$(e2e_client_geometry "$id") || return 0
    read -r x y w h <<<"$geometry"
    if [[ "$side" == left ]]; then
      cx=$((x + w / 2 - 45))
    else
      cx=$((x + w / 2 + 45))
    fi
    cy=$((y + h - 25))
    xdotool mousemove --sync "$cx" "$cy" click 1 2>/dev/null
    for ((n = 0; n < 20; n++)); do
      xwininfo -id "$id" >/dev/null 2>&1 || return 0
      sleep 0.1
    done
  done
  e2e_log "the dialog '$title' did not close on a click of its $side button"
  return 1
}

# e2e_close_window ID: send a real close request (a WM_DELETE_WINDOW client message, what a
# window manager's close box sends) to the window ID. Uses the helper in $E2E_CLOSE_TOOL
# when set; otherwise activates the window and presses Alt+F4, which openbox turns into the
# same request. (xdotool's windowclose destroys the window instead, which is not a request.)
e2e_close_window() {
  local id=$1
  if [[ -n "${E2E_CLOSE_TOOL:-}" && -x "$E2E_CLOSE_TOOL" ]]; then
    "$E2E_CLOSE_TOOL" "$id"
  else
    xdotool windowactivate --sync "$id" 2>/dev/null
    xdotool key alt+F4
  fi
}

# e2e_client_geometry ID: the client area of window ID as "X Y WIDTH HEIGHT", X and Y being
# its absolute position on the screen (from xwininfo).
e2e_client_geometry() {
  local id=$1
  xwininfo -id "$id" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $NF }
    /Absolute upper-left Y:/ { y = $NF }
    /^ *Width:/ { w = $NF }
    /^ *Height:/ { h = $NF }
    END { if (w == "") exit 1; print x, y, w, h }'
}

# e2e_screen_size: the root window's size as "WIDTH HEIGHT".
e2e_screen_size() {
  xwininfo -root 2>/dev/null | awk '/^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF }
    END { if (w == "") exit 1; print w, h }'
}

# e2e_window_state ID: the window's _NET_WM_STATE atoms, comma-separated (empty when none),
# e.g. "_NET_WM_STATE_HIDDEN" while minimised or "_NET_WM_STATE_FULLSCREEN".
e2e_window_state() {
  xprop -id "$1" _NET_WM_STATE 2>/dev/null | sed -n 's/^_NET_WM_STATE(ATOM) = //p'
}

# e2e_screenshot FILE: a PNG (or any format ImageMagick knows by the suffix) of the whole
# screen.
e2e_screenshot() {
  import -window root "$1" 2>/dev/null
}

# e2e_pixel FILE X Y: the colour of one pixel of an image as "R G B" (0..255).
e2e_pixel() {
  convert "$1" -format "%[fx:int(255*p{$2,$3}.r)] %[fx:int(255*p{$2,$3}.g)] %[fx:int(255*p{$2,$3}.b)]" info: 2>/dev/null
}

# e2e_focus_window ID: activate (raise and focus) window ID and wait until it has focus.
e2e_focus_window() {
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
}

# e2e_key_down KEY / e2e_key_up KEY: press or release KEY (an X keysym name such as Up,
# F1, Escape, alt+x) as real input through XTEST, delivered to the focused window. While a
# key is held the X server auto-repeats it (first repeat after about 0.6 s).
e2e_key_down() {
  xdotool keydown "$1"
}
e2e_key_up() {
  xdotool keyup "$1"
}

# e2e_hold_key KEY SECONDS: hold KEY down for SECONDS (fractions allowed), then release it.
e2e_hold_key() {
  xdotool keydown "$1" && sleep "$2" && xdotool keyup "$1"
}

# e2e_press_key KEY [ID]: press and release KEY; as real input to the focused window, or,
# with ID, as events sent to that window directly (no auto-repeat, no focus needed).
# e2e_press_until KEY TIMEOUT COMMAND [ARGS...]: hold KEY down until COMMAND succeeds (up to
# TIMEOUT seconds), then release it; non-zero when it never did. For a program that reads
# its key table once per frame: a press and release it handles in one batch goes unseen,
# however long its frames take.
e2e_press_until() {
  local key=$1 timeout=$2 status=0
  shift 2
  xdotool keydown "$key" || return 1
  e2e_wait_for "$timeout" "$@" || status=1
  xdotool keyup "$key"
  return $status
}
e2e_press_key() {
  if [[ -n "${2:-}" ]]; then
    xdotool key --window "$2" "$1"
  else
    xdotool key "$1"
  fi
}

# e2e_minimize ID / e2e_restore ID: minimise through the window manager (iconify), and
# restore (map and activate) again.
e2e_minimize() {
  xdotool windowminimize --sync "$1"
}
e2e_restore() {
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowmap --sync "$1"
}
