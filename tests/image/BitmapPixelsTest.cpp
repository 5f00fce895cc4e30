// BitmapPixelsTest.cpp: pixel-exact results of the BMP decoder for every header kind,
// depth, encoding and row padding, against colours worked out in the test from the picture
// the writer was given.
#include "DecodeSupport.h"

#include <gtest/gtest.h>

#include <random>

using bmpw::BmpFile;
using bmpw::HeaderKind;
using bmpw::Rgb;
using decodetest::DecodeBytes;
using decodetest::Decoded;
using decodetest::ExpectedRows;
using decodetest::Widen;

namespace {

std::vector<Rgb> RandomPalette(std::mt19937& rng, std::size_t n) {
  std::vector<Rgb> palette(n);
  for (Rgb& c : palette) {
    for (auto& v : c) {
      v = static_cast<std::uint8_t>(rng());
    }
  }
  return palette;
}

std::vector<std::uint8_t> Flatten(const std::vector<Rgb>& pixels) {
  std::vector<std::uint8_t> out;
  for (const Rgb& c : pixels) {
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

void ExpectSingleConversionError(const Decoded& d) {
  EXPECT_FALSE(d.ok);
  ASSERT_EQ(d.dialogs.size(), 1u);
  EXPECT_EQ(d.dialogs[0].text, "Image file conversion error.");
}

} // namespace

TEST(BitmapPixels, TwentyFourBitRowsSwapToRgbAndDropPadding) {
  // 2 x 1: the single row 10 20 30 40 50 60 00 00.
  BmpFile two;
  two.width = 2;
  two.pixels = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x00, 0x00};
  Decoded d = DecodeBytes(bmpw::Write(two));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 2);
  EXPECT_EQ(d.height, 1);
  EXPECT_EQ(d.rgb, (std::vector<std::uint8_t>{0x30, 0x20, 0x10, 0x60, 0x50, 0x40}));
  EXPECT_TRUE(d.dialogs.empty());

  // 3 wide: three padding bytes per source row (filled with a marker), 9 bytes per result
  // row, rows in file order.
  std::vector<Rgb> picture;
  for (int i = 0; i < 6; ++i) {
    picture.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(10 * i),
                       static_cast<std::uint8_t>(200 - i)});
  }
  BmpFile three;
  three.width = 3;
  three.height = 2;
  three.pixels = bmpw::PackRgbRows(picture, 3, 2, 0xEE);
  ASSERT_EQ(three.pixels.size(), 24u);
  d = DecodeBytes(bmpw::Write(three));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.rgb.size(), 18u);
  EXPECT_EQ(d.rgb, Flatten(picture));
}

