// SceneWindowProc.cpp: the scene window's procedure and the key and activity state it
// maintains. It records held keys in KeyTable, tracks minimisation in WindowActive, passes
// client-size changes to the projection, turns a close request into a quit message and
// keeps the screen saver and monitor power-down from starting.
#include "SceneApp.h"

#include "SceneRender.h"

BYTE KeyTable[256] = {};
bool WindowActive = true;

LRESULT CALLBACK SceneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_ACTIVATE:
    // The high word is the minimised flag; the activation state in the low word does not
    // matter: a window that merely lost the focus keeps drawing.
    WindowActive = HIWORD(wParam) == 0;
    return 0;

  case WM_SYSCOMMAND:
    // Compared whole: the screen saver and monitor power-down are kept from starting,
    // every other system command gets default processing.
    if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER) {
      return 0;
    }
    break;

  case WM_CLOSE:
    // The window stays; the frame loop ends on the quit message and tears it down.
    PostQuitMessage(0);
    return 0;

  case WM_KEYDOWN:
    // A code of 256 or more names no entry of the table and is ignored.
    if (wParam < sizeof KeyTable) {
      KeyTable[wParam] = 1;
    }
    return 0;

  case WM_KEYUP:
    if (wParam < sizeof KeyTable) {
      KeyTable[wParam] = 0;
    }
    return 0;

  case WM_SIZE:
    // Both halves are unsigned 16-bit sizes, widened to int without sign extension.
    ResizeScene(static_cast<int>(LOWORD(lParam)), static_cast<int>(HIWORD(lParam)));
    return 0;

  default:
    break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
