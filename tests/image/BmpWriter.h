// BmpWriter.h: a small BMP writer for tests, the fuzzer's seed corpus and the benchmark.
// It lays out files byte by byte from a logical description (header kind, optional file
// header, depth, encoding, palette, masks, pixel data), so that every header kind, depth,
// encoding, row padding and run-length escape can be produced without binary fixtures.
// It deliberately shares no code with the decoder.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace bmpw {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>; // red, green, blue

inline void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void Put32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
}

enum class HeaderKind { Core, Info };

struct BmpFile {
  HeaderKind header = HeaderKind::Info;
  bool fileHeader = true;
  std::int32_t width = 1;
  std::int32_t height = 1; // negative: top-down (info header only)
  std::uint16_t planes = 1;
  std::uint16_t bitCount = 24;
  std::uint32_t compression = 0;
  std::uint32_t imageSize = 0;              // 0: let the reader work it out
  std::uint32_t colorsUsed = 0;             // info header only
  std::vector<Rgb> palette;                 // written as B, G, R (and 0 for info headers)
  std::vector<std::uint32_t> masks;         // written right after the info header
  Bytes pixels;                             // the pixel data exactly as stored
  std::optional<std::uint32_t> pixelOffset; // overrides the file header's offset field
  std::optional<std::uint32_t> headerSize;  // overrides the image header's size field
};

inline Bytes Write(const BmpFile& f) {
  Bytes body;
  if (f.header == HeaderKind::Core) {
    Put32(body, f.headerSize.value_or(12));
    Put16(body, static_cast<std::uint32_t>(f.width));
    Put16(body, static_cast<std::uint32_t>(f.height));
    Put16(body, f.planes);
    Put16(body, f.bitCount);
    for (const Rgb& c : f.palette) {
      body.push_back(c[2]);
      body.push_back(c[1]);
      body.push_back(c[0]);
    }
  } else {
    Put32(body, f.headerSize.value_or(40));
    Put32(body, static_cast<std::uint32_t>(f.width));
    Put32(body, static_cast<std::uint32_t>(f.height));
    Put16(body, f.planes);
    Put16(body, f.bitCount);
    Put32(body, f.compression);
    Put32(body, f.imageSize);
    Put32(body, 2835);
    Put32(body, 2835);
    Put32(body, f.colorsUsed);
    Put32(body, 0);
    for (std::uint32_t m : f.masks) {
      Put32(body, m);
    }
    for (const Rgb& c : f.palette) {
      body.push_back(c[2]);
      body.push_back(c[1]);
      body.push_back(c[0]);
      body.push_back(0);
    }
  }
  Bytes out;
  if (f.fileHeader) {
    const std::uint32_t offset = 14 + static_cast<std::uint32_t>(body.size());
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + static_cast<std::uint32_t>(f.pixels.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, f.pixelOffset.value_or(offset));
  }
  out.insert(out.end(), body.begin(), body.end());
  out.insert(out.end(), f.pixels.begin(), f.pixels.end());
  return out;
}

// Bytes per stored row, padded to a multiple of 4.
inline std::size_t Stride(std::int32_t width, int bitCount) {
  return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
}

// Packs pixel values (palette indexes, or 16/32-bit words) into padded rows, leftmost pixel
// in the most significant bits. `values` holds rows in storage order. Padding bytes are
// filled with `padding` so that a reader that looks at them shows up.
inline Bytes PackRows(const std::vector<std::uint32_t>& values, std::int32_t width,
                      std::int32_t rows, int bitCount, std::uint8_t padding = 0xA5) {
  const std::size_t stride = Stride(width, bitCount);
  Bytes out(stride * static_cast<std::size_t>(rows), padding);
  for (std::int32_t r = 0; r < rows; ++r) {
    std::uint8_t* row = out.data() + stride * static_cast<std::size_t>(r);
    const std::size_t used = (static_cast<std::size_t>(width) * bitCount + 7) / 8;
    for (std::size_t i = 0; i < used; ++i) {
      row[i] = 0;
    }
    for (std::int32_t x = 0; x < width; ++x) {
      const std::uint32_t v = values[static_cast<std::size_t>(r) * width + x];
      if (bitCount < 8) {
        const int perByte = 8 / bitCount;
        const int shift = 8 - bitCount * (x % perByte + 1);
        row[x / perByte] = static_cast<std::uint8_t>(row[x / perByte] | (v << shift));
      } else {
        const int bytes = bitCount / 8;
        for (int b = 0; b < bytes; ++b) {
          row[static_cast<std::size_t>(x) * bytes + b] = static_cast<std::uint8_t>(v >> (8 * b));
        }
      }
    }
  }
  return out;
}

