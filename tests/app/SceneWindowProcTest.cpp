// SceneWindowProcTest.cpp: the scene window's procedure with a real window and GL context on
// the headless backend: which key messages reach the key table, the minimised flag, size
// messages reaching the projection unchanged, swallowed screen-saver requests and the close
// request.
#include "SceneTestSupport.h"

#include <GL/gl.h>

#include <algorithm>
#include <iterator>

namespace {

int ViewportWidth() {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  return viewport[2];
}

int ViewportHeight() {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  return viewport[3];
}

bool KeyTableClear() {
  return std::all_of(std::begin(KeyTable), std::end(KeyTable), [](BYTE b) { return b == 0; });
}

} // namespace

using SceneWindowProcedure = SceneScenario;

TEST_F(SceneWindowProcedure, OnlyPlainKeyMessagesWithinTheTableAreRecorded) {
  ASSERT_TRUE(OpenSceneWindow("Keys", 640, 480, 16, false));
  HWND window = SceneWindow.windowHandle;

  // Codes past the table's end are ignored (the sanitizer build would flag a stray write).
  for (WPARAM code : {WPARAM{256}, WPARAM{0x1FF}, WPARAM{0x10000} + VK_UP, ~WPARAM{0}}) {
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, code, 0), 0);
  }
  EXPECT_TRUE(KeyTableClear());
  // Keys with Alt held and F10 arrive as system keys and leave the table alone.
  SendMessageA(window, WM_SYSKEYDOWN, VK_UP, 0);
  SendMessageA(window, WM_SYSKEYDOWN, VK_F10, 0);
  EXPECT_TRUE(KeyTableClear());

  // Key-down and key-up set and clear exactly their own entries; a repeat sets it again.
  EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_LEFT, 0), 0);
  EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, 255, 0), 0);
  EXPECT_EQ(KeyTable[VK_LEFT], 1);
  EXPECT_EQ(KeyTable[255], 1);
  EXPECT_EQ(std::count(std::begin(KeyTable), std::end(KeyTable), BYTE{1}), 2);
  EXPECT_EQ(SendMessageA(window, WM_KEYUP, VK_LEFT, 0), 0);
  EXPECT_EQ(KeyTable[VK_LEFT], 0);
  SendMessageA(window, WM_KEYDOWN, VK_LEFT, 0);
  SendMessageA(window, WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_EQ(KeyTable[VK_LEFT], 1);
  SendMessageA(window, WM_KEYUP, 256 + VK_LEFT, 0);
  EXPECT_EQ(KeyTable[VK_LEFT], 1);
  CloseSceneWindow();
}

TEST_F(SceneWindowProcedure, ActivationSizeSystemCommandsAndClose) {
  ASSERT_TRUE(OpenSceneWindow("Messages", 640, 480, 16, false));
  HWND window = SceneWindow.windowHandle;

  // Only the minimised flag in the high word counts, not the activation state.
  EXPECT_EQ(SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0), 0);
  EXPECT_FALSE(WindowActive);
  SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
  EXPECT_TRUE(WindowActive);
  SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
  EXPECT_FALSE(WindowActive);
  SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 0), 0);
  EXPECT_TRUE(WindowActive);

  // Size messages go to the projection as they come: 0 by 0 included, and each half an
  // unsigned 16-bit size (a sign-extended 0x8001 would be rejected by GL and change nothing).
  EXPECT_EQ(SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(800, 600)), 0);
  EXPECT_EQ(ViewportWidth(), 800);
  EXPECT_EQ(ViewportHeight(), 600);
  SendMessageA(window, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
  EXPECT_EQ(ViewportWidth(), 0);
  GLint maxDims[2] = {};
  glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxDims);
  SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(0x8001, 0x8002));
  EXPECT_EQ(ViewportWidth(), std::min(0x8001, maxDims[0]));
  EXPECT_EQ(ViewportHeight(), std::min(0x8002, maxDims[1]));

  // Screen saver and monitor power-down are swallowed, compared on the whole code; other
  // system commands reach default processing.
  const int defaultsBefore = HeadlessJournalCount("DefWindowProcA");
  EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 0);
  EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_MONITORPOWER, 2), 0);
  EXPECT_EQ(HeadlessJournalCount("DefWindowProcA"), defaultsBefore);
  SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE | 1, 0);
  EXPECT_GT(HeadlessJournalCount("DefWindowProcA"), defaultsBefore);

  // A close request (here from the system menu) posts quit with 0 and keeps the window.
  SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(HeadlessWindow(window).exists);
  MSG message = {};
  bool sawQuit = false;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      sawQuit = true;
      EXPECT_EQ(message.wParam, 0u);
    }
  }
  EXPECT_TRUE(sawQuit);
  EXPECT_EQ(HeadlessJournalCount("DestroyWindow"), 0);
  CloseSceneWindow();
}
