// bmp_bench.cpp: the BMP decoder against stb_image and SDL2 on 4096 x 4096 pictures that
// the benchmark writes into a temporary directory: 24-bit, 32-bit, 16-bit 5-5-5, 8-bit and
// 4-bit palette, 1-bit, RLE8 and RLE4. Decode/<decoder>/<image> times one decode to RGB24
// (a peer that cannot read an image has no entry); Limit/<image> maps the file, reads every
// byte and writes a fresh output buffer of the result's size, the floor for any decoder.
//
// Staged/<image> is our decode with a separate canvas stage, kept to show why the stages are
// fused. `bmp_bench --peak-memory` instead prints, for each image, the peak memory one decode
// adds beyond the mapped file, as a multiple of the result's size.
#include "BitmapConvert.h"
#include "BitmapDecoder.h"
#include "BmpWriter.h"
#include "Headless.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO_WARNINGS
#include <stb/stb_image.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kSize = 4096;

struct BenchImage {
  const char* name;
  std::string path;
  std::size_t fileSize = 0;
};

std::vector<BenchImage>& Images() {
  static std::vector<BenchImage> images;
  return images;
}

std::string& ImageDir() {
  static std::string dir;
  return dir;
}

void RemoveImages() {
  for (const BenchImage& image : Images()) {
    unlink(image.path.c_str());
  }
  if (!ImageDir().empty()) {
    rmdir(ImageDir().c_str());
  }
}

std::uint32_t Noise(std::uint32_t x, std::uint32_t y) {
  std::uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  return h ^ (h >> 13);
}

// Smooth gradients with a little noise: a stand-in for a photographic texture.
std::vector<std::uint32_t> TrueColour(std::uint32_t mask) {
  std::vector<std::uint32_t> values(static_cast<std::size_t>(kSize) * kSize);
  for (std::uint32_t y = 0; y < kSize; ++y) {
    for (std::uint32_t x = 0; x < kSize; ++x) {
      const std::uint32_t n = Noise(x, y) & 0x0F0F0F;
      values[static_cast<std::size_t>(y) * kSize + x] = ((x / 16 + n) & 0xFF) |
                                                        (((y / 16 + (n >> 8)) & 0xFF) << 8) |
                                                        ((((x + y) / 32 + (n >> 16)) & 0xFF) << 16);
      values[static_cast<std::size_t>(y) * kSize + x] &= mask;
    }
  }
  return values;
}

// Palette pictures in runs of 1 to 24 pixels of one index, as drawn textures have.
std::vector<std::uint8_t> RunIndexes(unsigned colours) {
  std::vector<std::uint8_t> indexes(static_cast<std::size_t>(kSize) * kSize);
  for (std::uint32_t y = 0; y < kSize; ++y) {
    std::uint32_t x = 0;
    std::uint32_t seed = y * 7919;
    while (x < kSize) {
      const std::uint32_t h = Noise(seed++, y);
      const std::uint32_t run = std::min<std::uint32_t>(1 + h % 24, kSize - x);
      std::memset(&indexes[static_cast<std::size_t>(y) * kSize + x],
                  static_cast<int>((h >> 8) % colours), run);
      x += run;
    }
  }
  return indexes;
}

std::vector<bmpw::Rgb> BenchPalette(unsigned colours) {
  std::vector<bmpw::Rgb> palette;
  for (unsigned i = 0; i < colours; ++i) {
    const std::uint32_t h = Noise(i, 99);
    palette.push_back({static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(h >> 8),
                       static_cast<std::uint8_t>(h >> 16)});
  }
  return palette;
}

bool WriteImage(const char* name, const bmpw::BmpFile& f) {
  BenchImage image;
  image.name = name;
  image.path = ImageDir() + "/" + name + ".bmp";
  const bmpw::Bytes bytes = bmpw::Write(f);
  image.fileSize = bytes.size();
  if (!bmpw::SaveFile(image.path, bytes)) {
    return false;
  }
  Images().push_back(image);
  return true;
}

