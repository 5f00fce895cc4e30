// BitmapConvert.h: the in-code conversion of a bitmap's pixel data into 24-bit RGB rows,
// used by the BMP decoder (internal to image/). The decoder builds the working header (a
// 40-byte info header followed by its colour entries); PlanBitmapConversion checks that the
// conversion can accept it and that every byte it will read lies inside the mapped file,
// and ConvertBitmap then writes the result rows; only a run-length stream cut short by the
// end of the file can still fail there.
#pragma once

#include <cstddef>
#include <cstdint>

enum class BitmapFailure {
  None,
  OutOfMemory, // the picture is larger than any texture we could make of it
  Conversion,  // the pixel data cannot be converted (bad depth, encoding, masks or bounds)
};

enum class BitmapEncoding {
  Palette1,
  Palette4,
  Palette8,
  Rle8,
  Rle4,
  Fields16, // 16 bits: 5-5-5 or three bit-field masks
  Bgr24,
  Fields32, // 32 bits: B, G, R, ignored byte, or three bit-field masks
};

// One colour channel of a 16- or 32-bit pixel: value = scale[((pixel & mask) >> shift) >>
// drop], where `scale` widens the channel's top (at most 8) bits to 8 bits.
struct BitmapChannel {
  std::uint32_t mask = 0;
  unsigned shift = 0;
  unsigned drop = 0;
  std::uint8_t scale[256] = {};
};

struct BitmapPlan {
  BitmapEncoding encoding = BitmapEncoding::Bgr24;
  std::int32_t width = 0;
  std::int32_t height = 0; // always positive: the number of rows
  bool topDown = false;    // source rows run top row first (negative height in the header)
  const unsigned char* bits = nullptr; // first byte of the pixel data in the mapped file
  std::size_t bitsSize = 0;            // bytes of pixel data the conversion may read
  std::size_t sourceStride = 0;        // uncompressed: bytes per source row with padding
  // Palette entries as R, G, B, 0; entries at or past the table's end stay black.
  std::uint8_t palette[256][4] = {};
  bool standardFields = false; // 16: 5-5-5; 32: plain B, G, R, X bytes
  BitmapChannel red;
  BitmapChannel green;
  BitmapChannel blue;
};

// Size of the result's pixel buffer (rows * width * 3), valid after a successful plan; the
// plan's dimension limit keeps it from overflowing.
std::size_t BitmapResultSize(const BitmapPlan& plan);

// `working` is the working header; `paletteCount` the colour entries it holds. `file` and
// `fileSize` bound every read; `pixelOffset` is the pixel data's offset in the file and
// `masks` the file offset of the three bit-field masks (used only for bit-field files).
BitmapFailure PlanBitmapConversion(const unsigned char* working, std::uint32_t paletteCount,
                                   const unsigned char* file, std::size_t fileSize,
                                   std::uint64_t pixelOffset, std::uint64_t masks,
                                   BitmapPlan& plan);

// Writes the picture into `rgb` (BitmapResultSize bytes): row 0 is the bottom row. Fails
// only for a run-length stream that the file cuts off before its end-of-bitmap escape and
// before the last row is finished; `rgb` then holds a partial picture.
bool ConvertBitmap(const BitmapPlan& plan, unsigned char* rgb);

// Pixel buffers for results: plain malloc for small pictures; large ones are aligned to
// 2 MiB and advised for transparent huge pages, so that the first touch of the fresh
// buffer costs one fault per 2 MiB rather than one per 4 KiB. Either way free() releases it.
unsigned char* AllocateBitmapPixels(std::size_t bytes);
