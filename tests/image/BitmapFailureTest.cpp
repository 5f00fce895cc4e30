// BitmapFailureTest.cpp: the BMP decoder's failures, on every platform: the message for
// each kind of bad file (and each file that cannot be opened), shown exactly once with the
// caption "Error"; long paths cut so the text fits; and the box's owner.
#include "FailureSupport.h"

#include <gtest/gtest.h>

#include <climits>

using bmpw::BmpFile;
using bmpw::HeaderKind;
using decodetest::DecodeBytes;
using decodetest::Decoded;
using decodetest::ExpectOneMessage;
using decodetest::GoodPaletteFile;
using decodetest::kConversion;
using decodetest::kOutOfMemory;
using decodetest::kUnknown;
using decodetest::OpenFailure;
using decodetest::TempDir;

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
    // Colours-used past 16 bits, whose low 16 bits would pass: 0 (no table needed) and 3
    // (the table the file holds).
    for (std::uint32_t used : {0x10000u, 0x10003u}) {
      g = f;
      g.colorsUsed = used;
      g.palette.resize(used & 0xFFFF);
      add("colours used past 16 bits", g, kConversion);
    }
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

// A run-length stream that the file cuts off before its end-of-bitmap escape, with rows
// still unfinished, is refused whatever its image-size field says (0, or more than the file
// holds); once the escape is in the file, what follows it does not matter.
TEST(BitmapFailure, RunLengthStreamsCutShortAreRefused) {
  for (bool four : {false, true}) {
    bmpw::Rle rle;
    rle.four = four;
    rle.Run(2, four ? 0x11 : 1).Absolute({2, 3, 4}).EndOfLine();
    rle.Delta(1, 1).Run(3, four ? 0x22 : 2).EndOfBitmap();
    const std::size_t complete = rle.bytes.size();
    rle.Run(4, four ? 0x33 : 3);
    BmpFile f;
    f.width = 6;
    f.height = 4;
    f.bitCount = four ? 4 : 8;
    f.compression = four ? 2 : 1;
    f.colorsUsed = 5;
    f.palette = {{10, 11, 12}, {20, 21, 22}, {30, 31, 32}, {40, 41, 42}, {50, 51, 52}};
    for (std::uint32_t imageSize : {0u, 100u}) {
      f.imageSize = imageSize;
      for (std::size_t length = 0; length <= rle.bytes.size(); ++length) {
        SCOPED_TRACE(testing::Message()
                     << "four=" << four << " imageSize=" << imageSize << " length=" << length);
        f.pixels.assign(rle.bytes.begin(), rle.bytes.begin() + static_cast<long>(length));
        const Decoded d = DecodeBytes(bmpw::Write(f));
        if (length < complete) {
          ExpectOneMessage(d, kConversion);
        } else {
          EXPECT_TRUE(d.ok);
          EXPECT_TRUE(d.dialogs.empty());
        }
      }
    }
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

// An empty file cannot be mapped; a missing one or a directory cannot be opened as a file;
// a null path names none.
TEST(BitmapFailure, FilesThatCannotBeOpenedNameThePath) {
  TempDir dir;
  const std::string empty = dir.File("empty.bmp");
  ASSERT_TRUE(bmpw::SaveFile(empty, {}));
  const std::string missing = dir.File("missing.bmp");
  for (const std::string& path : {empty, missing, dir.path}) {
    SCOPED_TRACE(path);
    BeginDialogCapture();
    ExpectOneMessage(decodetest::Collect(DecodeBitmapFile(path.c_str())), OpenFailure(path));
  }
  // A null path, narrow or wide, is refused like a missing file.
  BeginDialogCapture();
  ExpectOneMessage(decodetest::Collect(DecodeBitmapFile(static_cast<const char*>(nullptr))),
                   OpenFailure("(null)"));
  BeginDialogCapture();
  ExpectOneMessage(decodetest::Collect(DecodeBitmapFile(static_cast<const wchar_t*>(nullptr))),
                   OpenFailure("(null)"));
}

// The open-failure text fits 255 characters: a long path is cut.
TEST(BitmapFailure, LongPathsAreCutSoTheTextFits) {
  const std::string prefix = "Failed to open DIB file ";
  const std::string ascii = "/nonexistent/" + std::string(400, 'a');
  BeginDialogCapture();
  Decoded d = decodetest::Collect(DecodeBitmapFile(ascii.c_str()));
  ASSERT_EQ(d.dialogs.size(), 1u);
  const std::string text = d.dialogs[0].text;
  EXPECT_EQ(text.size(), 255u);
  EXPECT_EQ(text, prefix + ascii.substr(0, 255 - prefix.size() - 2) + ".\n");
}

// The box belongs to whichever window has the keyboard focus, as the scene window does
// while the textures load.
TEST(BitmapFailure, MessagesBelongToTheFocusedWindow) {
  ASSERT_TRUE(BeginDialogCapture());
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
  const std::vector<CapturedDialog> dialogs = CapturedDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].owner, window);
  EXPECT_EQ(dialogs[0].text, OpenFailure(missing));
  DestroyWindow(window);
  UnregisterClassA("DecoderTestOwner", nullptr);
}
