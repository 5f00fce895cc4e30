// SceneTestSupport.cpp: temporary texture directory, fresh-process reset and journal lookups
// for the application-shell scenarios.
#include "SceneTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

std::filesystem::path ScratchRoot;
std::filesystem::path OriginalDirectory;

void PutLittleEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
}

// A 4x4 uncompressed 24-bit BMP with an info header, filled with one colour.
void WriteSmallBitmap(const std::filesystem::path& path, std::uint8_t r, std::uint8_t g,
                      std::uint8_t b) {
  const std::uint32_t rowBytes = 4 * 3; // already a multiple of 4: no padding
  const std::uint32_t pixelBytes = rowBytes * 4;
  std::vector<std::uint8_t> file;
  file.push_back('B');
  file.push_back('M');
  PutLittleEndian(file, 14 + 40 + pixelBytes, 4);
  PutLittleEndian(file, 0, 4);
  PutLittleEndian(file, 14 + 40, 4);
  PutLittleEndian(file, 40, 4); // info header size
  PutLittleEndian(file, 4, 4);  // width
  PutLittleEndian(file, 4, 4);  // height, bottom row first
  PutLittleEndian(file, 1, 2);  // planes
  PutLittleEndian(file, 24, 2); // bits per pixel
  PutLittleEndian(file, 0, 4);  // no compression
  PutLittleEndian(file, pixelBytes, 4);
  PutLittleEndian(file, 2835, 4);
  PutLittleEndian(file, 2835, 4);
  PutLittleEndian(file, 0, 4);
  PutLittleEndian(file, 0, 4);
  for (int i = 0; i < 16; ++i) {
    file.push_back(b);
    file.push_back(g);
    file.push_back(r);
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

} // namespace

void SceneScenario::SetUpTestSuite() {
  OriginalDirectory = std::filesystem::current_path();
  char pattern[] = "/tmp/talvern-app-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  ScratchRoot = pattern;
  std::filesystem::create_directories(ScratchRoot / "scene" / "Data");
  std::filesystem::create_directories(ScratchRoot / "empty");
  WriteSmallBitmap(ScratchRoot / "scene" / "Data" / "floor1.bmp", 200, 180, 150);
  WriteSmallBitmap(ScratchRoot / "scene" / "Data" / "pillars1.bmp", 120, 120, 140);
  WriteSmallBitmap(ScratchRoot / "scene" / "Data" / "ceiling.bmp", 90, 90, 90);
}

void SceneScenario::TearDownTestSuite() {
  std::filesystem::current_path(OriginalDirectory);
  std::error_code ignored;
  std::filesystem::remove_all(ScratchRoot, ignored);
}

void SceneScenario::SetUp() {
  EnterDirectoryWithData();
  FreshProcess();
}

void SceneScenario::TearDown() {
  // Leave nothing behind for the next test, whatever this one left open.
  FreshProcess();
  std::filesystem::current_path(OriginalDirectory);
}

void SceneScenario::EnterDirectoryWithData() {
  std::filesystem::current_path(ScratchRoot / "scene");
}

void SceneScenario::EnterDirectoryWithoutData() {
  std::filesystem::current_path(ScratchRoot / "empty");
}

int SceneScenario::RunSceneMain(int safetySwaps) {
  HeadlessKeyDownAt(safetySwaps, VK_ESCAPE);
  return SceneMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
}

void FreshProcess() {
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  std::fill(std::begin(KeyTable), std::end(KeyTable), BYTE{0});
  WindowActive = true;
  FullscreenMode = true;
  SceneWindow = SceneWindowHandles{};
  SceneCamera = CameraPose{};
  PixelFormatRequest = PIXELFORMATDESCRIPTOR{};
}

int NthCall(const std::string& name, int occurrence) {
  int index = -1;
  for (int i = 0; i <= occurrence; ++i) {
    index = HeadlessJournalFind(name, index + 1);
    if (index < 0) {
      return -1;
    }
  }
  return index;
}

int DialogCall(const std::string& text) {
  // The k-th dialog recorded is the k-th MessageBoxA call in the journal.
  const auto& dialogs = HeadlessDialogs();
  for (std::size_t k = 0; k < dialogs.size(); ++k) {
    if (dialogs[k].text == text) {
      return NthCall("MessageBoxA", static_cast<int>(k));
    }
  }
  return -1;
}

std::vector<std::string> CallNames(int from) {
  std::vector<std::string> names;
  const auto& journal = HeadlessJournal();
  for (std::size_t i = static_cast<std::size_t>(from); i < journal.size(); ++i) {
    names.push_back(journal[i].name);
  }
  return names;
}

std::vector<std::string> DialogTexts() {
  std::vector<std::string> texts;
  for (const auto& dialog : HeadlessDialogs()) {
    texts.push_back(dialog.text);
  }
  return texts;
}

float SteppedFloat(float start, float step, int passes) {
  float value = start;
  for (int i = 0; i < passes; ++i) {
    value += step;
  }
  return value;
}
