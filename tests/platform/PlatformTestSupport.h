// PlatformTestSupport.h: a recording window procedure and a fixture that gives each test a
// fresh headless platform (dialogs captured so nothing reaches stderr unasked).
#pragma once

#include "Core.h"
#include "Headless.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct SeenMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// What the last WM_CREATE carried (its record is only valid during the call).
struct SeenCreate {
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string name, className;
  LPVOID param = nullptr;
};
extern SeenCreate LastCreate;

// Every message the recording procedure received, in order.
extern std::vector<SeenMessage> Seen;
// When true, the procedure answers WM_CLOSE itself by posting a quit message with exit
// code 0, as a program that owns its tear-down does; otherwise it uses default processing.
extern bool CloseQuits;
// When true, the procedure swallows SC_SCREENSAVE and SC_MONITORPOWER.
extern bool SwallowScreenSaver;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The messages in Seen with the given number, in order.
std::vector<SeenMessage> SeenOf(UINT message);
// The message numbers in Seen, in order.
std::vector<UINT> SeenNumbers();

class PlatformTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Registers class "Recorder" with RecordingProc.
  static void RegisterRecorder();
  // Creates a window of class "Recorder" whose client area is width by height (windowed
  // style, size adjusted), or a popup of exactly that size.
  static HWND MakeWindow(int width, int height, bool popup = false);
  // Takes everything waiting, dispatching all but WM_QUIT; returns the retrieved numbers.
  static std::vector<UINT> Drain();
};
