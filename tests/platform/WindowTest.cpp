// WindowTest.cpp: class registration rules, window creation and destruction messages,
// frame sizes, the synchronous messages of showing and focusing, minimise/restore/resize
// from scripted input, the cursor counter, display modes, device contexts and pixel
// formats.
#include "PlatformTestSupport.h"

#include <set>

namespace {

using Windows = PlatformTest;

LRESULT RefuseCreation(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Seen.push_back(SeenMessage{window, message, wParam, lParam});
  if (message == WM_CREATE) {
    return -1;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(Windows, ClassRegistrationFollowsWin32Rules) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RecordingProc;
  windowClass.lpszClassName = "OpenGL";
  ATOM atom = RegisterClassA(&windowClass);
  EXPECT_NE(atom, 0);
  EXPECT_TRUE(HeadlessClassRegistered("OpenGL"));
  EXPECT_EQ(RegisterClassA(&windowClass), 0) << "duplicate name";
  windowClass.lpszClassName = "opengl";
  EXPECT_EQ(RegisterClassA(&windowClass), 0) << "class names ignore case";
  WNDCLASSA noProcedure{};
  noProcedure.lpszClassName = "Other";
  EXPECT_EQ(RegisterClassA(&noProcedure), 0);
  EXPECT_EQ(RegisterClassA(nullptr), 0);

  EXPECT_FALSE(UnregisterClassA("Unknown", nullptr));
  HWND window =
      CreateWindowExA(0, "OpenGL", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(UnregisterClassA("OpenGL", nullptr)) << "a window of the class exists";
  EXPECT_TRUE(HeadlessClassRegistered("OpenGL"));
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_TRUE(UnregisterClassA("OpenGL", GetModuleHandleA(nullptr)));
  EXPECT_FALSE(UnregisterClassA("OpenGL", nullptr)) << "already gone";
  EXPECT_EQ(
      CreateWindowExA(0, "OpenGL", "t", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  windowClass.lpszClassName = "OpenGL";
  EXPECT_NE(RegisterClassA(&windowClass), 0) << "the name is free again";
}

TEST_F(Windows, CreationAndDestructionSendTheirMessagesAndHandlesAreNeverReused) {
  RegisterRecorder();
  int param = 0;
  HWND window = CreateWindowExA(WS_EX_APPWINDOW, "Recorder", "Talvern Corridor", WS_POPUP, 5, 6,
                                320, 200, nullptr, nullptr, GetModuleHandleA(nullptr), &param);
  ASSERT_NE(window, nullptr);
  ASSERT_EQ(SeenNumbers(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
  EXPECT_EQ(Seen[1].window, window);
  EXPECT_EQ(LastCreate.cx, 320);
  EXPECT_EQ(LastCreate.cy, 200);
  EXPECT_EQ(LastCreate.x, 5);
  EXPECT_EQ(LastCreate.name, "Talvern Corridor");
  EXPECT_EQ(LastCreate.className, "Recorder");
  EXPECT_EQ(LastCreate.param, &param);
  HeadlessWindowInfo info = HeadlessWindow(window);
  EXPECT_EQ(info.title, "Talvern Corridor");
  EXPECT_EQ(info.className, "Recorder");
  EXPECT_EQ(info.x, 5);
  EXPECT_EQ(info.y, 6);
  EXPECT_EQ(info.outerWidth, 320);
  EXPECT_EQ(info.clientWidth, 320) << "a popup has no frame";
  EXPECT_FALSE(info.visible);
  EXPECT_EQ(HeadlessNewestWindow(), window);

  Seen.clear();
  ASSERT_TRUE(DestroyWindow(window));
  EXPECT_EQ(SeenNumbers(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_FALSE(DestroyWindow(window)) << "unknown handle";
  EXPECT_EQ(HeadlessNewestWindow(), nullptr);

  std::set<HWND> handles{window};
  for (int i = 0; i < 3; ++i) {
    HWND again = MakeWindow(10, 10);
    EXPECT_TRUE(handles.insert(again).second);
    DestroyWindow(again);
  }
  HeadlessReset();
  RegisterRecorder();
  EXPECT_TRUE(handles.insert(MakeWindow(10, 10)).second) << "not even after a reset";

  // A procedure that refuses WM_CREATE abandons the window.
  WNDCLASSA refusing{};
  refusing.lpfnWndProc = RefuseCreation;
  refusing.lpszClassName = "Refusing";
  ASSERT_NE(RegisterClassA(&refusing), 0);
  int before = HeadlessLiveWindowCount();
  Seen.clear();
  EXPECT_EQ(
      CreateWindowExA(0, "Refusing", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
      nullptr);
  EXPECT_EQ(SeenNumbers(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(HeadlessLiveWindowCount(), before);
}

TEST_F(Windows, AdjustedOuterSizeGivesTheRequestedClientArea) {
  RECT popup{0, 0, 640, 480};
  ASSERT_TRUE(AdjustWindowRectEx(&popup, WS_POPUP, FALSE, WS_EX_APPWINDOW));
  EXPECT_EQ(popup.left, 0);
  EXPECT_EQ(popup.top, 0);
  EXPECT_EQ(popup.right, 640);
  EXPECT_EQ(popup.bottom, 480);

  RECT framed{0, 0, 640, 480};
  ASSERT_TRUE(
      AdjustWindowRectEx(&framed, WS_OVERLAPPEDWINDOW, FALSE, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE));
  EXPECT_LT(framed.left, 0);
  EXPECT_LT(framed.top, framed.left) << "the caption sits above the top border";
  EXPECT_GT(framed.right, 640);
  EXPECT_GT(framed.bottom, 480);
  EXPECT_FALSE(AdjustWindowRectEx(nullptr, WS_POPUP, FALSE, 0));

  RegisterRecorder();
  HWND window = MakeWindow(640, 480);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right - client.left, 640);
  EXPECT_EQ(client.bottom - client.top, 480);
  HeadlessWindowInfo info = HeadlessWindow(window);
  EXPECT_EQ(info.outerWidth, framed.right - framed.left);
  EXPECT_EQ(info.outerHeight, framed.bottom - framed.top);
}

TEST_F(Windows, ShowingAndFocusingDeliverTheirMessagesBeforeReturning) {
  RegisterRecorder();
  HWND window = MakeWindow(640, 480);
  Seen.clear();

  // Showing activates the window first, then reports its size (the order Windows keeps).
  EXPECT_FALSE(ShowWindow(window, SW_SHOW)) << "it was hidden";
  ASSERT_EQ(SeenNumbers(), (std::vector<UINT>{WM_ACTIVATE, WM_SIZE}));
  EXPECT_EQ(LOWORD(Seen[0].wParam), WA_ACTIVE);
  EXPECT_EQ(HIWORD(Seen[0].wParam), 0) << "not minimised";
  EXPECT_EQ(Seen[1].wParam, SIZE_RESTORED);
  EXPECT_EQ(LOWORD(Seen[1].lParam), 640);
  EXPECT_EQ(HIWORD(Seen[1].lParam), 480);
  EXPECT_TRUE(HeadlessWindow(window).visible);
  EXPECT_EQ(GetFocus(), window) << "the shown window has the keyboard focus";
  EXPECT_TRUE(ShowWindow(window, SW_SHOW)) << "already visible";
  EXPECT_EQ(Seen.size(), 2u) << "no second size or activation message";

  Seen.clear();
  EXPECT_TRUE(SetForegroundWindow(window));
  EXPECT_EQ(SetFocus(window), window) << "returns the previous focus";
  EXPECT_TRUE(Seen.empty()) << "already active";

  // Focusing a second window deactivates the first, then activates the second.
  HWND other = MakeWindow(100, 100);
  Seen.clear();
  EXPECT_EQ(SetFocus(other), window);
  ASSERT_EQ(SeenOf(WM_ACTIVATE).size(), 2u);
  EXPECT_EQ(Seen[0].window, window);
  EXPECT_EQ(LOWORD(Seen[0].wParam), WA_INACTIVE);
  EXPECT_EQ(Seen[1].window, other);
  EXPECT_EQ(LOWORD(Seen[1].wParam), WA_ACTIVE);
  // Destroying the active window deactivates it before WM_DESTROY, as Windows does.
  Seen.clear();
  DestroyWindow(other);
  ASSERT_EQ(SeenNumbers(), (std::vector<UINT>{WM_ACTIVATE, WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(Seen[0].wParam, MAKEWPARAM(WA_INACTIVE, 0));
  EXPECT_EQ(GetFocus(), nullptr) << "the focus dies with its window";
  EXPECT_FALSE(ShowWindow(reinterpret_cast<HWND>(0x5), SW_SHOW));
}

TEST_F(Windows, ScriptedMinimiseRestoreResizeAndDeactivation) {
  RegisterRecorder();
  HWND window = MakeWindow(640, 480);
  HDC dc = GetDC(window);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  HeadlessActionAt(1, HeadlessAction::Minimize);
  HeadlessActionAt(2, HeadlessAction::Restore);
  HeadlessActionAt(3, HeadlessAction::Deactivate);
  HeadlessActionAt(3, HeadlessAction::Activate);
  HeadlessEvent resize;
  resize.action = HeadlessAction::Resize;
  resize.width = 300;
  resize.height = 200;
  HeadlessScript(4, resize);

  MSG msg{};
  auto pass = [&] {
    Seen.clear();
    // Size and activation messages are sent inside PeekMessageA, as Win32 sends them;
    // nothing is left in the queue for the caller.
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    SwapBuffers(dc);
  };

  pass();
  EXPECT_TRUE(Seen.empty()) << "nothing due at swap 0";
  // The window manager's minimise arrives as the system command; default processing
  // then minimises.
  pass();
  ASSERT_EQ(SeenNumbers(), (std::vector<UINT>{WM_SYSCOMMAND, WM_SIZE, WM_ACTIVATE}));
  EXPECT_EQ(Seen[0].wParam, SC_MINIMIZE);
  EXPECT_EQ(Seen[1].wParam, SIZE_MINIMIZED);
  EXPECT_EQ(Seen[1].lParam, 0) << "0 by 0 while minimised";
  EXPECT_EQ(LOWORD(Seen[2].wParam), WA_INACTIVE);
  EXPECT_NE(HIWORD(Seen[2].wParam), 0) << "minimised flag";
  EXPECT_TRUE(HeadlessWindow(window).minimized);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, 0);

  // Restore: the size comes back before the activation.
  pass();
  ASSERT_EQ(SeenNumbers(), (std::vector<UINT>{WM_SYSCOMMAND, WM_SIZE, WM_ACTIVATE}));
  EXPECT_EQ(Seen[0].wParam, SC_RESTORE);
  EXPECT_EQ(Seen[1].lParam, MAKELPARAM(640, 480));
  EXPECT_EQ(LOWORD(Seen[2].wParam), WA_ACTIVE);
  EXPECT_EQ(HIWORD(Seen[2].wParam), 0);

  pass();
  ASSERT_EQ(SeenNumbers(), (std::vector<UINT>{WM_ACTIVATE, WM_ACTIVATE}));
  EXPECT_EQ(Seen[0].wParam, MAKEWPARAM(WA_INACTIVE, 0)) << "focus lost, not minimised";
  EXPECT_EQ(Seen[1].wParam, MAKEWPARAM(WA_ACTIVE, 0));

  pass();
  ASSERT_EQ(SeenNumbers(), (std::vector<UINT>{WM_SIZE}));
  EXPECT_EQ(Seen[0].lParam, MAKELPARAM(300, 200));
  EXPECT_EQ(HeadlessWindow(window).clientWidth, 300);
  EXPECT_EQ(HeadlessWindow(window).clientHeight, 200);
}

TEST_F(Windows, ShowCursorKeepsTheDisplayCounter) {
  EXPECT_EQ(HeadlessCursorCounter(), 0);
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(ShowCursor(FALSE), -2);
  EXPECT_EQ(ShowCursor(TRUE), -1);
  EXPECT_EQ(ShowCursor(TRUE), 0);
  EXPECT_EQ(ShowCursor(TRUE), 1);
  EXPECT_EQ(HeadlessCursorCounter(), 1);
  HeadlessReset();
  EXPECT_EQ(HeadlessCursorCounter(), 0);
}

DEVMODEA ModeRequest(int width, int height, int bits) {
  DEVMODEA mode{};
  mode.dmSize = sizeof(DEVMODEA);
  mode.dmPelsWidth = static_cast<DWORD>(width);
  mode.dmPelsHeight = static_cast<DWORD>(height);
  mode.dmBitsPerPel = static_cast<DWORD>(bits);
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  return mode;
}

TEST_F(Windows, DisplayModesSwitchOnlyToOfferedModesAndPopupsFillTheScreen) {
  HeadlessMode desktop = HeadlessDisplayMode();
  EXPECT_EQ(desktop.width, 1024);
  EXPECT_EQ(desktop.height, 768);
  EXPECT_EQ(desktop.bitsPerPixel, 24);

  DEVMODEA tooBig = ModeRequest(800, 600, 16);
  EXPECT_EQ(ChangeDisplaySettingsA(&tooBig, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
  DEVMODEA tooDeep = ModeRequest(640, 480, 32);
  EXPECT_EQ(ChangeDisplaySettingsA(&tooDeep, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
  EXPECT_FALSE(HeadlessDisplayChanged());

  DEVMODEA wanted = ModeRequest(640, 480, 16);
  ASSERT_EQ(ChangeDisplaySettingsA(&wanted, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  EXPECT_TRUE(HeadlessDisplayChanged());
  EXPECT_EQ(HeadlessDisplayMode().width, 640);
  EXPECT_EQ(HeadlessDisplayMode().height, 480);

  RegisterRecorder();
  HWND popup = MakeWindow(640, 480, true);
  HWND framed = MakeWindow(200, 100);
  HeadlessWindowInfo popupInfo = HeadlessWindow(popup);
  EXPECT_TRUE(popupInfo.fullscreen);
  EXPECT_EQ(popupInfo.x, 0);
  EXPECT_EQ(popupInfo.y, 0);
  EXPECT_EQ(popupInfo.clientWidth, 640);
  EXPECT_EQ(popupInfo.clientHeight, 480);
  EXPECT_FALSE(HeadlessWindow(framed).fullscreen);

  EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
  EXPECT_FALSE(HeadlessDisplayChanged());
  EXPECT_EQ(HeadlessDisplayMode().width, desktop.width);
  EXPECT_EQ(HeadlessDisplayMode().bitsPerPixel, desktop.bitsPerPixel);
  EXPECT_FALSE(HeadlessWindow(popup).fullscreen);

  // A deeper offered mode satisfies a shallower request; no offered mode, no switch.
  HeadlessSetFullscreenModes({{640, 480, 32}});
  EXPECT_EQ(ChangeDisplaySettingsA(&wanted, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(HeadlessDisplayMode().bitsPerPixel, 32);
  ChangeDisplaySettingsA(nullptr, 0);
  HeadlessSetFullscreenModes({});
  EXPECT_EQ(ChangeDisplaySettingsA(&wanted, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
}

TEST_F(Windows, DeviceContextsAndPixelFormats) {
  RegisterRecorder();
  HWND first = MakeWindow(64, 64);
  HWND second = MakeWindow(64, 64);
  HDC firstDc = GetDC(first);
  HDC secondDc = GetDC(second);
  ASSERT_NE(firstDc, nullptr);
  ASSERT_NE(secondDc, nullptr);
  EXPECT_NE(firstDc, secondDc);
  EXPECT_EQ(GetDC(first), firstDc) << "a window keeps its own device context";
  EXPECT_EQ(GetDC(reinterpret_cast<HWND>(0x9)), nullptr);
  EXPECT_EQ(ReleaseDC(first, secondDc), 0) << "not that window's context";
  EXPECT_EQ(ReleaseDC(first, reinterpret_cast<HDC>(0x9)), 0);

  PIXELFORMATDESCRIPTOR request{};
  request.nSize = sizeof request;
  request.nVersion = 1;
  request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  request.cColorBits = 16;
  request.cDepthBits = 16;
  int format = ChoosePixelFormat(firstDc, &request);
  ASSERT_GT(format, 0);
  PIXELFORMATDESCRIPTOR chosen{};
  int count = DescribePixelFormat(firstDc, format, sizeof chosen, &chosen);
  EXPECT_GE(count, format);
  EXPECT_EQ(chosen.cColorBits, 16);
  EXPECT_EQ(chosen.cRedBits, 5);
  EXPECT_EQ(chosen.cGreenBits, 6);
  EXPECT_EQ(chosen.cBlueBits, 5);
  EXPECT_EQ(chosen.cDepthBits, 16);
  EXPECT_NE(chosen.dwFlags & PFD_DOUBLEBUFFER, 0u);
  EXPECT_NE(chosen.dwFlags & PFD_SUPPORT_OPENGL, 0u);

  request.cColorBits = 24;
  int deeper = ChoosePixelFormat(firstDc, &request);
  ASSERT_GT(deeper, 0);
  DescribePixelFormat(firstDc, deeper, sizeof chosen, &chosen);
  EXPECT_GE(chosen.cColorBits, 24);
  EXPECT_EQ(DescribePixelFormat(firstDc, count + 1, sizeof chosen, &chosen), 0);
  EXPECT_EQ(ChoosePixelFormat(firstDc, nullptr), 0);

  EXPECT_TRUE(SetPixelFormat(firstDc, format, &request));
  EXPECT_FALSE(SetPixelFormat(firstDc, format, &request)) << "set once per window";
  EXPECT_FALSE(SetPixelFormat(secondDc, count + 1, &request)) << "no such format";

  EXPECT_EQ(ReleaseDC(first, firstDc), 1);
  ASSERT_TRUE(DestroyWindow(second));
  EXPECT_EQ(ReleaseDC(second, secondDc), 0) << "gone with its window";
  EXPECT_FALSE(SwapBuffers(secondDc));
}

} // namespace
