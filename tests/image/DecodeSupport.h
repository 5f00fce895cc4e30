// DecodeSupport.h: test helpers for the BMP decoder: a private temporary directory, a decode
// of in-memory file bytes with the message boxes captured, the expected colour arithmetic
// written independently of the decoder, and checks for descriptors and mappings left open.
#pragma once

#include "BitmapDecoder.h"
#include "BmpWriter.h"
#include "Headless.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace decodetest {

class TempDir {
public:
  TempDir() {
    char pattern[] = "/tmp/bmpdecode-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made != nullptr ? made : "";
  }
  ~TempDir() {
    if (DIR* dir = opendir(path.c_str())) {
      while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
          unlink((path + "/" + name).c_str());
        }
      }
      closedir(dir);
    }
    rmdir(path.c_str());
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& name) const { return path + "/" + name; }
  std::string path;
};

struct Decoded {
  bool ok = false;
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  std::vector<HeadlessDialog> dialogs;
};

// Takes ownership of a decoder result: copies it out and frees it the documented way.
inline Decoded Collect(RgbImage* image) {
  Decoded d;
  d.dialogs = HeadlessDialogs();
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

// Decodes `bytes` written to a fresh file, with a fresh headless platform.
inline Decoded DecodeBytes(const bmpw::Bytes& bytes, const std::string& name = "image.bmp") {
  TempDir dir;
  const std::string path = dir.File(name);
  bmpw::SaveFile(path, bytes);
  HeadlessReset();
  HeadlessCaptureDialogs(true);
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

// Open descriptors of this process, and mapped file names.
inline int OpenDescriptorCount() {
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

inline bool MappedAnywhere(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find(path) != std::string::npos;
}

} // namespace decodetest