bool WriteImages() {
  char pattern[] = "/tmp/bmp-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    return false;
  }
  ImageDir() = pattern;
  // The image list must exist before the exit handler is registered, or it would be
  // destroyed before the handler runs and the files would stay behind.
  Images().reserve(8);
  std::atexit(RemoveImages);
  bool ok = true;
  bmpw::BmpFile f;
  f.width = kSize;
  f.height = kSize;

  f.bitCount = 24;
  f.pixels = bmpw::PackRows(TrueColour(0xFFFFFF), kSize, kSize, 24);
  ok = WriteImage("rgb24", f) && ok;
  f.bitCount = 32;
  f.pixels = bmpw::PackRows(TrueColour(0xFFFFFF), kSize, kSize, 32);
  ok = WriteImage("bgrx32", f) && ok;
  f.bitCount = 16;
  std::vector<std::uint32_t> words = TrueColour(0xFFFFFF);
  for (std::uint32_t& w : words) {
    w = ((w >> 3) & 0x1F) | (((w >> 11) & 0x1F) << 5) | (((w >> 19) & 0x1F) << 10);
  }
  f.pixels = bmpw::PackRows(words, kSize, kSize, 16);
  ok = WriteImage("rgb16", f) && ok;

  for (unsigned bits : {8u, 4u, 1u}) {
    const std::vector<std::uint8_t> indexes = RunIndexes(1u << bits);
    f.bitCount = static_cast<std::uint16_t>(bits);
    f.palette = BenchPalette(1u << bits);
    f.pixels = bmpw::PackRows(std::vector<std::uint32_t>(indexes.begin(), indexes.end()), kSize,
                              kSize, static_cast<int>(bits));
    ok = WriteImage(bits == 8 ? "pal8" : bits == 4 ? "pal4" : "mono1", f) && ok;
  }
  for (unsigned bits : {8u, 4u}) {
    const std::vector<std::uint8_t> indexes = RunIndexes(1u << bits);
    f.bitCount = static_cast<std::uint16_t>(bits);
    f.compression = bits == 8 ? 1 : 2;
    f.palette = BenchPalette(1u << bits);
    f.pixels = bits == 8 ? bmpw::EncodeRle8(indexes, kSize, kSize)
                         : bmpw::EncodeRle4(indexes, kSize, kSize);
    ok = WriteImage(bits == 8 ? "rle8" : "rle4", f) && ok;
  }
  return ok;
}

// ---- The decoders --------------------------------------------------------------------

bool DecodeOurs(const BenchImage& image) {
  RgbImage* result = DecodeBitmapFile(image.path.c_str());
  if (result == nullptr) {
    return false;
  }
  benchmark::DoNotOptimize(result->pixels[0]);
  std::free(result->pixels);
  std::free(result);
  return true;
}

bool DecodeStb(const BenchImage& image) {
  int width = 0;
  int height = 0;
  int channels = 0;
  stbi_uc* pixels = stbi_load(image.path.c_str(), &width, &height, &channels, 3);
  if (pixels == nullptr) {
    return false;
  }
  benchmark::DoNotOptimize(pixels[0]);
  stbi_image_free(pixels);
  return width == kSize && height == kSize;
}

bool DecodeSdl(const BenchImage& image) {
  SDL_Surface* loaded = SDL_LoadBMP(image.path.c_str());
  if (loaded == nullptr) {
    return false;
  }
  SDL_Surface* rgb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGB24, 0);
  SDL_FreeSurface(loaded);
  if (rgb == nullptr) {
    return false;
  }
  benchmark::DoNotOptimize(static_cast<unsigned char*>(rgb->pixels)[0]);
  SDL_FreeSurface(rgb);
  return true;
}

