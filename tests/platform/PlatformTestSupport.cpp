// PlatformTestSupport.cpp: the recording window procedure and the fresh-platform fixture.
#include "PlatformTestSupport.h"

std::vector<SeenMessage> Seen;
bool CloseQuits = false;
bool SwallowScreenSaver = false;
SeenCreate LastCreate;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Seen.push_back(SeenMessage{window, message, wParam, lParam});
  if (message == WM_CREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    LastCreate = SeenCreate{create->x,
                            create->y,
                            create->cx,
                            create->cy,
                            create->lpszName,
                            create->lpszClass,
                            create->lpCreateParams};
  }
  if (message == WM_CLOSE && CloseQuits) {
    PostQuitMessage(0);
    return 0;
  }
  if (message == WM_SYSCOMMAND && SwallowScreenSaver &&
      (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER)) {
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<SeenMessage> SeenOf(UINT message) {
  std::vector<SeenMessage> out;
  for (const SeenMessage& seen : Seen) {
    if (seen.message == message) {
      out.push_back(seen);
    }
  }
  return out;
}

std::vector<UINT> SeenNumbers() {
  std::vector<UINT> out;
  for (const SeenMessage& seen : Seen) {
    out.push_back(seen.message);
  }
  return out;
}

void PlatformTest::SetUp() {
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  Seen.clear();
  CloseQuits = false;
  SwallowScreenSaver = false;
}

void PlatformTest::TearDown() {
  HeadlessReset();
}

void PlatformTest::RegisterRecorder() {
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = RecordingProc;
  windowClass.lpszClassName = "Recorder";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
}

HWND PlatformTest::MakeWindow(int width, int height, bool popup) {
  DWORD style = popup ? WS_POPUP : WS_OVERLAPPEDWINDOW;
  RECT rect{0, 0, width, height};
  AdjustWindowRectEx(&rect, style, FALSE, 0);
  return CreateWindowExA(0, "Recorder", "Recorder window", style | WS_CLIPSIBLINGS, 0, 0,
                         rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

std::vector<UINT> PlatformTest::Drain() {
  std::vector<UINT> numbers;
  MSG msg{};
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    numbers.push_back(msg.message);
    if (msg.message == WM_QUIT) {
      break;
    }
    DispatchMessageA(&msg);
  }
  return numbers;
}
