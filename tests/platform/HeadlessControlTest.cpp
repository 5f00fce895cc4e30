// HeadlessControlTest.cpp: the headless backend's test controls: fault injection, the call
// journal and its dump, scripted dialog answers with their stderr line, and the reset.
#include "PlatformTestSupport.h"

#include <sstream>

namespace {

using HeadlessControl = PlatformTest;

TEST_F(HeadlessControl, TheNthCallFailsAndTheOthersDoNot) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RecordingProc;
  windowClass.lpszClassName = "A";
  HeadlessFailCall("RegisterClassA", 2);
  EXPECT_NE(RegisterClassA(&windowClass), 0);
  windowClass.lpszClassName = "B";
  EXPECT_EQ(RegisterClassA(&windowClass), 0) << "the second call fails";
  EXPECT_FALSE(HeadlessClassRegistered("B")) << "and does nothing";
  EXPECT_NE(RegisterClassA(&windowClass), 0) << "the third succeeds again";

  // Each operation fails its own way.
  HeadlessFailCall("CreateWindowExA");
  HeadlessFailCall("ChangeDisplaySettingsA");
  HeadlessFailCall("CreateFileA");
  HeadlessFailCall("LocalAlloc");
  HeadlessFailCall("UnregisterClassA");
  EXPECT_EQ(CreateWindowExA(0, "A", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  mode.dmPelsWidth = 640;
  mode.dmPelsHeight = 480;
  mode.dmBitsPerPel = 16;
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_FAILED);
  EXPECT_FALSE(HeadlessDisplayChanged());
  EXPECT_EQ(CreateFileA("/proc/self/status", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(LocalAlloc(LMEM_FIXED, 16), nullptr);
  EXPECT_FALSE(UnregisterClassA("A", nullptr));
  EXPECT_TRUE(HeadlessClassRegistered("A"));

  // Each fault fired once; the same calls now succeed.
  HWND window =
      CreateWindowExA(0, "A", "", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(window, nullptr);
  HLOCAL memory = LocalAlloc(LMEM_FIXED, 16);
  EXPECT_NE(memory, nullptr);
  LocalFree(memory);

  // Two faults on one name, and a reset that drops pending faults.
  HeadlessFailCall("GetDC", 1);
  HeadlessFailCall("GetDC", 3);
  EXPECT_EQ(GetDC(window), nullptr);
  EXPECT_NE(GetDC(window), nullptr);
  EXPECT_EQ(GetDC(window), nullptr);
  EXPECT_NE(GetDC(window), nullptr);
  HeadlessFailCall("DestroyWindow");
  HeadlessReset();
  RegisterRecorder();
  EXPECT_TRUE(DestroyWindow(MakeWindow(8, 8)));
}

TEST_F(HeadlessControl, TheJournalKeepsEveryCallInOrderWithArgumentsAndResults) {
  RegisterRecorder();
  HWND window = CreateWindowExA(0x40100, "Recorder", "Talvern Corridor", WS_POPUP, 0, 0, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ShowCursor(FALSE);
  DestroyWindow(window);
  UnregisterClassA("Nope", nullptr);

  const std::vector<HeadlessCall>& journal = HeadlessJournal();
  std::vector<std::string> names;
  for (const HeadlessCall& call : journal) {
    names.push_back(call.name);
  }
  // The procedure's calls made during creation and destruction follow the call that
  // caused them.
  EXPECT_EQ(names,
            (std::vector<std::string>{"RegisterClassA", "CreateWindowExA", "DefWindowProcA",
                                      "DefWindowProcA", "ShowCursor", "DestroyWindow",
                                      "DefWindowProcA", "DefWindowProcA", "UnregisterClassA"}));
  const HeadlessCall& create = journal[1];
  EXPECT_NE(create.args.find("0x40100"), std::string::npos);
  EXPECT_NE(create.args.find("\"Recorder\""), std::string::npos);
  EXPECT_NE(create.args.find("\"Talvern Corridor\""), std::string::npos);
  EXPECT_NE(create.args.find("640"), std::string::npos);
  EXPECT_NE(create.result, "NULL");
  EXPECT_EQ(journal[4].args, "FALSE");
  EXPECT_EQ(journal[4].result, "-1");
  EXPECT_EQ(journal[5].result, "TRUE");
  EXPECT_EQ(journal.back().result, "FALSE");

  EXPECT_EQ(HeadlessJournalFind("DefWindowProcA"), 2);
  EXPECT_EQ(HeadlessJournalFind("DefWindowProcA", 4), 6);
  EXPECT_EQ(HeadlessJournalFind("SwapBuffers"), -1);
  EXPECT_EQ(HeadlessJournalCount("DefWindowProcA"), 4);

  // The dump: one "name(args) -> result" line per call.
  std::istringstream dump(HeadlessJournalDump());
  std::string line;
  std::size_t lines = 0;
  while (std::getline(dump, line)) {
    const HeadlessCall& call = journal[lines];
    EXPECT_EQ(line.rfind(call.name + "(" + call.args + ")", 0), 0u) << line;
    EXPECT_NE(line.find(" -> " + call.result), std::string::npos) << line;
    ++lines;
  }
  EXPECT_EQ(lines, journal.size());

  // Journaling can be paused; faults still fire meanwhile.
  std::size_t before = journal.size();
  HeadlessSetJournaling(false);
  HeadlessFailCall("GetModuleHandleA");
  EXPECT_EQ(GetModuleHandleA(nullptr), nullptr);
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  EXPECT_EQ(HeadlessJournal().size(), before);
  HeadlessSetJournaling(true);
  GetFocus();
  EXPECT_EQ(HeadlessJournal().size(), before + 1);
}

TEST_F(HeadlessControl, DialogsAreAnsweredFromTheScriptAndRecorded) {
  HeadlessAnswerDialogs({IDYES, IDNO});
  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_EQ(MessageBoxA(owner, "Question?", "Ask", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Ask", MB_YESNO), IDNO);
  // Script used up: defaults.
  EXPECT_EQ(MessageBoxA(nullptr, "Third?", "Ask", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Done.", "ERROR", MB_OK | MB_ICONEXCLAMATION), IDOK);

  const std::vector<HeadlessDialog>& dialogs = HeadlessDialogs();
  ASSERT_EQ(dialogs.size(), 4u);
  EXPECT_EQ(dialogs[0].owner, owner);
  EXPECT_EQ(dialogs[0].text, "Question?");
  EXPECT_EQ(dialogs[0].caption, "Ask");
  EXPECT_EQ(dialogs[0].flags, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(dialogs[0].answer, IDYES);
  EXPECT_EQ(dialogs[2].answer, IDNO);
  EXPECT_EQ(dialogs[3].flags, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(HeadlessJournal()[HeadlessJournalFind("MessageBoxA")].result, "IDYES");

  // Captured boxes write nothing; others write one "CAPTION: TEXT" line each.
  testing::internal::CaptureStderr();
  MessageBoxA(nullptr, "Quiet.", "ERROR", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  HeadlessCaptureDialogs(false);
  testing::internal::CaptureStderr();
  MessageBoxA(nullptr, "Window Creation Error.", "ERROR", MB_OK);
  MessageBoxA(nullptr, "Not Supported By\nYour Video Card.", "Brimble GL", MB_YESNO);
  MessageBoxA(nullptr, "Failed to open DIB file x.bmp.\n", "Error", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: Window Creation Error.\n"
            "Brimble GL: Not Supported By Your Video Card.\n"
            "Error: Failed to open DIB file x.bmp.\n");
  EXPECT_EQ(dialogs.back().text, "Failed to open DIB file x.bmp.\n") << "recorded as given";
}

TEST_F(HeadlessControl, ResetGivesAFreshProcess) {
  RegisterRecorder();
  HWND window = MakeWindow(64, 64);
  HDC dc = GetDC(window);
  SwapBuffers(dc);
  ShowCursor(FALSE);
  DEVMODEA mode{};
  mode.dmPelsWidth = 640;
  mode.dmPelsHeight = 480;
  mode.dmBitsPerPel = 16;
  mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
  ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
  HeadlessSetFullscreenModes({});
  MessageBoxA(nullptr, "x", "y", MB_OK);
  HeadlessKeyDownAt(0, VK_UP);
  PostQuitMessage(3);

  HeadlessReset();
  EXPECT_EQ(HeadlessLiveWindowCount(), 0);
  EXPECT_FALSE(HeadlessClassRegistered("Recorder"));
  EXPECT_FALSE(HeadlessDisplayChanged());
  EXPECT_EQ(HeadlessDisplayMode().width, 1024);
  EXPECT_EQ(HeadlessCursorCounter(), 0);
  EXPECT_EQ(HeadlessSwapCount(), 0);
  EXPECT_TRUE(HeadlessDialogs().empty());
  EXPECT_TRUE(HeadlessJournal().empty());
  MSG msg{};
  RegisterRecorder();
  MakeWindow(8, 8);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "no script, no quit";
  EXPECT_EQ(ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN), DISP_CHANGE_SUCCESSFUL)
      << "640x480x16 offered again";
}

} // namespace
