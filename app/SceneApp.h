// SceneApp.h: the application shell: program entry and frame loop, the scene window's
// lifecycle, its window procedure, and the process-wide state they share (key table,
// activity and display-mode flags, and the record of held window handles).
#pragma once

#include "Win32.h"

// One flag per virtual-key code: non-zero while the key is down. Set and cleared by
// SceneWindowProc; the frame loop clears the F1 entry when it acts on it. Never cleared as
// a whole, not even across a display switch.
extern BYTE KeyTable[256];
// False while the scene window is minimised; the frame loop draws only while it is true.
extern bool WindowActive;
// True while the scene window runs (or is to run) full screen.
extern bool FullscreenMode;

// The handles that make up the scene window; null while not held.
struct SceneWindowHandles {
  HINSTANCE instanceHandle = nullptr;
  HWND windowHandle = nullptr;
  HDC deviceContext = nullptr;
  HGLRC renderingContext = nullptr;
};
extern SceneWindowHandles SceneWindow;

// The pixel-format request: filled by the first OpenSceneWindow call that creates its
// window and reused unchanged by every later call. nSize is 0 until it has been filled.
extern PIXELFORMATDESCRIPTOR PixelFormatRequest;

// Client size, colour depth and window titles of the scene window.
constexpr int SceneWidth = 640;
constexpr int SceneHeight = 480;
constexpr int SceneColourBits = 16;
constexpr const char* StartTitle = "Talvern Corridor";
constexpr const char* SwitchTitle = "Brimble's First Polygon Tutorial";
// Camera steps, applied once per idle pass of the frame loop.
constexpr float ForwardStep = 0.02f;
constexpr float TurnStep = 0.2f;

// Program entry in the GUI-entry form; all four arguments are ignored. Returns the exit
// status: 0 when a window cannot be opened or the loop ends on Escape or a failed frame,
// the quit message's code when it ends on a quit message.
int WINAPI SceneMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                     int showCommand);

// Builds the window class, display mode (full screen only), window, device context, pixel
// format and current GL rendering context, then the projection and GL state. True when the
// window is ready; false after a failure, which has been shown to the user and, from window
// creation on, torn down first.
bool OpenSceneWindow(const char* title, int width, int height, int bits, bool fullscreenFlag);
// Releases whatever SceneWindow holds, in reverse order of building, and in full-screen mode
// restores the display mode and the cursor. Never stops at a failure.
void CloseSceneWindow();

// Window procedure of the "OpenGL" class.
LRESULT CALLBACK SceneWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
