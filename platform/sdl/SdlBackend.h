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

// The least GL visual sizes a native window is made with. An X11 window's visual is fixed
// when the window is made, so every window starts with the usual request's sizes (5/6/5
// colour, 16-bit depth, double buffered); a pixel format that asks for more gets a native
// window made again with its sizes (see SetPixelFormat).
struct SdlVisual {
  int red = 5;
  int green = 6;
  int blue = 5;
  int alpha = 0;
  int depth = 16;
  int stencil = 0;
  bool doubleBuffer = true;
  bool operator==(const SdlVisual&) const = default;
};

// The visual sizes to ask for a pixel-format request: its sizes, never below the usual
// ones. Colour depths above 16 ask 8 bits a channel; above 24 the rest is alpha, as 32-bit
// formats are 8/8/8 colour with 8 alpha.
SdlVisual SdlVisualFor(const PIXELFORMATDESCRIPTOR& request);

// The X11 visual closest to `wanted` among those at least as good (smallest depth buffer
// first), or 0 when the video driver is not X11 or no visual qualifies.
unsigned long SdlClosestX11Visual(const SdlVisual& wanted);

// Whether a format is at least as good as a request: colour (counted up to 24 bits),
// alpha, depth and stencil bits at least those asked, double buffered if asked.
bool SdlFormatSatisfies(const PIXELFORMATDESCRIPTOR& format, const PIXELFORMATDESCRIPTOR& request);

// Pixel format numbers a window offers: its own visual, and the one a request asking for
// more than that was found to get (valid once `alternativeKnown`).
constexpr int SdlOwnFormat = 1;
constexpr int SdlAlternativeFormat = 2;

// The native side of one CoreWindow (CoreWindow::native points here).
struct SdlWindow {
  HWND handle = nullptr;
  SDL_Window* window = nullptr;
  HDC deviceContext = nullptr; // the window's own device context (class style CS_OWNDC)
  bool fullscreen = false;     // covering the display in the switched mode
  // Set while the window manager's own minimise or restore is being delivered: the native
  // window is already in that state, so default processing must not ask for it again.
  bool nativeStateChange = false;
  int pixelFormat = 0;      // set by SetPixelFormat; 0 until then
  SdlVisual visual;         // what the native window was made with
  bool formatKnown = false; // `format` describes the window's GL visual (format 1)
  PIXELFORMATDESCRIPTOR format{};
  bool alternativeKnown = false; // format 2: `alternative`, made with `alternativeVisual`
  SdlVisual alternativeVisual;
  PIXELFORMATDESCRIPTOR alternative{};
};

// Sets SDL's GL attributes for the next native window: the visual's sizes, and no version
// or profile, which gives compatibility contexts (GL 1.1 immediate mode and GLU).
void SdlUseVisual(const SdlVisual& visual);
// Makes the window's native window again with another visual (same title, place, size,
// state); false leaves the old one in place.
bool SdlRemakeNativeWindow(SdlWindow& window, const SdlVisual& visual);

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
