// make_seeds.cpp: writes the fuzzer's seed corpus with the tests' BMP writer: every header
// kind, depth and encoding, with and without the file header, odd widths (row padding),
// top-down rows, bit-field masks, short colour tables, every run-length escape, rows and
// runs long enough for the wide paths, and files refused for a cut-off run-length stream or
// a colours-used value past 16 bits. All files are small, so the fuzzer mutates them
// quickly. Usage: make_seeds DIRECTORY
#include "BmpWriter.h"

#include <cstdio>
#include <string>

using bmpw::BmpFile;
using bmpw::HeaderKind;

namespace {

std::vector<bmpw::Rgb> Palette(std::size_t n) {
  std::vector<bmpw::Rgb> palette;
  for (std::size_t i = 0; i < n; ++i) {
    palette.push_back({static_cast<std::uint8_t>(i * 37), static_cast<std::uint8_t>(255 - i),
                       static_cast<std::uint8_t>(i * 11)});
  }
  return palette;
}

std::vector<std::uint32_t> Values(std::size_t count, std::uint32_t modulo) {
  std::vector<std::uint32_t> values(count);
  std::uint32_t state = 12345;
  for (auto& v : values) {
    state = state * 1103515245u + 12345u;
    v = (state >> 8) % modulo;
  }
  return values;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIRECTORY\n");
    return 2;
  }
  const std::string dir = argv[1];
  int written = 0;
  bool ok = true;
  auto save = [&](const std::string& name, const BmpFile& f) {
    ok = bmpw::SaveFile(dir + "/" + name + ".bmp", bmpw::Write(f)) && ok;
    ++written;
  };

  for (HeaderKind kind : {HeaderKind::Info, HeaderKind::Core}) {
    for (bool fileHeader : {true, false}) {
      for (int bits : {1, 4, 8, 16, 24, 32}) {
        BmpFile f;
        f.header = kind;
        f.fileHeader = fileHeader;
        f.width = 5;
        f.height = 3;
        f.bitCount = static_cast<std::uint16_t>(bits);
        const std::uint32_t modulo =
            bits <= 8 ? (1u << bits) : (bits == 16 ? 0x10000u : 0xFFFFFFFFu);
        if (bits <= 8) {
          f.palette = Palette(std::size_t{1} << bits);
        }
        f.pixels = bmpw::PackRows(Values(15, modulo), 5, 3, bits);
        save(std::string(kind == HeaderKind::Info ? "info" : "core") +
                 (fileHeader ? "-bm-" : "-bare-") + std::to_string(bits),
             f);
      }
    }
  }

  BmpFile topDown;
  topDown.width = 3;
  topDown.height = -2;
  topDown.pixels = bmpw::PackRows(Values(6, 0xFFFFFF), 3, 2, 24);
  save("info-topdown-24", topDown);

  BmpFile shortTable;
  shortTable.width = 7;
  shortTable.height = 2;
  shortTable.bitCount = 8;
  shortTable.colorsUsed = 3;
  shortTable.palette = Palette(3);
  shortTable.pixels = bmpw::PackRows(Values(14, 256), 7, 2, 8);
  save("info-8-short-table", shortTable);

  for (int bits : {16, 32}) {
    BmpFile fields;
    fields.width = 3;
    fields.height = 2;
    fields.bitCount = static_cast<std::uint16_t>(bits);
    fields.compression = 3;
    fields.masks = bits == 16 ? std::vector<std::uint32_t>{0xF800, 0x07E0, 0x001F}
                              : std::vector<std::uint32_t>{0x3FF00000, 0x000FFC00, 0x000003FF};
    fields.pixels = bmpw::PackRows(Values(6, bits == 16 ? 0x10000u : 0xFFFFFFFFu), 3, 2, bits);
    save("fields-" + std::to_string(bits), fields);
    fields.fileHeader = false;
    save("fields-bare-" + std::to_string(bits), fields);
  }

