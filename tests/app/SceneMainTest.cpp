// SceneMainTest.cpp: whole-program scenarios on the headless backend: the start-up question,
// full screen refused, the display switch on F1 (with Escape on the same pass, held F1, and a
// failed re-creation), the exit status, camera steps in single precision, minimised passes,
// and the key table and camera carrying over a switch.
#include "SceneTestSupport.h"

namespace {

const std::string Question = "Would You Like To Run In Fullscreen Mode?";
const std::string Fallback =
    "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode "
    "Instead?";

// Title argument of the n-th (0-based) window creation, from the journal.
bool CreatedWithTitle(int occurrence, const std::string& title) {
  const int at = NthCall("CreateWindowExA", occurrence);
  return at >= 0 && HeadlessJournal()[at].args.find("\"" + title + "\"") != std::string::npos;
}

// True when the n-th (0-based) display-mode change asked for full screen (not a restore).
bool DisplayCallAsksFullScreen(int occurrence) {
  const int at = NthCall("ChangeDisplaySettingsA", occurrence);
  return at >= 0 && HeadlessJournal()[at].args.find("640") != std::string::npos;
}

bool SameFrame(const HeadlessFrame& a, const HeadlessFrame& b) {
  return a.width == b.width && a.height == b.height && a.rgb == b.rgb;
}

const HeadlessFrame* FrameAt(int swapNumber) {
  for (const HeadlessFrame& frame : HeadlessFrames()) {
    if (frame.swapNumber == swapNumber) {
      return &frame;
    }
  }
  return nullptr;
}

} // namespace

using SceneMainScenario = SceneScenario;

