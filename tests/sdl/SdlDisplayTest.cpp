// SdlDisplayTest.cpp: the SDL backend's GL and display-mode calls against a real X display
// (run under with_display.sh on a 1024x768x24 Xvfb): WGL's rules for device contexts,
// pixel formats and contexts, a compatibility context where immediate mode and GLU work,
// window sizes, and which full-screen modes the display accepts.
#include "SdlBackend.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

// Registers the test class and creates a hidden overlapped window with the given client
// size; the class goes when the fixture ends.
class SdlDisplay : public ::testing::Test {
protected:
  void SetUp() override {
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SdlDisplayTest";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
  }
  void TearDown() override { UnregisterClassA("SdlDisplayTest", GetModuleHandleA(nullptr)); }

  static HWND MakeWindow(int width, int height, DWORD style = WS_OVERLAPPEDWINDOW) {
    RECT rect{0, 0, width, height};
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    return CreateWindowExA(0, "SdlDisplayTest", "Display Test", style, 0, 0, rect.right - rect.left,
                           rect.bottom - rect.top, nullptr, nullptr, GetModuleHandleA(nullptr),
                           nullptr);
  }

  static PIXELFORMATDESCRIPTOR Request() {
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof(request);
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.iPixelType = PFD_TYPE_RGBA;
    request.cColorBits = 16;
    request.cDepthBits = 16;
    return request;
  }
};

TEST_F(SdlDisplay, WindowsHaveTheRequestedClientSize) {
  HWND window = MakeWindow(640, 480);
  ASSERT_NE(window, nullptr);
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right - client.left, 640);
  EXPECT_EQ(client.bottom - client.top, 480);
  SdlWindow* native = SdlFindWindow(window);
  ASSERT_NE(native, nullptr);
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(native->window, &width, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  EXPECT_TRUE(DestroyWindow(window));
  EXPECT_EQ(SdlFindWindow(window), nullptr);
}

TEST_F(SdlDisplay, DeviceContextsAndPixelFormatsFollowWgl) {
  HWND first = MakeWindow(64, 48);
  HWND second = MakeWindow(64, 48);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  HDC dc = GetDC(first);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDC(first), dc); // the class's own device context, the same every time
  EXPECT_NE(GetDC(second), dc);

  // No context before the pixel format is set.
  EXPECT_EQ(wglCreateContext(dc), nullptr);

  const PIXELFORMATDESCRIPTOR request = Request();
  const int format = ChoosePixelFormat(dc, &request);
  ASSERT_GT(format, 0);
  const int count = DescribePixelFormat(dc, format, 0, nullptr);
  EXPECT_GE(count, format);
  PIXELFORMATDESCRIPTOR described{};
  ASSERT_NE(DescribePixelFormat(dc, format, sizeof(described), &described), 0);
  EXPECT_GE(described.cColorBits, 16);
  // The closest format, not the deepest: the X server offers a 16-bit depth buffer, and a
  // deeper one changes which coplanar surface wins the depth test.
  EXPECT_EQ(described.cDepthBits, 16);
  EXPECT_NE(described.dwFlags & PFD_DOUBLEBUFFER, 0u);
  EXPECT_NE(described.dwFlags & PFD_SUPPORT_OPENGL, 0u);
  EXPECT_EQ(described.iPixelType, PFD_TYPE_RGBA);
  EXPECT_EQ(described.cRedBits + described.cGreenBits + described.cBlueBits, described.cColorBits);
  EXPECT_EQ(DescribePixelFormat(dc, count + 1, sizeof(described), &described), 0);

  // Colour-index formats are not offered.
  PIXELFORMATDESCRIPTOR indexed = request;
  indexed.iPixelType = 1;
  EXPECT_EQ(ChoosePixelFormat(dc, &indexed), 0);

  EXPECT_FALSE(SetPixelFormat(dc, count + 1, &request));
  EXPECT_TRUE(SetPixelFormat(dc, format, &request));

  // Released only against its own window.
  EXPECT_EQ(ReleaseDC(second, dc), 0);
  EXPECT_EQ(ReleaseDC(first, dc), 1);

  EXPECT_TRUE(DestroyWindow(first));
  EXPECT_TRUE(DestroyWindow(second));
  // A gone window's device context names nothing.
  EXPECT_EQ(GetDC(first), nullptr);
  EXPECT_FALSE(SwapBuffers(dc));
  EXPECT_FALSE(SetPixelFormat(dc, format, &request));
}

