// bmp_fuzz.cpp: fuzz target over DecodeBitmapFile. Each input is written to a private
// temporary file and decoded from there, the way the program decodes its textures; a
// result's every byte is read (so a short buffer shows up under AddressSanitizer) and
// freed. The decoder must show exactly one message per failure and none on success.
#include "BitmapDecoder.h"
#include "Headless.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* path = PrepareInputPath();
  // A new file each time rather than truncating the old one: file systems flush a file
  // that is truncated and rewritten when it is closed.
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::abort();
  }
  if (size != 0 && std::fwrite(data, 1, size, file) != size) {
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
