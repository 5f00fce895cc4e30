// CoreWindows.cpp: the class registry, the window table, window management (show, focus,
// activation, size), the cursor counter, module/icon/cursor handles and CoreReset.
#include "CoreInternal.h"

#include <algorithm>
#include <cctype>

namespace {

// Handle values grow for the whole run, across CoreReset, so a stale handle never names
// a newer window.
std::uintptr_t nextWindowHandle = 0x10010;
ATOM nextAtom = 0xC000;

// Frame metrics used by AdjustWindowRectEx and to derive the client size of a new window.
constexpr int SizingBorder = 8;   // WS_THICKFRAME
constexpr int DialogBorder = 3;   // WS_DLGFRAME without a sizing frame
constexpr int ThinBorder = 1;     // WS_BORDER alone
constexpr int CaptionHeight = 23; // WS_CAPTION, above the top border
constexpr int MenuHeight = 20;

std::string ClassKey(LPCSTR name) {
  std::string key(name);
  std::transform(key.begin(), key.end(), key.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return key;
}

// A few distinct non-null values for the module and the system icon and cursor.
char moduleTag;
char iconTag[2];
char cursorTag[2];

} // namespace

CoreState& CoreGlobals() {
  static CoreState state;
  return state;
}

// ---- Classes ----------------------------------------------------------------------------

ATOM CoreRegisterClass(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
      windowClass->lpszClassName[0] == '\0' || windowClass->lpfnWndProc == nullptr) {
    return 0;
  }
  CoreState& state = CoreGlobals();
  std::string key = ClassKey(windowClass->lpszClassName);
  if (state.classes.count(key) != 0) {
    return 0;
  }
  CoreClassRecord record;
  record.name = windowClass->lpszClassName;
  record.windowClass = *windowClass;
  record.windowClass.lpszClassName = nullptr; // the caller's string need not outlive the call
  record.windowClass.lpszMenuName = nullptr;
  record.atom = nextAtom++;
  if (nextAtom == 0) {
    nextAtom = 0xC000;
  }
  ATOM atom = record.atom;
  state.classes.emplace(key, std::move(record));
  return atom;
}

BOOL CoreUnregisterClass(LPCSTR className, HINSTANCE /*instance*/) {
  if (className == nullptr) {
    return FALSE;
  }
  CoreState& state = CoreGlobals();
  std::string key = ClassKey(className);
  auto found = state.classes.find(key);
  if (found == state.classes.end()) {
    return FALSE;
  }
  for (const auto& [handle, window] : state.windows) {
    if (ClassKey(window->className.c_str()) == key) {
      return FALSE; // a window of the class still exists
    }
  }
  state.classes.erase(found);
  return TRUE;
}

bool CoreClassRegistered(LPCSTR className) {
  return className != nullptr && CoreGlobals().classes.count(ClassKey(className)) != 0;
}

// ---- Windows ----------------------------------------------------------------------------

BOOL CoreAdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD /*exStyle*/) {
  if (rect == nullptr) {
    return FALSE;
  }
  int border = 0;
  if ((style & WS_THICKFRAME) != 0) {
    border = SizingBorder;
  } else if ((style & WS_DLGFRAME) != 0) {
    border = DialogBorder;
  } else if ((style & WS_BORDER) != 0) {
    border = ThinBorder;
  }
  int top = border;
  if ((style & WS_CAPTION) == WS_CAPTION) {
    top += CaptionHeight;
  }
  if (menu) {
    top += MenuHeight;
  }
  rect->left -= border;
  rect->right += border;
  rect->top -= top;
  rect->bottom += border;
  return TRUE;
}

CoreWindow* CoreFindWindow(HWND window) {
  CoreState& state = CoreGlobals();
  auto found = state.windows.find(reinterpret_cast<std::uintptr_t>(window));
  return found == state.windows.end() ? nullptr : found->second.get();
}

CoreWindow* CoreNewestWindow() {
  CoreState& state = CoreGlobals();
  for (auto it = state.windows.rbegin(); it != state.windows.rend(); ++it) {
    if (!it->second->destroying) {
      return it->second.get();
    }
  }
  return nullptr;
}

int CoreWindowCount() {
  return static_cast<int>(CoreGlobals().windows.size());
}

namespace {

// Removes a window from the table after its last message: drops its queued messages and
// any focus or activation it held, and releases the native window.
void ForgetWindow(HWND handle) {
  CoreState& state = CoreGlobals();
  auto found = state.windows.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == state.windows.end()) {
    return;
  }
  std::unique_ptr<CoreWindow> record = std::move(found->second);
  state.windows.erase(found);
  std::erase_if(state.queue, [handle](const MSG& msg) { return msg.hwnd == handle; });
  if (state.activeWindow == handle) {
    state.activeWindow = nullptr;
  }
  if (state.focusWindow == handle) {
    state.focusWindow = nullptr;
  }
  BackendDestroyWindow(*record);
}

} // namespace