TEST_F(SdlDisplay, ContextsAreCompatibilityContextsMadeCurrentOnlyWhenAsked) {
  HWND window = MakeWindow(64, 48);
  ASSERT_NE(window, nullptr);
  HDC dc = GetDC(window);
  const PIXELFORMATDESCRIPTOR request = Request();
  ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &request), &request));

  HGLRC context = wglCreateContext(dc);
  ASSERT_NE(context, nullptr);
  // Creating a context does not make it current.
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  EXPECT_EQ(SDL_GL_GetCurrentContext(), nullptr);
  ASSERT_TRUE(wglMakeCurrent(dc, context));
  EXPECT_EQ(wglGetCurrentContext(), context);

  // Fixed-function state and GLU work: a compatibility context.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45.0, 4.0 / 3.0, 0.1, 100.0);
  GLfloat matrix[16] = {};
  glGetFloatv(GL_PROJECTION_MATRIX, matrix);
  const double f = 1.0 / std::tan(45.0 * M_PI / 360.0);
  EXPECT_NEAR(matrix[0], f / (4.0 / 3.0), 1e-5);
  EXPECT_NEAR(matrix[5], f, 1e-5);
  EXPECT_NEAR(matrix[11], -1.0, 1e-6);

  // Immediate mode draws into the back buffer.
  glViewport(0, 0, 64, 48);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glColor3f(0.0f, 1.0f, 0.0f);
  glBegin(GL_QUADS);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glVertex3f(1.0f, 1.0f, 0.0f);
  glVertex3f(-1.0f, 1.0f, 0.0f);
  glEnd();
  GLubyte pixel[3] = {};
  glReadBuffer(GL_BACK);
  glReadPixels(32, 24, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ(pixel[0], 0);
  EXPECT_EQ(pixel[1], 255);
  EXPECT_EQ(pixel[2], 0);
  EXPECT_TRUE(SwapBuffers(dc));

  // Releasing, then deleting; a deleted context is gone.
  EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  EXPECT_TRUE(wglMakeCurrent(dc, context));
  EXPECT_TRUE(wglDeleteContext(context)); // deleting the current one releases it
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  EXPECT_FALSE(wglDeleteContext(context));
  EXPECT_FALSE(wglMakeCurrent(dc, context));
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(SdlDisplay, RequestsBeyondTheWindowsVisualGetANativeWindowMadeForThem) {
  HWND window = MakeWindow(64, 48);
  ASSERT_NE(window, nullptr);
  HDC dc = GetDC(window);
  PIXELFORMATDESCRIPTOR request = Request();
  request.cColorBits = 32; // 8/8/8 and 8 alpha
  request.cDepthBits = 24;
  request.cStencilBits = 8;
  const int format = ChoosePixelFormat(dc, &request);
  ASSERT_GT(format, 0);
  PIXELFORMATDESCRIPTOR described{};
  ASSERT_NE(DescribePixelFormat(dc, format, sizeof(described), &described), 0);
  EXPECT_TRUE(SdlFormatSatisfies(described, request));
  ASSERT_TRUE(SetPixelFormat(dc, format, &request));
  EXPECT_FALSE(SetPixelFormat(dc, format == 1 ? 2 : 1, &request)); // set once

  // The context on the window really has what the format promised.
  HGLRC context = wglCreateContext(dc);
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(wglMakeCurrent(dc, context));
  GLint alpha = 0;
  GLint depth = 0;
  GLint stencil = 0;
  glGetIntegerv(GL_ALPHA_BITS, &alpha);
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  glGetIntegerv(GL_STENCIL_BITS, &stencil);
  EXPECT_GE(alpha, 8);
  EXPECT_EQ(depth, 24); // offered exactly, so the closest is not 32
  EXPECT_GE(stencil, 8);
  EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
  EXPECT_TRUE(wglDeleteContext(context));

  // The window is still the same window to the rest of the system.
  RECT client{};
  ASSERT_TRUE(GetClientRect(window, &client));
  EXPECT_EQ(client.right, 64);
  int width = 0;
  int height = 0;
  SDL_GetWindowSize(SdlFindWindow(window)->window, &width, &height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  EXPECT_EQ(GetDC(window), dc);
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(SdlDisplay, SingleBufferedRequestsGetASingleBufferedFormat) {
  HWND window = MakeWindow(64, 48);
  ASSERT_NE(window, nullptr);
  HDC dc = GetDC(window);
  PIXELFORMATDESCRIPTOR request = Request();
  request.dwFlags &= ~PFD_DOUBLEBUFFER;
  const int format = ChoosePixelFormat(dc, &request);
  PIXELFORMATDESCRIPTOR described{};
  ASSERT_NE(DescribePixelFormat(dc, format, sizeof(described), &described), 0);
  EXPECT_EQ(described.dwFlags & PFD_DOUBLEBUFFER, 0u);
  EXPECT_TRUE(SetPixelFormat(dc, format, &request));
  EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(SdlDisplay, FullScreenOnlyForModesTheDisplayOffers) {
  // The Xvfb screen offers exactly its own size, 1024x768 at 24 bits.
  DEVMODEA mode{};
  mode.dmSize = sizeof(mode);
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  mode.dmPelsWidth = 640;
  mode.dmPelsHeight = 480;
  mode.dmBitsPerPel = 16;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);
  EXPECT_EQ(SdlSwitchedMode(), nullptr);

  mode.dmPelsWidth = 1024;
  mode.dmPelsHeight = 768;
  mode.dmBitsPerPel = 32; // deeper than the display
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_BADMODE);

  mode.dmBitsPerPel = 16; // a deeper mode serves a shallower request
  ASSERT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL);
  ASSERT_NE(SdlSwitchedMode(), nullptr);

  // A popup of the switched size is full screen; an overlapped window is not.
  HWND popup = MakeWindow(1024, 768, WS_POPUP);
  HWND overlapped = MakeWindow(1024, 768);
  ASSERT_NE(popup, nullptr);
  ASSERT_NE(overlapped, nullptr);
  EXPECT_TRUE(SdlFindWindow(popup)->fullscreen);
  EXPECT_FALSE(SdlFindWindow(overlapped)->fullscreen);

  EXPECT_EQ(ChangeDisplaySettingsA(nullptr, 0), DISP_CHANGE_SUCCESSFUL);
  EXPECT_EQ(SdlSwitchedMode(), nullptr);
  EXPECT_FALSE(SdlFindWindow(popup)->fullscreen);
  EXPECT_EQ(SDL_GetWindowFlags(SdlFindWindow(popup)->window) & SDL_WINDOW_FULLSCREEN, 0u);
  EXPECT_TRUE(DestroyWindow(popup));
  EXPECT_TRUE(DestroyWindow(overlapped));
}

} // namespace
