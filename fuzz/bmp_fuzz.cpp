// bmp_fuzz.cpp: fuzz target over DecodeBitmapFile. Each input is written to a private
// temporary file and decoded from there, the way the program decodes its textures; a
// result's every byte is read (so a short buffer shows up under AddressSanitizer) and
// freed. The decoder must show exactly one message per failure and none on success.
//
// A picture the decoder accepts may be as large as 16384 x 16384 pixels, and a run-length
// file of a few bytes may declare one: filling hundreds of megabytes each time would slow
// the fuzzer to a few executions a second. So a header that declares more than
// kMaxFuzzPixels within the decoder's limits has its height lowered to fit before the file is
// written; the decoder still reads every such file in full. Declared sizes past the limits
// are written as they come, since the decoder refuses them before allocating. Setting
// TALVERN_FUZZ_FULL_SIZE in the environment writes every input unchanged.
#include "BitmapDecoder.h"
#include "Headless.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALVERN_HAS_ASAN_FEATURE 1
#endif
#endif
#ifndef TALVERN_HAS_ASAN_FEATURE
#define TALVERN_HAS_ASAN_FEATURE 0
#endif
#if defined(__SANITIZE_ADDRESS__) || TALVERN_HAS_ASAN_FEATURE
#include <sanitizer/asan_interface.h>
#endif

namespace {

std::string& InputPath() {
  static std::string path;
  return path;
}

void RemoveInput() {
  if (!InputPath().empty()) {
    unlink(InputPath().c_str());
  }
}

const char* PrepareInputPath() {
  if (InputPath().empty()) {
    // Memory-backed /dev/shm when there is one, so that rewriting the file costs no disk
    // I/O.
    const char* dir = std::getenv("TMPDIR");
    if (access("/dev/shm", W_OK) == 0) {
      dir = "/dev/shm";
    }
    InputPath() = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") +
                  "/talvern-bmp-fuzz-" + std::to_string(getpid()) + ".bmp";
    std::atexit(RemoveInput);
  }
  return InputPath().c_str();
}

constexpr std::int64_t kMaxFuzzPixels = 1 << 16;
constexpr std::int64_t kDecoderMaxDimension = 16384;

std::uint32_t Get32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
}

// The height lowered so that |width| x |height| <= kMaxFuzzPixels, keeping its sign;
// `height` itself when the picture is small enough or past the decoder's limits.
std::int64_t FittedHeight(std::int64_t width, std::int64_t height) {
  const std::int64_t w = width < 0 ? -width : width;
  const std::int64_t h = height < 0 ? -height : height;
  if (w == 0 || w > kDecoderMaxDimension || h > kDecoderMaxDimension || w * h <= kMaxFuzzPixels) {
    return height;
  }
  const std::int64_t fitted = kMaxFuzzPixels / w > 0 ? kMaxFuzzPixels / w : 1;
  return height < 0 ? -fitted : fitted;
}

// Lowers the declared height of a large picture in `bytes` (see the top of the file).
void FitPicture(std::vector<std::uint8_t>& bytes) {
  const std::size_t offset = bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M' ? 14 : 0;
  if (bytes.size() < offset + 16) {
    return;
  }
  std::uint8_t* header = bytes.data() + offset;
  const std::uint32_t headerSize = Get32(header);
  if (headerSize == 12) {
    const std::int64_t height =
        FittedHeight(header[4] | (header[5] << 8), header[6] | (header[7] << 8));
    header[6] = static_cast<std::uint8_t>(height);
    header[7] = static_cast<std::uint8_t>(height >> 8);
  } else if (headerSize == 40) {
    const auto width = static_cast<std::int32_t>(Get32(header + 4));
    const auto height = static_cast<std::int32_t>(Get32(header + 8));
    Put32(header + 8, static_cast<std::uint32_t>(FittedHeight(width, height)));
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = PrepareInputPath();
  static const bool fullSize = std::getenv("TALVERN_FUZZ_FULL_SIZE") != nullptr;
  static std::vector<std::uint8_t> input;
  input.assign(data, data + size);
  if (!fullSize) {
    FitPicture(input);
  }
  // A new file each time rather than truncating the old one: file systems flush a file
  // that is truncated and rewritten when it is closed.
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::abort();
  }
  if (size != 0 && std::fwrite(input.data(), 1, size, file) != size) {
    std::abort();
  }
  std::fclose(file);

  // A fresh headless platform each time keeps the call journal from growing, and the
  // message boxes are recorded rather than printed.
  HeadlessReset();
  HeadlessCaptureDialogs(true);
  RgbImage* image = DecodeBitmapFile(path);
  unlink(path); // nothing stays behind, even when a later input crashes the process
  const std::size_t messages = HeadlessDialogs().size();
  if (image == nullptr) {
    if (messages != 1) {
      std::abort();
    }
    return 0;
  }
  if (messages != 0 || image->width <= 0 || image->height <= 0 || image->width > 16384 ||
      image->height > 16384) {
    std::abort();
  }
  const std::size_t bytes =
      static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) * 3;
  // The whole buffer must be addressable. Under AddressSanitizer its shadow says so without
  // touching every byte (results run to hundreds of megabytes); otherwise the first and last
  // bytes are read.
#if defined(__SANITIZE_ADDRESS__) || TALVERN_HAS_ASAN_FEATURE
  if (__asan_region_is_poisoned(image->pixels, bytes) != nullptr) {
    std::abort();
  }
#endif
  volatile unsigned char edge =
      static_cast<unsigned char>(image->pixels[0] ^ image->pixels[bytes - 1]);
  (void)edge;
  std::free(image->pixels);
  std::free(image);
  return 0;
}
