// DecodeSupport.h: test helpers for the BMP decoder, the same on every platform: a private
// temporary directory, a decode of in-memory file bytes with the message boxes captured,
// and the expected colour arithmetic written independently of the decoder.
#pragma once

#include "BitmapDecoder.h"
#include "BmpWriter.h"
#include "dialog_capture.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace decodetest {

// A fresh directory under the system's temporary folder, removed with all it holds.
class TempDir {
public:
  TempDir() {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    std::random_device seed;
    std::mt19937_64 rng(seed());
    for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
      const fs::path candidate = base / ("bmpdecode-test-" + std::to_string(rng() % 100000000));
      if (fs::create_directory(candidate, error)) {
        path = candidate.string();
      }
    }
  }
  ~TempDir() {
    std::error_code error;
    if (!path.empty()) {
      std::filesystem::remove_all(path, error);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const {
    return (std::filesystem::path(path) / name).string();
  }
  std::string path;
};

struct Decoded {
  bool ok = false;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  std::vector<CapturedDialog> dialogs;
};

// Takes ownership of a decoder result: copies it out and frees it the documented way.
inline Decoded Collect(RgbImage* image) {
  Decoded d;
  d.dialogs = CapturedDialogs();
  if (image != nullptr) {
    d.ok = true;
    d.width = image->width;
    d.height = image->height;
    const std::size_t bytes = static_cast<std::size_t>(image->width) *
                              static_cast<std::size_t>(image->height > 0 ? image->height : 0) * 3;
    d.rgb.assign(image->pixels, image->pixels + bytes);
    std::free(image->pixels);
    std::free(image);
  }
  return d;
}

// Decodes `bytes` written to a fresh file, with a fresh dialog capture.
inline Decoded DecodeBytes(const bmpw::Bytes& bytes, const std::string& name = "image.bmp") {
  TempDir dir;
  const std::string path = dir.File(name);
  bmpw::SaveFile(path, bytes);
  BeginDialogCapture();
  return Collect(DecodeBitmapFile(path.c_str()));
}

// Expected result rows: `stored` holds the picture's rows in file order; the result is
// bottom row first, so a top-down file's rows come out reversed.
inline std::vector<std::uint8_t> ExpectedRows(const std::vector<bmpw::Rgb>& stored, int width,
                                              int rows, bool topDown) {
  std::vector<std::uint8_t> out;
  for (int r = 0; r < rows; ++r) {
    const int source = topDown ? rows - 1 - r : r;
    for (int x = 0; x < width; ++x) {
      const bmpw::Rgb& c = stored[static_cast<std::size_t>(source) * width + x];
      out.insert(out.end(), c.begin(), c.end());
    }
  }
  return out;
}

// Widens a `bits`-wide channel value to 8 bits by repeating its bit pattern from the top.
inline std::uint8_t Widen(std::uint32_t value, int bits) {
  std::string pattern;
  for (int i = bits - 1; i >= 0; --i) {
    pattern += ((value >> i) & 1) ? '1' : '0';
  }
  if (bits >= 8) {
    return static_cast<std::uint8_t>(std::stoul(pattern.substr(0, 8), nullptr, 2));
  }
  std::string repeated;
  while (repeated.size() < 8) {
    repeated += pattern;
  }
  return static_cast<std::uint8_t>(std::stoul(repeated.substr(0, 8), nullptr, 2));
}

} // namespace decodetest
