// SdlBackend.h: what the SDL backend's source files share: the video start-up, the native
// window records, and the pure translation helpers (keys, display modes, dialog layouts)
// that the unit tests check without a display.
#pragma once

#include "Win32.h"

#include <SDL.h>

#include <string>
#include <vector>

struct CoreWindow;

// ---- Video ----------------------------------------------------------------------------

// Starts SDL's video on a real display driver (X11, then Wayland) the first time it is
// needed. False when there is no display: SDL's offscreen and dummy drivers are never
// used, so a program with no display fails to create windows instead of running unseen.
bool SdlVideoReady();

// ---- Windows --------------------------------------------------------------------------

// The native side of one CoreWindow (CoreWindow::native points here).
struct SdlWindow {
  HWND handle = nullptr;
  SDL_Window* window = nullptr;
  HDC deviceContext = nullptr; // the window's own device context (class style CS_OWNDC)
  bool fullscreen = false;     // covering the display in the switched mode
  int pixelFormat = 0;         // set by SetPixelFormat; 0 until then
  bool formatKnown = false;    // `format` describes the window's GL visual
  PIXELFORMATDESCRIPTOR format{};
};

SdlWindow* SdlFindWindow(HWND handle);
SdlWindow* SdlFindWindowByDc(HDC dc);
SdlWindow* SdlFindWindowBySdl(SDL_Window* window);
const std::vector<SdlWindow*>& SdlWindows();

// Called when a window goes away, so that contexts made on it forget it.
void SdlForgetContextsOf(SdlWindow& window);

// The display mode in force after a successful ChangeDisplaySettingsA(CDS_FULLSCREEN), or
// null while the desktop's mode is in force. A WS_POPUP window of that size created while
// it is in force covers the display in that mode.
const SDL_DisplayMode* SdlSwitchedMode();

// ---- Keys -----------------------------------------------------------------------------

struct SdlKeyCode {
  int virtualKey = 0; // 0: a key with no virtual-key code
  int scanCode = 0;   // the PC (set 1) scan code that Win32 reports in lParam bits 16-23
  bool extended = false;
};

// The virtual-key code of a key: letters follow the keyboard layout (the key's keycode),
// everything else the key's position (its scancode). Keypad keys with Num Lock off give
// the navigation keys, as on Win32.
SdlKeyCode SdlVirtualKey(SDL_Scancode scancode, SDL_Keycode keycode, Uint16 modifiers);

struct SdlKeyMessage {
  UINT message = 0; // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN or WM_SYSKEYUP
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Builds the key message for an SDL key event. Keys with Alt held (and not Ctrl, which
// makes AltGr), the Alt key itself and F10 are system keys. lParam carries the repeat
// count 1, the scan code, the extended-key flag, the Alt context flag, the previous key
// state (set for auto-repeats and key-ups) and the transition flag (set for key-ups).
// False for a key with no virtual-key code.
bool SdlTranslateKey(const SDL_KeyboardEvent& event, SdlKeyMessage& out);

// ---- Display modes --------------------------------------------------------------------

struct SdlModeInfo {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
};

// Index in `offered` of the mode that serves a request for width x height at `bits`
// colour bits (0: any depth): the same size at the smallest depth of at least `bits`.
// -1 when the display offers no such mode.
int SdlPickMode(const std::vector<SdlModeInfo>& offered, int width, int height, int bits);

// ---- Dialogs --------------------------------------------------------------------------

struct SdlDialogButton {
  int answer = 0; // IDOK, IDCANCEL, IDYES or IDNO
  const char* label = "";
  Uint32 flags = 0; // SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT / _ESCAPEKEY_DEFAULT
};

struct SdlDialogLayout {
  Uint32 iconFlags = 0;                 // SDL_MESSAGEBOX_ERROR, _WARNING or _INFORMATION
  std::vector<SdlDialogButton> buttons; // left to right
  int dismissAnswer = 0;                // the answer when the box is closed without a button
  int fallbackAnswer = 0;               // the answer when no box can be shown at all
};

// Buttons and icon for a MessageBoxA type: MB_OK, MB_OKCANCEL, MB_YESNO or MB_YESNOCANCEL
// (anything else gets one OK button) with the MB_ICON flags. Return picks Yes or OK,
// Escape picks No (Cancel where there is one).
SdlDialogLayout SdlDialogFor(UINT type);

// The line a box becomes when no dialog can be shown: "CAPTION: TEXT", with the text's
// line breaks turned into spaces and trailing ones dropped, so it stays one line.
std::string SdlDialogFallbackLine(const char* caption, const char* text);
