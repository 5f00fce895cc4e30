// dialog_capture.h: records and answers the message boxes a thread shows, instead of
// showing them, for tests and command-line tools. The same calls work on both platforms:
// on Windows a thread-local CBT hook catches each box as it is activated, reads it and
// presses a button; on Linux the headless backend records the box it is asked for.
#pragma once

#include "Win32.h"

#include <string>
#include <vector>

// One message box as the user would have seen it, and the button that answered it.
struct CapturedDialog {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT flags = 0; // the button set: MB_OK, MB_OKCANCEL or MB_YESNO
  int answer = 0; // the id MessageBoxA returned
};

// From now on the calling thread's message boxes are recorded and answered, never shown;
// earlier records are forgotten. `answers` are the ids to press for the coming boxes, in
// order; when none is left, a box with an OK button answers IDOK and a Yes/No box IDNO.
// On the headless backend this starts from a fresh backend (no windows, no journal).
// False when the capture could not be set up.
bool BeginDialogCapture(const std::vector<int>& answers = {});
// The boxes recorded since BeginDialogCapture, oldest first.
std::vector<CapturedDialog> CapturedDialogs();
// Boxes are shown again.
void EndDialogCapture();
