// SdlBackend.cpp: the SDL2 backend of the Win32-shaped platform layer: real windows,
// events turned into window messages, signals, the screen saver, and the public Win32
// entry points that forward to the shared core.
//
// Features (what this backend gives the program, and what it does not):
//  [x] Real display drivers only (X11, then Wayland). With no display SDL would pick its
//      offscreen driver; here window creation fails instead and dialogs go to stderr.
//  [x] Windows with a client area of exactly the requested size; WS_OVERLAPPEDWINDOW is
//      decorated and resizable, WS_POPUP is borderless, and a WS_POPUP window of the
//      switched size created after ChangeDisplaySettingsA(CDS_FULLSCREEN) is full screen.
//  [x] Keyboard: every key mapped to its virtual-key code and scan code; auto-repeat
//      gives repeated WM_KEYDOWN; Alt+key, Alt and F10 give WM_SYSKEYDOWN/WM_SYSKEYUP.
//  [x] Minimise/restore from the window manager -> WM_SYSCOMMAND SC_MINIMIZE/SC_RESTORE,
//      whose default processing sends WM_SIZE (0 by 0 while minimised) and WM_ACTIVATE
//      (minimised flag in the high word); focus -> WM_ACTIVATE; size changes -> WM_SIZE.
//  [x] Window-manager close (close box, Alt+F4) -> WM_SYSCOMMAND SC_CLOSE -> WM_CLOSE.
//  [x] SIGINT/SIGTERM -> the same close request, so the program's own tear-down runs and
//      a switched display mode is restored. A second signal before the first is handled,
//      or a signal while no window exists, ends the process as usual.
//  [x] Screen saver and monitor power-down: while a window is shown, asked of its window
//      procedure (WM_SYSCOMMAND SC_SCREENSAVE / SC_MONITORPOWER) every few seconds and
//      allowed or held off through SDL accordingly.
//  [x] ShowCursor's counter drives SDL_ShowCursor.
//  [x] GL: GetDC/ReleaseDC; pixel formats that describe the real GL visual, the window's
//      own or, for a request asking more, one made for it; compatibility contexts for
//      GL 1.1 immediate mode and GLU; SwapBuffers (SdlGl.cpp).
//  [x] Display modes checked against SDL's own mode list (SdlDisplay.cpp).
//  [x] MessageBoxA through SDL's message box, stderr when none can be shown (SdlDialog.cpp).
//  [ ] Mouse input, WM_CHAR for non-ASCII text, WM_PAINT, multiple displays (display 0
//      only), changing the display mode with no window (the mode takes effect with the
//      full-screen window), accumulation buffers, stereo, colour-index formats.
#include "SdlBackend.h"

#include "Core.h"

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// ---- Video start-up ---------------------------------------------------------------------

enum class VideoState { Untried, Ready, Unavailable };
VideoState videoState = VideoState::Untried;
bool cursorVisible = true;

// At exit, windows that the program left open go, so that a full-screen mode is given back.
// SDL itself stays up until the process ends: shutting it down would unload the GL driver,
// and the leak checker of sanitizer builds trips over the thread-local storage of a driver
// that is gone.
void ShutDownVideo();

// ---- Windows ----------------------------------------------------------------------------

std::vector<SdlWindow*> windows;
std::uintptr_t nextDeviceContext = 0x20000;

// ---- Signals ----------------------------------------------------------------------------

volatile std::sig_atomic_t closeRequested = 0;
volatile std::sig_atomic_t liveWindows = 0;
bool signalsInstalled = false;

