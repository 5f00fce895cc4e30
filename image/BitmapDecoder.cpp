// BitmapDecoder.cpp: DecodeBitmapFile and CountPaletteColors. The file is opened and mapped
// read-only through the platform layer, which keeps the view's bytes fixed while it lives
// (the decoder copies nothing of the file), the headers are checked against the
// file's size, a normalised working header (40-byte info header and its colour entries) is
// built, and the pixel data is converted straight into the result's RGB rows. Every failure
// shows exactly one message box with the caption "Error".
#include "BitmapDecoder.h"

#include "BitmapConvert.h"
#include "Win32.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

constexpr char kCaption[] = "Error";
constexpr char kOutOfMemory[] = "Out of memory.";
constexpr char kUnknownFormat[] = "Unknown DIB file format.";
constexpr char kConversionError[] = "Image file conversion error.";
constexpr char kOpenFailurePrefix[] = "Failed to open DIB file ";
constexpr char kOpenFailureSuffix[] = ".\n";
// A null path names no file: it is refused like a missing one, and the message shows it
// the way the platform's formatting shows a null string.
constexpr char kNullPath[] = "(null)";

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kBiBitfields = 3;

// The open-failure text lives in 256 bytes: 255 characters and the terminator.
constexpr std::size_t kTextCapacity = 256;
constexpr std::size_t kPathRoom =
    kTextCapacity - 1 - (sizeof(kOpenFailurePrefix) - 1) - (sizeof(kOpenFailureSuffix) - 1);

std::uint16_t Read16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Read32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Write16(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

void Write32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    p[i] = static_cast<unsigned char>(v >> (8 * i));
  }
}

void ShowDecodeMessage(const char* text) {
  MessageBoxA(GetFocus(), text, kCaption, MB_OK);
}

// A path too long for the open-failure text is cut so the text fits; the cut falls on a
// character boundary of the locale's multibyte encoding.
std::size_t FittingPathLength(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length <= kPathRoom) {
    return length;
  }
  std::mbstate_t state{};
  std::size_t kept = 0;
  while (kept < kPathRoom) {
    std::size_t step = std::mbrlen(path + kept, length - kept, &state);
    if (step == 0 || step == static_cast<std::size_t>(-1) || step == static_cast<std::size_t>(-2)) {
      step = 1; // not a valid character here: count the byte on its own
      state = std::mbstate_t{};
    }
    if (kept + step > kPathRoom) {
      break;
    }
    kept += step;
  }
  return kept;
}

void ShowOpenFailure(const char* path) {
  char text[kTextCapacity];
  std::snprintf(text, sizeof text, "%s%.*s%s", kOpenFailurePrefix,
                static_cast<int>(FittingPathLength(path)), path, kOpenFailureSuffix);
  ShowDecodeMessage(text);
}

// The wide path in the locale's multibyte form, as wcstombs converts it, for the message.
// Only what the text can show is converted; a character the locale cannot express
// becomes '?'.
void NarrowPath(const wchar_t* path, char (&out)[kTextCapacity]) {
  std::size_t used = 0;
  std::mbstate_t state{};
  for (; *path != L'\0'; ++path) {
    char bytes[MB_LEN_MAX];
    std::size_t n = std::wcrtomb(bytes, *path, &state);
    if (n == static_cast<std::size_t>(-1)) {
      bytes[0] = '?';
      n = 1;
      state = std::mbstate_t{};
    }
    if (used + n > kPathRoom + 1) {
      break; // one character past the room shows the cut is needed
    }
    std::memcpy(out + used, bytes, n);
    used += n;
  }
  out[used] = '\0';
}

// Everything a decode holds; released in reverse order of acquisition.
struct DecodeState {
  HANDLE file = nullptr;
  HANDLE mapping = nullptr;
  const unsigned char* view = nullptr;
  std::size_t size = 0;
  unsigned char* working = nullptr;
  unsigned char* pixels = nullptr;
};

