// CoreMessages.cpp: the thread's message queue (posting, peeking, the quit request),
// key translation, dispatch to window procedures, and default window processing.
#include "CoreInternal.h"

#include <chrono>

namespace {

DWORD MessageTime() {
  using namespace std::chrono;
  return static_cast<DWORD>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
  if (window != nullptr && msg.hwnd != window) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) {
    return true;
  }
  return msg.message >= filterMin && msg.message <= filterMax;
}

// Takes (or copies, for PM_NOREMOVE) the first queued message that passes the filters.
bool TakeQueued(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  std::deque<MSG>& queue = CoreGlobals().queue;
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if (Matches(*it, window, filterMin, filterMax)) {
      *msg = *it;
      if ((remove & PM_REMOVE) != 0) {
        queue.erase(it);
      }
      return true;
    }
  }
  return false;
}

// The character a key produces with no modifier held, or 0 for a key without one.
char KeyCharacter(WPARAM key) {
  if (key >= 'A' && key <= 'Z') {
    return static_cast<char>(key - 'A' + 'a');
  }
  if (key >= '0' && key <= '9') {
    return static_cast<char>(key);
  }
  if (key >= static_cast<WPARAM>(VK_NUMPAD0) && key <= static_cast<WPARAM>(VK_NUMPAD9)) {
    return static_cast<char>('0' + (key - VK_NUMPAD0));
  }
  switch (key) {
  case VK_SPACE:
    return ' ';
  case VK_RETURN:
    return '\r';
  case VK_ESCAPE:
    return 0x1B;
  case VK_BACK:
    return '\b';
  case VK_TAB:
    return '\t';
  case VK_MULTIPLY:
    return '*';
  case VK_ADD:
    return '+';
  case VK_SUBTRACT:
  case VK_OEM_MINUS:
    return '-';
  case VK_DECIMAL:
  case VK_OEM_PERIOD:
    return '.';
  case VK_DIVIDE:
  case VK_OEM_2:
    return '/';
  case VK_OEM_1:
    return ';';
  case VK_OEM_PLUS:
    return '=';
  case VK_OEM_COMMA:
    return ',';
  case VK_OEM_3:
    return '`';
  case VK_OEM_4:
    return '[';
  case VK_OEM_5:
    return '\\';
  case VK_OEM_6:
    return ']';
  case VK_OEM_7:
    return '\'';
  default:
    return 0;
  }
}

} // namespace

BOOL CorePostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window != nullptr && CoreFindWindow(window) == nullptr) {
    return FALSE;
  }
  MSG msg{};
  msg.hwnd = window;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  msg.time = MessageTime();
  CoreGlobals().queue.push_back(msg);
  return TRUE;
}

LRESULT CoreSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CoreWindow* record = CoreFindWindow(window);
  if (record == nullptr || record->procedure == nullptr) {
    return 0;
  }
  return record->procedure(window, message, wParam, lParam);
}

void CorePostQuitMessage(int exitCode) {
  CoreState& state = CoreGlobals();
  state.quitPending = true;
  state.quitCode = exitCode;
}

BOOL CorePeekMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  if (msg == nullptr) {
    return FALSE;
  }
  if (TakeQueued(msg, window, filterMin, filterMax, remove)) {
    return TRUE;
  }
  // Nothing waiting: turn native events into messages (sent ones are delivered right
  // here, as Win32 delivers sent messages inside PeekMessage), then look again.
  BackendPumpEvents();
  if (TakeQueued(msg, window, filterMin, filterMax, remove)) {
    return TRUE;
  }
  // The quit request comes only after every posted message.
  CoreState& state = CoreGlobals();
  bool wantsQuit =
      (filterMin == 0 && filterMax == 0) || (filterMin <= WM_QUIT && WM_QUIT <= filterMax);
  if (state.quitPending && wantsQuit) {
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(state.quitCode);
    msg->time = MessageTime();
    if ((remove & PM_REMOVE) != 0) {
      state.quitPending = false;
    }
    return TRUE;
  }
  return FALSE;
}

BOOL CoreTranslateMessage(const MSG* msg) {
  if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
    return FALSE;
  }
  char character = KeyCharacter(msg->wParam);
  if (character == 0) {
    return FALSE;
  }
  // The character message is the next one retrieved, ahead of anything else queued.
  MSG charMsg = *msg;
  charMsg.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
  charMsg.wParam = static_cast<unsigned char>(character);
  CoreGlobals().queue.push_front(charMsg);
  return TRUE;
}

LRESULT CoreDispatchMessage(const MSG* msg) {
  if (msg == nullptr || msg->hwnd == nullptr) {
    return 0;
  }
  return CoreSendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT CoreDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
  switch (message) {
  case WM_NCCREATE:
    return TRUE; // let creation go on
  case WM_CLOSE:
    CoreDestroyWindow(window);
    return 0;
  case WM_SYSKEYDOWN:
    if (wParam == static_cast<WPARAM>(VK_F4)) { // Alt+F4
      CoreSendMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return 0;
  case WM_SYSCOMMAND:
    switch (wParam & 0xFFF0) { // the low four bits are for the system's own use
    case SC_CLOSE:
      CoreSendMessage(window, WM_CLOSE, 0, 0);
      break;
    case SC_MINIMIZE:
      CoreShowWindow(window, SW_MINIMIZE);
      break;
    case SC_RESTORE:
      CoreShowWindow(window, SW_RESTORE);
      break;
    case SC_SCREENSAVE:
    case SC_MONITORPOWER:
      CoreGlobals().screenSaverReached = true;
      break;
    default:
      break;
    }
    return 0;
  default:
    return 0;
  }
}

bool CoreScreenSaverAllowed(HWND window, WPARAM command) {
  CoreState& state = CoreGlobals();
  if (CoreFindWindow(window) == nullptr) {
    return true; // no window of ours to object
  }
  state.screenSaverReached = false;
  CoreSendMessage(window, WM_SYSCOMMAND, command, 0);
  bool allowed = state.screenSaverReached;
  state.screenSaverReached = false;
  return allowed;
}
