// BitmapFailureHeadlessTest.cpp: the BMP decoder's failures as the headless backend's
// journal and fault injection show them: the platform calls in order (message before the
// release, except after an open failure); injected platform failures; no descriptor or
// mapping outliving a decode; a file truncated during the decode; wide paths and the cut of
// multibyte paths in a UTF-8 locale.
#include "FailureSupport.h"
#include "Headless.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

using bmpw::BmpFile;
using decodetest::Decoded;
using decodetest::ExpectOneMessage;
using decodetest::GoodPaletteFile;
using decodetest::kConversion;
using decodetest::kOutOfMemory;
using decodetest::kUnknown;
using decodetest::OpenFailure;
using decodetest::TempDir;

namespace {

// The names of the journaled calls, in order.
std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const HeadlessCall& call : HeadlessJournal()) {
    names.push_back(call.name);
  }
  return names;
}

// Open descriptors of this process, and mapped file names.
int OpenDescriptorCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') {
        ++count;
      }
    }
    closedir(dir);
  }
  return count;
}

bool MappedAnywhere(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find(path) != std::string::npos;
}

} // namespace

TEST(BitmapFailure, FilesThatCannotBeOpenedAreReleasedBeforeTheMessage) {
  TempDir dir;
  const std::string empty = dir.File("empty.bmp");
  bmpw::SaveFile(empty, {});
  const std::string missing = dir.File("missing.bmp");
  for (const std::string& path : {empty, missing, dir.path}) {
    SCOPED_TRACE(path);
    HeadlessReset();
    HeadlessCaptureDialogs(true);
    const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
    EXPECT_EQ(d.dialogs.size(), 1u);
    // Whatever was opened is closed before the message.
    const int box = HeadlessJournalFind("MessageBoxA");
    ASSERT_GE(box, 0);
    EXPECT_EQ(HeadlessJournalFind("CloseHandle", box), -1);
    EXPECT_EQ(HeadlessJournalCount("LocalAlloc"), 0);
  }
}

TEST(BitmapFailure, PlatformCallsRunInOrderWithTheMessageBeforeTheRelease) {
  TempDir dir;
  const std::string good = dir.File("good.bmp");
  bmpw::SaveFile(good, bmpw::Write(GoodPaletteFile()));
  BmpFile unknown = GoodPaletteFile();
  unknown.headerSize = 108;
  const std::string bad = dir.File("bad.bmp");
  bmpw::SaveFile(bad, bmpw::Write(unknown));

  const std::vector<std::string> opening = {"CreateFileA", "GetFileSize", "CreateFileMappingA",
                                            "MapViewOfFile", "LocalAlloc"};
  const std::vector<std::string> release = {"LocalFree", "UnmapViewOfFile", "CloseHandle",
                                            "CloseHandle"};
  auto filtered = [] {
    std::vector<std::string> names;
    for (const std::string& name : CallNames()) {
      if (name != "GetFocus") {
        names.push_back(name);
      }
    }
    return names;
  };

  HeadlessReset();
  HeadlessCaptureDialogs(true);
  Decoded d = decodetest::Collect(DecodeBitmapFile(good.c_str()));
  ASSERT_TRUE(d.ok);
  std::vector<std::string> expected = opening;
  expected.insert(expected.end(), release.begin(), release.end());
  EXPECT_EQ(filtered(), expected) << HeadlessJournalDump();
  // The file's handle is closed last, after the mapping's.
  const auto& journal = HeadlessJournal();
  const int create = HeadlessJournalFind("CreateFileA");
  const int mapping = HeadlessJournalFind("CreateFileMappingA");
  const int lastClose = static_cast<int>(journal.size()) - 1;
  EXPECT_EQ(journal[lastClose].args.substr(0, journal[create].result.size()),
            journal[create].result);
  EXPECT_EQ(journal[lastClose - 1].args.substr(0, journal[mapping].result.size()),
            journal[mapping].result);

  HeadlessReset();
  HeadlessCaptureDialogs(true);
  d = decodetest::Collect(DecodeBitmapFile(bad.c_str()));
  ExpectOneMessage(d, kUnknown);
  expected = opening;
  expected.push_back("MessageBoxA");
  expected.insert(expected.end(), release.begin(), release.end());
  EXPECT_EQ(filtered(), expected) << HeadlessJournalDump();
  // The owner is whatever GetFocus gave, asked just before the box.
  EXPECT_EQ(HeadlessJournalFind("GetFocus"), HeadlessJournalFind("MessageBoxA") - 1);
}

