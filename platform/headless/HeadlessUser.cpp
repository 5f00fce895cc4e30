// HeadlessUser.cpp: the headless backend's USER32 and KERNEL32 entry points (journaled,
// with fault injection, forwarding to the core), its Backend* hooks, scripted input, the
// fake display with its full-screen modes, scripted dialogs, and HeadlessReset.
#include "HeadlessInternal.h"

#include <algorithm>
#include <cstdio>
#include <deque>

namespace {

// ---- Scripted input ---------------------------------------------------------------------

struct ScriptedEvent {
  int afterSwaps = 0;
  HeadlessEvent event;
};
std::deque<ScriptedEvent> script; // ordered by afterSwaps, then by scripting order
bool keyIsDown[256] = {};

// The lParam of a key message: repeat count 1, a scan code, the Alt context bit for
// system keys other than F10, the previous-state bit, and the transition bit for a release.
LPARAM KeyParam(int key, bool down, bool system) {
  unsigned index = static_cast<unsigned>(key) & 0xFF;
  DWORD value = 1u | ((index & 0x7Fu) << 16);
  if (system && key != VK_F10) {
    value |= 1u << 29;
  }
  if (!down || keyIsDown[index]) {
    value |= 1u << 30;
  }
  if (!down) {
    value |= 1u << 31;
  }
  keyIsDown[index] = down;
  return static_cast<LPARAM>(value);
}

// Delivers one event to a window; true when it was posted (so it has to be retrieved
// before anything scripted after it may happen).
bool Deliver(HWND window, const HeadlessEvent& event) {
  switch (event.action) {
  case HeadlessAction::KeyDown:
    return CorePostMessage(window, WM_KEYDOWN, static_cast<WPARAM>(event.key),
                           KeyParam(event.key, true, false));
  case HeadlessAction::KeyUp:
    return CorePostMessage(window, WM_KEYUP, static_cast<WPARAM>(event.key),
                           KeyParam(event.key, false, false));
  case HeadlessAction::SysKeyDown:
    return CorePostMessage(window, WM_SYSKEYDOWN, static_cast<WPARAM>(event.key),
                           KeyParam(event.key, true, true));
  case HeadlessAction::SysKeyUp:
    return CorePostMessage(window, WM_SYSKEYUP, static_cast<WPARAM>(event.key),
                           KeyParam(event.key, false, true));
  case HeadlessAction::Minimize:
  case HeadlessAction::Restore:
    // As from a window manager: the system command, whose default processing minimises
    // or restores.
    if (CoreWindow* record = CoreFindWindow(window)) {
      const bool minimize = event.action == HeadlessAction::Minimize;
      if (record->minimized != minimize) {
        CoreSendMessage(window, WM_SYSCOMMAND, minimize ? SC_MINIMIZE : SC_RESTORE, 0);
      }
    }
    return false;
  case HeadlessAction::Deactivate:
    CoreFocusChanged(window, false);
    return false;
  case HeadlessAction::Activate:
    CoreFocusChanged(window, true);
    return false;
  case HeadlessAction::Resize:
    CoreClientSizeChanged(window, event.width, event.height);
    HeadlessGLFollowClientSize();
    return false;
  case HeadlessAction::Close:
    return CorePostMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  case HeadlessAction::Message:
    return CorePostMessage(window, event.message, event.wParam, event.lParam);
  }
  return false;
}

// ---- Display ----------------------------------------------------------------------------

constexpr HeadlessMode DesktopMode{1024, 768, 24};
HeadlessMode displayMode = DesktopMode;
bool displaySwitched = false;
std::vector<HeadlessMode> fullscreenModes{{640, 480, 16}};

// ---- Dialogs ----------------------------------------------------------------------------

std::deque<int> dialogAnswers;
std::vector<HeadlessDialog> dialogs;
bool dialogsCaptured = false;

HeadlessNative* NativeOf(const CoreWindow& window) {
  return static_cast<HeadlessNative*>(window.native);
}

std::string FormatMessageRecord(const MSG* msg) {
  if (msg == nullptr) {
    return "NULL";
  }
  return "{" +
         JoinArgs(FormatPtr(msg->hwnd), FormatHex(msg->message), FormatHex(msg->wParam),
                  FormatHex(static_cast<unsigned long long>(msg->lParam))) +
         "}";
}

std::string FormatInt(int value) {
  return FormatDec(value);
}
std::string FormatWord(ATOM value) {
  return FormatHex(value);
}
std::string FormatResult(LRESULT value) {
  return FormatDec(value);
}
std::string FormatHandle(HANDLE value) {
  return value == INVALID_HANDLE_VALUE ? "INVALID_HANDLE_VALUE" : FormatPtr(value);
}

} // namespace

