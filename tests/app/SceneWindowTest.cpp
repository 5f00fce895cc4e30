// SceneWindowTest.cpp: the scene window's lifecycle on the headless backend: what each display
// mode builds, the tear-down of every set-up failure before its message, tear-down failures
// that are reported while the tear-down goes on, and the pixel-format request's lifetime.
#include "SceneTestSupport.h"

#include <GL/gl.h>

#include <array>
#include <cstring>

namespace {

constexpr DWORD ClipStyles = WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
const std::string SetupCaption = "ERROR";

void ExpectNothingHeld() {
  EXPECT_EQ(SceneWindow.instanceHandle, nullptr);
  EXPECT_EQ(SceneWindow.windowHandle, nullptr);
  EXPECT_EQ(SceneWindow.deviceContext, nullptr);
  EXPECT_EQ(SceneWindow.renderingContext, nullptr);
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
  EXPECT_EQ(HeadlessLiveContextCount(), 0);
}

void ExpectDesktopRestored() {
  EXPECT_FALSE(HeadlessDisplayChanged());
  const HeadlessMode mode = HeadlessDisplayMode();
  EXPECT_EQ(mode.width, 1024);
  EXPECT_EQ(mode.height, 768);
  EXPECT_EQ(HeadlessCursorCounter(), 0);
}

} // namespace

using SceneWindowLifecycle = SceneScenario;

TEST_F(SceneWindowLifecycle, EachDisplayModeBuildsItsWindowAndTheTearDownReleasesAll) {
  // Windowed: the outer size grows by the frame so that the client area is exactly 640x480,
  // with the outer corner at the screen origin and the display untouched.
  ASSERT_TRUE(OpenSceneWindow("Windowed", 640, 480, 16, false));
  {
    const HeadlessWindowInfo info = HeadlessWindow(SceneWindow.windowHandle);
    ASSERT_TRUE(info.exists);
    EXPECT_EQ(info.className, "OpenGL");
    EXPECT_EQ(info.title, "Windowed");
    EXPECT_EQ(info.exStyle, WS_EX_APPWINDOW | WS_EX_WINDOWEDGE);
    EXPECT_EQ(info.style & ~WS_VISIBLE, WS_OVERLAPPEDWINDOW | ClipStyles);
    EXPECT_EQ(info.x, 0);
    EXPECT_EQ(info.y, 0);
    EXPECT_EQ(info.clientWidth, 640);
    EXPECT_EQ(info.clientHeight, 480);
    EXPECT_GT(info.outerWidth, 640);
    EXPECT_GT(info.outerHeight, 480);
    EXPECT_TRUE(info.visible);
    EXPECT_FALSE(HeadlessDisplayChanged());
    EXPECT_EQ(HeadlessCursorCounter(), 0);
    EXPECT_EQ(HeadlessJournalCount("ChangeDisplaySettingsA"), 0);
    EXPECT_EQ(GetFocus(), SceneWindow.windowHandle);
    EXPECT_EQ(wglGetCurrentContext(), SceneWindow.renderingContext);
    EXPECT_NE(SceneWindow.instanceHandle, nullptr);
    EXPECT_NE(SceneWindow.deviceContext, nullptr);
    // The projection is set for the requested size once the context is current.
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 640);
    EXPECT_EQ(viewport[3], 480);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  }
  CloseSceneWindow();
  ExpectNothingHeld();
  EXPECT_FALSE(HeadlessClassRegistered("OpenGL"));
  ExpectDesktopRestored();

  // Full screen: a borderless popup of exactly 640x480 at the origin, the display switched to
  // 640x480 at 16 bits, the cursor hidden until the tear-down.
  FreshProcess();
  ASSERT_TRUE(OpenSceneWindow("Full", 640, 480, 16, true));
  {
    const HeadlessWindowInfo info = HeadlessWindow(SceneWindow.windowHandle);
    ASSERT_TRUE(info.exists);
    EXPECT_EQ(info.exStyle, WS_EX_APPWINDOW);
    EXPECT_EQ(info.style & ~WS_VISIBLE, WS_POPUP | ClipStyles);
    EXPECT_EQ(info.x, 0);
    EXPECT_EQ(info.y, 0);
    EXPECT_EQ(info.outerWidth, 640);
    EXPECT_EQ(info.outerHeight, 480);
    EXPECT_TRUE(info.fullscreen);
    const HeadlessMode mode = HeadlessDisplayMode();
    EXPECT_EQ(mode.width, 640);
    EXPECT_EQ(mode.height, 480);
    EXPECT_EQ(mode.bitsPerPixel, 16);
    EXPECT_LT(HeadlessCursorCounter(), 0);
    // The cursor is hidden before the window exists.
    EXPECT_LT(HeadlessJournalFind("ShowCursor"), HeadlessJournalFind("CreateWindowExA"));
  }
  CloseSceneWindow();
  EXPECT_TRUE(FullscreenMode) << "the tear-down reads the flag but never changes it";
  ExpectNothingHeld();
  ExpectDesktopRestored();

  // With nothing held and a windowed flag, a tear-down only tries to unregister the class
  // (which is not registered, so it reports that).
  FreshProcess();
  FullscreenMode = false;
  CloseSceneWindow();
  EXPECT_EQ(CallNames(0), (std::vector<std::string>{"UnregisterClassA", "MessageBoxA"}));
  ASSERT_EQ(HeadlessDialogs().size(), 1u);
  EXPECT_EQ(HeadlessDialogs()[0].text, "Could Not Unregister Class.");
}