// Steps from the mapped file to the finished record. Shows its own message on failure,
// while the file is still mapped; what it acquired is released by the caller.
RgbImage* DecodeView(DecodeState& s) {
  const unsigned char* const base = s.view;
  const std::size_t size = s.size;

  // With the "BM" file header the image header follows it; without, it starts the file.
  const bool fileHeader = size >= 2 && base[0] == 'B' && base[1] == 'M';
  const std::size_t headerOffset = fileHeader ? kFileHeaderSize : 0;
  const std::uint32_t headerSize = size >= headerOffset + 4 ? Read32(base + headerOffset) : 0;
  // A header the file does not hold in full counts as an unknown format.
  const bool headerKnown = (headerSize == kCoreHeaderSize || headerSize == kInfoHeaderSize) &&
                           size - headerOffset >= headerSize;
  const unsigned char* const header = base + headerOffset;
  const std::uint32_t entries = headerKnown ? CountPaletteColors(header) : 0;

  // The working header: the info header, its colour entries and room for one more.
  const std::size_t workingSize = kInfoHeaderSize + 4 * (static_cast<std::size_t>(entries) + 1);
  s.working = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED, workingSize));
  if (s.working == nullptr) {
    ShowDecodeMessage(kOutOfMemory);
    return nullptr;
  }
  if (!headerKnown) {
    ShowDecodeMessage(kUnknownFormat);
    return nullptr;
  }

  const bool core = headerSize == kCoreHeaderSize;
  // The entry count is 16 bits wide: a colours-used value beyond it names a table the
  // working header cannot hold, and is refused rather than cut to its low 16 bits.
  if (!core && Read32(header + 32) > 0xFFFF) {
    ShowDecodeMessage(kConversionError);
    return nullptr;
  }
  const std::size_t entrySize = core ? 3 : 4;
  const std::size_t tableOffset = headerOffset + headerSize;
  // A colours-used count larger than the table the file holds is refused.
  if (static_cast<std::uint64_t>(entries) * entrySize > size - tableOffset) {
    ShowDecodeMessage(kConversionError);
    return nullptr;
  }
  const unsigned char* const table = base + tableOffset;
  unsigned char* const w = s.working;
  std::memset(w, 0, workingSize);
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t bitCount = 0;
  if (core) {
    width = Read16(header + 4);
    height = Read16(header + 6); // unsigned, so a core file is always bottom-up
    bitCount = Read16(header + 10);
    Write32(w + 0, kInfoHeaderSize);
    Write32(w + 4, width);
    Write32(w + 8, height);
    Write16(w + 12, Read16(header + 8));
    Write16(w + 14, bitCount);
    Write32(w + 32, entries);
    Write32(w + 36, entries);
    for (std::uint32_t i = 0; i < entries; ++i) {
      std::memcpy(w + kInfoHeaderSize + 4 * i, table + 3 * i, 3);
    }
  } else {
    std::memcpy(w, header, kInfoHeaderSize);
    width = Read32(header + 4);
    height = Read32(header + 8);
    bitCount = Read16(header + 14);
    // The entries are copied from right after the header, as they come. For a bit-field
    // file that names colours-used, those bytes are the masks: harmless, since 16- and
    // 32-bit pixels never look a colour up.
    std::memcpy(w + kInfoHeaderSize, table, 4 * static_cast<std::size_t>(entries));
  }
  // Fill-ins: image size (bytes per row without padding, times the height; kept modulo
  // 2^32 like the 32-bit field it lands in) and the colours-used count.
  if (Read32(w + 20) == 0) {
    const std::uint64_t rowBytes = (static_cast<std::uint64_t>(width) * bitCount + 7) / 8;
    Write32(w + 20, static_cast<std::uint32_t>(rowBytes * height));
  }
  if (Read32(w + 32) == 0) {
    Write32(w + 32, entries);
  }

  const std::uint32_t compression = Read32(w + 16);
  // Bit-field masks sit right after the info header. Without a file header the pixel data
  // follows the colour table, and for bit-field files the masks as well.
  const std::uint64_t masks = tableOffset;
  std::uint64_t pixelOffset = 0;
  if (fileHeader) {
    pixelOffset = Read32(base + 10);
  } else {
    pixelOffset = tableOffset + static_cast<std::uint64_t>(entries) * entrySize;
    if (!core && compression == kBiBitfields) {
      pixelOffset += 12;
    }
  }

  BitmapPlan plan;
  switch (PlanBitmapConversion(w, entries, base, size, pixelOffset, masks, plan)) {
  case BitmapFailure::None:
    break;
  case BitmapFailure::OutOfMemory:
    ShowDecodeMessage(kOutOfMemory);
    return nullptr;
  case BitmapFailure::Conversion:
    ShowDecodeMessage(kConversionError);
    return nullptr;
  }

  s.pixels = AllocateBitmapPixels(BitmapResultSize(plan));
  if (s.pixels == nullptr) {
    ShowDecodeMessage(kOutOfMemory);
    return nullptr;
  }
  if (!ConvertBitmap(plan, s.pixels)) {
    ShowDecodeMessage(kConversionError);
    return nullptr;
  }

  auto* image = static_cast<RgbImage*>(std::malloc(sizeof(RgbImage)));
  if (image == nullptr) {
    ShowDecodeMessage(kOutOfMemory);
    return nullptr;
  }
  image->width = plan.width;
  image->height = plan.height;
  image->pixels = s.pixels;
  return image;
}