extern "C" void OnTerminationSignal(int signal) {
  if (liveWindows == 0 || closeRequested != 0) {
    // Nothing to close, or the earlier request was not taken up: end as usual.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  closeRequested = 1;
}

void InstallSignalHandlers() {
  if (signalsInstalled) {
    return;
  }
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signalsInstalled = true;
}

void ShutDownVideo() {
  for (SdlWindow* window : windows) {
    SDL_DestroyWindow(window->window);
    delete window;
  }
  windows.clear();
  liveWindows = 0;
}

// ---- Screen saver -------------------------------------------------------------------------

constexpr Uint64 SaverCheckInterval = 5000; // milliseconds
Uint64 lastSaverCheck = 0;
bool saverCheckDue = true;

// The window that decides about the screen saver: the focused one, else the newest shown.
HWND SaverWindow() {
  if (CoreWindow* focused = CoreFindWindow(CoreGetFocus())) {
    if (focused->visible && !focused->minimized) {
      return focused->handle;
    }
  }
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
    CoreWindow* record = CoreFindWindow((*it)->handle);
    if (record != nullptr && record->visible && !record->minimized) {
      return record->handle;
    }
  }
  return nullptr;
}

void UpdateScreenSaver() {
  const Uint64 now = SDL_GetTicks64();
  if (!saverCheckDue && now - lastSaverCheck < SaverCheckInterval) {
    return;
  }
  saverCheckDue = false;
  lastSaverCheck = now;
  bool allowed = true;
  if (HWND window = SaverWindow()) {
    const bool saver = CoreScreenSaverAllowed(window, SC_SCREENSAVE);
    const bool power = CoreScreenSaverAllowed(window, SC_MONITORPOWER);
    allowed = saver && power; // SDL holds both off together
  }
  if (allowed != (SDL_IsScreenSaverEnabled() == SDL_TRUE)) {
    if (allowed) {
      SDL_EnableScreenSaver();
    } else {
      SDL_DisableScreenSaver();
    }
  }
}

// ---- Events -------------------------------------------------------------------------------

HWND WindowOfEvent(Uint32 windowId) {
  SdlWindow* window = SdlFindWindowBySdl(SDL_GetWindowFromID(windowId));
  return window != nullptr ? window->handle : nullptr;
}

void HandleWindowEvent(const SDL_WindowEvent& event) {
  HWND handle = WindowOfEvent(event.windowID);
  if (handle == nullptr) {
    return;
  }
  switch (event.event) {
  case SDL_WINDOWEVENT_MINIMIZED:
  case SDL_WINDOWEVENT_RESTORED:
    // The window manager's minimise and restore reach the window procedure as the system
    // commands Windows sends for them; default processing then minimises or restores. The
    // native window has already changed, and a request echoed back to the window manager
    // could arrive after the user's next change and undo it (a quick restore minimised
    // again), so default processing only records the new state.
    if (CoreWindow* record = CoreFindWindow(handle)) {
      const bool minimized = event.event == SDL_WINDOWEVENT_MINIMIZED;
      if (record->minimized != minimized) {
        auto* window = static_cast<SdlWindow*>(record->native);
        if (window != nullptr) {
          window->nativeStateChange = true;
        }
        CoreSendMessage(handle, WM_SYSCOMMAND, minimized ? SC_MINIMIZE : SC_RESTORE, 0);
        // The window procedure may have destroyed the window meanwhile.
        if (CoreWindow* still = CoreFindWindow(handle);
            still != nullptr && still->native != nullptr) {
          static_cast<SdlWindow*>(still->native)->nativeStateChange = false;
        }
      }
    }
    saverCheckDue = true;
    break;
  case SDL_WINDOWEVENT_MAXIMIZED:
    CoreMinimizedChanged(handle, false);
    saverCheckDue = true;
    break;
  case SDL_WINDOWEVENT_FOCUS_GAINED:
    CoreFocusChanged(handle, true);
    saverCheckDue = true;
    break;
  case SDL_WINDOWEVENT_FOCUS_LOST:
    CoreFocusChanged(handle, false);
    break;
  case SDL_WINDOWEVENT_SIZE_CHANGED: {
    CoreWindow* record = CoreFindWindow(handle);
    if (record != nullptr && !record->minimized && event.data1 > 0 && event.data2 > 0) {
      CoreClientSizeChanged(handle, event.data1, event.data2);
    }
    break;
  }
  case SDL_WINDOWEVENT_CLOSE:
    CorePostMessage(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
    break;
  default:
    break;
  }
}

void HandleKeyEvent(const SDL_KeyboardEvent& event) {
  // A key event for a window that has gone (say, torn down and rebuilt in between) is
  // lost with it, as its messages would be; one that SDL could not give a window goes to
  // the window with the focus.
  HWND handle = event.windowID != 0 ? WindowOfEvent(event.windowID) : CoreGetFocus();
  SdlKeyMessage message;
  if (handle != nullptr && SdlTranslateKey(event, message)) {
    CorePostMessage(handle, message.message, message.wParam, message.lParam);
  }
}

} // namespace

