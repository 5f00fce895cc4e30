// SceneTestSupport.h: shared set-up for the application-shell scenarios: a temporary working
// directory with small valid texture files, a fresh-process reset of the platform and the
// shell's process-wide state, and lookups in the headless backend's journal and dialogs.
#pragma once

#include "SceneApp.h"
#include "SceneRender.h"
#include "headless/Headless.h"

#include <gtest/gtest.h>

#include <string>

// Runs every test of a suite inside a temporary directory that holds Data/ with three 4x4
// 24-bit BMP files, and offers an empty sibling directory for the no-texture road.
class SceneScenario : public ::testing::Test {
protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // Switch between the working directory that holds Data/ (the default) and one without it.
  static void EnterDirectoryWithData();
  static void EnterDirectoryWithoutData();

  // Runs the real SceneMain, with Escape scripted at `safetySwaps` so that no scenario can
  // run forever.
  static int RunSceneMain(int safetySwaps = 3000);
};

// The whole shell and platform back to the state of a freshly started process.
void FreshProcess();

// Index in the journal of the `occurrence`-th (0-based) call named `name`, or -1.
int NthCall(const std::string& name, int occurrence);
// Index in the journal of the message box whose text is `text`, or -1.
int DialogCall(const std::string& text);
// Names of the journal's calls from index `from` on.
std::vector<std::string> CallNames(int from);
// Texts of all message boxes shown so far.
std::vector<std::string> DialogTexts();
// The expected value of a float that starts at `start` and has `step` added in single
// precision `passes` times.
float SteppedFloat(float start, float step, int passes);