TEST(BitmapFailure, InjectedPlatformFailuresGiveTheirMessages) {
  TempDir dir;
  const std::string path = dir.File("good.bmp");
  bmpw::SaveFile(path, bmpw::Write(GoodPaletteFile()));
  struct Case {
    const char* call;
    std::string text;
    int closes; // CloseHandle calls expected
  };
  const Case cases[] = {
      {"CreateFileA", OpenFailure(path), 0},
      {"CreateFileMappingA", OpenFailure(path), 1},
      {"MapViewOfFile", OpenFailure(path), 2},
      {"LocalAlloc", kOutOfMemory, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    HeadlessReset();
    HeadlessCaptureDialogs(true);
    HeadlessFailCall(c.call);
    const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
    ExpectOneMessage(d, c.text);
    EXPECT_EQ(HeadlessJournalCount("CloseHandle"), c.closes);
    EXPECT_EQ(HeadlessJournalCount("UnmapViewOfFile"), c.text == kOutOfMemory ? 1 : 0);
    EXPECT_EQ(HeadlessJournalCount("LocalFree"), 0);
  }
}

// After every kind of failure (and after success) no descriptor or mapping of the file is
// left, and the file can be deleted at once.
TEST(BitmapFailure, NothingIsLeftOpenAfterAnyDecode) {
  BmpFile unknown = GoodPaletteFile();
  unknown.headerSize = 124;
  BmpFile conversion = GoodPaletteFile();
  conversion.compression = 9;
  BmpFile tooLarge = GoodPaletteFile();
  tooLarge.width = 20000;
  const std::vector<bmpw::Bytes> files = {bmpw::Write(GoodPaletteFile()),
                                          bmpw::Write(unknown),
                                          bmpw::Write(conversion),
                                          bmpw::Write(tooLarge),
                                          {}};
  const char* faults[] = {nullptr, "LocalAlloc", "MapViewOfFile", "CreateFileMappingA"};
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (const char* fault : faults) {
      SCOPED_TRACE(testing::Message() << "file " << i << " fault " << (fault ? fault : "none"));
      TempDir dir;
      const std::string path = dir.File("check.bmp");
      ASSERT_TRUE(bmpw::SaveFile(path, files[i]));
      HeadlessReset();
      HeadlessCaptureDialogs(true);
      if (fault != nullptr) {
        HeadlessFailCall(fault);
      }
      const int before = OpenDescriptorCount();
      const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
      EXPECT_EQ(d.dialogs.size(), d.ok ? 0u : 1u);
      EXPECT_EQ(OpenDescriptorCount(), before);
      EXPECT_FALSE(MappedAnywhere(path));
      EXPECT_EQ(unlink(path.c_str()), 0);
    }
  }
}

// A file truncated while it is decoded: the decode gives the old picture or refuses the
// cut file with one message, and never ends the process with a signal. The cut comes at a
// different moment each time, by path or through a descriptor opened for writing before
// the decode began.
TEST(BitmapFailure, AFileTruncatedDuringTheDecodeNeverEndsTheProcess) {
  BmpFile f;
  f.width = 2048;
  f.height = 1024;
  f.pixels = bmpw::Bytes(bmpw::Stride(f.width, 24) * static_cast<std::size_t>(f.height));
  for (std::size_t i = 0; i < f.pixels.size(); ++i) {
    f.pixels[i] = static_cast<std::uint8_t>(i * 13 + 5);
  }
  const bmpw::Bytes whole = bmpw::Write(f);
  std::vector<std::uint8_t> expected;
  const std::size_t stride = bmpw::Stride(f.width, 24);
  for (std::size_t r = 0; r < static_cast<std::size_t>(f.height); ++r) {
    for (std::size_t x = 0; x < static_cast<std::size_t>(f.width); ++x) {
      const std::uint8_t* bgr = &f.pixels[r * stride + 3 * x];
      expected.insert(expected.end(), {bgr[2], bgr[1], bgr[0]});
    }
  }
  TempDir dir;
  const std::string path = dir.File("cut.bmp");
  int pictures = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(bmpw::SaveFile(path, whole));
    const int writer = round % 2 == 0 ? open(path.c_str(), O_WRONLY | O_CLOEXEC) : -1;
    const auto delay = std::chrono::microseconds(round * 97 % 3000);
    std::thread cutter([&path, writer, delay] {
      std::this_thread::sleep_for(delay);
      if (writer >= 0) {
        EXPECT_EQ(ftruncate(writer, 1000), 0);
      } else {
        EXPECT_EQ(truncate(path.c_str(), 1000), 0);
      }
    });
    HeadlessReset();
    HeadlessCaptureDialogs(true);
    const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
    cutter.join();
    if (writer >= 0) {
      close(writer);
    }
    if (d.ok) {
      ++pictures;
      EXPECT_TRUE(d.dialogs.empty());
      EXPECT_TRUE(d.rgb == expected); // the old picture, whole
    } else {
      ExpectOneMessage(d, kConversion);
    }
  }
  RecordProperty("pictures", pictures);
}

