// HeadlessInternal.h: what the headless backend's source files share: the journal and
// fault hooks every public call goes through, argument formatting, the per-window native
// record, and the GL side's hooks for window and reset events.
#pragma once

#include "Core.h"
#include "Headless.h"

#include <cstddef>
#include <string>
#include <utility>

// The backend's part of a window (CoreWindow::native).
struct HeadlessNative {
  bool fullscreenPopup = false; // a WS_POPUP created while the display was switched
  HDC dc = nullptr;             // its own device context, once GetDC asked for it
};

// ---- Journal and faults ----------------------------------------------------------------
bool HeadlessJournaling();
std::size_t HeadlessJournalOpen(const char* name, std::string args);
void HeadlessJournalClose(std::size_t index, std::string result);
// True when this call of `name` is one that HeadlessFailCall asked to fail.
bool HeadlessFaultDue(const char* name);
void HeadlessJournalReset();

// One journaled call: opened with its arguments on entry (so calls made from inside it,
// such as a window procedure's, follow it), closed with its result on exit. The argument
// text is only built while journaling is on.
class HeadlessCallScope {
public:
  template <typename MakeArgs> HeadlessCallScope(const char* name, MakeArgs&& makeArgs) {
    if (HeadlessJournaling()) {
      index = HeadlessJournalOpen(name, std::forward<MakeArgs>(makeArgs)());
    }
    failing = HeadlessFaultDue(name);
  }
  bool Failing() const { return failing; }
  template <typename T, typename Format> T Result(T value, Format format) {
    if (index != NoEntry) {
      HeadlessJournalClose(index, format(value));
    }
    return value;
  }
  void Done() {
    if (index != NoEntry) {
      HeadlessJournalClose(index, "");
    }
  }

private:
  static constexpr std::size_t NoEntry = static_cast<std::size_t>(-1);
  std::size_t index = NoEntry;
  bool failing = false;
};

// Argument and result text.
std::string FormatHex(unsigned long long value); // 0x40100
std::string FormatDec(long long value);
std::string FormatPtr(const void* value);     // 0x10010, or NULL
std::string FormatStr(const char* value);     // "text" with escapes, or NULL
std::string FormatWide(const wchar_t* value); // L"text", or NULL
std::string FormatBool(BOOL value);           // TRUE / FALSE
std::string FormatAnswer(int value);          // IDOK / IDYES / IDNO / ...
std::string FormatDisp(LONG value);           // DISP_CHANGE_...

template <typename... Parts> std::string JoinArgs(const Parts&... parts) {
  std::string out;
  bool first = true;
  ((out += first ? "" : ", ", out += parts, first = false), ...);
  return out;
}

// ---- GL side (HeadlessGL.cpp) -----------------------------------------------------------
void HeadlessGLReset();                        // delete every context, forget every DC
void HeadlessGLWindowGone(CoreWindow& window); // the window's DC dies with it
void HeadlessGLFollowClientSize();             // fit the current framebuffer to its window
void HeadlessGLSwapsReset();

// ---- Scripted input (HeadlessUser.cpp) ----------------------------------------------------
void HeadlessScriptReset();