// ---- Backend hooks ----------------------------------------------------------------------

bool BackendCreateWindow(CoreWindow& window) {
  auto* native = new HeadlessNative;
  if ((window.style & WS_POPUP) != 0 && displaySwitched) {
    // A popup made while the display is switched covers the whole display.
    native->fullscreenPopup = true;
    window.x = 0;
    window.y = 0;
    window.outerWidth = window.clientWidth = displayMode.width;
    window.outerHeight = window.clientHeight = displayMode.height;
  }
  window.native = native;
  return true;
}

void BackendDestroyWindow(CoreWindow& window) {
  HeadlessGLWindowGone(window);
  delete NativeOf(window);
  window.native = nullptr;
}

void BackendShowWindow(CoreWindow& /*window*/, int /*command*/) {}
void BackendFocusWindow(CoreWindow& /*window*/) {}
void BackendSetCursorVisible(bool /*visible*/) {}

void BackendPumpEvents() {
  int swaps = HeadlessSwapCount();
  while (!script.empty() && script.front().afterSwaps <= swaps) {
    CoreWindow* window = CoreNewestWindow();
    if (window == nullptr) {
      return; // held until there is a window to receive it
    }
    HeadlessEvent event = script.front().event;
    script.pop_front();
    if (Deliver(window->handle, event)) {
      return;
    }
  }
}

// ---- Scripting API ----------------------------------------------------------------------

void HeadlessScript(int afterSwaps, const HeadlessEvent& event) {
  afterSwaps = std::max(0, afterSwaps);
  auto after = std::upper_bound(
      script.begin(), script.end(), afterSwaps,
      [](int swaps, const ScriptedEvent& scripted) { return swaps < scripted.afterSwaps; });
  script.insert(after, ScriptedEvent{afterSwaps, event});
}

void HeadlessKeyDownAt(int afterSwaps, int key) {
  HeadlessEvent event;
  event.action = HeadlessAction::KeyDown;
  event.key = key;
  HeadlessScript(afterSwaps, event);
}

void HeadlessKeyUpAt(int afterSwaps, int key) {
  HeadlessEvent event;
  event.action = HeadlessAction::KeyUp;
  event.key = key;
  HeadlessScript(afterSwaps, event);
}

void HeadlessActionAt(int afterSwaps, HeadlessAction action) {
  HeadlessEvent event;
  event.action = action;
  HeadlessScript(afterSwaps, event);
}

void HeadlessScriptReset() {
  script.clear();
  std::fill(std::begin(keyIsDown), std::end(keyIsDown), false);
}

// ---- Dialog, display and window queries -------------------------------------------------

void HeadlessAnswerDialogs(const std::vector<int>& answers) {
  dialogAnswers.assign(answers.begin(), answers.end());
}
const std::vector<HeadlessDialog>& HeadlessDialogs() {
  return dialogs;
}
void HeadlessCaptureDialogs(bool capture) {
  dialogsCaptured = capture;
}

