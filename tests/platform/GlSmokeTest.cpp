// GlSmokeTest.cpp: real GL through the headless backend: a window and a context, a clear
// and a quad, a buffer swap and the pixels read back; the RGB565/16-bit-depth format; the
// framebuffer following the client size; separate contexts; releasing and deleting.
#include "PlatformTestSupport.h"

#include <GL/gl.h>

#include <cstring>

namespace {

class GlSmoke : public PlatformTest {
protected:
  // A window with a current context, client area width by height, pixel format `bits`.
  struct Scene {
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
  };

  static Scene Open(int width, int height, int bits = 16) {
    Scene scene;
    scene.window = MakeWindow(width, height);
    scene.dc = GetDC(scene.window);
    PIXELFORMATDESCRIPTOR request{};
    request.nSize = sizeof request;
    request.nVersion = 1;
    request.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    request.cColorBits = static_cast<BYTE>(bits);
    request.cDepthBits = 16;
    EXPECT_TRUE(SetPixelFormat(scene.dc, ChoosePixelFormat(scene.dc, &request), &request));
    scene.context = wglCreateContext(scene.dc);
    EXPECT_NE(scene.context, nullptr);
    EXPECT_TRUE(wglMakeCurrent(scene.dc, scene.context));
    return scene;
  }