// ---- Shared with the other files of the backend ----------------------------------------------

bool SdlVideoReady() {
  if (videoState != VideoState::Untried) {
    return videoState == VideoState::Ready;
  }
  videoState = VideoState::Unavailable;
  // Signals are ours to turn into close requests; the screen saver is left alone until a
  // window procedure has been asked.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
  for (const char* driver : {"x11", "wayland"}) {
    // Wayland only when a compositor is named: without one its library complains on
    // stderr about the runtime directory before failing.
    const char* compositor = std::getenv("WAYLAND_DISPLAY");
    if (SDL_strcmp(driver, "wayland") == 0 && (compositor == nullptr || *compositor == '\0')) {
      continue;
    }
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, driver, SDL_HINT_OVERRIDE);
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
      videoState = VideoState::Ready;
      break;
    }
  }
  if (videoState != VideoState::Ready) {
    return false;
  }
  std::atexit(ShutDownVideo);
  // Keep the GL library loaded for the whole run. SDL otherwise unloads it, and the GL
  // driver with it, whenever the last GL window goes, only to load it again for the next
  // one (a display switch destroys the window and builds a new one); see ShutDownVideo.
  SDL_GL_LoadLibrary(nullptr);
  SDL_ShowCursor(cursorVisible ? SDL_ENABLE : SDL_DISABLE);
  return true;
}

SdlWindow* SdlFindWindow(HWND handle) {
  if (handle == nullptr) {
    return nullptr;
  }
  for (SdlWindow* window : windows) {
    if (window->handle == handle) {
      return window;
    }
  }
  return nullptr;
}

SdlWindow* SdlFindWindowByDc(HDC dc) {
  if (dc == nullptr) {
    return nullptr;
  }
  for (SdlWindow* window : windows) {
    if (window->deviceContext == dc) {
      return window;
    }
  }
  return nullptr;
}

SdlWindow* SdlFindWindowBySdl(SDL_Window* native) {
  if (native == nullptr) {
    return nullptr;
  }
  for (SdlWindow* window : windows) {
    if (window->window == native) {
      return window;
    }
  }
  return nullptr;
}

const std::vector<SdlWindow*>& SdlWindows() {
  return windows;
}

// ---- Backend hooks of the core ------------------------------------------------------------------

bool BackendCreateWindow(CoreWindow& record) {
  if (!SdlVideoReady()) {
    return false;
  }
  // The GL visual is chosen now: the usual request's sizes (see SdlVisual).
  const SdlVisual visual;
  SdlUseVisual(visual);

  const SDL_DisplayMode* mode = SdlSwitchedMode();
  const bool popup = (record.style & WS_POPUP) != 0;
  const bool fullscreen =
      popup && mode != nullptr && record.clientWidth == mode->w && record.clientHeight == mode->h;
  Uint32 flags = SDL_WINDOW_OPENGL;
  if ((record.style & WS_VISIBLE) == 0) {
    flags |= SDL_WINDOW_HIDDEN;
  }
  if (popup) {
    flags |= SDL_WINDOW_BORDERLESS;
  } else if ((record.style & WS_THICKFRAME) != 0) {
    flags |= SDL_WINDOW_RESIZABLE;
  }
  if (fullscreen) {
    flags |= SDL_WINDOW_FULLSCREEN;
  }
  const int width = record.clientWidth > 0 ? record.clientWidth : 1;
  const int height = record.clientHeight > 0 ? record.clientHeight : 1;
  SDL_Window* native =
      SDL_CreateWindow(record.title.c_str(), record.x, record.y, width, height, flags);
  if (native == nullptr) {
    return false;
  }
  if (fullscreen && SDL_SetWindowDisplayMode(native, mode) != 0) {
    SDL_DestroyWindow(native);
    return false;
  }
  auto* window = new SdlWindow;
  window->handle = record.handle;
  window->window = native;
  window->visual = visual;
  window->deviceContext = reinterpret_cast<HDC>(nextDeviceContext);
  nextDeviceContext += 0x10;
  window->fullscreen = fullscreen;
  record.native = window;
  windows.push_back(window);
  liveWindows = static_cast<std::sig_atomic_t>(windows.size());
  InstallSignalHandlers();
  return true;
}