TEST_F(SceneWindowLifecycle, EverySetupFailureFromWindowCreationOnTearsDownBeforeItsMessage) {
  struct Case {
    const char* failingCall; // empty: fail through missing textures
    const char* message;
    bool releasesContext;
    bool releasesDeviceContext;
    bool destroysWindow;
  };
  const std::array<Case, 7> cases = {{
      {"CreateWindowExA", "Window Creation Error.", false, false, false},
      {"GetDC", "Can't Create A GL Device Context.", false, false, true},
      {"ChoosePixelFormat", "Can't Find A Suitable PixelFormat.", false, true, true},
      {"SetPixelFormat", "Can't Set The PixelFormat.", false, true, true},
      {"wglCreateContext", "Can't Create A GL Rendering Context.", false, true, true},
      {"wglMakeCurrent", "Can't Activate The GL Rendering Context.", true, true, true},
      {"", "Initialization Failed.", true, true, true},
  }};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    FreshProcess();
    EnterDirectoryWithData();
    if (c.failingCall[0] != '\0') {
      HeadlessFailCall(c.failingCall);
    } else {
      EnterDirectoryWithoutData();
    }
    HeadlessAnswerDialogs({IDYES}); // full screen, so the display restore is visible too
    EXPECT_EQ(RunSceneMain(), 0);

    // The question, then only the failure's own message: the missing textures are skipped
    // silently.
    ASSERT_EQ(DialogTexts(),
              (std::vector<std::string>{"Would You Like To Run In Fullscreen Mode?", c.message}));
    const HeadlessDialog& box = HeadlessDialogs()[1];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.caption, SetupCaption);
    EXPECT_EQ(box.flags, MB_OK | MB_ICONEXCLAMATION);

    // The whole tear-down ran before the message, and nothing ran after it.
    const int messageAt = DialogCall(c.message);
    const int restoreAt = NthCall("ChangeDisplaySettingsA", 1);
    ASSERT_GE(restoreAt, 0);
    EXPECT_LT(restoreAt, messageAt);
    EXPECT_LT(NthCall("ShowCursor", 1), messageAt);
    EXPECT_LT(HeadlessJournalFind("UnregisterClassA"), messageAt);
    EXPECT_EQ(messageAt + 1, static_cast<int>(HeadlessJournal().size()));

    // It released exactly what had been built.
    EXPECT_EQ(HeadlessJournalCount("wglDeleteContext"), c.releasesContext ? 1 : 0);
    EXPECT_EQ(HeadlessJournalCount("ReleaseDC"), c.releasesDeviceContext ? 1 : 0);
    EXPECT_EQ(HeadlessJournalCount("DestroyWindow"), c.destroysWindow ? 1 : 0);
    EXPECT_EQ(HeadlessJournalCount("UnregisterClassA"), 1);
    EXPECT_EQ(HeadlessJournalCount("SwapBuffers"), 0);
    ExpectNothingHeld();
    EXPECT_FALSE(HeadlessClassRegistered("OpenGL"));
    ExpectDesktopRestored();
  }

  // A class that cannot be registered ends the set-up with no tear-down and no display change.
  FreshProcess();
  HeadlessFailCall("RegisterClassA");
  HeadlessAnswerDialogs({IDYES});
  EXPECT_EQ(RunSceneMain(), 0);
  ASSERT_EQ(DialogTexts().size(), 2u);
  EXPECT_EQ(DialogTexts()[1], "Failed To Register The Window Class.");
  EXPECT_EQ(HeadlessDialogs()[1].flags, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(HeadlessJournalCount("UnregisterClassA"), 0);
  EXPECT_EQ(HeadlessJournalCount("ChangeDisplaySettingsA"), 0);
  EXPECT_EQ(HeadlessJournalCount("CreateWindowExA"), 0);
}