TEST_F(SceneMainScenario, StartupQuestionChoosesTheDisplayMode) {
  // No: a 640x480 client area in a window titled "Talvern Corridor"; the display is untouched.
  HeadlessAnswerDialogs({IDNO});
  HeadlessCaptureAtSwap(1);
  EXPECT_EQ(RunSceneMain(5), 0);
  ASSERT_EQ(HeadlessDialogs().size(), 1u);
  const HeadlessDialog& question = HeadlessDialogs()[0];
  EXPECT_EQ(question.text, Question);
  EXPECT_EQ(question.caption, "Start FullScreen?");
  EXPECT_EQ(question.flags, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(question.owner, nullptr);
  EXPECT_FALSE(FullscreenMode);
  EXPECT_TRUE(CreatedWithTitle(0, "Talvern Corridor"));
  EXPECT_EQ(HeadlessJournalCount("ChangeDisplaySettingsA"), 0);
  EXPECT_EQ(HeadlessJournalCount("ShowCursor"), 0);
  ASSERT_NE(FrameAt(1), nullptr);
  EXPECT_EQ(FrameAt(1)->width, 640);
  EXPECT_EQ(FrameAt(1)->height, 480);
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
  EXPECT_FALSE(HeadlessClassRegistered("OpenGL"));

  // Yes: full screen at 640x480x16 with a hidden cursor, all restored at the end.
  FreshProcess();
  HeadlessAnswerDialogs({IDYES});
  HeadlessCaptureAtSwap(1);
  EXPECT_EQ(RunSceneMain(5), 0);
  EXPECT_TRUE(FullscreenMode);
  EXPECT_TRUE(DisplayCallAsksFullScreen(0));
  EXPECT_LT(HeadlessJournalFind("ChangeDisplaySettingsA"), HeadlessJournalFind("CreateWindowExA"));
  EXPECT_EQ(HeadlessJournalCount("ChangeDisplaySettingsA"), 2);
  ASSERT_NE(FrameAt(1), nullptr);
  EXPECT_EQ(FrameAt(1)->width, 640);
  EXPECT_EQ(FrameAt(1)->height, 480);
  EXPECT_FALSE(HeadlessDisplayChanged());
  EXPECT_EQ(HeadlessCursorCounter(), 0);

  // Any answer but No keeps the full-screen start.
  FreshProcess();
  HeadlessAnswerDialogs({IDCANCEL});
  EXPECT_EQ(RunSceneMain(2), 0);
  EXPECT_TRUE(DisplayCallAsksFullScreen(0));
}

TEST_F(SceneMainScenario, RefusedFullScreenFallsBackToAWindowOrCloses) {
  HeadlessSetFullscreenModes({});

  // Yes to the fall-back: a window with the windowed styles and a visible cursor, and the flag
  // left false, so the next F1 asks for full screen again; No to that ends the program.
  HeadlessAnswerDialogs({IDYES, IDYES, IDNO});
  HeadlessKeyDownAt(3, VK_F1);
  EXPECT_EQ(RunSceneMain(), 0);
  ASSERT_EQ(DialogTexts(),
            (std::vector<std::string>{Question, Fallback, Fallback, "Program Will Now Close."}));
  EXPECT_EQ(HeadlessDialogs()[1].caption, "Brimble GL");
  EXPECT_EQ(HeadlessDialogs()[1].flags, MB_YESNO | MB_ICONEXCLAMATION);
  EXPECT_EQ(HeadlessDialogs()[3].caption, "ERROR");
  EXPECT_EQ(HeadlessDialogs()[3].flags, MB_OK | MB_ICONSTOP);
  EXPECT_EQ(HeadlessJournalCount("CreateWindowExA"), 1);
  const std::string& created = HeadlessJournal()[NthCall("CreateWindowExA", 0)].args;
  EXPECT_EQ(created.rfind("0x40100, ", 0), 0u) << created; // the windowed extended style
  EXPECT_EQ(HeadlessJournalCount("ShowCursor"), 0);
  // Three passes before F1 arrives, and the F1 pass itself presents before it switches.
  EXPECT_EQ(HeadlessJournalCount("SwapBuffers"), 4);
  // The windowed first window was closed without a display restore.
  EXPECT_EQ(HeadlessJournalCount("ChangeDisplaySettingsA"), 2);
  EXPECT_TRUE(DisplayCallAsksFullScreen(1));
  // "Program Will Now Close." leaves the class registered and tears nothing down after it.
  EXPECT_TRUE(HeadlessClassRegistered("OpenGL"));
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
  EXPECT_EQ(DialogCall("Program Will Now Close.") + 1, static_cast<int>(HeadlessJournal().size()));

  // No to the fall-back at start: no window at all, the display untouched.
  FreshProcess();
  HeadlessSetFullscreenModes({});
  HeadlessAnswerDialogs({IDYES, IDNO});
  EXPECT_EQ(RunSceneMain(), 0);
  EXPECT_EQ(DialogTexts(),
            (std::vector<std::string>{Question, Fallback, "Program Will Now Close."}));
  EXPECT_EQ(HeadlessJournalCount("CreateWindowExA"), 0);
  EXPECT_EQ(HeadlessJournalCount("UnregisterClassA"), 0);
  EXPECT_TRUE(HeadlessClassRegistered("OpenGL"));
  EXPECT_FALSE(HeadlessDisplayChanged());
  EXPECT_EQ(HeadlessCursorCounter(), 0);
}

TEST_F(SceneMainScenario, F1SwitchesModeOnceAndCarriesCameraAndKeysOver) {
  // Up is held from the start and its key-up never arrives (released during a rebuild);
  // Right is tapped before the first switch. Three F1 key-downs between two idle passes make
  // one switch; a later one makes another.
  HeadlessAnswerDialogs({IDNO});
  HeadlessKeyDownAt(0, VK_UP);
  HeadlessKeyDownAt(0, VK_RIGHT);
  HeadlessKeyUpAt(5, VK_RIGHT);
  for (int i = 0; i < 3; ++i) {
    HeadlessKeyDownAt(10, VK_F1);
  }
  HeadlessKeyDownAt(20, VK_F1);
  EXPECT_EQ(RunSceneMain(30), 0);

  EXPECT_EQ(HeadlessJournalCount("CreateWindowExA"), 3);
  EXPECT_TRUE(CreatedWithTitle(0, "Talvern Corridor"));
  EXPECT_TRUE(CreatedWithTitle(1, "Brimble's First Polygon Tutorial"));
  EXPECT_TRUE(CreatedWithTitle(2, "Brimble's First Polygon Tutorial"));
  // Windowed, then full screen (switched and restored), then windowed again.
  EXPECT_EQ(HeadlessJournalCount("ChangeDisplaySettingsA"), 2);
  EXPECT_TRUE(DisplayCallAsksFullScreen(0));
  EXPECT_FALSE(FullscreenMode);
  EXPECT_EQ(HeadlessCursorCounter(), 0);
  // Each new context read the textures again.
  EXPECT_EQ(HeadlessJournalCount("wglCreateContext"), 3);

  EXPECT_EQ(HeadlessSwapCount(), 30);
  EXPECT_EQ(SceneCamera.forwardOffset, SteppedFloat(-80.0f, 0.02f, 30));
  EXPECT_EQ(SceneCamera.yawRight, SteppedFloat(0.0f, 0.2f, 5));
  EXPECT_EQ(KeyTable[VK_UP], 1);
  EXPECT_EQ(KeyTable[VK_RIGHT], 0);
  EXPECT_EQ(KeyTable[VK_F1], 0);
}

TEST_F(SceneMainScenario, EscapeAndF1OnOnePassRebuildThenEnd) {
  HeadlessAnswerDialogs({IDNO});
  HeadlessKeyDownAt(4, VK_F1);
  HeadlessKeyDownAt(4, VK_ESCAPE);
  EXPECT_EQ(RunSceneMain(), 0);

  // No present on the Escape pass; the window is rebuilt full screen and torn down again.
  EXPECT_EQ(HeadlessJournalCount("SwapBuffers"), 4);
  EXPECT_EQ(HeadlessJournalCount("CreateWindowExA"), 2);
  EXPECT_TRUE(CreatedWithTitle(1, "Brimble's First Polygon Tutorial"));
  EXPECT_EQ(HeadlessJournalCount("DestroyWindow"), 2);
  EXPECT_EQ(HeadlessJournalCount("UnregisterClassA"), 2);
  EXPECT_TRUE(DisplayCallAsksFullScreen(0));
  EXPECT_TRUE(FullscreenMode);
  EXPECT_FALSE(HeadlessDisplayChanged());
  EXPECT_EQ(HeadlessCursorCounter(), 0);
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
  EXPECT_EQ(KeyTable[VK_F1], 0);
  EXPECT_EQ(KeyTable[VK_ESCAPE], 1);
}

TEST_F(SceneMainScenario, ExitStatusIsZeroUnlessAQuitMessageCarriesACode) {
  // A failed re-creation after F1: only the set-up message, nothing after it, status 0 (the
  // last message retrieved was F1's key-down).
  HeadlessAnswerDialogs({IDNO});
  HeadlessFailCall("wglCreateContext", 2);
  HeadlessKeyDownAt(3, VK_F1);
  EXPECT_EQ(RunSceneMain(), 0);
  EXPECT_EQ(DialogTexts(),
            (std::vector<std::string>{Question, "Can't Create A GL Rendering Context."}));
  EXPECT_EQ(DialogCall("Can't Create A GL Rendering Context.") + 1,
            static_cast<int>(HeadlessJournal().size()));
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);

  // Escape: 0, not the key-down's wParam.
  FreshProcess();
  HeadlessAnswerDialogs({IDNO});
  EXPECT_EQ(RunSceneMain(2), 0);

  // The window manager's close box: the window procedure posts quit with 0 and does not
  // destroy the window; the loop tears it down once.
  FreshProcess();
  HeadlessAnswerDialogs({IDNO});
  HeadlessKeyDownAt(2, VK_SPACE);
  HeadlessActionAt(3, HeadlessAction::Close);
  EXPECT_EQ(RunSceneMain(), 0);
  EXPECT_EQ(HeadlessJournalCount("DestroyWindow"), 1);
  const int quitAt = HeadlessJournalFind("PostQuitMessage");
  ASSERT_GE(quitAt, 0);
  EXPECT_LT(quitAt, HeadlessJournalFind("DestroyWindow"));
  EXPECT_EQ(HeadlessSwapCount(), 3);

  // A quit message with another code: that code is the exit status.
  FreshProcess();
  HeadlessAnswerDialogs({IDNO});
  HeadlessEvent quit;
  quit.message = WM_QUIT;
  quit.wParam = 7;
  HeadlessScript(2, quit);
  EXPECT_EQ(RunSceneMain(), 7);
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
}

