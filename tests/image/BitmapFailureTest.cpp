// BitmapFailureTest.cpp: the BMP decoder's failures: the message for each kind of bad
// file, shown exactly once with the caption "Error"; the platform calls in order (message
// before the release, except after an open failure); injected platform failures; and that
// no descriptor or mapping outlives a decode, so the file can be deleted at once.
#include "DecodeSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstring>

using bmpw::BmpFile;
using bmpw::HeaderKind;
using decodetest::DecodeBytes;
using decodetest::Decoded;
using decodetest::TempDir;

namespace {

const char kOutOfMemory[] = "Out of memory.";
const char kUnknown[] = "Unknown DIB file format.";
const char kConversion[] = "Image file conversion error.";

std::string OpenFailure(const std::string& path) {
  return "Failed to open DIB file " + path + ".\n";
}

BmpFile GoodPaletteFile() {
  BmpFile f;
  f.width = 5;
  f.height = 3;
  f.bitCount = 8;
  f.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
  f.colorsUsed = 3;
  f.pixels = bmpw::PackRows(std::vector<std::uint32_t>(15, 1), 5, 3, 8);
  return f;
}

void ExpectOneMessage(const Decoded& d, const std::string& text) {
  EXPECT_FALSE(d.ok);
  ASSERT_EQ(d.dialogs.size(), 1u);
  EXPECT_EQ(d.dialogs[0].text, text);
  EXPECT_EQ(d.dialogs[0].caption, "Error");
  EXPECT_EQ(d.dialogs[0].flags, MB_OK);
  EXPECT_EQ(d.dialogs[0].owner, nullptr); // no window has the focus here
}

// The names of the journaled calls, in order.
std::vector<std::string> CallNames() {
  std::vector<std::string> names;
  for (const HeadlessCall& call : HeadlessJournal()) {
    names.push_back(call.name);
  }
  return names;
}

} // namespace

TEST(BitmapFailure, EachBadFileGivesItsOneMessage) {
  struct Case {
    const char* what;
    bmpw::Bytes bytes;
    const char* text;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, const BmpFile& f, const char* text) {
    cases.push_back({what, bmpw::Write(f), text});
  };
  BmpFile f = GoodPaletteFile();
  for (std::uint32_t size : {108u, 124u, 64u, 0u, 13u}) {
    BmpFile g = f;
    g.headerSize = size;
    add("header size", g, kUnknown);
  }
  cases.push_back({"one byte", {'B'}, kUnknown});
  cases.push_back({"file header only", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}, kUnknown});
  {
    bmpw::Bytes cut = bmpw::Write(f);
    cut.resize(14 + 39); // an info header one byte short
    cases.push_back({"short info header", cut, kUnknown});
    BmpFile core = f;
    core.header = HeaderKind::Core;
    core.fileHeader = false;
    cut = bmpw::Write(core);
    cut.resize(11);
    cases.push_back({"short core header", cut, kUnknown});
  }
  for (std::uint32_t compression : {4u, 5u, 6u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    BmpFile g = f;
    g.compression = compression;
    add("compression", g, kConversion);
  }
  for (std::uint16_t bits : {0, 2, 3, 7, 15, 64}) {
    BmpFile g = f;
    g.bitCount = bits;
    add("bit count", g, kConversion);
  }
  {
    BmpFile g = f;
    g.compression = 2; // RLE4 at 8 bits
    add("rle4 at 8 bits", g, kConversion);
    g.bitCount = 4;
    g.compression = 1; // RLE8 at 4 bits
    add("rle8 at 4 bits", g, kConversion);
  }
  for (auto [w, h] : {std::pair{0, 3}, {5, 0}, {-5, 3}, {INT_MIN, 3}}) {
    BmpFile g = f;
    g.width = w;
    g.height = h;
    add("empty or negative size", g, kConversion);
  }
  for (auto [w, h] :
       {std::pair{16385, 1}, {1, 16385}, {1, -16385}, {1, INT_MIN}, {INT_MAX, INT_MAX}}) {
    BmpFile g = f;
    g.width = w;
    g.height = h;
    add("too large", g, kOutOfMemory);
  }
  {
    BmpFile g = f;
    g.header = HeaderKind::Core;
    g.bitCount = 24;
    g.palette.clear();
    g.width = 65535;
    add("core too wide", g, kOutOfMemory);
    g = f;
    g.colorsUsed = 1000; // the table would run past the end of the file
    add("colours used beyond the file", g, kConversion);
    g = f;
    g.colorsUsed = 0xFFFFFFFF;
    add("colours used huge", g, kConversion);
    g = f;
    g.pixelOffset = 1u << 30;
    add("pixel offset past the end", g, kConversion);
    g = f;
    g.pixelOffset = 0xFFFFFFFF;
    add("pixel offset at the limit", g, kConversion);
    g = f;
    g.pixels.resize(g.pixels.size() - 4); // the last row's pixels are missing
    add("pixel data short", g, kConversion);
    g = f;
    g.compression = 3; // bit fields at 8 bits
    add("bit fields at 8 bits", g, kConversion);
    g = f;
    g.bitCount = 16;
    g.compression = 3;
    g.palette.clear();
    g.colorsUsed = 0;
    bmpw::Bytes bytes = bmpw::Write(g);
    bytes.resize(14 + 40 + 8); // the masks are cut off
    cases.push_back({"masks cut off", bytes, kConversion});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectOneMessage(DecodeBytes(c.bytes), c.text);
  }
}