HWND CoreCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                      int width, int height, HINSTANCE instance, LPVOID param) {
  if (className == nullptr) {
    return nullptr;
  }
  CoreState& state = CoreGlobals();
  auto found = state.classes.find(ClassKey(className));
  if (found == state.classes.end()) {
    return nullptr;
  }
  auto record = std::make_unique<CoreWindow>();
  record->handle = reinterpret_cast<HWND>(nextWindowHandle);
  record->className = found->second.name;
  record->procedure = found->second.windowClass.lpfnWndProc;
  record->title = windowName != nullptr ? windowName : "";
  record->style = style;
  record->exStyle = exStyle;
  record->x = x;
  record->y = y;
  record->outerWidth = std::max(0, width);
  record->outerHeight = std::max(0, height);
  RECT frame{0, 0, 0, 0};
  CoreAdjustWindowRectEx(&frame, style, FALSE, exStyle);
  record->clientWidth = std::max(0, record->outerWidth - (frame.right - frame.left));
  record->clientHeight = std::max(0, record->outerHeight - (frame.bottom - frame.top));
  record->visible = (style & WS_VISIBLE) != 0;
  if (!BackendCreateWindow(*record)) {
    return nullptr;
  }
  nextWindowHandle += 0x10;
  HWND handle = record->handle;
  WNDPROC procedure = record->procedure;
  state.windows.emplace(reinterpret_cast<std::uintptr_t>(handle), std::move(record));

  CoreWindow* window = CoreFindWindow(handle);
  CREATESTRUCTA create{};
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.cx = window->outerWidth;
  create.cy = window->outerHeight;
  create.x = window->x;
  create.y = window->y;
  create.style = static_cast<LONG>(style);
  create.lpszName = window->title.c_str();
  create.lpszClass = window->className.c_str();
  create.dwExStyle = exStyle;
  LPARAM createParam = reinterpret_cast<LPARAM>(&create);

  // As on Win32: a zero result to WM_NCCREATE or -1 to WM_CREATE abandons the window.
  if (procedure(handle, WM_NCCREATE, 0, createParam) == 0) {
    if (CoreFindWindow(handle) != nullptr) {
      procedure(handle, WM_NCDESTROY, 0, 0);
      ForgetWindow(handle);
    }
    return nullptr;
  }
  if (CoreFindWindow(handle) == nullptr) {
    return nullptr; // destroyed from inside its own creation
  }
  if (procedure(handle, WM_CREATE, 0, createParam) == -1) {
    CoreDestroyWindow(handle);
    return nullptr;
  }
  return CoreFindWindow(handle) != nullptr ? handle : nullptr;
}

BOOL CoreDestroyWindow(HWND handle) {
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr || window->destroying) {
    return FALSE;
  }
  window->destroying = true;
  WNDPROC procedure = window->procedure;
  // Windows hides a window before destroying it, so the active window is deactivated first.
  CoreState& state = CoreGlobals();
  if (state.activeWindow == handle) {
    state.activeWindow = nullptr;
    procedure(handle, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, window->minimized ? 1 : 0), 0);
  }
  if (state.focusWindow == handle) {
    state.focusWindow = nullptr;
  }
  procedure(handle, WM_DESTROY, 0, 0);
  procedure(handle, WM_NCDESTROY, 0, 0);
  ForgetWindow(handle);
  return TRUE;
}

BOOL CoreGetClientRect(HWND handle, RECT* rect) {
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr || rect == nullptr) {
    return FALSE;
  }
  rect->left = 0;
  rect->top = 0;
  rect->right = window->minimized ? 0 : window->clientWidth;
  rect->bottom = window->minimized ? 0 : window->clientHeight;
  return TRUE;
}

void CoreClientSizeChanged(HWND handle, int width, int height) {
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr) {
    return;
  }
  width = std::clamp(width, 0, 0xFFFF);
  height = std::clamp(height, 0, 0xFFFF);
  if (window->clientWidth == width && window->clientHeight == height) {
    return;
  }
  window->outerWidth += width - window->clientWidth;
  window->outerHeight += height - window->clientHeight;
  window->clientWidth = width;
  window->clientHeight = height;
  if (!window->minimized) {
    CoreSendMessage(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
  }
}

void CoreMinimizedChanged(HWND handle, bool minimized) {
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr || window->minimized == minimized) {
    return;
  }
  CoreState& state = CoreGlobals();
  window->minimized = minimized;
  if (minimized) {
    // A minimised window loses the activation; its client area is reported as 0 by 0.
    CoreSendMessage(handle, WM_SIZE, SIZE_MINIMIZED, 0);
    if (state.activeWindow == handle) {
      state.activeWindow = nullptr;
    }
    if (state.focusWindow == handle) {
      state.focusWindow = nullptr;
    }
    CoreSendMessage(handle, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0);
  } else {
    // Restored: the client size comes back first, then the activation, as on Windows.
    CoreSendMessage(handle, WM_SIZE, SIZE_RESTORED,
                    MAKELPARAM(window->clientWidth, window->clientHeight));
    if (CoreFindWindow(handle) != nullptr) {
      state.activeWindow = handle;
      state.focusWindow = handle;
      CoreSendMessage(handle, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
    }
  }
}