void HeadlessSetFullscreenModes(const std::vector<HeadlessMode>& modes) {
  fullscreenModes = modes;
}
HeadlessMode HeadlessDisplayMode() {
  return displayMode;
}
bool HeadlessDisplayChanged() {
  return displaySwitched;
}
int HeadlessCursorCounter() {
  return CoreCursorCounter();
}

HeadlessWindowInfo HeadlessWindow(HWND handle) {
  HeadlessWindowInfo info;
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr) {
    return info;
  }
  info.exists = true;
  info.className = window->className;
  info.title = window->title;
  info.style = window->style;
  info.exStyle = window->exStyle;
  info.x = window->x;
  info.y = window->y;
  info.outerWidth = window->outerWidth;
  info.outerHeight = window->outerHeight;
  info.clientWidth = window->clientWidth;
  info.clientHeight = window->clientHeight;
  info.visible = window->visible;
  info.minimized = window->minimized;
  HeadlessNative* native = NativeOf(*window);
  info.fullscreen = native != nullptr && native->fullscreenPopup && displaySwitched;
  return info;
}

HWND HeadlessNewestWindow() {
  CoreWindow* window = CoreNewestWindow();
  return window != nullptr ? window->handle : nullptr;
}

int HeadlessLiveWindowCount() {
  return CoreWindowCount();
}

bool HeadlessClassRegistered(const std::string& className) {
  return CoreClassRegistered(className.c_str());
}

void HeadlessReset() {
  HeadlessGLReset();
  CoreReset();
  HeadlessScriptReset();
  HeadlessJournalReset();
  HeadlessGLSwapsReset();
  dialogAnswers.clear();
  dialogs.clear();
  dialogsCaptured = false;
  displayMode = DesktopMode;
  displaySwitched = false;
  fullscreenModes = {{640, 480, 16}};
}

// ---- USER32 -----------------------------------------------------------------------------

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
  HeadlessCallScope call("RegisterClassA", [&] {
    if (windowClass == nullptr) {
      return std::string("NULL");
    }
    return "{" +
           JoinArgs(FormatHex(windowClass->style),
                    FormatPtr(reinterpret_cast<const void*>(windowClass->lpfnWndProc)),
                    FormatPtr(windowClass->hInstance), FormatStr(windowClass->lpszClassName)) +
           "}";
  });
  ATOM atom = call.Failing() ? 0 : CoreRegisterClass(windowClass);
  return call.Result(atom, FormatWord);
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
  HeadlessCallScope call("UnregisterClassA",
                         [&] { return JoinArgs(FormatStr(className), FormatPtr(instance)); });
  BOOL ok = call.Failing() ? FALSE : CoreUnregisterClass(className, instance);
  return call.Result(ok, FormatBool);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  HeadlessCallScope call("CreateWindowExA", [&] {
    return JoinArgs(FormatHex(exStyle), FormatStr(className), FormatStr(windowName),
                    FormatHex(style), FormatDec(x), FormatDec(y), FormatDec(width),
                    FormatDec(height), FormatPtr(parent), FormatPtr(menu), FormatPtr(instance),
                    FormatPtr(param));
  });
  HWND window = call.Failing() ? nullptr
                               : CoreCreateWindow(exStyle, className, windowName, style, x, y,
                                                  width, height, instance, param);
  return call.Result(window, FormatPtr);
}

BOOL DestroyWindow(HWND window) {
  HeadlessCallScope call("DestroyWindow", [&] { return FormatPtr(window); });
  BOOL ok = call.Failing() ? FALSE : CoreDestroyWindow(window);
  return call.Result(ok, FormatBool);
}

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
  HeadlessCallScope call("AdjustWindowRectEx", [&] {
    std::string area = rect == nullptr
                           ? "NULL"
                           : "{" +
                                 JoinArgs(FormatDec(rect->left), FormatDec(rect->top),
                                          FormatDec(rect->right), FormatDec(rect->bottom)) +
                                 "}";
    return JoinArgs(area, FormatHex(style), FormatBool(menu), FormatHex(exStyle));
  });
  BOOL ok = call.Failing() ? FALSE : CoreAdjustWindowRectEx(rect, style, menu, exStyle);
  return call.Result(ok, FormatBool);
}