// Every uncompressed depth, with a core or an info header, with and without the file
// header, at widths 1 to 9 (every padding length and partial byte) and several heights.
TEST(BitmapPixels, EveryUncompressedDepthAndHeaderKindMatchesThePicture) {
  std::mt19937 rng(1234);
  for (HeaderKind kind : {HeaderKind::Core, HeaderKind::Info}) {
    for (bool fileHeader : {true, false}) {
      for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (int width = 1; width <= 9; ++width) {
          const int height = 1 + width % 3;
          SCOPED_TRACE(testing::Message()
                       << (kind == HeaderKind::Core ? "core" : "info")
                       << " fileHeader=" << fileHeader << " bits=" << bits << " width=" << width);
          BmpFile f;
          f.header = kind;
          f.fileHeader = fileHeader;
          f.width = width;
          f.height = height;
          f.bitCount = static_cast<std::uint16_t>(bits);
          std::vector<std::uint32_t> values(static_cast<std::size_t>(width * height));
          std::vector<Rgb> picture;
          if (bits <= 8) {
            // A full table: colours-used 0 (info) or the implied count (core).
            f.palette = RandomPalette(rng, std::size_t{1} << bits);
            for (auto& v : values) {
              v = rng() % (1u << bits);
              picture.push_back(f.palette[v]);
            }
          } else if (bits == 16) {
            for (auto& v : values) {
              v = rng() & 0xFFFF; // bit 15 is random too and must be ignored
              picture.push_back(
                  {Widen((v >> 10) & 31, 5), Widen((v >> 5) & 31, 5), Widen(v & 31, 5)});
            }
          } else {
            for (auto& v : values) {
              v = rng() & (bits == 24 ? 0xFFFFFFu : 0xFFFFFFFFu);
              picture.push_back({static_cast<std::uint8_t>(v >> 16),
                                 static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
            }
          }
          f.pixels = bmpw::PackRows(values, width, height, bits);
          Decoded d = DecodeBytes(bmpw::Write(f));
          ASSERT_TRUE(d.ok);
          EXPECT_TRUE(d.dialogs.empty());
          EXPECT_EQ(d.width, width);
          EXPECT_EQ(d.height, height);
          EXPECT_EQ(d.rgb, ExpectedRows(picture, width, height, false));
        }
      }
    }
  }
}

// Rows long enough for the wide paths (64 and more pixels per step) and their tails.
TEST(BitmapPixels, LongPaletteRowsMatchThePicture) {
  std::mt19937 rng(31);
  for (int bits : {1, 4, 8}) {
    for (int width : {64, 200}) {
      SCOPED_TRACE(testing::Message() << "bits=" << bits << " width=" << width);
      const int rows = 3;
      BmpFile f;
      f.width = width;
      f.height = rows;
      f.bitCount = static_cast<std::uint16_t>(bits);
      f.palette = RandomPalette(rng, std::size_t{1} << bits);
      std::vector<std::uint32_t> values(static_cast<std::size_t>(width) * rows);
      std::vector<Rgb> picture;
      for (auto& v : values) {
        v = rng() % (1u << bits);
        picture.push_back(f.palette[v]);
      }
      f.pixels = bmpw::PackRows(values, width, rows, bits);
      Decoded d = DecodeBytes(bmpw::Write(f));
      ASSERT_TRUE(d.ok);
      EXPECT_EQ(d.rgb, Flatten(picture));
    }
  }
}

TEST(BitmapPixels, ColourTableSizeFollowsColoursUsedAndShortTablesGiveBlack) {
  std::mt19937 rng(99);
  // 8-bit, colours-used 0: 256 entries are read, pixel i gives entry i.
  BmpFile full;
  full.width = 16;
  full.height = 16;
  full.bitCount = 8;
  full.palette = RandomPalette(rng, 256);
  std::vector<std::uint32_t> all(256);
  std::vector<Rgb> picture;
  for (std::uint32_t i = 0; i < 256; ++i) {
    all[i] = i;
    picture.push_back(full.palette[i]);
  }
  full.pixels = bmpw::PackRows(all, 16, 16, 8);
  Decoded d = DecodeBytes(bmpw::Write(full));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.rgb, Flatten(picture));

  // Colours-used 3 with no file header: the pixel data starts after three entries, and
  // indexes 3 and up give black.
  BmpFile shortTable = full;
  shortTable.fileHeader = false;
  shortTable.colorsUsed = 3;
  shortTable.palette.resize(3);
  d = DecodeBytes(bmpw::Write(shortTable));
  ASSERT_TRUE(d.ok);
  for (std::size_t i = 0; i < 256; ++i) {
    const Rgb expected = i < 3 ? shortTable.palette[i] : Rgb{0, 0, 0};
    ASSERT_EQ(d.rgb[3 * i], expected[0]) << i;
    ASSERT_EQ(d.rgb[3 * i + 1], expected[1]) << i;
    ASSERT_EQ(d.rgb[3 * i + 2], expected[2]) << i;
  }

  // 1-bit with one colour: the leftmost pixel is the top bit of the row's first byte.
  BmpFile mono;
  mono.width = 8;
  mono.bitCount = 1;
  mono.colorsUsed = 1;
  mono.palette = {{9, 8, 7}};
  mono.pixels = {0x80, 0, 0, 0}; // only the leftmost pixel is 1
  d = DecodeBytes(bmpw::Write(mono));
  ASSERT_TRUE(d.ok);
  std::vector<std::uint8_t> expected(24, 0);
  for (int x = 1; x < 8; ++x) {
    expected[3 * x] = 9;
    expected[3 * x + 1] = 8;
    expected[3 * x + 2] = 7;
  }
  EXPECT_EQ(d.rgb, expected);

  // A 24-bit info file may carry a colour table; without a file header the pixels follow it.
  BmpFile withTable;
  withTable.fileHeader = false;
  withTable.width = 2;
  withTable.colorsUsed = 2;
  withTable.palette = {{1, 2, 3}, {4, 5, 6}};
  withTable.pixels = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0, 0};
  d = DecodeBytes(bmpw::Write(withTable));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.rgb, (std::vector<std::uint8_t>{0x30, 0x20, 0x10, 0x60, 0x50, 0x40}));
}