// Every prefix of valid files: never a read past the end, always exactly one message.
TEST(BitmapFailure, EveryTruncationIsRefusedWithOneMessage) {
  BmpFile palette = GoodPaletteFile();
  BmpFile core = palette;
  core.header = HeaderKind::Core;
  core.palette.resize(256);
  core.colorsUsed = 0;
  BmpFile fields;
  fields.width = 3;
  fields.height = 2;
  fields.bitCount = 32;
  fields.compression = 3;
  fields.masks = {0xFF0000, 0xFF00, 0xFF};
  fields.pixels = bmpw::Bytes(24, 0x77);
  for (const BmpFile* f : {&palette, &core, &fields}) {
    const bmpw::Bytes whole = bmpw::Write(*f);
    ASSERT_TRUE(DecodeBytes(whole).ok);
    // The last row may go without its padding; any shorter file is refused.
    const std::size_t rowBytes = (static_cast<std::size_t>(f->width) * f->bitCount + 7) / 8;
    const std::size_t needed = whole.size() - (bmpw::Stride(f->width, f->bitCount) - rowBytes);
    for (std::size_t length = 1; length < whole.size(); ++length) {
      SCOPED_TRACE(length);
      const Decoded d = DecodeBytes(bmpw::Bytes(whole.begin(), whole.begin() + length));
      if (length >= needed) {
        EXPECT_TRUE(d.ok);
        EXPECT_TRUE(d.dialogs.empty());
        continue;
      }
      EXPECT_FALSE(d.ok);
      ASSERT_EQ(d.dialogs.size(), 1u);
      const std::string& text = d.dialogs[0].text;
      EXPECT_TRUE(text == kUnknown || text == kConversion) << text;
    }
  }
}

TEST(BitmapFailure, FilesThatCannotBeOpenedNameThePathAfterTheRelease) {
  TempDir dir;
  const std::string empty = dir.File("empty.bmp");
  bmpw::SaveFile(empty, {});
  const std::string missing = dir.File("missing.bmp");
  for (const std::string& path : {empty, missing, dir.path}) {
    SCOPED_TRACE(path);
    HeadlessReset();
    HeadlessCaptureDialogs(true);
    const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
    ExpectOneMessage(d, OpenFailure(path));
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
      const int before = decodetest::OpenDescriptorCount();
      const Decoded d = decodetest::Collect(DecodeBitmapFile(path.c_str()));
      EXPECT_EQ(d.dialogs.size(), d.ok ? 0u : 1u);
      EXPECT_EQ(decodetest::OpenDescriptorCount(), before);
      EXPECT_FALSE(decodetest::MappedAnywhere(path));
      EXPECT_EQ(unlink(path.c_str()), 0);
    }
  }
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

// The open-failure text fits 255 characters: a long path is cut, on a character boundary.
TEST(BitmapFailure, LongPathsAreCutSoTheTextFits) {
  std::setlocale(LC_ALL, "C.UTF-8");
  const std::string prefix = "Failed to open DIB file ";
  const std::string ascii = "/nonexistent/" + std::string(400, 'a');
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  Decoded d = decodetest::Collect(DecodeBitmapFile(ascii.c_str()));
  ASSERT_EQ(d.dialogs.size(), 1u);
  const std::string text = d.dialogs[0].text;
  EXPECT_EQ(text.size(), 255u);
  EXPECT_EQ(text, prefix + ascii.substr(0, 255 - prefix.size() - 2) + ".\n");

  // Two-byte characters: the cut never splits one.
  std::string accented = "/nonexistent/";
  std::wstring accentedWide = L"/nonexistent/";
  for (int i = 0; i < 200; ++i) {
    accented += "\xC3\xA9";
    accentedWide += L'\u00E9';
  }
  for (int form = 0; form < 2; ++form) {
    SCOPED_TRACE(form);
    HeadlessReset();
    HeadlessCaptureDialogs(true);
    d = decodetest::Collect(form == 0 ? DecodeBitmapFile(accented.c_str())
                                      : DecodeBitmapFile(accentedWide.c_str()));
    ASSERT_EQ(d.dialogs.size(), 1u);
    const std::string cut = d.dialogs[0].text;
    EXPECT_LE(cut.size(), 255u);
    EXPECT_GE(cut.size(), 254u);
    const std::string shown = cut.substr(prefix.size(), cut.size() - prefix.size() - 2);
    EXPECT_EQ(shown, accented.substr(0, shown.size()));
    EXPECT_EQ((shown.size() - std::strlen("/nonexistent/")) % 2, 0u); // whole characters
    EXPECT_EQ(cut.substr(cut.size() - 2), ".\n");
  }
  std::setlocale(LC_ALL, "C");
}

// The box belongs to whichever window has the keyboard focus, as the scene window does
// while the textures load.
TEST(BitmapFailure, MessagesBelongToTheFocusedWindow) {
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.lpszClassName = "DecoderTestOwner";
  ASSERT_NE(RegisterClassA(&windowClass), 0);
  HWND window = CreateWindowExA(0, "DecoderTestOwner", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  ShowWindow(window, SW_SHOW);
  SetFocus(window);
  ASSERT_EQ(GetFocus(), window);
  const std::string missing = "/nonexistent/owner.bmp";
  RgbImage* image = DecodeBitmapFile(missing.c_str());
  EXPECT_EQ(image, nullptr);
  ASSERT_EQ(HeadlessDialogs().size(), 1u);
  EXPECT_EQ(HeadlessDialogs()[0].owner, window);
  EXPECT_EQ(HeadlessDialogs()[0].text, OpenFailure(missing));
  DestroyWindow(window);
  UnregisterClassA("DecoderTestOwner", nullptr);
  HeadlessReset();
}