TEST(BitmapFailure, WidePathsDecodeAndNameTheConvertedPath) {
  std::setlocale(LC_ALL, "C.UTF-8");
  TempDir dir;
  const std::string narrow = dir.File("b\xC3\xA9ton.bmp"); // "béton.bmp" in UTF-8
  bmpw::SaveFile(narrow, bmpw::Write(GoodPaletteFile()));
  const std::wstring wide = std::wstring(dir.path.begin(), dir.path.end()) + L"/b\u00E9ton.bmp";

  HeadlessReset();
  HeadlessCaptureDialogs(true);
  Decoded d = decodetest::Collect(DecodeBitmapFile(wide.c_str()));
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.dialogs.empty());
  EXPECT_EQ(HeadlessJournalCount("CreateFileW"), 1);
  EXPECT_EQ(HeadlessJournalCount("CreateFileA"), 0);
  EXPECT_EQ(d.rgb.size(), 45u);

  const std::wstring missingWide =
      std::wstring(dir.path.begin(), dir.path.end()) + L"/\u00E9t\u00E9.bmp";
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  d = decodetest::Collect(DecodeBitmapFile(missingWide.c_str()));
  ExpectOneMessage(d, OpenFailure(dir.File("\xC3\xA9t\xC3\xA9.bmp")));
  std::setlocale(LC_ALL, "C");
}

// The open-failure text fits 255 characters; a multibyte path is cut on a character
// boundary, whether it came narrow or wide.
TEST(BitmapFailure, LongMultibytePathsAreCutOnACharacterBoundary) {
  std::setlocale(LC_ALL, "C.UTF-8");
  const std::string prefix = "Failed to open DIB file ";
  // Two-byte characters: the cut never splits one. After the second start an odd number of
  // bytes is left for them, so a cut by bytes would split the last one.
  for (const std::string start : {"/nonexistent/", "/nonexistent/x"}) {
    std::string accented = start;
    std::wstring accentedWide(start.begin(), start.end());
    for (int i = 0; i < 200; ++i) {
      accented += "\xC3\xA9";
      accentedWide += L'\u00E9';
    }
    for (int form = 0; form < 2; ++form) {
      SCOPED_TRACE(testing::Message() << start << " form " << form);
      HeadlessReset();
      HeadlessCaptureDialogs(true);
      const Decoded d = decodetest::Collect(form == 0 ? DecodeBitmapFile(accented.c_str())
                                                      : DecodeBitmapFile(accentedWide.c_str()));
      ASSERT_EQ(d.dialogs.size(), 1u);
      const std::string cut = d.dialogs[0].text;
      EXPECT_LE(cut.size(), 255u);
      EXPECT_GE(cut.size(), 254u);
      const std::string shown = cut.substr(prefix.size(), cut.size() - prefix.size() - 2);
      EXPECT_EQ(shown, accented.substr(0, shown.size()));
      EXPECT_EQ((shown.size() - start.size()) % 2, 0u); // whole characters
      EXPECT_EQ(cut.substr(cut.size() - 2), ".\n");
    }
  }
  std::setlocale(LC_ALL, "C");
}
