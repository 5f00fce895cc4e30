// MessageTrace.cpp: builds the scene window's kind of window (same class styles, window
// styles, pixel format and GL context) and prints, one line each, the messages its window
// procedure receives that the program acts on: activation and minimisation, client size,
// keys, system commands, close and destroy, and the quit code. Markers show which call a
// message came from. The same source builds against our Linux layer and against real
// Windows, so the two implementations can be held to one recorded trace.
//
// It runs until its window is closed, or until Escape; Escape destroys the window itself.
#include "Win32.h"

#include <cstdio>

namespace {

const char* KeyName(WPARAM key) {
  switch (key) {
  case VK_ESCAPE:
    return "Escape";
  case VK_UP:
    return "Up";
  case VK_DOWN:
    return "Down";
  case VK_LEFT:
    return "Left";
  case VK_RIGHT:
    return "Right";
  case VK_F1:
    return "F1";
  default:
    return nullptr;
  }
}

void Trace(const char* format, unsigned a = 0, unsigned b = 0, unsigned c = 0) {
  std::printf(format, a, b, c);
  std::printf("\n");
  std::fflush(stdout);
}

HWND TraceWindow = nullptr;
int LastMinimized = -1; // no WM_ACTIVATE yet

LRESULT CALLBACK TraceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_NCCREATE:
    Trace("WM_NCCREATE");
    break;
  case WM_CREATE:
    Trace("WM_CREATE");
    break;
  case WM_ACTIVATE: {
    // The program reads only the minimised flag, so only its changes are traced; how often
    // focus comes and goes in between is the window manager's business.
    const int minimized = HIWORD(wParam) != 0 ? 1 : 0;
    if (minimized != LastMinimized) {
      LastMinimized = minimized;
      Trace("WM_ACTIVATE minimized=%u", static_cast<unsigned>(minimized));
    }
    return 0;
  }
  case WM_SIZE:
    Trace("WM_SIZE type=%u %ux%u", static_cast<unsigned>(wParam), LOWORD(lParam), HIWORD(lParam));
    return 0;
  case WM_KEYDOWN:
  case WM_KEYUP:
    // Only the keys the program uses: a window manager or input method may add others.
    if (const char* name = KeyName(wParam)) {
      std::printf("%s %s\n", message == WM_KEYDOWN ? "WM_KEYDOWN" : "WM_KEYUP", name);
      std::fflush(stdout);
    }
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
      DestroyWindow(window);
    }
    return 0;
  case WM_SYSCOMMAND:
    // The screen-saver questions come whenever each system decides to ask: not traced.
    if ((wParam & 0xFFF0) != SC_SCREENSAVE && (wParam & 0xFFF0) != SC_MONITORPOWER) {
      Trace("WM_SYSCOMMAND 0x%04X", static_cast<unsigned>(wParam & 0xFFF0));
    }
    break;
  case WM_CLOSE:
    Trace("WM_CLOSE");
    break; // default processing destroys the window
  case WM_DESTROY:
    Trace("WM_DESTROY");
    PostQuitMessage(3);
    return 0;
  case WM_NCDESTROY:
    Trace("WM_NCDESTROY");
    TraceWindow = nullptr;
    break;
  default:
    break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = TraceWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "MessageTrace";
  if (RegisterClassA(&windowClass) == 0) {
    Trace("RegisterClassA failed");
    return 1;
  }

  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
  RECT frame = {0, 0, 640, 480};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  Trace("-- CreateWindowExA");
  TraceWindow = CreateWindowExA(exStyle, "MessageTrace", "Message Trace", style, 0, 0,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, nullptr);
  if (TraceWindow == nullptr) {
    Trace("CreateWindowExA failed");
    return 1;
  }

  PIXELFORMATDESCRIPTOR request = {};
  request.nSize = sizeof request;
  request.nVersion = 1;
  request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  request.iPixelType = PFD_TYPE_RGBA;
  request.cColorBits = 16;
  request.cDepthBits = 16;
  request.iLayerType = PFD_MAIN_PLANE;
  HDC dc = GetDC(TraceWindow);
  const int format = dc != nullptr ? ChoosePixelFormat(dc, &request) : 0;
  HGLRC context = nullptr;
  if (format != 0 && SetPixelFormat(dc, format, &request)) {
    context = wglCreateContext(dc);
  }
  if (context == nullptr || !wglMakeCurrent(dc, context)) {
    Trace("GL set-up failed");
    return 1;
  }

  Trace("-- ShowWindow");
  ShowWindow(TraceWindow, SW_SHOW);
  Trace("-- SetForegroundWindow");
  SetForegroundWindow(TraceWindow);
  Trace("-- SetFocus");
  SetFocus(TraceWindow);
  Trace("-- loop");

  MSG message = {};
  bool running = true;
  while (running) {
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        Trace("WM_QUIT %u", static_cast<unsigned>(message.wParam));
        running = false;
        break;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (running) {
      glClear(GL_COLOR_BUFFER_BIT);
      SwapBuffers(dc);
    }
  }
  // The window is gone with its device context; the context is released as the program
  // does it.
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(context);
  UnregisterClassA("MessageTrace", instance);
  return static_cast<int>(message.wParam);
}
