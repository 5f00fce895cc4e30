// Headless.h: control of the headless backend, for tests and tools only.
//
// The headless backend implements the whole Win32-shaped interface with no display: GL
// through EGL on Mesa's surfaceless platform into a framebuffer object (RGB565 colour,
// 16-bit depth) of each window's client size; a fake display that offers a configurable
// set of full-screen modes; dialogs answered from a script; input events delivered
// through PeekMessageA at chosen points; a journal of every platform call; and fault
// injection. Nothing here is linked into the program.
#pragma once

#include "Win32.h"

#include <cstdint>
#include <string>
#include <vector>

// Back to a fresh process: no windows, classes, contexts, queued messages, script,
// dialogs, journal entries or faults; the display at its desktop mode; the cursor counter
// at 0; full-screen 640x480 offered (see HeadlessSetFullscreenModes); swap count 0.
void HeadlessReset();

// ---- Scripted input -----------------------------------------------------------------
// Each action is delivered to the newest live window through the message queue, the
// same PeekMessageA path as real input, once `afterSwaps` SwapBuffers calls have been
// made in total since the reset (0: at the first PeekMessageA). Actions due at the same
// point arrive in the order they were scripted: key, close and message actions are posted
// (and each is retrieved before anything scripted after it happens); minimise, restore,
// activation and resize send their messages to the window procedure from inside
// PeekMessageA, as Win32 sends them. While no window exists, due actions wait for one.
enum class HeadlessAction {
  KeyDown,    // WM_KEYDOWN, wParam = key (each further KeyDown acts as an auto-repeat)
  KeyUp,      // WM_KEYUP
  SysKeyDown, // WM_SYSKEYDOWN (a key with Alt held, or F10)
  SysKeyUp,   // WM_SYSKEYUP
  Minimize,   // WM_SIZE 0x0 (SIZE_MINIMIZED), then WM_ACTIVATE (WA_INACTIVE, minimised)
  Restore,    // WM_ACTIVATE (WA_ACTIVE, not minimised), then WM_SIZE with the client size
  Deactivate, // WM_ACTIVATE (WA_INACTIVE, not minimised): another window got the focus
  Activate,   // WM_ACTIVATE (WA_ACTIVE, not minimised)
  Resize,     // WM_SIZE with width and height (the framebuffer follows)
  Close,      // WM_SYSCOMMAND SC_CLOSE, as the window manager's close box sends it
  Message,    // any message: `message`, `wParam`, `lParam` as given
};

struct HeadlessEvent {
  HeadlessAction action = HeadlessAction::Message;
  int key = 0;       // virtual-key code for the key actions
  int width = 0;     // Resize
  int height = 0;    // Resize
  UINT message = 0;  // Message
  WPARAM wParam = 0; // Message
  LPARAM lParam = 0; // Message
};

void HeadlessScript(int afterSwaps, const HeadlessEvent& event);
// Shorthands.
void HeadlessKeyDownAt(int afterSwaps, int key);
void HeadlessKeyUpAt(int afterSwaps, int key);
void HeadlessActionAt(int afterSwaps, HeadlessAction action);

// Number of SwapBuffers calls since the reset.
int HeadlessSwapCount();

// ---- Frames -----------------------------------------------------------------------
// Ask for the frame presented by swap number `swapNumber` (1-based) to be read back at that
// swap; it can then be fetched after the window is gone. The frame is empty (0 by 0) when
// no rendering context was current on the swapped device context.
struct HeadlessFrame {
  int swapNumber = 0;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb; // width * height * 3 bytes, bottom row first (glReadPixels)
};
void HeadlessCaptureAtSwap(int swapNumber);
const std::vector<HeadlessFrame>& HeadlessFrames();
// Read the current context's framebuffer now (bottom row first). False with no context.
bool HeadlessReadFramebuffer(HeadlessFrame& frame);

// ---- Dialogs ----------------------------------------------------------------------
// Answers for the coming MessageBoxA calls, in order. When none is left, an MB_OK box
// answers IDOK and a Yes/No box IDNO.
void HeadlessAnswerDialogs(const std::vector<int>& answers);
struct HeadlessDialog {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT flags = 0;
  int answer = 0;
};
const std::vector<HeadlessDialog>& HeadlessDialogs();
// While captured (the default after HeadlessReset is not captured), boxes are only
// recorded; otherwise each is also written to stderr as one line "CAPTION: TEXT".
void HeadlessCaptureDialogs(bool capture);

// ---- Journal ----------------------------------------------------------------------
// Every platform call, in order, with its arguments and result.
struct HeadlessCall {
  std::string name;   // "CreateWindowExA"
  std::string args;   // "0x40100, \"OpenGL\", \"Talvern Corridor\", ..." (strings quoted)
  std::string result; // "0x1", "TRUE", "FALSE", "IDYES", ...
};
const std::vector<HeadlessCall>& HeadlessJournal();
std::string HeadlessJournalDump(); // one "name(args) -> result" line per call
// Index of the first call named `name` at or after `from`, or -1.
int HeadlessJournalFind(const std::string& name, int from = 0);
// Number of calls named `name`.
int HeadlessJournalCount(const std::string& name);
// Journaling is on after HeadlessReset; a long-running tool or benchmark may turn it off
// so the journal does not grow with every frame. Fault injection works either way.
void HeadlessSetJournaling(bool on);

// ---- Fault injection --------------------------------------------------------------
// Make the nth call (1-based, counted from now) of the named operation fail the way the
// real one does (null handle, 0, FALSE, or a DISP_CHANGE_ failure code). Names are the
// Win32 function names: "RegisterClassA", "UnregisterClassA", "ChangeDisplaySettingsA",
// "CreateWindowExA", "DestroyWindow", "GetDC", "ReleaseDC", "ChoosePixelFormat",
// "SetPixelFormat", "wglCreateContext", "wglMakeCurrent", "wglDeleteContext",
// "CreateFileA", "CreateFileW", "CreateFileMappingA", "MapViewOfFile", "LocalAlloc".
void HeadlessFailCall(const std::string& name, int nth = 1);

// ---- Display and windows ----------------------------------------------------------
// The full-screen modes the fake display offers (width x height at a colour depth of at
// least the one asked for). Default: 640x480 at 16 bits.
struct HeadlessMode {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
};
void HeadlessSetFullscreenModes(const std::vector<HeadlessMode>& modes);
// The current display mode; the desktop's is 1024x768x24.
HeadlessMode HeadlessDisplayMode();
bool HeadlessDisplayChanged(); // true while a full-screen mode is in force
int HeadlessCursorCounter();   // ShowCursor's display counter

struct HeadlessWindowInfo {
  bool exists = false;
  std::string className;
  std::string title;
  DWORD style = 0;
  DWORD exStyle = 0;
  int x = 0;
  int y = 0;
  int outerWidth = 0;
  int outerHeight = 0;
  int clientWidth = 0;
  int clientHeight = 0;
  bool visible = false;
  bool minimized = false;
  bool fullscreen = false; // a popup covering the display in a switched mode
};
HeadlessWindowInfo HeadlessWindow(HWND window);
HWND HeadlessNewestWindow(); // the most recently created live window, or null
int HeadlessLiveWindowCount();
int HeadlessLiveContextCount(); // rendering contexts created and not yet deleted
bool HeadlessClassRegistered(const std::string& className);
