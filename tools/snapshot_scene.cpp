// snapshot_scene.cpp: the headless window, context and frame read-back behind
// talvern-snapshot and the picture tests.
#include "snapshot_scene.h"

#include "Headless.h"

#include <utility>

namespace {

constexpr const char* ClassName = "TalvernSnapshot";

struct SnapshotHandles {
  HWND window = nullptr;
  HDC deviceContext = nullptr;
  HGLRC renderingContext = nullptr;
};
SnapshotHandles Snapshot;

LRESULT CALLBACK SnapshotWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

bool OpenSnapshotWindow(int width, int height) {
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = SnapshotWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = ClassName;
  if (RegisterClassA(&windowClass) == 0) {
    return false;
  }
  Snapshot.window = CreateWindowExA(0, ClassName, "Talvern Snapshot",
                                    WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, width,
                                    height, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (Snapshot.window == nullptr) {
    CloseSnapshotWindow();
    return false;
  }
  Snapshot.deviceContext = GetDC(Snapshot.window);
  if (Snapshot.deviceContext == nullptr) {
    CloseSnapshotWindow();
    return false;
  }
  PIXELFORMATDESCRIPTOR request = {};
  request.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  request.nVersion = 1;
  request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  request.iPixelType = PFD_TYPE_RGBA;
  request.cColorBits = 16;
  request.cDepthBits = 16;
  request.iLayerType = PFD_MAIN_PLANE;
  const int format = ChoosePixelFormat(Snapshot.deviceContext, &request);
  if (format == 0 || !SetPixelFormat(Snapshot.deviceContext, format, &request)) {
    CloseSnapshotWindow();
    return false;
  }
  Snapshot.renderingContext = wglCreateContext(Snapshot.deviceContext);
  if (Snapshot.renderingContext == nullptr ||
      !wglMakeCurrent(Snapshot.deviceContext, Snapshot.renderingContext)) {
    CloseSnapshotWindow();
    return false;
  }
  ShowWindow(Snapshot.window, SW_SHOW);
  return true;
}

void CloseSnapshotWindow() {
  if (Snapshot.renderingContext != nullptr) {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(Snapshot.renderingContext);
    Snapshot.renderingContext = nullptr;
  }
  if (Snapshot.deviceContext != nullptr) {
    ReleaseDC(Snapshot.window, Snapshot.deviceContext);
    Snapshot.deviceContext = nullptr;
  }
  if (Snapshot.window != nullptr) {
    DestroyWindow(Snapshot.window);
    Snapshot.window = nullptr;
  }
  UnregisterClassA(ClassName, GetModuleHandleA(nullptr));
}

bool MakeSnapshotContextCurrent(bool current) {
  if (Snapshot.renderingContext == nullptr) {
    return false;
  }
  return current ? wglMakeCurrent(Snapshot.deviceContext, Snapshot.renderingContext)
                 : wglMakeCurrent(nullptr, nullptr);
}

bool SwapSnapshotWindow() {
  return Snapshot.deviceContext != nullptr && SwapBuffers(Snapshot.deviceContext);
}

bool RenderSnapshotFrames(const CameraPose& pose, int frames, SnapshotImage& image) {
  SceneCamera = pose;
  for (int frame = 1; frame <= frames; ++frame) {
    DrawScene();
    if (frame == frames) {
      HeadlessFrame captured;
      if (!HeadlessReadFramebuffer(captured)) {
        return false;
      }
      image.width = captured.width;
      image.height = captured.height;
      image.rgb = std::move(captured.rgb);
    }
    if (!SwapSnapshotWindow()) {
      return false;
    }
  }
  return frames >= 1;
}

bool TakeSceneSnapshot(const CameraPose& pose, int frames, int width, int height,
                       SnapshotImage& image) {
  if (!OpenSnapshotWindow(width, height)) {
    return false;
  }
  ResizeScene(width, height);
  const bool rendered = InitSceneState() && RenderSnapshotFrames(pose, frames, image);
  CloseSnapshotWindow();
  return rendered;
}