BOOL ShowWindow(HWND window, int command) {
  HeadlessCallScope call("ShowWindow",
                         [&] { return JoinArgs(FormatPtr(window), FormatDec(command)); });
  BOOL was = call.Failing() ? FALSE : CoreShowWindow(window, command);
  return call.Result(was, FormatBool);
}

BOOL SetForegroundWindow(HWND window) {
  HeadlessCallScope call("SetForegroundWindow", [&] { return FormatPtr(window); });
  BOOL ok = call.Failing() ? FALSE : CoreSetForegroundWindow(window);
  return call.Result(ok, FormatBool);
}

HWND SetFocus(HWND window) {
  HeadlessCallScope call("SetFocus", [&] { return FormatPtr(window); });
  HWND previous = call.Failing() ? nullptr : CoreSetFocus(window);
  return call.Result(previous, FormatPtr);
}

HWND GetFocus() {
  HeadlessCallScope call("GetFocus", [] { return std::string(); });
  HWND focus = call.Failing() ? nullptr : CoreGetFocus();
  return call.Result(focus, FormatPtr);
}

BOOL GetClientRect(HWND window, RECT* rect) {
  HeadlessCallScope call("GetClientRect", [&] { return FormatPtr(window); });
  BOOL ok = call.Failing() ? FALSE : CoreGetClientRect(window, rect);
  return call.Result(ok, FormatBool);
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  HeadlessCallScope call("PeekMessageA", [&] {
    return JoinArgs(FormatPtr(window), FormatHex(filterMin), FormatHex(filterMax),
                    FormatHex(removeMessage));
  });
  BOOL got =
      call.Failing() ? FALSE : CorePeekMessage(msg, window, filterMin, filterMax, removeMessage);
  return call.Result(got, FormatBool);
}

BOOL TranslateMessage(const MSG* msg) {
  HeadlessCallScope call("TranslateMessage", [&] { return FormatMessageRecord(msg); });
  BOOL ok = call.Failing() ? FALSE : CoreTranslateMessage(msg);
  return call.Result(ok, FormatBool);
}

LRESULT DispatchMessageA(const MSG* msg) {
  HeadlessCallScope call("DispatchMessageA", [&] { return FormatMessageRecord(msg); });
  LRESULT result = call.Failing() ? 0 : CoreDispatchMessage(msg);
  return call.Result(result, FormatResult);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HeadlessCallScope call("PostMessageA", [&] {
    return JoinArgs(FormatPtr(window), FormatHex(message), FormatHex(wParam),
                    FormatHex(static_cast<unsigned long long>(lParam)));
  });
  BOOL ok = call.Failing() ? FALSE : CorePostMessage(window, message, wParam, lParam);
  return call.Result(ok, FormatBool);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HeadlessCallScope call("SendMessageA", [&] {
    return JoinArgs(FormatPtr(window), FormatHex(message), FormatHex(wParam),
                    FormatHex(static_cast<unsigned long long>(lParam)));
  });
  LRESULT result = call.Failing() ? 0 : CoreSendMessage(window, message, wParam, lParam);
  return call.Result(result, FormatResult);
}

