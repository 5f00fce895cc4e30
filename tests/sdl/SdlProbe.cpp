// SdlProbe.cpp: sdl-probe, a small program on the SDL backend that the e2e scripts drive.
// It opens a GL window the way the real program does and prints, one per line on stdout,
// every message its window procedure receives, so a script can check what real X events
// became.
//
//   sdl-probe window [--title T] [--fullscreen] [--swallow-saver] [--slow-minimize]
//       Opens a 640x480 client-area window (a full-screen popup after a successful
//       ChangeDisplaySettingsA with --fullscreen), draws an orange quad on blue each frame,
//       and runs until WM_QUIT; WM_CLOSE posts the quit (exit code 0). Prints
//       "display <result>", "format <colour> <depth> <double>", "pixel <r> <g> <b>" (the
//       centre of the first frame, read back before the swap), "ready", "saver on|off" on
//       every change of SDL's screen-saver state, "msg <NAME> <wParam> <lParam>" per
//       message, "quit <code>", "restored fullscreen <n>" (full-screen windows left after
//       ChangeDisplaySettingsA(NULL, 0)), "cursor <0|1>" (SDL's cursor after each ShowCursor
//       in full screen), and "teardown ok" or "teardown failed".
//       Window creation failing prints "create failed" and exits 0, as the program does.
//   sdl-probe dialog ok|yesno TEXT CAPTION
//       Shows one message box and prints "answer <id>".
#include "Win32.h"

#include <GL/gl.h>
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

bool swallowSaver = false;
// Keeps the window procedure busy for two seconds on SC_MINIMIZE ("busy" on stdout), as a
// slow program would be, so that a restore can happen before default processing runs.
bool slowMinimize = false;

