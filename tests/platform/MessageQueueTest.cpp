// MessageQueueTest.cpp: the thread's message queue (order, filters, the quit message),
// key translation, dispatch, scripted key input, and default window processing (the close
// path, Alt+F4, minimise, screen saver).
#include "PlatformTestSupport.h"

namespace {

using MessageQueue = PlatformTest;

TEST_F(MessageQueue, PostedMessagesArriveInOrderAndTheQuitMessageLast) {
  RegisterRecorder();
  HWND window = MakeWindow(64, 48);
  ASSERT_NE(window, nullptr);
  Seen.clear();

  MSG msg{};
  msg.message = 0xBEEF;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "an empty queue";

  ASSERT_TRUE(PostMessageA(window, WM_USER + 1, 10, 20));
  ASSERT_TRUE(PostMessageA(window, WM_USER + 2, 11, 21));
  PostQuitMessage(7);
  // Posted after the quit request, yet still retrieved before the quit message.
  ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 3, 12, 22));

  // PM_NOREMOVE only looks.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);

  std::vector<MSG> got;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    got.push_back(msg);
    if (msg.message == WM_QUIT) {
      break;
    }
  }
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].message, WM_USER + 1);
  EXPECT_EQ(got[0].hwnd, window);
  EXPECT_EQ(got[0].wParam, 10u);
  EXPECT_EQ(got[0].lParam, 20);
  EXPECT_EQ(got[1].message, WM_USER + 2);
  EXPECT_EQ(got[2].message, WM_USER + 3);
  EXPECT_EQ(got[2].hwnd, nullptr);
  EXPECT_EQ(got[3].message, WM_QUIT);
  EXPECT_EQ(got[3].wParam, 7u);
  // The quit request is consumed once retrieved.
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(Seen.empty()) << "retrieving alone must not call the procedure";
}

TEST_F(MessageQueue, FiltersSelectByWindowAndByRange) {
  RegisterRecorder();
  HWND first = MakeWindow(32, 32);
  HWND second = MakeWindow(32, 32);
  ASSERT_NE(second, first);
  PostMessageA(first, WM_USER + 1, 0, 0);
  PostMessageA(second, WM_USER + 2, 0, 0);
  PostMessageA(first, WM_KEYDOWN, VK_UP, 0);

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2);
  EXPECT_FALSE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_KEYDOWN, WM_KEYUP, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_KEYDOWN);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
  EXPECT_EQ(msg.hwnd, first);
}

TEST_F(MessageQueue, DispatchCallsTheProcedureAndDestroyDropsQueuedMessages) {
  RegisterRecorder();
  HWND window = MakeWindow(32, 32);
  HWND doomed = MakeWindow(32, 32);
  Seen.clear();

  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x7777), WM_USER, 0, 0)) << "no such window";
  PostMessageA(doomed, WM_USER + 9, 0, 0);
  PostMessageA(window, WM_USER + 5, 3, 4);
  ASSERT_TRUE(DestroyWindow(doomed));
  Seen.clear();

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 5) << "the destroyed window's message must be gone";
  DispatchMessageA(&msg);
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_EQ(Seen[0].window, window);
  EXPECT_EQ(Seen[0].message, WM_USER + 5);
  EXPECT_EQ(Seen[0].wParam, 3u);
  EXPECT_EQ(Seen[0].lParam, 4);

  // A thread message has no procedure to go to.
  MSG threadMessage{};
  threadMessage.message = WM_USER;
  EXPECT_EQ(DispatchMessageA(&threadMessage), 0);
  EXPECT_EQ(Seen.size(), 1u);
}

TEST_F(MessageQueue, TranslateQueuesTheCharacterAheadOfLaterMessages) {
  RegisterRecorder();
  HWND window = MakeWindow(32, 32);
  PostMessageA(window, WM_KEYDOWN, 'A', 1);
  PostMessageA(window, WM_USER, 0, 0);

  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(TranslateMessage(&msg));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_CHAR);
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('a'));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER);

  // Keys without a character, and key releases, give nothing.
  MSG arrow{window, WM_KEYDOWN, VK_LEFT, 1, 0, {0, 0}};
  EXPECT_FALSE(TranslateMessage(&arrow));
  MSG release{window, WM_KEYUP, 'A', 1, 0, {0, 0}};
  EXPECT_FALSE(TranslateMessage(&release));
  MSG system{window, WM_SYSKEYDOWN, 'X', 1 << 29, 0, {0, 0}};
  EXPECT_TRUE(TranslateMessage(&system));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_SYSCHAR);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, ScriptedKeysArriveAtTheirSwapWithWin32KeyData) {
  RegisterRecorder();
  HWND window = MakeWindow(32, 32);
  HDC dc = GetDC(window);
  HeadlessKeyDownAt(0, VK_UP);
  HeadlessKeyDownAt(0, VK_UP); // held: an auto-repeat
  HeadlessKeyUpAt(0, VK_UP);
  HeadlessEvent altX;
  altX.action = HeadlessAction::SysKeyDown;
  altX.key = 'X';
  HeadlessScript(2, altX);
  HeadlessEvent f10;
  f10.action = HeadlessAction::SysKeyDown;
  f10.key = VK_F10;
  HeadlessScript(2, f10);

  MSG msg{};
  std::vector<MSG> got;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    got.push_back(msg);
  }
  ASSERT_EQ(got.size(), 3u) << "only the keys due at swap 0";
  for (const MSG& key : got) {
    EXPECT_EQ(key.hwnd, window);
    EXPECT_EQ(key.wParam, static_cast<WPARAM>(VK_UP));
  }
  EXPECT_EQ(got[0].message, WM_KEYDOWN);
  EXPECT_EQ(got[1].message, WM_KEYDOWN);
  EXPECT_EQ(got[2].message, WM_KEYUP);
  auto bit = [](const MSG& m, int n) { return (static_cast<DWORD>(m.lParam) >> n) & 1u; };
  EXPECT_EQ(LOWORD(got[0].lParam), 1) << "repeat count";
  EXPECT_EQ(bit(got[0], 30), 0u) << "first press: key was up";
  EXPECT_EQ(bit(got[1], 30), 1u) << "auto-repeat: key was already down";
  EXPECT_EQ(bit(got[2], 31), 1u) << "release transition";

  SwapBuffers(dc);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "not due before swap 2";
  SwapBuffers(dc);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_SYSKEYDOWN);
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>('X'));
  EXPECT_EQ(bit(msg, 29), 1u) << "Alt held";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_SYSKEYDOWN);
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_F10));
  EXPECT_EQ(bit(msg, 29), 0u) << "F10 is a system key without Alt";
}

