#!/usr/bin/env bash
# with_display.sh COMMAND [ARGS...]: run COMMAND on a private Xvfb (1024x768x24, no window
# manager) and end with its exit status; for test programs that need a real display.
set -u
source "$(dirname "$0")/../e2e/harness.sh"
e2e_init
e2e_start_x 1024x768x24 --no-wm || e2e_fail "no X server"
"$@"
