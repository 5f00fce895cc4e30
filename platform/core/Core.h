// Core.h: the part of the platform layer that both backends share, and the link-time seam
// between it and a backend.
//
// The core keeps the class registry, the window table, the per-thread message queue,
// default window processing, the cursor counter, file mapping and local memory. It knows
// nothing of SDL or EGL: where it needs the native system it calls the Backend* hooks
// below, which each backend library defines exactly once.
//
// The public Win32 entry points (RegisterClassA, CreateWindowExA, ...) are defined by the
// backend, not here: a backend forwards them to the Core* functions, and the headless
// backend journals them and injects faults on the way. That keeps the journal and the
// fault tables out of the program.
#pragma once

#include "Win32.h"

#include <string>

// One window of ours. The core owns the record; `native` belongs to the backend.
struct CoreWindow {
  HWND handle = nullptr;
  std::string className;
  WNDPROC procedure = nullptr;
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
  bool destroying = false;
  void* native = nullptr;
};

// Class registry.
ATOM CoreRegisterClass(const WNDCLASSA* windowClass);
BOOL CoreUnregisterClass(LPCSTR className, HINSTANCE instance);
bool CoreClassRegistered(LPCSTR className);

// Windows. CoreCreateWindow looks the class up, builds the record, asks the backend for a
// native window, then sends WM_NCCREATE and WM_CREATE. CoreDestroyWindow sends WM_DESTROY
// and WM_NCDESTROY, releases the native window and forgets the handle.
HWND CoreCreateWindow(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                      int width, int height, HINSTANCE instance, LPVOID param);
BOOL CoreDestroyWindow(HWND window);
CoreWindow* CoreFindWindow(HWND window); // null for a handle that is not (or no longer) ours
CoreWindow* CoreNewestWindow();          // the most recently created live window, or null
int CoreWindowCount();                   // windows created and not yet destroyed
BOOL CoreAdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle);
BOOL CoreShowWindow(HWND window, int command);
BOOL CoreSetForegroundWindow(HWND window);
HWND CoreSetFocus(HWND window);
HWND CoreGetFocus();
BOOL CoreGetClientRect(HWND window, RECT* rect);

// Backends report native changes through these; each delivers the Win32 messages for it
// (WM_SIZE with the new client size, WM_ACTIVATE with the minimised flag in the high word).
// Each does nothing when the state has not changed, so a backend may report a change that
// a window-management call (ShowWindow, SetFocus, ...) has already delivered.
//   minimised: WM_SIZE (SIZE_MINIMIZED, 0 by 0), then WM_ACTIVATE (WA_INACTIVE, minimised)
//   restored:  WM_ACTIVATE (WA_ACTIVE, not minimised), then WM_SIZE with the client size
//   focus:     WM_ACTIVATE to the window losing the activation, then to the one gaining it
void CoreClientSizeChanged(HWND window, int width, int height);
void CoreMinimizedChanged(HWND window, bool minimized);
void CoreFocusChanged(HWND window, bool focused);

// Messages.
BOOL CorePeekMessage(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT remove);
BOOL CoreTranslateMessage(const MSG* msg);
LRESULT CoreDispatchMessage(const MSG* msg);
BOOL CorePostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CoreSendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void CorePostQuitMessage(int exitCode);
LRESULT CoreDefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Asks the window's procedure whether the screen saver (SC_SCREENSAVE) or monitor
// power-down (SC_MONITORPOWER) may start: true when default processing was reached.
bool CoreScreenSaverAllowed(HWND window, WPARAM command);

// Cursor display counter (starts at 0; the cursor shows while it is >= 0).
int CoreShowCursor(BOOL show);
int CoreCursorCounter(); // the counter's value, without changing it

// Module, icons, cursors.
HMODULE CoreGetModuleHandle(LPCSTR moduleName);
HICON CoreLoadIcon(HINSTANCE instance, LPCSTR name);
HCURSOR CoreLoadCursor(HINSTANCE instance, LPCSTR name);

// Files, mappings, local memory (POSIX open, fstat and mmap underneath). A view stays as
// the file was when it was opened: the file holds a read lease that keeps writers waiting,
// or, where none can be had, is read into private memory at the open.
HANDLE CoreCreateFile(LPCSTR path, DWORD access, DWORD shareMode, DWORD disposition);
HANDLE CoreCreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, DWORD disposition);
DWORD CoreGetFileSize(HANDLE file, LPDWORD sizeHigh);
HANDLE CoreCreateFileMapping(HANDLE file, DWORD protect, DWORD maxSizeHigh, DWORD maxSizeLow);
LPVOID CoreMapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                         SIZE_T length);
BOOL CoreUnmapViewOfFile(LPCVOID view);
BOOL CoreCloseHandle(HANDLE handle);
HLOCAL CoreLocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL CoreLocalFree(HLOCAL memory);

// Forget every window, class, queued message, quit request and the cursor counter: a
// fresh process as far as the core is concerned (used between headless test scenarios).
void CoreReset();

// ---- Implemented by each backend ----------------------------------------------------

// Create the native window for a new record (size, title and style are filled in); false
// makes CreateWindowExA fail. BackendDestroyWindow releases it.
bool BackendCreateWindow(CoreWindow& window);
void BackendDestroyWindow(CoreWindow& window);
// Make the native window visible, hidden, minimised or restored, and raise and focus it.
void BackendShowWindow(CoreWindow& window, int command);
void BackendFocusWindow(CoreWindow& window);
// Called by CorePeekMessage when the queue is empty: turn waiting native events into
// messages (posted with CorePostMessage, or delivered through the Core*Changed calls).
void BackendPumpEvents();
void BackendSetCursorVisible(bool visible);