void CoreFocusChanged(HWND handle, bool focused) {
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr) {
    return;
  }
  CoreState& state = CoreGlobals();
  bool active = state.activeWindow == handle;
  if (active == focused) {
    return;
  }
  if (focused) {
    HWND previous = state.activeWindow;
    if (previous != nullptr) {
      CoreWindow* other = CoreFindWindow(previous);
      state.activeWindow = nullptr;
      CoreSendMessage(previous, WM_ACTIVATE,
                      MAKEWPARAM(WA_INACTIVE, other != nullptr && other->minimized ? 1 : 0),
                      reinterpret_cast<LPARAM>(handle));
    }
    state.activeWindow = handle;
    state.focusWindow = handle;
  } else {
    state.activeWindow = nullptr;
    if (state.focusWindow == handle) {
      state.focusWindow = nullptr;
    }
  }
  CoreSendMessage(handle, WM_ACTIVATE,
                  MAKEWPARAM(focused ? WA_ACTIVE : WA_INACTIVE, window->minimized ? 1 : 0), 0);
}

BOOL CoreShowWindow(HWND handle, int command) {
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr) {
    return FALSE;
  }
  BOOL wasVisible = window->visible ? TRUE : FALSE;
  BackendShowWindow(*window, command);
  window = CoreFindWindow(handle);
  if (window == nullptr) {
    return wasVisible;
  }
  switch (command) {
  case SW_HIDE:
    window->visible = false;
    break;
  case SW_MINIMIZE:
  case SW_SHOWMINIMIZED:
    window->visible = true;
    CoreMinimizedChanged(handle, true);
    break;
  case SW_RESTORE:
    window->visible = true;
    if (window->minimized) {
      CoreMinimizedChanged(handle, false);
    }
    break;
  default: // SW_SHOW, SW_SHOWNORMAL and the rest show the window as it is
    if (!window->visible) {
      // Showing a window activates it (WM_ACTIVATE) before its size arrives (WM_SIZE),
      // as on Windows.
      window->visible = true;
      BackendFocusWindow(*window);
      CoreFocusChanged(handle, true);
      window = CoreFindWindow(handle);
      if (window != nullptr && !window->minimized) {
        CoreSendMessage(handle, WM_SIZE, SIZE_RESTORED,
                        MAKELPARAM(window->clientWidth, window->clientHeight));
      }
    }
    break;
  }
  return wasVisible;
}

BOOL CoreSetForegroundWindow(HWND handle) {
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr) {
    return FALSE;
  }
  BackendFocusWindow(*window);
  CoreFocusChanged(handle, true);
  return TRUE;
}

HWND CoreSetFocus(HWND handle) {
  CoreState& state = CoreGlobals();
  HWND previous = state.focusWindow;
  if (handle == nullptr) {
    state.focusWindow = nullptr;
    return previous;
  }
  CoreWindow* window = CoreFindWindow(handle);
  if (window == nullptr) {
    return nullptr;
  }
  if (state.activeWindow != handle) {
    BackendFocusWindow(*window);
    CoreFocusChanged(handle, true);
  }
  if (CoreFindWindow(handle) != nullptr) {
    state.focusWindow = handle;
  }
  return previous;
}

HWND CoreGetFocus() {
  return CoreGlobals().focusWindow;
}

// ---- Cursor, module, resources -----------------------------------------------------------

int CoreShowCursor(BOOL show) {
  CoreState& state = CoreGlobals();
  state.cursorCounter += show ? 1 : -1;
  BackendSetCursorVisible(state.cursorCounter >= 0);
  return state.cursorCounter;
}

int CoreCursorCounter() {
  return CoreGlobals().cursorCounter;
}

HMODULE CoreGetModuleHandle(LPCSTR moduleName) {
  if (moduleName != nullptr) {
    return nullptr; // only the program's own module is known
  }
  return reinterpret_cast<HMODULE>(&moduleTag);
}

namespace {

bool IsResourceId(LPCSTR name) {
  return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

} // namespace

HICON CoreLoadIcon(HINSTANCE instance, LPCSTR name) {
  // Only the system icons (no module, an integer resource name) exist.
  if (instance != nullptr || name == nullptr || !IsResourceId(name)) {
    return nullptr;
  }
  return reinterpret_cast<HICON>(name == IDI_WINLOGO ? &iconTag[1] : &iconTag[0]);
}

HCURSOR CoreLoadCursor(HINSTANCE instance, LPCSTR name) {
  if (instance != nullptr || name == nullptr || !IsResourceId(name)) {
    return nullptr;
  }
  return reinterpret_cast<HCURSOR>(name == IDC_ARROW ? &cursorTag[0] : &cursorTag[1]);
}

// ---- Reset --------------------------------------------------------------------------------

void CoreReset() {
  CoreState& state = CoreGlobals();
  while (!state.windows.empty()) {
    auto first = state.windows.begin();
    std::unique_ptr<CoreWindow> record = std::move(first->second);
    state.windows.erase(first);
    BackendDestroyWindow(*record);
  }
  state = CoreState{};
  CoreResetFiles();
}