TEST_F(MessageQueue, ScriptedEventsKeepTheirOrderAndWaitForAWindow) {
  HeadlessKeyDownAt(0, 'A');
  HeadlessActionAt(0, HeadlessAction::Minimize);
  HeadlessKeyUpAt(0, 'A');
  MSG msg{};
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "no window yet";

  RegisterRecorder();
  HWND window = MakeWindow(32, 32);
  Seen.clear();
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_KEYDOWN);
  EXPECT_EQ(msg.hwnd, window);
  EXPECT_TRUE(Seen.empty()) << "the minimise comes after the key-down is retrieved";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(SeenNumbers(), (std::vector<UINT>{WM_SYSCOMMAND, WM_SIZE, WM_ACTIVATE}))
      << "sent inside PeekMessageA before the key-up is handed out";
  EXPECT_EQ(msg.message, WM_KEYUP);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(MessageQueue, CloseRequestsReachWmCloseThroughDefaultProcessing) {
  RegisterRecorder();
  HWND window = MakeWindow(32, 32);

  // A program that answers WM_CLOSE with a quit message: the window stays.
  CloseQuits = true;
  HeadlessActionAt(0, HeadlessAction::Close);
  Seen.clear();
  std::vector<UINT> retrieved = Drain();
  ASSERT_FALSE(retrieved.empty());
  EXPECT_EQ(retrieved.front(), WM_SYSCOMMAND);
  EXPECT_EQ(retrieved.back(), WM_QUIT);
  ASSERT_EQ(SeenOf(WM_SYSCOMMAND).size(), 1u);
  EXPECT_EQ(SeenOf(WM_SYSCOMMAND)[0].wParam, SC_CLOSE);
  EXPECT_EQ(SeenOf(WM_CLOSE).size(), 1u);
  EXPECT_TRUE(HeadlessWindow(window).exists);

  // Alt+F4 takes the same road.
  HeadlessEvent altF4;
  altF4.action = HeadlessAction::SysKeyDown;
  altF4.key = VK_F4;
  HeadlessScript(0, altF4);
  Seen.clear();
  Drain();
  EXPECT_EQ(SeenNumbers(), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSCOMMAND, WM_CLOSE}));

  // Left to default processing, WM_CLOSE destroys the window.
  CloseQuits = false;
  HeadlessActionAt(0, HeadlessAction::Close);
  Seen.clear();
  Drain();
  EXPECT_EQ(SeenNumbers(), (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(HeadlessWindow(window).exists);
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
}

TEST_F(MessageQueue, DefaultProcessingOfSystemCommands) {
  RegisterRecorder();
  HWND window = MakeWindow(80, 60);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);

  // The screen saver may start when the request reaches default processing...
  EXPECT_TRUE(CoreScreenSaverAllowed(window, SC_SCREENSAVE));
  EXPECT_TRUE(CoreScreenSaverAllowed(window, SC_MONITORPOWER));
  // ...and not when the procedure swallows it.
  SwallowScreenSaver = true;
  EXPECT_FALSE(CoreScreenSaverAllowed(window, SC_SCREENSAVE));
  EXPECT_FALSE(CoreScreenSaverAllowed(window, SC_MONITORPOWER));

  Seen.clear();
  SendMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(HeadlessWindow(window).minimized);
  ASSERT_EQ(SeenOf(WM_SIZE).size(), 1u);
  EXPECT_EQ(SeenOf(WM_SIZE)[0].wParam, SIZE_MINIMIZED);
  Seen.clear();
  SendMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(HeadlessWindow(window).minimized);
  ASSERT_EQ(SeenOf(WM_SIZE).size(), 1u);
  EXPECT_EQ(SeenOf(WM_SIZE)[0].lParam, MAKELPARAM(80, 60));

  // Other messages default to 0 and change nothing.
  EXPECT_EQ(DefWindowProcA(window, WM_KEYDOWN, VK_F4, 0), 0);
  EXPECT_EQ(DefWindowProcA(window, WM_SYSCOMMAND, SC_MOVE, 0), 0);
  EXPECT_TRUE(HeadlessWindow(window).exists);
}

} // namespace