TEST(BitmapPixels, TopDownFilesComeOutBottomRowFirstWithPositiveHeight) {
  std::mt19937 rng(7);
  for (int bits : {4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    const int width = 5;
    const int rows = 4;
    BmpFile f;
    f.width = width;
    f.height = -rows;
    f.bitCount = static_cast<std::uint16_t>(bits);
    std::vector<std::uint32_t> values(width * rows);
    std::vector<Rgb> stored;
    if (bits <= 8) {
      f.palette = RandomPalette(rng, std::size_t{1} << bits);
    }
    for (auto& v : values) {
      if (bits <= 8) {
        v = rng() % (1u << bits);
        stored.push_back(f.palette[v]);
      } else if (bits == 16) {
        v = rng() & 0x7FFF;
        stored.push_back({Widen(v >> 10, 5), Widen((v >> 5) & 31, 5), Widen(v & 31, 5)});
      } else {
        v = rng() & 0xFFFFFF;
        stored.push_back({static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                          static_cast<std::uint8_t>(v)});
      }
    }
    f.pixels = bmpw::PackRows(values, width, rows, bits);
    Decoded d = DecodeBytes(bmpw::Write(f));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.height, rows);
    EXPECT_EQ(d.rgb, ExpectedRows(stored, width, rows, true));
  }
}

TEST(BitmapPixels, BitFieldMasksAreHonouredAndBadMasksRefused) {
  struct Case {
    int bits;
    std::uint32_t red, green, blue;
  };
  const Case cases[] = {
      {16, 0xF800, 0x07E0, 0x001F},             // 5-6-5
      {16, 0x7C00, 0x03E0, 0x001F},             // 5-5-5 written out
      {16, 0x0F00, 0x00F0, 0x000F},             // 4-4-4
      {16, 0x0001, 0x0002, 0xFFF0},             // 1-bit channels and a 12-bit blue
      {32, 0x00FF0000, 0x0000FF00, 0x000000FF}, // plain B, G, R, X
      {32, 0x000000FF, 0x0000FF00, 0x00FF0000}, // red in the low byte
      {32, 0x3FF00000, 0x000FFC00, 0x000003FF}, // 10-bit channels
      {32, 0xE0000000, 0x1C000000, 0x03000000}, // 3-3-2 in the top byte
  };
  std::mt19937 rng(5);
  for (const Case& c : cases) {
    for (bool fileHeader : {true, false}) {
      SCOPED_TRACE(testing::Message() << std::hex << c.red << " " << c.green << " " << c.blue
                                      << " fileHeader=" << fileHeader);
      const int width = 21; // several 8-pixel blocks and a tail
      const int rows = 3;
      BmpFile f;
      f.fileHeader = fileHeader;
      f.width = width;
      f.height = rows;
      f.bitCount = static_cast<std::uint16_t>(c.bits);
      f.compression = 3;
      f.masks = {c.red, c.green, c.blue};
      std::vector<std::uint32_t> values(width * rows);
      std::vector<Rgb> picture;
      auto channel = [](std::uint32_t pixel, std::uint32_t mask) {
        int shift = 0;
        while (((mask >> shift) & 1) == 0) {
          ++shift;
        }
        int bits = 0;
        while (shift + bits < 32 && ((mask >> (shift + bits)) & 1) != 0) {
          ++bits;
        }
        return Widen((pixel & mask) >> shift, bits);
      };
      for (auto& v : values) {
        v = rng() & (c.bits == 16 ? 0xFFFFu : 0xFFFFFFFFu);
        picture.push_back({channel(v, c.red), channel(v, c.green), channel(v, c.blue)});
      }
      f.pixels = bmpw::PackRows(values, width, rows, c.bits);
      Decoded d = DecodeBytes(bmpw::Write(f));
      ASSERT_TRUE(d.ok);
      EXPECT_EQ(d.rgb, ExpectedRows(picture, width, rows, false));
    }
  }

  const Case bad[] = {
      {16, 0, 0x07E0, 0x001F},            // a zero mask
      {16, 0xF800, 0x0FE0, 0x001F},       // overlapping masks
      {16, 0xF0F0, 0x0F00, 0x000F},       // a mask with a gap (and overlap)
      {16, 0xA000, 0x07E0, 0x001F},       // a mask with a gap
      {16, 0x1F0000, 0x07E0, 0x001F},     // past a 16-bit pixel
      {24, 0xFF0000, 0x00FF00, 0x0000FF}, // bit fields at 24 bits
  };
  for (const Case& c : bad) {
    SCOPED_TRACE(testing::Message() << std::hex << c.red << " " << c.green << " " << c.blue);
    BmpFile f;
    f.width = 2;
    f.bitCount = static_cast<std::uint16_t>(c.bits);
    f.compression = 3;
    f.masks = {c.red, c.green, c.blue};
    f.pixels = bmpw::Bytes(8, 0x55);
    ExpectSingleConversionError(DecodeBytes(bmpw::Write(f)));
  }
}