void PostQuitMessage(int exitCode) {
  HeadlessCallScope call("PostQuitMessage", [&] { return FormatDec(exitCode); });
  if (!call.Failing()) {
    CorePostQuitMessage(exitCode);
  }
  call.Done();
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  HeadlessCallScope call("DefWindowProcA", [&] {
    return JoinArgs(FormatPtr(window), FormatHex(message), FormatHex(wParam),
                    FormatHex(static_cast<unsigned long long>(lParam)));
  });
  LRESULT result = call.Failing() ? 0 : CoreDefWindowProc(window, message, wParam, lParam);
  return call.Result(result, FormatResult);
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  HeadlessCallScope call("MessageBoxA", [&] {
    return JoinArgs(FormatPtr(owner), FormatStr(text), FormatStr(caption), FormatHex(type));
  });
  if (call.Failing()) {
    return call.Result(0, FormatAnswer);
  }
  HeadlessDialog dialog;
  dialog.owner = owner;
  dialog.text = text != nullptr ? text : "";
  dialog.caption = caption != nullptr ? caption : "";
  dialog.flags = type;
  if (!dialogAnswers.empty()) {
    dialog.answer = dialogAnswers.front();
    dialogAnswers.pop_front();
  } else {
    switch (type & MB_TYPEMASK) {
    case MB_YESNO:
      dialog.answer = IDNO;
      break;
    case MB_OKCANCEL:
      dialog.answer = IDCANCEL;
      break;
    default:
      dialog.answer = IDOK;
      break;
    }
  }
  if (!dialogsCaptured) {
    // One line, however the text is broken: line breaks become spaces and a trailing
    // one is dropped.
    std::string line = dialog.caption + ": " + dialog.text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
      line.pop_back();
    }
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  int answer = dialog.answer;
  dialogs.push_back(std::move(dialog));
  return call.Result(answer, FormatAnswer);
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
  HeadlessCallScope call("ChangeDisplaySettingsA", [&] {
    std::string request =
        mode == nullptr ? "NULL"
                        : "{" +
                              JoinArgs(FormatDec(mode->dmSize), FormatHex(mode->dmFields),
                                       FormatDec(mode->dmPelsWidth), FormatDec(mode->dmPelsHeight),
                                       FormatDec(mode->dmBitsPerPel)) +
                              "}";
    return JoinArgs(request, FormatHex(flags));
  });
  if (call.Failing()) {
    return call.Result(DISP_CHANGE_FAILED, FormatDisp);
  }
  if (mode == nullptr) {
    displayMode = DesktopMode; // back to the desktop's own mode
    displaySwitched = false;
    return call.Result(DISP_CHANGE_SUCCESSFUL, FormatDisp);
  }
  int width = (mode->dmFields & DM_PELSWIDTH) != 0 ? static_cast<int>(mode->dmPelsWidth)
                                                   : displayMode.width;
  int height = (mode->dmFields & DM_PELSHEIGHT) != 0 ? static_cast<int>(mode->dmPelsHeight)
                                                     : displayMode.height;
  int bits = (mode->dmFields & DM_BITSPERPEL) != 0 ? static_cast<int>(mode->dmBitsPerPel) : 0;
  for (const HeadlessMode& offered : fullscreenModes) {
    if (offered.width == width && offered.height == height && offered.bitsPerPixel >= bits) {
      displayMode = offered;
      displaySwitched = true;
      return call.Result(DISP_CHANGE_SUCCESSFUL, FormatDisp);
    }
  }
  return call.Result(DISP_CHANGE_BADMODE, FormatDisp);
}

int ShowCursor(BOOL show) {
  HeadlessCallScope call("ShowCursor", [&] { return FormatBool(show); });
  int counter = call.Failing() ? CoreCursorCounter() : CoreShowCursor(show);
  return call.Result(counter, FormatInt);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  HeadlessCallScope call("LoadIconA",
                         [&] { return JoinArgs(FormatPtr(instance), FormatStr(name)); });
  HICON icon = call.Failing() ? nullptr : CoreLoadIcon(instance, name);
  return call.Result(icon, FormatPtr);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  HeadlessCallScope call("LoadCursorA",
                         [&] { return JoinArgs(FormatPtr(instance), FormatStr(name)); });
  HCURSOR cursor = call.Failing() ? nullptr : CoreLoadCursor(instance, name);
  return call.Result(cursor, FormatPtr);
}

