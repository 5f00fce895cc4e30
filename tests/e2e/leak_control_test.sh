#!/usr/bin/env bash
# leak_control_test.sh LEAK_CONTROL: in a sanitizer build, the options and suppressions the
# tests run with must let a program that loads the GL driver end cleanly, and must still
# report a leak that our own code makes in that program. Run with SDL on X11 under the e2e
# harness's LeakSanitizer suppressions, and with EGL as the headless tests run it (no
# suppressions).
set -u
source "$(dirname "$0")/harness.sh"
control=${1:?usage: leak_control_test.sh LEAK_CONTROL}
e2e_init
e2e_start_x 1024x768x24 --no-wm || e2e_fail "no X server"

for backend in sdl egl; do
  environment=()
  [[ "$backend" == egl ]] && environment=(env -u LSAN_OPTIONS)
  out=$E2E_WORK/$backend-clean.txt
  "${environment[@]}" "$control" "$backend" clean >"$out" 2>&1
  status=$?
  [[ "$status" == 0 ]] || e2e_fail "$backend: a clean run ended with status $status"

  out=$E2E_WORK/$backend-leak.txt
  "${environment[@]}" "$control" "$backend" leak >"$out" 2>&1
  status=$?
  grep -q '^drawn$' "$out" || e2e_fail "$backend: the leaking run did not draw (status $status)"
  ((status != 0)) || e2e_fail "$backend: our leak went unreported (status 0)"
  grep -q 'LeakSanitizer: detected memory leaks' "$out" || e2e_fail "$backend: no leak report"
  grep -q 'Direct leak of 4096 byte' "$out" || e2e_fail "$backend: our 4096-byte block not named"
  grep -q 'LeakOnPurpose' "$out" || e2e_fail "$backend: the report does not name LeakOnPurpose"
  e2e_log "$backend: clean run passes, our leak is reported"
done
e2e_log "pass"