// 24-bit rows: B, G, R per pixel, padded.
inline Bytes PackRgbRows(const std::vector<Rgb>& pixels, std::int32_t width, std::int32_t rows,
                         std::uint8_t padding = 0xA5) {
  std::vector<std::uint32_t> words;
  words.reserve(pixels.size());
  for (const Rgb& c : pixels) {
    words.push_back(static_cast<std::uint32_t>(c[2]) | (c[1] << 8) | (c[0] << 16));
  }
  return PackRows(words, width, rows, 24, padding);
}

// Run-length stream builder; `four` selects the RLE4 packing of absolute runs.
struct Rle {
  bool four = false;
  Bytes bytes;
  Rle& Run(std::uint8_t count, std::uint8_t value) {
    bytes.push_back(count);
    bytes.push_back(value);
    return *this;
  }
  // Absolute run of indexes (3 or more), padded to a 16-bit boundary.
  Rle& Absolute(const std::vector<std::uint8_t>& indexes) {
    bytes.push_back(0);
    bytes.push_back(static_cast<std::uint8_t>(indexes.size()));
    std::size_t start = bytes.size();
    if (four) {
      for (std::size_t i = 0; i < indexes.size(); i += 2) {
        const std::uint8_t low = i + 1 < indexes.size() ? indexes[i + 1] : 0;
        bytes.push_back(static_cast<std::uint8_t>((indexes[i] << 4) | low));
      }
    } else {
      bytes.insert(bytes.end(), indexes.begin(), indexes.end());
    }
    if ((bytes.size() - start) % 2 != 0) {
      bytes.push_back(0);
    }
    return *this;
  }
  Rle& EndOfLine() { return Run(0, 0); }
  Rle& EndOfBitmap() { return Run(0, 1); }
  Rle& Delta(std::uint8_t dx, std::uint8_t dy) {
    Run(0, 2);
    bytes.push_back(dx);
    bytes.push_back(dy);
    return *this;
  }
};

// A simple RLE8 encoder for whole pictures (rows in storage order): runs where neighbours
// repeat, absolute runs elsewhere, an end of line after each row and an end of bitmap.
inline Bytes EncodeRle8(const std::vector<std::uint8_t>& indexes, std::int32_t width,
                        std::int32_t rows) {
  Rle rle;
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint8_t* row = indexes.data() + static_cast<std::size_t>(r) * width;
    std::int32_t x = 0;
    while (x < width) {
      std::int32_t run = 1;
      while (x + run < width && run < 255 && row[x + run] == row[x]) {
        ++run;
      }
      if (run >= 2 || width - x < 3) {
        rle.Run(static_cast<std::uint8_t>(run), row[x]);
        x += run;
        continue;
      }
      std::int32_t lit = 0;
      while (x + lit < width && lit < 255 &&
             !(x + lit + 1 < width && row[x + lit + 1] == row[x + lit])) {
        ++lit;
      }
      if (lit < 3) {
        rle.Run(1, row[x]);
        ++x;
        continue;
      }
      rle.Absolute(std::vector<std::uint8_t>(row + x, row + x + lit));
      x += lit;
    }
    rle.EndOfLine();
  }
  rle.EndOfBitmap();
  return rle.bytes;
}

// The RLE4 counterpart: runs of alternating pairs where they repeat, absolute runs
// elsewhere.
inline Bytes EncodeRle4(const std::vector<std::uint8_t>& indexes, std::int32_t width,
                        std::int32_t rows) {
  Rle rle;
  rle.four = true;
  for (std::int32_t r = 0; r < rows; ++r) {
    const std::uint8_t* row = indexes.data() + static_cast<std::size_t>(r) * width;
    std::int32_t x = 0;
    while (x < width) {
      // Longest stretch that alternates row[x], row[x+1].
      std::int32_t run = 1;
      while (x + run < width && run < 255 && row[x + run] == row[x + (run % 2)]) {
        ++run;
      }
      const std::uint8_t pair =
          static_cast<std::uint8_t>((row[x] << 4) | (x + 1 < width ? row[x + 1] : 0));
      if (run >= 4 || width - x < 3) {
        rle.Run(static_cast<std::uint8_t>(run), pair);
        x += run;
        continue;
      }
      const std::int32_t lit =
          std::min<std::int32_t>(width - x, 255) >= 8 ? 8 : std::min<std::int32_t>(width - x, 255);
      rle.Absolute(std::vector<std::uint8_t>(row + x, row + x + lit));
      x += lit;
    }
    rle.EndOfLine();
  }
  rle.EndOfBitmap();
  return rle.bytes;
}

inline bool SaveFile(const std::string& path, const Bytes& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    return false;
  }
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

} // namespace bmpw