// ---- KERNEL32 ---------------------------------------------------------------------------

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  HeadlessCallScope call("GetModuleHandleA", [&] { return FormatStr(moduleName); });
  HMODULE module = call.Failing() ? nullptr : CoreGetModuleHandle(moduleName);
  return call.Result(module, FormatPtr);
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  HeadlessCallScope call("CreateFileA", [&] {
    return JoinArgs(FormatStr(path), FormatHex(access), FormatHex(shareMode), FormatPtr(security),
                    FormatDec(disposition), FormatHex(flags), FormatPtr(templateFile));
  });
  HANDLE file =
      call.Failing() ? INVALID_HANDLE_VALUE : CoreCreateFile(path, access, shareMode, disposition);
  return call.Result(file, FormatHandle);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
  HeadlessCallScope call("CreateFileW", [&] {
    return JoinArgs(FormatWide(path), FormatHex(access), FormatHex(shareMode), FormatPtr(security),
                    FormatDec(disposition), FormatHex(flags), FormatPtr(templateFile));
  });
  HANDLE file =
      call.Failing() ? INVALID_HANDLE_VALUE : CoreCreateFileW(path, access, shareMode, disposition);
  return call.Result(file, FormatHandle);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  HeadlessCallScope call("GetFileSize", [&] { return FormatPtr(file); });
  DWORD size = call.Failing() ? INVALID_FILE_SIZE : CoreGetFileSize(file, sizeHigh);
  return call.Result(size, [](DWORD value) { return FormatDec(value); });
}

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect,
                          DWORD maxSizeHigh, DWORD maxSizeLow, LPCSTR name) {
  HeadlessCallScope call("CreateFileMappingA", [&] {
    return JoinArgs(FormatPtr(file), FormatPtr(security), FormatHex(protect),
                    FormatDec(maxSizeHigh), FormatDec(maxSizeLow), FormatStr(name));
  });
  HANDLE mapping = call.Failing() || name != nullptr
                       ? nullptr
                       : CoreCreateFileMapping(file, protect, maxSizeHigh, maxSizeLow);
  return call.Result(mapping, FormatPtr);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                     SIZE_T length) {
  HeadlessCallScope call("MapViewOfFile", [&] {
    return JoinArgs(FormatPtr(mapping), FormatHex(access), FormatDec(offsetHigh),
                    FormatDec(offsetLow), FormatDec(static_cast<long long>(length)));
  });
  LPVOID view =
      call.Failing() ? nullptr : CoreMapViewOfFile(mapping, access, offsetHigh, offsetLow, length);
  return call.Result(view, FormatPtr);
}

BOOL UnmapViewOfFile(LPCVOID view) {
  HeadlessCallScope call("UnmapViewOfFile", [&] { return FormatPtr(view); });
  BOOL ok = call.Failing() ? FALSE : CoreUnmapViewOfFile(view);
  return call.Result(ok, FormatBool);
}

BOOL CloseHandle(HANDLE handle) {
  HeadlessCallScope call("CloseHandle", [&] { return FormatHandle(handle); });
  BOOL ok = call.Failing() ? FALSE : CoreCloseHandle(handle);
  return call.Result(ok, FormatBool);
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  HeadlessCallScope call("LocalAlloc", [&] {
    return JoinArgs(FormatHex(flags), FormatDec(static_cast<long long>(bytes)));
  });
  HLOCAL memory = call.Failing() ? nullptr : CoreLocalAlloc(flags, bytes);
  return call.Result(memory, FormatPtr);
}

HLOCAL LocalFree(HLOCAL memory) {
  HeadlessCallScope call("LocalFree", [&] { return FormatPtr(memory); });
  // A failing free returns the block and leaves it allocated, as Win32 does.
  HLOCAL result = call.Failing() ? memory : CoreLocalFree(memory);
  return call.Result(result, FormatPtr);
}