  for (bool four : {false, true}) {
    bmpw::Rle rle;
    rle.four = four;
    rle.Run(3, four ? 0x12 : 1).Absolute({2, 3, 4}).EndOfLine();
    rle.Delta(2, 1).Run(9, four ? 0x33 : 3).Absolute({1, 0, 2, 3, 1}).EndOfLine();
    rle.Run(2, four ? 0x45 : 5).EndOfBitmap();
    BmpFile f;
    f.width = 8;
    f.height = 4;
    f.bitCount = four ? 4 : 8;
    f.compression = four ? 2 : 1;
    f.colorsUsed = 6;
    f.palette = Palette(6);
    f.pixels = rle.bytes;
    save(four ? "rle4-escapes" : "rle8-escapes", f);
    const std::vector<std::uint32_t> wide = Values(40, four ? 16 : 256);
    std::vector<std::uint8_t> indexes(wide.begin(), wide.end());
    for (std::size_t i = 10; i < 25; ++i) {
      indexes[i] = indexes[9];
    }
    f.width = 10;
    f.height = 4;
    f.colorsUsed = 0;
    f.palette = Palette(four ? 16 : 256);
    f.pixels = four ? bmpw::EncodeRle4(indexes, 10, 4) : bmpw::EncodeRle8(indexes, 10, 4);
    save(four ? "rle4-picture" : "rle8-picture", f);
  }

  // Refusals: run-length streams cut off before their end of bitmap (inside an absolute
  // run, and right after a run), and colours-used values past 16 bits.
  for (bool four : {false, true}) {
    bmpw::Rle rle;
    rle.four = four;
    rle.Run(2, four ? 0x12 : 1).Absolute({2, 3, 4, 5, 1}).EndOfLine().Run(3, 2).EndOfBitmap();
    BmpFile f;
    f.width = 6;
    f.height = 3;
    f.bitCount = four ? 4 : 8;
    f.compression = four ? 2 : 1;
    f.colorsUsed = 6;
    f.imageSize = 100;
    f.palette = Palette(6);
    f.pixels.assign(rle.bytes.begin(), rle.bytes.begin() + 6);
    save(four ? "rle4-cut-absolute" : "rle8-cut-absolute", f);
    f.pixels.assign(rle.bytes.begin(), rle.bytes.end() - 2);
    save(four ? "rle4-cut-before-end" : "rle8-cut-before-end", f);
  }
  for (std::uint32_t used : {0x10000u, 0x10003u}) {
    BmpFile f;
    f.bitCount = 8;
    f.colorsUsed = used;
    f.palette = Palette(used & 0xFFFF);
    f.pixels = {1, 0, 0, 0};
    save("colours-used-" + std::to_string(used), f);
  }
  // Rows long enough for the wide 8-bit path, and long runs for the block-filled runs.
  BmpFile wide;
  wide.width = 70;
  wide.height = 2;
  wide.bitCount = 8;
  wide.palette = Palette(256);
  wide.pixels = bmpw::PackRows(Values(140, 256), 70, 2, 8);
  save("info-8-wide", wide);
  for (bool four : {false, true}) {
    bmpw::Rle rle;
    rle.four = four;
    rle.Run(40, four ? 0x12 : 1).Run(30, 3).EndOfLine().Delta(5, 0).Run(60, 2).EndOfBitmap();
    BmpFile f;
    f.width = 80;
    f.height = 3;
    f.bitCount = four ? 4 : 8;
    f.compression = four ? 2 : 1;
    f.palette = Palette(four ? 16 : 256);
    f.pixels = rle.bytes;
    save(four ? "rle4-long-runs" : "rle8-long-runs", f);
  }

  BmpFile v4 = topDown;
  v4.headerSize = 108;
  save("header-108", v4);

  std::printf("wrote %d seeds to %s\n", written, dir.c_str());
  return ok ? 0 : 1;
}