// Maps the opened file and decodes it; `openFailed` reports a failure to open, size, map
// or view the file, whose message the caller shows after the release.
RgbImage* DecodeOpenedFile(HANDLE file, bool& openFailed) {
  DecodeState s;
  RgbImage* image = nullptr;
  openFailed = true;
  if (file != nullptr && file != INVALID_HANDLE_VALUE) {
    s.file = file;
    DWORD sizeHigh = 0;
    const DWORD sizeLow = GetFileSize(file, &sizeHigh);
    // Reads are bounded by the size; past 4 GiB the first 4 GiB bound them, which is safe.
    if (sizeLow != INVALID_FILE_SIZE || sizeHigh != 0) {
      s.size = sizeHigh != 0 ? INVALID_FILE_SIZE - 1 : sizeLow;
      s.mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    }
    if (s.mapping != nullptr) {
      s.view = static_cast<const unsigned char*>(MapViewOfFile(s.mapping, FILE_MAP_READ, 0, 0, 0));
    }
    if (s.view != nullptr) {
      openFailed = false;
      image = DecodeView(s);
    }
  }
  if (s.working != nullptr) {
    LocalFree(s.working);
  }
  if (s.view != nullptr) {
    UnmapViewOfFile(s.view);
  }
  if (s.mapping != nullptr) {
    CloseHandle(s.mapping);
  }
  if (s.file != nullptr) {
    CloseHandle(s.file);
  }
  if (image == nullptr) {
    std::free(s.pixels);
  }
  return image;
}

} // namespace

std::uint16_t CountPaletteColors(const unsigned char* header) {
  const std::uint32_t headerSize = Read32(header);
  if (headerSize != kCoreHeaderSize) {
    const std::uint32_t used = Read32(header + 32);
    if (used != 0) {
      return static_cast<std::uint16_t>(used & 0xFFFF);
    }
  }
  const std::uint16_t bitCount = Read16(header + (headerSize == kCoreHeaderSize ? 10 : 14));
  switch (bitCount) {
  case 1:
    return 2;
  case 4:
    return 16;
  case 8:
    return 256;
  default:
    return 0;
  }
}

RgbImage* DecodeBitmapFile(const char* path) {
  if (path == nullptr) {
    ShowOpenFailure(kNullPath);
    return nullptr;
  }
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  bool openFailed = false;
  RgbImage* image = DecodeOpenedFile(file, openFailed);
  if (openFailed) {
    ShowOpenFailure(path);
  }
  return image;
}

RgbImage* DecodeBitmapFile(const wchar_t* path) {
  if (path == nullptr) {
    ShowOpenFailure(kNullPath);
    return nullptr;
  }
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  bool openFailed = false;
  RgbImage* image = DecodeOpenedFile(file, openFailed);
  if (openFailed) {
    char narrow[kTextCapacity];
    NarrowPath(path, narrow);
    ShowOpenFailure(narrow);
  }
  return image;
}
