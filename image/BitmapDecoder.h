// BitmapDecoder.h: the BMP decoder. Reads a Windows bitmap file (core or info header; 1,
// 4, 8, 16, 24 or 32 bits per pixel; uncompressed, run-length encoded or bit fields) into a
// 24-bit RGB picture. Failures are shown in a message box, one per failure.
#pragma once

#include <cstdint>

// A decoded picture: R, G, B bytes per pixel, rows without padding, bottom row first.
// The record and its pixel buffer are separate malloc blocks owned by the caller, who
// frees the pixels first, then the record.
struct RgbImage {
  std::int32_t width;
  std::int32_t height;
  unsigned char* pixels;
};

RgbImage* DecodeBitmapFile(const char* path);
RgbImage* DecodeBitmapFile(const wchar_t* path);

// Number of colour-table entries for an image header (core or info header) that starts at
// `header`; the caller guarantees the header's bytes are readable.
std::uint16_t CountPaletteColors(const unsigned char* header);