  static const std::uint8_t* Pixel(const HeadlessFrame& frame, int x, int y) {
    return &frame.rgb[(static_cast<std::size_t>(y) * frame.width + x) * 3];
  }
};

TEST_F(GlSmoke, ClearsDrawsSwapsAndReadsBackBottomRowFirst) {
  RegisterRecorder();
  Scene scene = Open(64, 48);
  ASSERT_EQ(wglGetCurrentContext(), scene.context);
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  ASSERT_NE(version, nullptr);

  glViewport(0, 0, 64, 48);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // A blue quad over the bottom half only, so the row order shows.
  glColor3f(0.0f, 0.0f, 1.0f);
  glBegin(GL_QUADS);
  glVertex3f(-1.0f, -1.0f, 0.0f);
  glVertex3f(1.0f, -1.0f, 0.0f);
  glVertex3f(1.0f, 0.0f, 0.0f);
  glVertex3f(-1.0f, 0.0f, 0.0f);
  glEnd();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  HeadlessCaptureAtSwap(2);
  ASSERT_TRUE(SwapBuffers(scene.dc));
  EXPECT_TRUE(HeadlessFrames().empty()) << "swap 1 was not asked for";
  ASSERT_TRUE(SwapBuffers(scene.dc));
  ASSERT_EQ(HeadlessFrames().size(), 1u);
  const HeadlessFrame& frame = HeadlessFrames()[0];
  EXPECT_EQ(frame.swapNumber, 2);
  ASSERT_EQ(frame.width, 64);
  ASSERT_EQ(frame.height, 48);
  ASSERT_EQ(frame.rgb.size(), 64u * 48u * 3u);
  const std::uint8_t* bottom = Pixel(frame, 10, 2);
  const std::uint8_t* top = Pixel(frame, 10, 45);
  EXPECT_EQ(bottom[0], 0);
  EXPECT_EQ(bottom[2], 255) << "the quad is in the first rows";
  EXPECT_EQ(top[0], 255);
  EXPECT_EQ(top[2], 0);

  // The frame stays readable after the swap, and outlives the window.
  HeadlessFrame now;
  ASSERT_TRUE(HeadlessReadFramebuffer(now));
  EXPECT_EQ(now.rgb, frame.rgb);
  wglMakeCurrent(nullptr, nullptr);
  wglDeleteContext(scene.context);
  DestroyWindow(scene.window);
  EXPECT_EQ(HeadlessFrames().size(), 1u);
}

TEST_F(GlSmoke, SixteenBitFormatHasRgb565ColourAndSixteenBitDepth) {
  RegisterRecorder();
  Open(16, 16, 16);
  GLint red = 0, green = 0, blue = 0, depth = 0;
  glGetIntegerv(GL_RED_BITS, &red);
  glGetIntegerv(GL_GREEN_BITS, &green);
  glGetIntegerv(GL_BLUE_BITS, &blue);
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_EQ(red, 5);
  EXPECT_EQ(green, 6);
  EXPECT_EQ(blue, 5);
  EXPECT_EQ(depth, 16);

  // A mid grey comes back quantised to 5 and 6 bits.
  glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  HeadlessFrame frame;
  ASSERT_TRUE(HeadlessReadFramebuffer(frame));
  // True when an 8-bit value is the expansion of some `bits`-bit value.
  auto representable = [](int value, int bits) {
    int levels = (1 << bits) - 1;
    for (int level = 0; level <= levels; ++level) {
      int expanded = (level * 255 + levels / 2) / levels;
      if (expanded - 1 <= value && value <= expanded + 1) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(representable(frame.rgb[0], 5)) << int{frame.rgb[0]};
  EXPECT_TRUE(representable(frame.rgb[1], 6)) << int{frame.rgb[1]};
  EXPECT_NE(frame.rgb[0], frame.rgb[1]) << "red and green have different precision";
}

TEST_F(GlSmoke, FramebufferFollowsTheClientSize) {
  RegisterRecorder();
  Scene scene = Open(64, 48);
  HeadlessEvent resize;
  resize.action = HeadlessAction::Resize;
  resize.width = 40;
  resize.height = 30;
  HeadlessScript(1, resize);
  SwapBuffers(scene.dc);
  MSG msg{};
  PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
  HeadlessFrame frame;
  ASSERT_TRUE(HeadlessReadFramebuffer(frame));
  EXPECT_EQ(frame.width, 40);
  EXPECT_EQ(frame.height, 30);

  // Minimising keeps the last size rather than a 0 by 0 framebuffer.
  HeadlessActionAt(1, HeadlessAction::Minimize);
  PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
  ASSERT_TRUE(HeadlessReadFramebuffer(frame));
  EXPECT_EQ(frame.width, 40);
}

TEST_F(GlSmoke, ContextsAreSeparateAndReleaseCleanly) {
  RegisterRecorder();
  Scene first = Open(8, 8);
  GLuint firstName = 0;
  glGenTextures(1, &firstName);
  ASSERT_NE(firstName, 0u);
  Scene second = Open(8, 8);
  EXPECT_EQ(wglGetCurrentContext(), second.context);
  EXPECT_NE(second.context, first.context);
  EXPECT_EQ(HeadlessLiveContextCount(), 2);
  GLuint secondName = 0;
  glGenTextures(1, &secondName);
  EXPECT_EQ(secondName, firstName) << "no sharing: names start afresh in each context";
  EXPECT_EQ(glIsTexture(firstName), GL_FALSE) << "the first context's texture is not here";

  // A context only goes with a device context of its own pixel format.
  Scene deep = Open(8, 8, 24);
  EXPECT_FALSE(wglMakeCurrent(deep.dc, first.context));
  EXPECT_EQ(wglGetCurrentContext(), deep.context);

  EXPECT_TRUE(wglMakeCurrent(nullptr, nullptr));
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  HeadlessFrame frame;
  EXPECT_FALSE(HeadlessReadFramebuffer(frame)) << "nothing current";
  EXPECT_TRUE(wglDeleteContext(first.context));
  EXPECT_FALSE(wglDeleteContext(first.context)) << "already deleted";
  EXPECT_EQ(HeadlessLiveContextCount(), 2);
  // Deleting the current context also releases it.
  ASSERT_TRUE(wglMakeCurrent(second.dc, second.context));
  EXPECT_TRUE(wglDeleteContext(second.context));
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  EXPECT_FALSE(wglMakeCurrent(second.dc, second.context));

  // Without a pixel format there is no context.
  HWND bare = MakeWindow(8, 8);
  EXPECT_EQ(wglCreateContext(GetDC(bare)), nullptr);

  // A reset deletes whatever contexts are left, current or not.
  ASSERT_TRUE(wglMakeCurrent(deep.dc, deep.context));
  HeadlessReset();
  EXPECT_EQ(HeadlessLiveContextCount(), 0);
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
  RegisterRecorder();
  Scene fresh = Open(8, 8);
  EXPECT_EQ(wglGetCurrentContext(), fresh.context);
  GLuint freshName = 0;
  glGenTextures(1, &freshName);
  EXPECT_EQ(freshName, firstName) << "the display is reused, the context is new";
}

} // namespace
