// datagen_test.cpp: the committed pictures in Data/ are exactly what the generator writes,
// and they decode to the sizes and encodings the corridor expects.
#include "BitmapDecoder.h"
#include "Headless.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int Read16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8;
}
std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(Read16(b, at)) | static_cast<std::uint32_t>(Read16(b, at + 2))
                                                         << 16;
}

} // namespace

TEST(DataGenerator, RegeneratesTheCommittedPicturesByteForByte) {
  ScratchDirectory scratch;
  const std::string command =
      std::string("'") + DATAGEN_PATH + "' '" + (scratch.Path() / "Data").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* name : {"floor1.bmp", "pillars1.bmp", "ceiling.bmp"}) {
    const std::vector<std::uint8_t> generated = ReadBytes(scratch.Path() / "Data" / name);
    const std::vector<std::uint8_t> committed = ReadBytes(SourceDataDirectory() / name);
    ASSERT_FALSE(generated.empty()) << name;
    EXPECT_TRUE(generated == committed) << name << " differs from the generator's output";
  }
}

TEST(DataGenerator, PicturesAreSquarePowerOfTwoAndUseSeveralEncodings) {
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  struct Expected {
    const char* name;
    int bitsPerPixel;
    std::uint32_t compression; // 0 plain, 1 RLE8
  };
  const Expected pictures[] = {
      {"floor1.bmp", 24, 0}, {"pillars1.bmp", 8, 0}, {"ceiling.bmp", 8, 1}};
  for (const Expected& picture : pictures) {
    const std::filesystem::path path = SourceDataDirectory() / picture.name;
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 54u) << picture.name;
    EXPECT_EQ(Read16(bytes, 28), picture.bitsPerPixel) << picture.name;
    EXPECT_EQ(Read32(bytes, 30), picture.compression) << picture.name;
    EXPECT_EQ(Read32(bytes, 2), bytes.size()) << picture.name;

    RgbImage* image = DecodeBitmapFile(path.string().c_str());
    ASSERT_NE(image, nullptr) << picture.name;
    EXPECT_EQ(image->width, 256);
    EXPECT_EQ(image->height, 256);
    // Not flat: a picture worth looking at has a spread of tones.
    int lo = 255, hi = 0;
    for (int i = 0; i < image->width * image->height * 3; ++i) {
      lo = std::min(lo, static_cast<int>(image->pixels[i]));
      hi = std::max(hi, static_cast<int>(image->pixels[i]));
    }
    EXPECT_GT(hi - lo, 100) << picture.name;
    std::free(image->pixels);
    std::free(image);
  }
  EXPECT_TRUE(HeadlessDialogs().empty());
}
