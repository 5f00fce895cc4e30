// SceneMain.cpp: the program entry and the frame loop. Asks whether to run full screen,
// opens the scene window, then polls the message queue without waiting: waiting messages
// are dispatched, and every pass that finds the queue empty draws and presents a frame,
// moves the camera by the held arrow keys and acts on F1 (switch between full screen and a
// window) and Escape (quit).
#include "SceneApp.h"

#include "SceneRender.h"

namespace {

// One idle pass's camera step for each arrow key held, in this order, each in single
// precision and stored before the next test.
void MoveCameraByHeldKeys() {
  if (KeyTable[VK_UP]) {
    SceneCamera.forwardOffset += ForwardStep;
  }
  if (KeyTable[VK_DOWN]) {
    SceneCamera.forwardOffset -= ForwardStep;
  }
  if (KeyTable[VK_LEFT]) {
    SceneCamera.yawLeft -= TurnStep;
  }
  if (KeyTable[VK_RIGHT]) {
    SceneCamera.yawRight += TurnStep;
  }
}

} // namespace

int WINAPI SceneMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MSG message = {};
  bool done = false;
  bool endedOnQuit = false;

  if (MessageBoxA(nullptr, "Would You Like To Run In Fullscreen Mode?", "Start FullScreen?",
                  MB_YESNO | MB_ICONQUESTION) == IDNO) {
    FullscreenMode = false;
  }
  if (!OpenSceneWindow(StartTitle, SceneWidth, SceneHeight, SceneColourBits, FullscreenMode)) {
    return 0;
  }

  while (!done) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        done = true;
        endedOnQuit = true;
      } else {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      continue;
    }

    // Idle pass. A failed frame ends the loop as Escape does; either way the F1 test below
    // still runs on this pass.
    if (WindowActive && !DrawScene()) {
      done = true;
    } else if (KeyTable[VK_ESCAPE]) {
      done = true;
    } else {
      // Presented even while minimised, when nothing new was drawn.
      SwapBuffers(SceneWindow.deviceContext);
      MoveCameraByHeldKeys();
    }

    if (KeyTable[VK_F1]) {
      KeyTable[VK_F1] = 0;
      CloseSceneWindow();
      FullscreenMode = !FullscreenMode;
      if (!OpenSceneWindow(SwitchTitle, SceneWidth, SceneHeight, SceneColourBits, FullscreenMode)) {
        return 0;
      }
    }
  }

  CloseSceneWindow();
  // Only a quit message carries an exit code; Escape and a failed frame end with 0.
  return endedOnQuit ? static_cast<int>(message.wParam) : 0;
}
