// scratch_dir.cpp: scratch working directories and test pictures for the texture tests.
#include "scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

ScratchDirectory::ScratchDirectory() : previous(std::filesystem::current_path()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "talvern-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("cannot create a scratch directory");
  }
  path = buffer.data();
  std::filesystem::create_directory(path / "Data");
  std::filesystem::current_path(path);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous, ignored);
  std::filesystem::remove_all(path, ignored);
}

std::filesystem::path SourceDataDirectory() {
  return std::filesystem::path(TALVERN_SOURCE_DIR) / "Data";
}

void CopyCommittedPicture(const std::string& name, const std::string& target) {
  std::filesystem::copy_file(SourceDataDirectory() / name,
                             std::filesystem::path("Data") / (target.empty() ? name : target),
                             std::filesystem::copy_options::overwrite_existing);
}

namespace {
void Put(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 255u));
  }
}
} // namespace

void WriteTestBitmap(const std::filesystem::path& path, int width, int height, int seed) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  const std::uint32_t pixelBytes = stride * static_cast<std::uint32_t>(height);
  std::vector<std::uint8_t> out = {'B', 'M'};
  Put(out, 54 + pixelBytes, 4);
  Put(out, 0, 4);
  Put(out, 54, 4);
  Put(out, 40, 4);
  Put(out, static_cast<std::uint32_t>(width), 4);
  Put(out, static_cast<std::uint32_t>(height), 4);
  Put(out, 1, 2);
  Put(out, 24, 2);
  Put(out, 0, 4);
  Put(out, pixelBytes, 4);
  Put(out, 2835, 4);
  Put(out, 2835, 4);
  Put(out, 0, 4);
  Put(out, 0, 4);
  for (int y = 0; y < height; ++y) {
    std::uint32_t written = 0;
    for (int x = 0; x < width; ++x) {
      const int r = x * 7 + seed, g = y * 5, b = x ^ y;
      out.push_back(static_cast<std::uint8_t>(b & 255)); // BMP stores B, G, R
      out.push_back(static_cast<std::uint8_t>(g & 255));
      out.push_back(static_cast<std::uint8_t>(r & 255));
      written += 3;
    }
    for (; written < stride; ++written) {
      out.push_back(0);
    }
  }
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
}