const char* MessageName(UINT message) {
  switch (message) {
  case WM_CREATE:
    return "WM_CREATE";
  case WM_DESTROY:
    return "WM_DESTROY";
  case WM_SIZE:
    return "WM_SIZE";
  case WM_ACTIVATE:
    return "WM_ACTIVATE";
  case WM_CLOSE:
    return "WM_CLOSE";
  case WM_KEYDOWN:
    return "WM_KEYDOWN";
  case WM_KEYUP:
    return "WM_KEYUP";
  case WM_CHAR:
    return "WM_CHAR";
  case WM_SYSKEYDOWN:
    return "WM_SYSKEYDOWN";
  case WM_SYSKEYUP:
    return "WM_SYSKEYUP";
  case WM_SYSCHAR:
    return "WM_SYSCHAR";
  case WM_SYSCOMMAND:
    return "WM_SYSCOMMAND";
  default:
    return nullptr;
  }
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (const char* name = MessageName(message)) {
    std::printf("msg %s 0x%lx 0x%lx\n", name, static_cast<unsigned long>(wParam),
                static_cast<unsigned long>(static_cast<std::uintptr_t>(lParam) & 0xFFFFFFFFu));
    std::fflush(stdout);
  }
  switch (message) {
  case WM_SYSCOMMAND:
    if (swallowSaver && (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER)) {
      return 0;
    }
    if (slowMinimize && wParam == SC_MINIMIZE) {
      std::puts("busy");
      std::fflush(stdout);
      std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    break;
  case WM_CLOSE:
    PostQuitMessage(0);
    return 0;
  default:
    break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Line(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

void DrawFrame() {
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glColor3f(1.0f, 0.5f, 0.0f);
  glBegin(GL_QUADS);
  glVertex3f(-0.5f, -0.5f, 0.0f);
  glVertex3f(0.5f, -0.5f, 0.0f);
  glVertex3f(0.5f, 0.5f, 0.0f);
  glVertex3f(-0.5f, 0.5f, 0.0f);
  glEnd();
}

// SDL windows still in full-screen state (the probe's own window, seen from SDL's side).
int FullscreenWindowCount() {
  int count = 0;
  for (Uint32 id = 1; id < 64; ++id) {
    SDL_Window* window = SDL_GetWindowFromID(id);
    if (window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0) {
      ++count;
    }
  }
  return count;
}

int RunWindow(const std::string& title, bool fullscreen) {
  constexpr int Width = 640;
  constexpr int Height = 480;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = ProbeWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = "Probe";
  if (RegisterClassA(&windowClass) == 0) {
    Line("register failed");
    return 1;
  }
  if (fullscreen) {
    DEVMODEA mode{};
    mode.dmSize = sizeof(DEVMODEA);
    mode.dmPelsWidth = Width;
    mode.dmPelsHeight = Height;
    mode.dmBitsPerPel = 16;
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    const LONG result = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    std::printf("display %ld\n", static_cast<long>(result));
    std::fflush(stdout);
    fullscreen = result == DISP_CHANGE_SUCCESSFUL;
  }
  const DWORD style = fullscreen ? WS_POPUP : WS_OVERLAPPEDWINDOW;
  const DWORD exStyle = fullscreen ? WS_EX_APPWINDOW : WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
  if (fullscreen) {
    ShowCursor(FALSE);
    std::printf("cursor %d\n", SDL_ShowCursor(SDL_QUERY));
  }
  RECT rect{0, 0, Width, Height};
  AdjustWindowRectEx(&rect, style, FALSE, exStyle);
  HWND window = CreateWindowExA(
      exStyle, "Probe", title.c_str(), style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
      rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
  bool ok = window != nullptr;
  if (!ok) {
    Line("create failed");
  }
  HDC dc = ok ? GetDC(window) : nullptr;
  HGLRC context = nullptr;
  if (dc != nullptr) {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof(request);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 16;
    request.cDepthBits = 16;
    const int format = ChoosePixelFormat(dc, &request);
    PIXELFORMATDESCRIPTOR described{};
    ok = format != 0 && SetPixelFormat(dc, format, &request) &&
         DescribePixelFormat(dc, format, sizeof(described), &described) != 0;
    if (ok) {
      std::printf("format %d %d %d\n", described.cColorBits, described.cDepthBits,
                  (described.dwFlags & PFD_DOUBLEBUFFER) != 0 ? 1 : 0);
      context = wglCreateContext(dc);
      ok = context != nullptr && wglMakeCurrent(dc, context);
    }
  }
  int exitCode = 0;
  if (ok) {
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(window);
    glViewport(0, 0, Width, Height);
    DrawFrame();
    GLubyte pixel[3] = {0, 0, 0};
    glReadBuffer(GL_BACK);
    glReadPixels(Width / 2, Height / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
    std::printf("pixel %d %d %d\n", pixel[0], pixel[1], pixel[2]);
    Line("ready");
    int saver = -1;
    MSG msg{};
    while (true) {
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          std::printf("quit %d\n", static_cast<int>(msg.wParam));
          exitCode = static_cast<int>(msg.wParam);
          break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        continue;
      }
      const int saverNow = SDL_IsScreenSaverEnabled() == SDL_TRUE ? 1 : 0;
      if (saverNow != saver) {
        saver = saverNow;
        Line(saver != 0 ? "saver on" : "saver off");
      }
      DrawFrame();
      SwapBuffers(dc);
      SDL_Delay(5); // the machine is shared; no need to spin at full speed
    }
  }
  // Tear-down in the program's order; every step runs.
  bool clean = true;
  if (fullscreen) {
    ChangeDisplaySettingsA(nullptr, 0);
    ShowCursor(TRUE);
    std::printf("restored fullscreen %d\n", FullscreenWindowCount());
    std::printf("cursor %d\n", SDL_ShowCursor(SDL_QUERY));
  }
  if (context != nullptr) {
    clean = wglMakeCurrent(nullptr, nullptr) && clean;
    clean = wglDeleteContext(context) && clean;
  }
  if (dc != nullptr) {
    clean = ReleaseDC(window, dc) != 0 && clean;
  }
  if (window != nullptr) {
    clean = DestroyWindow(window) && clean;
  }
  clean = UnregisterClassA("Probe", instance) && clean;
  Line(clean ? "teardown ok" : "teardown failed");
  return window != nullptr && !ok ? 1 : exitCode;
}

int RunDialog(const std::string& kind, const char* text, const char* caption) {
  const UINT type = kind == "yesno" ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONEXCLAMATION;
  const int answer = MessageBoxA(nullptr, text, caption, type);
  std::printf("answer %d\n", answer);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "window") {
    std::string title = "Probe Window";
    bool fullscreen = false;
    for (int i = 2; i < argc; ++i) {
      if (std::strcmp(argv[i], "--title") == 0 && i + 1 < argc) {
        title = argv[++i];
      } else if (std::strcmp(argv[i], "--fullscreen") == 0) {
        fullscreen = true;
      } else if (std::strcmp(argv[i], "--swallow-saver") == 0) {
        swallowSaver = true;
      } else if (std::strcmp(argv[i], "--slow-minimize") == 0) {
        slowMinimize = true;
      }
    }
    return RunWindow(title, fullscreen);
  }
  if (command == "dialog" && argc == 5) {
    return RunDialog(argv[2], argv[3], argv[4]);
  }
  std::fprintf(stderr, "usage: sdl-probe window [--title T] [--fullscreen] [--swallow-saver] "
                       "[--slow-minimize]\n"
                       "       sdl-probe dialog ok|yesno TEXT CAPTION\n");
  return 2;
}
