#!/usr/bin/env bash
# dialog_test.sh: MessageBoxA as a real dialog answered as a user would: Return answers Yes
# (IDYES 6) or OK (IDOK 1), a click on No answers No (IDNO 7), and Escape leaves a Yes/No box
# open (it has no Cancel button) but answers an OK box with OK.
set -u
source "$(dirname "$0")/../e2e/harness.sh"
[[ -x "${SDL_PROBE:-}" ]] || { echo "SDL_PROBE not set" >&2; exit 1; }
e2e_init
e2e_start_x 1024x768x24 || e2e_fail "no X server"

# ask KIND KEY: show a box of KIND, answer it with KEY, print the probe's answer.
ask() {
  local out=$E2E_WORK/dialog-$1-$2.txt
  e2e_run "$out" "$SDL_PROBE" dialog "$1" "Shall the probe go on?" "Probe Question"
  e2e_answer_dialog "Probe Question" "$2" 15 || e2e_fail "no dialog titled 'Probe Question'"
  e2e_wait_pid "$E2E_PID" 10 || e2e_fail "the $1 box did not close on $2"
  [[ "$E2E_STATUS" == 0 ]] || e2e_fail "exit status $E2E_STATUS"
  sed -n 's/^answer //p' "$out"
}

answer=$(ask yesno Return)
[[ "$answer" == 6 ]] || e2e_fail "Return on Yes/No gave '$answer', not IDYES"
answer=$(ask ok Return)
[[ "$answer" == 1 ]] || e2e_fail "Return on OK gave '$answer', not IDOK"
answer=$(ask ok Escape)
[[ "$answer" == 1 ]] || e2e_fail "Escape on OK gave '$answer', not IDOK"

# Escape on a Yes/No box: still open afterwards; then the mouse answers No.
out=$E2E_WORK/dialog-yesno-escape.txt
e2e_run "$out" "$SDL_PROBE" dialog yesno "Shall the probe go on?" "Probe Question"
id=$(e2e_wait_dialog "Probe Question" 15) || e2e_fail "no dialog titled 'Probe Question'"
sleep 0.3
xdotool key --window "$id" Escape
sleep 1
xwininfo -id "$id" >/dev/null 2>&1 || e2e_fail "Escape closed a Yes/No box"
e2e_click_dialog "Probe Question" right 5 || e2e_fail "a click on No did not answer"
e2e_wait_pid "$E2E_PID" 10 || e2e_fail "the probe did not end after No"
answer=$(sed -n 's/^answer //p' "$out")
[[ "$answer" == 7 ]] || e2e_fail "No gave '$answer', not IDNO"
e2e_log "pass"