// Hand-built streams with every escape: encoded runs, odd and even absolute runs (with and
// without their pad byte), end of line, delta, a run clipped at the row's end, an index past
// the table, end of bitmap followed by data that must be ignored, and untouched pixels.
TEST(BitmapPixels, RunLengthEscapesPlacePixelsAndLeaveTheRestBlack) {
  const std::vector<Rgb> palette = {
      {10, 11, 12}, {20, 21, 22}, {30, 31, 32}, {40, 41, 42}, {50, 51, 52}};
  const Rgb k{0, 0, 0};
  const Rgb c0 = palette[0], c1 = palette[1], c2 = palette[2], c3 = palette[3], c4 = palette[4];
  const int width = 6;
  const int rows = 5;
  // Expected picture, rows in file order (bottom first).
  const std::vector<Rgb> picture = {
      c1, c1, c2, c3, c4, k,  // row 0: run of 2, odd absolute run (padded), end of line
      k,  k,  c3, c3, c3, c3, // row 1: delta right 2, a run of 10 clipped at the row's end
      c4, c0, c1, c2, k,  k,  // row 2: even absolute run, then delta 1 right and 1 up
      k,  k,  k,  k,  k,  c2, // row 3: one pixel after the delta, then a run of index 7
      k,  k,  k,  k,  k,  k,  // row 4: never written (end of bitmap came first)
  };

  bmpw::Rle rle8;
  rle8.Run(2, 1).Absolute({2, 3, 4}).EndOfLine();
  rle8.Delta(2, 0).Run(10, 3).EndOfLine();
  rle8.Absolute({4, 0, 1, 2}).Delta(1, 1).Run(1, 2).Run(3, 7).EndOfBitmap();
  rle8.Run(6, 1).Run(6, 1);
  BmpFile f8;
  f8.width = width;
  f8.height = rows;
  f8.bitCount = 8;
  f8.compression = 1;
  f8.colorsUsed = 5;
  f8.palette = palette;
  f8.pixels = rle8.bytes;
  Decoded d = DecodeBytes(bmpw::Write(f8));
  ASSERT_TRUE(d.ok);
  EXPECT_TRUE(d.dialogs.empty());
  EXPECT_EQ(d.rgb, ExpectedRows(picture, width, rows, false));

  // The same picture in RLE4: runs alternate the two nibbles, absolute runs pack two
  // indexes per byte.
  bmpw::Rle rle4;
  rle4.four = true;
  rle4.Run(2, 0x11).Absolute({2, 3, 4}).EndOfLine();
  rle4.Delta(2, 0).Run(10, 0x33).EndOfLine();
  rle4.Absolute({4, 0, 1, 2}).Delta(1, 1).Run(1, 0x27).Run(3, 0x77).EndOfBitmap();
  rle4.Run(6, 0x11);
  BmpFile f4 = f8;
  f4.bitCount = 4;
  f4.compression = 2;
  f4.pixels = rle4.bytes;
  d = DecodeBytes(bmpw::Write(f4));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.rgb, ExpectedRows(picture, width, rows, false));

  // RLE4 runs alternate high and low nibbles; odd absolute runs end on a high nibble.
  bmpw::Rle alt;
  alt.four = true;
  alt.Run(5, 0x12).EndOfLine().Absolute({3, 4, 0, 1, 2}).EndOfLine();
  BmpFile fa = f4;
  fa.width = 5;
  fa.height = 2;
  fa.pixels = alt.bytes; // no end of bitmap: the stream simply ends
  d = DecodeBytes(bmpw::Write(fa));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.rgb, ExpectedRows({c1, c2, c1, c2, c1, c3, c4, c0, c1, c2}, 5, 2, false));

  // Nor does a stream that fills the last row to its end: every declared pixel is there.
  bmpw::Rle full;
  full.Run(3, 1).EndOfLine().Run(2, 2).Run(1, 3);
  BmpFile fc = f8;
  fc.width = 3;
  fc.height = 2;
  fc.pixels = full.bytes;
  d = DecodeBytes(bmpw::Write(fc));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.rgb, ExpectedRows({c1, c1, c1, c2, c2, c3}, 3, 2, false));

  // Run-length data is bottom-up only.
  BmpFile topDown = f8;
  topDown.height = -rows;
  ExpectSingleConversionError(DecodeBytes(bmpw::Write(topDown)));
}