TEST_F(SceneMainScenario, OpposingKeysStepInSinglePrecisionEveryPass) {
  // Up and Down cancel within a pass; Left and Right act on separate accumulators, so each
  // yaw is the single-precision sum of its steps and their sum stays exactly zero.
  constexpr int passes = 400;
  float expectedForward = -80.0f;
  for (int i = 0; i < passes; ++i) {
    expectedForward += 0.02f;
    expectedForward -= 0.02f;
  }
  const float expectedTurn = SteppedFloat(0.0f, 0.2f, passes);

  HeadlessAnswerDialogs({IDNO});
  for (int key : {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT}) {
    HeadlessKeyDownAt(0, key);
  }
  EXPECT_EQ(RunSceneMain(passes), 0);
  EXPECT_EQ(HeadlessSwapCount(), passes);
  EXPECT_EQ(SceneCamera.forwardOffset, expectedForward);
  EXPECT_EQ(SceneCamera.yawRight, expectedTurn);
  EXPECT_EQ(SceneCamera.yawLeft, -expectedTurn);
  EXPECT_EQ(SceneCamera.yawLeft + SceneCamera.yawRight, 0.0f);
}

TEST_F(SceneMainScenario, MinimisedPassesPresentWithoutDrawingAndKeepMoving) {
  HeadlessAnswerDialogs({IDNO});
  HeadlessKeyDownAt(0, VK_UP);
  HeadlessActionAt(5, HeadlessAction::Minimize);
  HeadlessActionAt(20, HeadlessAction::Restore);
  HeadlessActionAt(25, HeadlessAction::Deactivate);
  for (int swap : {5, 10, 20, 30}) {
    HeadlessCaptureAtSwap(swap);
  }
  EXPECT_EQ(RunSceneMain(40), 0);

  // Every pass presented and stepped the camera, minimised or not.
  EXPECT_EQ(HeadlessSwapCount(), 40);
  EXPECT_EQ(SceneCamera.forwardOffset, SteppedFloat(-80.0f, 0.02f, 40));
  // While minimised the last drawn frame stays; after restoring (and losing the focus without
  // minimising) frames from the moved camera are drawn again.
  const HeadlessFrame* beforeMinimise = FrameAt(5);
  ASSERT_NE(beforeMinimise, nullptr);
  ASSERT_NE(FrameAt(10), nullptr);
  ASSERT_NE(FrameAt(20), nullptr);
  ASSERT_NE(FrameAt(30), nullptr);
  EXPECT_TRUE(SameFrame(*beforeMinimise, *FrameAt(10)));
  EXPECT_TRUE(SameFrame(*beforeMinimise, *FrameAt(20)));
  EXPECT_FALSE(SameFrame(*beforeMinimise, *FrameAt(30)));
  EXPECT_TRUE(WindowActive);
}
