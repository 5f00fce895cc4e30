// SceneWindow.cpp: building and tearing down the scene window: the "OpenGL" window class,
// the full-screen display mode, the window, its device context and pixel format, and the GL
// rendering context, followed by the projection and one-time GL state of each new context.
#include "SceneApp.h"

#include "SceneRender.h"

SceneWindowHandles SceneWindow;
bool FullscreenMode = true;
PIXELFORMATDESCRIPTOR PixelFormatRequest = {};

namespace {

constexpr const char* ClassName = "OpenGL";

// A set-up failure: no owner window, caption "ERROR".
void ShowSetupError(const char* text, UINT icon = MB_ICONEXCLAMATION) {
  MessageBoxA(nullptr, text, "ERROR", MB_OK | icon);
}

// A tear-down failure: no owner window, caption "SHUTDOWN ERROR"; the tear-down goes on.
void ShowShutdownError(const char* text) {
  MessageBoxA(nullptr, text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
}

// Tear down what the failed set-up built, then tell the user.
bool FailAfterTearDown(const char* text) {
  CloseSceneWindow();
  ShowSetupError(text);
  return false;
}

// Double-buffered RGBA for a window with GL, `bits` of colour, 16 of depth, nothing else.
void FillPixelFormatRequest(int bits) {
  PixelFormatRequest = {};
  PixelFormatRequest.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  PixelFormatRequest.nVersion = 1;
  PixelFormatRequest.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  PixelFormatRequest.iPixelType = PFD_TYPE_RGBA;
  PixelFormatRequest.cColorBits = static_cast<BYTE>(bits);
  PixelFormatRequest.cDepthBits = 16;
  PixelFormatRequest.iLayerType = PFD_MAIN_PLANE;
}

} // namespace

bool OpenSceneWindow(const char* title, int width, int height, int bits, bool fullscreenFlag) {
  RECT windowRect;
  windowRect.left = 0;
  windowRect.top = 0;
  windowRect.right = width;
  windowRect.bottom = height;

  FullscreenMode = fullscreenFlag;
  SceneWindow.instanceHandle = GetModuleHandleA(nullptr);

  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = SceneWindowProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = SceneWindow.instanceHandle;
  windowClass.hIcon = LoadIconA(nullptr, IDI_WINLOGO);
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = nullptr;
  windowClass.lpszMenuName = nullptr;
  windowClass.lpszClassName = ClassName;
  if (RegisterClassA(&windowClass) == 0) {
    ShowSetupError("Failed To Register The Window Class.");
    return false;
  }

  if (FullscreenMode) {
    DEVMODEA screenSettings = {};
    screenSettings.dmSize = sizeof(DEVMODEA);
    screenSettings.dmPelsWidth = static_cast<DWORD>(width);
    screenSettings.dmPelsHeight = static_cast<DWORD>(height);
    screenSettings.dmBitsPerPel = static_cast<DWORD>(bits);
    screenSettings.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (ChangeDisplaySettingsA(&screenSettings, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
      const int answer =
          MessageBoxA(nullptr,
                      "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use "
                      "Windowed Mode Instead?",
                      "Brimble GL", MB_YESNO | MB_ICONEXCLAMATION);
      if (answer == IDYES) {
        FullscreenMode = false;
      } else {
        // The class stays registered: nothing is torn down on this road.
        ShowSetupError("Program Will Now Close.", MB_ICONSTOP);
        return false;
      }
    }
  }

  DWORD exStyle;
  DWORD style;
  if (FullscreenMode) {
    exStyle = WS_EX_APPWINDOW;
    style = WS_POPUP;
    ShowCursor(FALSE);
  } else {
    exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
    style = WS_OVERLAPPEDWINDOW;
  }
  // Grow the wanted client area to the outer window size.
  AdjustWindowRectEx(&windowRect, style, FALSE, exStyle);

  // The outer top-left corner goes to the screen origin, not to the adjusted corner.
  SceneWindow.windowHandle =
      CreateWindowExA(exStyle, ClassName, title, WS_CLIPSIBLINGS | WS_CLIPCHILDREN | style, 0, 0,
                      windowRect.right - windowRect.left, windowRect.bottom - windowRect.top,
                      nullptr, nullptr, SceneWindow.instanceHandle, nullptr);
  if (SceneWindow.windowHandle == nullptr) {
    return FailAfterTearDown("Window Creation Error.");
  }

  if (PixelFormatRequest.nSize == 0) {
    FillPixelFormatRequest(bits);
  }

  SceneWindow.deviceContext = GetDC(SceneWindow.windowHandle);
  if (SceneWindow.deviceContext == nullptr) {
    return FailAfterTearDown("Can't Create A GL Device Context.");
  }
  const int pixelFormat = ChoosePixelFormat(SceneWindow.deviceContext, &PixelFormatRequest);
  if (pixelFormat == 0) {
    return FailAfterTearDown("Can't Find A Suitable PixelFormat.");
  }
  if (!SetPixelFormat(SceneWindow.deviceContext, pixelFormat, &PixelFormatRequest)) {
    return FailAfterTearDown("Can't Set The PixelFormat.");
  }
  SceneWindow.renderingContext = wglCreateContext(SceneWindow.deviceContext);
  if (SceneWindow.renderingContext == nullptr) {
    return FailAfterTearDown("Can't Create A GL Rendering Context.");
  }
  if (!wglMakeCurrent(SceneWindow.deviceContext, SceneWindow.renderingContext)) {
    return FailAfterTearDown("Can't Activate The GL Rendering Context.");
  }

  ShowWindow(SceneWindow.windowHandle, SW_SHOW);
  SetForegroundWindow(SceneWindow.windowHandle);
  SetFocus(SceneWindow.windowHandle);
  // The requested size: size messages sent while showing may have reached the projection
  // before the context was current.
  ResizeScene(width, height);

  if (!InitSceneState()) {
    return FailAfterTearDown("Initialization Failed.");
  }
  return true;
}

void CloseSceneWindow() {
  if (FullscreenMode) {
    ChangeDisplaySettingsA(nullptr, 0);
    ShowCursor(TRUE);
  }

  if (SceneWindow.renderingContext != nullptr) {
    if (!wglMakeCurrent(nullptr, nullptr)) {
      ShowShutdownError("Release Of DC And RC Failed.");
    }
    if (!wglDeleteContext(SceneWindow.renderingContext)) {
      ShowShutdownError("Release Rendering Context Failed.");
    }
    SceneWindow.renderingContext = nullptr;
  }

  if (SceneWindow.deviceContext != nullptr) {
    if (!ReleaseDC(SceneWindow.windowHandle, SceneWindow.deviceContext)) {
      ShowShutdownError("Release Device Context Failed.");
    }
    SceneWindow.deviceContext = nullptr;
  }

  if (SceneWindow.windowHandle != nullptr) {
    if (!DestroyWindow(SceneWindow.windowHandle)) {
      ShowShutdownError("Could Not Release hWnd.");
    }
    SceneWindow.windowHandle = nullptr;
  }

  // Attempted every time, whether or not an instance handle is held.
  if (!UnregisterClassA(ClassName, SceneWindow.instanceHandle)) {
    ShowShutdownError("Could Not Unregister Class.");
  }
  SceneWindow.instanceHandle = nullptr;
}
