// dialog_capture_win32.cpp: dialog capture on Windows. A CBT hook on the calling thread
// sees each window as it is activated; a message box (dialog class "#32770") of this
// thread is read there, while it is fully built but before it waits for the user, and a
// button press is posted to it, which the box's own modal loop then handles. Everything
// else is let through untouched: after the box is gone an activation arrives with no class
// name, and while another program shows a box of its own, its activation can reach this
// thread's hook too (seen under Wine). A box activated again before the posted press
// arrived carries a property that marks it as answered, so it is recorded once.
#include "dialog_capture.h"

#include <cstring>

namespace {

// Per thread, like the hook itself: each thread captures only its own boxes.
thread_local HHOOK CaptureHook = nullptr;
thread_local std::vector<CapturedDialog> Captured;
thread_local std::vector<int> PendingAnswers;

constexpr int kStaticTextId = 0xFFFF; // the box's message text
constexpr char kAnsweredProperty[] = "TalvernDialogCaptureAnswered";

std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The icon a box shows, as MB_ICON* bits: recognised when it is one of the system's shared
// icons, which is what the box loads.
UINT IconFlags(HWND box) {
  struct Search {
    HICON icon = nullptr;
  } search;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM data) -> BOOL {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
          reinterpret_cast<Search*>(data)->icon =
              reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.icon == nullptr) {
    return 0;
  }
  const struct {
    LPCSTR id;
    UINT flag;
  } icons[] = {{IDI_HAND, MB_ICONHAND},
               {IDI_QUESTION, MB_ICONQUESTION},
               {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
               {IDI_ASTERISK, MB_ICONASTERISK}};
  for (const auto& icon : icons) {
    if (LoadIconA(nullptr, icon.id) == search.icon) {
      return icon.flag;
    }
  }
  return 0;
}

// The button set, from the buttons the box holds.
UINT ButtonFlags(HWND box) {
  const bool ok = GetDlgItem(box, IDOK) != nullptr;
  const bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
  const bool yes = GetDlgItem(box, IDYES) != nullptr;
  const bool no = GetDlgItem(box, IDNO) != nullptr;
  if (yes && no) {
    return cancel ? MB_YESNOCANCEL : MB_YESNO;
  }
  if (ok && cancel) {
    return MB_OKCANCEL;
  }
  return MB_OK;
}

LRESULT CALLBACK CaptureProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wParam);
    char className[16] = {};
    if (GetClassNameA(box, className, sizeof className) > 0 &&
        std::strcmp(className, "#32770") == 0 &&
        GetWindowThreadProcessId(box, nullptr) == GetCurrentThreadId() &&
        GetPropA(box, kAnsweredProperty) == nullptr) {
      SetPropA(box, kAnsweredProperty, reinterpret_cast<HANDLE>(1));
      CapturedDialog dialog;
      dialog.owner = GetWindow(box, GW_OWNER);
      dialog.caption = WindowText(box);
      char text[4096] = {};
      GetDlgItemTextA(box, kStaticTextId, text, sizeof text);
      dialog.text = text;
      dialog.flags = ButtonFlags(box) | IconFlags(box);
      if (!PendingAnswers.empty()) {
        dialog.answer = PendingAnswers.front();
        PendingAnswers.erase(PendingAnswers.begin());
      } else {
        dialog.answer = GetDlgItem(box, IDOK) != nullptr ? IDOK : IDNO;
      }
      PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(dialog.answer), 0);
      Captured.push_back(dialog);
    }
  } else if (code == HCBT_DESTROYWND) {
    // A window's properties are to be removed before it goes.
    RemovePropA(reinterpret_cast<HWND>(wParam), kAnsweredProperty);
  }
  return CallNextHookEx(CaptureHook, code, wParam, lParam);
}

} // namespace

bool BeginDialogCapture(const std::vector<int>& answers) {
  Captured.clear();
  PendingAnswers = answers;
  if (CaptureHook == nullptr) {
    CaptureHook = SetWindowsHookExA(WH_CBT, CaptureProc, nullptr, GetCurrentThreadId());
  }
  return CaptureHook != nullptr;
}

std::vector<CapturedDialog> CapturedDialogs() {
  return Captured;
}

void EndDialogCapture() {
  if (CaptureHook != nullptr) {
    UnhookWindowsHookEx(CaptureHook);
    CaptureHook = nullptr;
  }
}
