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
  unlink(path);
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
  volatile unsigned char sum = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    sum = static_cast<unsigned char>(sum ^ image->pixels[i]);
  }
  std::free(image->pixels);
  std::free(image);
  return 0;
}