TEST_F(SceneWindowLifecycle, TearDownReportsEachFailureAndStillFinishes) {
  HeadlessAnswerDialogs({IDYES});
  HeadlessFailCall("wglMakeCurrent", 2); // the first makes the context current at set-up
  HeadlessFailCall("wglDeleteContext");
  HeadlessFailCall("ReleaseDC");
  HeadlessFailCall("DestroyWindow");
  HeadlessFailCall("UnregisterClassA");
  EXPECT_EQ(RunSceneMain(3), 0);

  const std::vector<std::string> expected = {"Would You Like To Run In Fullscreen Mode?",
                                             "Release Of DC And RC Failed.",
                                             "Release Rendering Context Failed.",
                                             "Release Device Context Failed.",
                                             "Could Not Release hWnd.",
                                             "Could Not Unregister Class."};
  ASSERT_EQ(DialogTexts(), expected);
  for (std::size_t i = 1; i < expected.size(); ++i) {
    EXPECT_EQ(HeadlessDialogs()[i].caption, "SHUTDOWN ERROR");
    EXPECT_EQ(HeadlessDialogs()[i].flags, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(HeadlessDialogs()[i].owner, nullptr);
  }
  // Every step was still attempted, and every handle is cleared after its attempt.
  EXPECT_EQ(HeadlessJournalCount("wglDeleteContext"), 1);
  EXPECT_EQ(HeadlessJournalCount("ReleaseDC"), 1);
  EXPECT_EQ(HeadlessJournalCount("DestroyWindow"), 1);
  EXPECT_EQ(HeadlessJournalCount("UnregisterClassA"), 1);
  EXPECT_EQ(SceneWindow.instanceHandle, nullptr);
  EXPECT_EQ(SceneWindow.windowHandle, nullptr);
  EXPECT_EQ(SceneWindow.deviceContext, nullptr);
  EXPECT_EQ(SceneWindow.renderingContext, nullptr);
  ExpectDesktopRestored();

  // So a second tear-down touches none of the released handles again: it only tries the
  // class, now with no instance handle.
  FullscreenMode = false;
  const int before = static_cast<int>(HeadlessJournal().size());
  CloseSceneWindow();
  EXPECT_EQ(CallNames(before), (std::vector<std::string>{"UnregisterClassA", "MessageBoxA"}));
}

TEST_F(SceneWindowLifecycle, PixelFormatRequestIsFilledOnceAfterTheFirstCreatedWindow) {
  // A set-up that fails at window creation does not fill it.
  HeadlessFailCall("CreateWindowExA");
  EXPECT_FALSE(OpenSceneWindow("First", 640, 480, 24, false));
  EXPECT_EQ(PixelFormatRequest.nSize, 0);

  ASSERT_TRUE(OpenSceneWindow("Second", 640, 480, 32, false));
  EXPECT_EQ(PixelFormatRequest.nSize, sizeof(PIXELFORMATDESCRIPTOR));
  EXPECT_EQ(PixelFormatRequest.nVersion, 1);
  EXPECT_EQ(PixelFormatRequest.dwFlags, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER);
  EXPECT_EQ(PixelFormatRequest.iPixelType, PFD_TYPE_RGBA);
  EXPECT_EQ(PixelFormatRequest.cColorBits, 32);
  EXPECT_EQ(PixelFormatRequest.cDepthBits, 16);
  EXPECT_EQ(PixelFormatRequest.cAlphaBits, 0);
  EXPECT_EQ(PixelFormatRequest.cAccumBits, 0);
  EXPECT_EQ(PixelFormatRequest.cStencilBits, 0);
  CloseSceneWindow();

  // Later windows reuse it unchanged, whatever depth they ask for.
  const PIXELFORMATDESCRIPTOR first = PixelFormatRequest;
  ASSERT_TRUE(OpenSceneWindow("Third", 640, 480, 16, false));
  EXPECT_EQ(PixelFormatRequest.cColorBits, 32);
  EXPECT_EQ(std::memcmp(&first, &PixelFormatRequest, sizeof first), 0);
  CloseSceneWindow();
}
