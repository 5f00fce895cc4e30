// make_seeds.cpp: writes the fuzzer's seed corpus with the tests' BMP writer: every header
// kind, depth and encoding, with and without the file header, odd widths (row padding),
// top-down rows, bit-field masks, short colour tables and every run-length escape. All
// files are small, so the fuzzer mutates them quickly. Usage: make_seeds DIRECTORY
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

  BmpFile v4 = topDown;
  v4.headerSize = 108;
  save("header-108", v4);

  std::printf("wrote %d seeds to %s\n", written, dir.c_str());
  return ok ? 0 : 1;
}