// The decode with a separate canvas stage, for comparison with the fused decode: the
// conversion writes a full-size canvas, and a second pass copies it into the result with
// the blue/red swap, as a three-stage decode does. The bench pictures are all 4096 wide,
// so canvas rows carry no padding.
bool DecodeStaged(const BenchImage& image) {
  const int fd = open(image.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  void* view = mmap(nullptr, image.fileSize, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (view == MAP_FAILED) {
    return false;
  }
  const auto* file = static_cast<const unsigned char*>(view);
  const unsigned char* header = file + 14;
  const std::uint64_t pixelOffset = file[10] | (file[11] << 8) | (file[12] << 16);
  BitmapPlan plan;
  const bool planned =
      PlanBitmapConversion(header, CountPaletteColors(header), file, image.fileSize, pixelOffset,
                           54, plan) == BitmapFailure::None;
  if (planned) {
    const std::size_t bytes = BitmapResultSize(plan);
    unsigned char* canvas = AllocateBitmapPixels(bytes);
    unsigned char* result = AllocateBitmapPixels(bytes);
    if (!ConvertBitmap(plan, canvas)) {
      std::abort();
    }
    for (std::size_t i = 0; i < bytes; i += 3) {
      result[i] = canvas[i + 2];
      result[i + 1] = canvas[i + 1];
      result[i + 2] = canvas[i];
    }
    benchmark::DoNotOptimize(result[bytes - 1]);
    std::free(canvas);
    std::free(result);
  }
  munmap(view, image.fileSize);
  return planned;
}

// Map, read every byte, write a fresh result-sized buffer (advised for huge pages, the
// cheapest fresh memory there is here).
bool ReadAndWriteFloor(const BenchImage& image) {
  const int fd = open(image.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  void* view = mmap(nullptr, image.fileSize, PROT_READ, MAP_PRIVATE, fd, 0);
  if (view == MAP_FAILED) {
    close(fd);
    return false;
  }
  const auto* bytes = static_cast<const unsigned char*>(view);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i + 8 <= image.fileSize; i += 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes + i, 8);
    sum += word;
  }
  benchmark::DoNotOptimize(sum);
  const std::size_t outBytes = static_cast<std::size_t>(kSize) * kSize * 3;
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  const std::size_t rounded = (outBytes + kHuge - 1) & ~(kHuge - 1);
  auto* out = static_cast<unsigned char*>(std::aligned_alloc(kHuge, rounded));
  madvise(out, rounded, MADV_HUGEPAGE);
  std::memset(out, static_cast<int>(sum & 0xFF), outBytes);
  benchmark::DoNotOptimize(out[outBytes - 1]);
  std::free(out);
  munmap(view, image.fileSize);
  close(fd);
  return true;
}

using DecodeFunction = bool (*)(const BenchImage&);

void RunDecode(benchmark::State& state, DecodeFunction decode, const BenchImage* image) {
  for (auto _ : state) {
    if (!decode(*image)) {
      state.SkipWithError("decode failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kSize * kSize * 3);
}

double Minimum(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

void Register(const std::string& name, DecodeFunction decode, const BenchImage* image) {
  benchmark::RegisterBenchmark(name.c_str(), RunDecode, decode, image)
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(7)
      ->ComputeStatistics("min", Minimum)
      ->UseRealTime();
}

// ---- Peak memory of one decode --------------------------------------------------------

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) {
      return std::atol(line.c_str() + std::strlen(field));
    }
  }
  return -1;
}

int PrintPeakMemory() {
  std::printf("%-8s %10s %10s %12s %8s\n", "image", "file MiB", "result MiB", "peak-file MiB",
              "ratio");
  for (const BenchImage& image : Images()) {
    // Drop the generator's pages from the page table peak, then decode once.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long base = StatusKiB("VmRSS:");
    if (!DecodeOurs(image)) {
      return 1;
    }
    const long peak = StatusKiB("VmHWM:");
    const double file = static_cast<double>(image.fileSize) / (1 << 20);
    const double result = static_cast<double>(kSize) * kSize * 3 / (1 << 20);
    const double beyond = static_cast<double>(peak - base) / 1024 - file;
    std::printf("%-8s %10.1f %10.1f %12.1f %8.3f\n", image.name, file, result, beyond,
                beyond / result);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  HeadlessCaptureDialogs(true);
  if (!WriteImages()) {
    std::fprintf(stderr, "could not write the benchmark images\n");
    return 1;
  }
  if (argc > 1 && std::strcmp(argv[1], "--peak-memory") == 0) {
    return PrintPeakMemory();
  }
  for (const BenchImage& image : Images()) {
    const std::string suffix = std::string("/") + image.name;
    Register("Decode/ours" + suffix, DecodeOurs, &image);
    if (DecodeStb(image)) {
      Register("Decode/stb" + suffix, DecodeStb, &image);
    }
    if (DecodeSdl(image)) {
      Register("Decode/sdl" + suffix, DecodeSdl, &image);
    }
    Register("Limit" + suffix, ReadAndWriteFloor, &image);
    Register("Staged" + suffix, DecodeStaged, &image);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