void SdlUseVisual(const SdlVisual& visual) {
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, visual.red);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, visual.green);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, visual.blue);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, visual.alpha);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, visual.depth);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, visual.stencil);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, visual.doubleBuffer ? 1 : 0);
  // On X11 the visual is picked here rather than by GLX, which would hand out the deepest
  // depth buffer instead of the closest (see SdlX11Visual.cpp).
  const unsigned long x11Visual = SdlClosestX11Visual(visual);
  if (x11Visual != 0) {
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", x11Visual);
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, id);
  } else {
    SDL_SetHint(SDL_HINT_VIDEO_X11_WINDOW_VISUALID, "");
  }
  // No version or profile asked: SDL then makes a legacy context, which is a compatibility
  // context, on exactly the window's own visual (asking for a profile would make SDL pick
  // a framebuffer configuration from these attributes instead).
}

bool SdlRemakeNativeWindow(SdlWindow& window, const SdlVisual& visual) {
  SDL_Window* old = window.window;
  const Uint32 keep = SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE |
                      SDL_WINDOW_FULLSCREEN | SDL_WINDOW_MINIMIZED;
  const Uint32 flags = (SDL_GetWindowFlags(old) & keep) | SDL_WINDOW_OPENGL;
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  SDL_GetWindowPosition(old, &x, &y);
  SDL_GetWindowSize(old, &width, &height);
  SdlUseVisual(visual);
  SDL_Window* native = SDL_CreateWindow(SDL_GetWindowTitle(old), x, y, width, height, flags);
  if (native == nullptr) {
    return false;
  }
  SDL_DisplayMode mode{};
  if ((flags & SDL_WINDOW_FULLSCREEN) != 0 &&
      (SDL_GetWindowDisplayMode(old, &mode) != 0 || SDL_SetWindowDisplayMode(native, &mode) != 0)) {
    SDL_DestroyWindow(native);
    return false;
  }
  window.window = native;
  window.visual = visual;
  SDL_DestroyWindow(old);
  return true;
}

void BackendDestroyWindow(CoreWindow& record) {
  auto* window = static_cast<SdlWindow*>(record.native);
  if (window == nullptr) {
    return;
  }
  record.native = nullptr;
  std::erase(windows, window);
  liveWindows = static_cast<std::sig_atomic_t>(windows.size());
  SdlForgetContextsOf(*window);
  SDL_DestroyWindow(window->window);
  delete window;
  saverCheckDue = true;
}

void BackendShowWindow(CoreWindow& record, int command) {
  auto* window = static_cast<SdlWindow*>(record.native);
  if (window == nullptr) {
    return;
  }
  switch (command) {
  case SW_HIDE:
    SDL_HideWindow(window->window);
    break;
  case SW_MINIMIZE:
  case SW_SHOWMINIMIZED:
  case SW_RESTORE:
    if (!window->nativeStateChange) {
      SDL_ShowWindow(window->window);
      if (command == SW_RESTORE) {
        SDL_RestoreWindow(window->window);
      } else {
        SDL_MinimizeWindow(window->window);
      }
    }
    break;
  default:
    SDL_ShowWindow(window->window);
    break;
  }
  saverCheckDue = true;
}

