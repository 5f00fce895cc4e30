// dialog_capture_headless.cpp: dialog capture on the headless backend, which records each
// box and answers it from its script without any window.
#include "dialog_capture.h"

#include "Headless.h"

bool BeginDialogCapture(const std::vector<int>& answers) {
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  HeadlessAnswerDialogs(answers);
  return true;
}

std::vector<CapturedDialog> CapturedDialogs() {
  std::vector<CapturedDialog> out;
  for (const HeadlessDialog& box : HeadlessDialogs()) {
    out.push_back({box.owner, box.text, box.caption, box.flags & 0xF, box.answer});
  }
  return out;
}

void EndDialogCapture() {
  HeadlessCaptureDialogs(false);
}