TEST(BitmapPixels, EncodedPicturesRoundTripThroughBothRunLengthFormats) {
  std::mt19937 rng(42);
  for (int width : {1, 2, 3, 5, 8, 13, 64, 301}) {
    const int rows = 1 + width % 4;
    for (bool four : {false, true}) {
      SCOPED_TRACE(testing::Message() << "width=" << width << " four=" << four);
      const unsigned colours = four ? 16 : 256;
      std::vector<std::uint8_t> indexes(static_cast<std::size_t>(width) * rows);
      // Stretches of repeats and of noise, so both run kinds appear.
      for (std::size_t i = 0; i < indexes.size(); ++i) {
        indexes[i] = (rng() % 3 == 0 || i == 0) ? static_cast<std::uint8_t>(rng() % colours)
                                                : indexes[i - 1];
      }
      BmpFile f;
      f.width = width;
      f.height = rows;
      f.bitCount = four ? 4 : 8;
      f.compression = four ? 2 : 1;
      f.palette = RandomPalette(rng, colours);
      f.pixels =
          four ? bmpw::EncodeRle4(indexes, width, rows) : bmpw::EncodeRle8(indexes, width, rows);
      std::vector<Rgb> picture;
      for (std::uint8_t i : indexes) {
        picture.push_back(f.palette[i]);
      }
      Decoded d = DecodeBytes(bmpw::Write(f));
      ASSERT_TRUE(d.ok);
      EXPECT_EQ(d.rgb, ExpectedRows(picture, width, rows, false));
    }
  }
}

TEST(BitmapPixels, LargePicturesAndTheDimensionLimit) {
  // Large enough for the huge-page buffer; the result is still released with free().
  const int width = 2100;
  const int rows = 1100;
  BmpFile f;
  f.width = width;
  f.height = rows;
  std::vector<Rgb> picture(static_cast<std::size_t>(width) * rows);
  for (std::size_t i = 0; i < picture.size(); ++i) {
    picture[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
                  static_cast<std::uint8_t>(i >> 16)};
  }
  f.pixels = bmpw::PackRgbRows(picture, width, rows);
  Decoded d = DecodeBytes(bmpw::Write(f));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.rgb, ExpectedRows(picture, width, rows, false));

  // 16384 is accepted in each direction; one more is refused as too large.
  BmpFile wide;
  wide.width = 16384;
  wide.bitCount = 1;
  wide.palette = {{1, 1, 1}, {200, 100, 50}};
  wide.pixels = bmpw::Bytes(16384 / 8, 0xFF);
  d = DecodeBytes(bmpw::Write(wide));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, 16384);
  EXPECT_EQ(d.rgb[3 * 16383], 200);
  BmpFile tall = wide;
  tall.width = 1;
  tall.height = -16384;
  tall.pixels = bmpw::Bytes(4 * 16384, 0x00);
  d = DecodeBytes(bmpw::Write(tall));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.height, 16384);

  wide.width = 16385;
  tall.height = -16385;
  for (const BmpFile* big : {&wide, &tall}) {
    d = DecodeBytes(bmpw::Write(*big));
    EXPECT_FALSE(d.ok);
    ASSERT_EQ(d.dialogs.size(), 1u);
    EXPECT_EQ(d.dialogs[0].text, "Out of memory.");
  }
}

TEST(BitmapPixels, CountPaletteColorsReadsOnlyTheHeaderItHas) {
  auto header = [](HeaderKind kind, int bits, std::uint32_t used) {
    BmpFile f;
    f.header = kind;
    f.fileHeader = false;
    f.bitCount = static_cast<std::uint16_t>(bits);
    f.colorsUsed = used;
    bmpw::Bytes bytes = bmpw::Write(f);
    // Exactly the header's bytes, on the heap, so a read past them is caught.
    return std::vector<std::uint8_t>(bytes.begin(),
                                     bytes.begin() + (kind == HeaderKind::Core ? 12 : 40));
  };
  const std::pair<int, int> byBits[] = {{1, 2},  {4, 16}, {8, 256}, {16, 0},
                                        {24, 0}, {32, 0}, {2, 0}};
  for (auto [bits, count] : byBits) {
    EXPECT_EQ(CountPaletteColors(header(HeaderKind::Core, bits, 0).data()), count) << bits;
    EXPECT_EQ(CountPaletteColors(header(HeaderKind::Info, bits, 0).data()), count) << bits;
  }
  EXPECT_EQ(CountPaletteColors(header(HeaderKind::Info, 8, 5).data()), 5);
  EXPECT_EQ(CountPaletteColors(header(HeaderKind::Info, 24, 7).data()), 7);
  EXPECT_EQ(CountPaletteColors(header(HeaderKind::Info, 8, 0x10003).data()), 3);
}