void BackendFocusWindow(CoreWindow& record) {
  auto* window = static_cast<SdlWindow*>(record.native);
  if (window == nullptr) {
    return;
  }
  SDL_RaiseWindow(window->window);
}

void BackendPumpEvents() {
  if (closeRequested != 0) {
    closeRequested = 0;
    HWND target = CoreGetFocus();
    if (CoreFindWindow(target) == nullptr) {
      CoreWindow* newest = CoreNewestWindow();
      target = newest != nullptr ? newest->handle : nullptr;
    }
    if (target != nullptr) {
      CorePostMessage(target, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
  }
  if (videoState != VideoState::Ready) {
    return;
  }
  SDL_Event event;
  while (SDL_PollEvent(&event) != 0) {
    switch (event.type) {
    case SDL_WINDOWEVENT:
      HandleWindowEvent(event.window);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      HandleKeyEvent(event.key);
      break;
    default:
      break; // SDL_QUIT is not used: each window's close arrives as its own request
    }
  }
  UpdateScreenSaver();
}

void BackendSetCursorVisible(bool visible) {
  cursorVisible = visible;
  if (videoState == VideoState::Ready) {
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  }
}

// ---- Public Win32 entry points (those not in SdlGl.cpp, SdlDisplay.cpp, SdlDialog.cpp) ------

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  return CoreRegisterClass(windowClass);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
  return CoreUnregisterClass(className, instance);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND /*parent*/, HMENU /*menu*/, HINSTANCE instance,
                     LPVOID param) {
  return CoreCreateWindow(exStyle, className, windowName, style, x, y, width, height, instance,
                          param);
}

BOOL DestroyWindow(HWND window) {
  return CoreDestroyWindow(window);
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
  return CoreAdjustWindowRectEx(rect, style, menu, exStyle);
}

BOOL ShowWindow(HWND window, int command) {
  return CoreShowWindow(window, command);
}
BOOL SetForegroundWindow(HWND window) {
  return CoreSetForegroundWindow(window);
}
HWND SetFocus(HWND window) {
  return CoreSetFocus(window);
}
HWND GetFocus() {
  return CoreGetFocus();
}
BOOL GetClientRect(HWND window, RECT* rect) {
  return CoreGetClientRect(window, rect);
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  return CorePeekMessage(msg, window, filterMin, filterMax, removeMessage);
}

BOOL TranslateMessage(const MSG* msg) {
  return CoreTranslateMessage(msg);
}
LRESULT DispatchMessageA(const MSG* msg) {
  return CoreDispatchMessage(msg);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CorePostMessage(window, message, wParam, lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CoreSendMessage(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  CorePostQuitMessage(exitCode);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return CoreDefWindowProc(window, message, wParam, lParam);
}

int ShowCursor(BOOL show) {
  return CoreShowCursor(show);
}
HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  return CoreLoadIcon(instance, name);
}
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  return CoreLoadCursor(instance, name);
}
HMODULE GetModuleHandleA(LPCSTR moduleName) {
  return CoreGetModuleHandle(moduleName);
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD /*flags*/, HANDLE /*templateFile*/) {
  return CoreCreateFile(path, access, shareMode, disposition);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD /*flags*/, HANDLE /*templateFile*/) {
  return CoreCreateFileW(path, access, shareMode, disposition);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  return CoreGetFileSize(file, sizeHigh);
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES /*security*/, DWORD protect,
                          DWORD maxSizeHigh, DWORD maxSizeLow, LPCSTR /*name*/) {
  return CoreCreateFileMapping(file, protect, maxSizeHigh, maxSizeLow);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T length) {
  return CoreMapViewOfFile(mapping, access, offsetHigh, offsetLow, length);
}

BOOL UnmapViewOfFile(LPCVOID view) {
  return CoreUnmapViewOfFile(view);
}
BOOL CloseHandle(HANDLE handle) {
  return CoreCloseHandle(handle);
}
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  return CoreLocalAlloc(flags, bytes);
}
HLOCAL LocalFree(HLOCAL memory) {
  return CoreLocalFree(memory);
}
