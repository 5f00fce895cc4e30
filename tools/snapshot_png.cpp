// snapshot_png.cpp: writes 8-bit RGB PNG files: signature, IHDR, one zlib IDAT, IEND.
#include "snapshot_png.h"

#include <zlib.h>

#include <cstdio>

namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

// A chunk: length, type, data, and the CRC of type and data.
void PutChunk(std::vector<std::uint8_t>& out, const char type[4],
              const std::vector<std::uint8_t>& data) {
  Put32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
  Put32(out, static_cast<std::uint32_t>(crc));
}

} // namespace

bool WritePngFile(const std::string& path, int width, int height,
                  const std::vector<std::uint8_t>& rgb, bool bottomRowFirst) {
  if (width <= 0 || height <= 0 ||
      rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    return false;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  // Each scanline is a filter-type byte (0, none) followed by the row.
  std::vector<std::uint8_t> raw;
  raw.reserve((rowBytes + 1) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const int source = bottomRowFirst ? height - 1 - y : y;
    const std::uint8_t* row = rgb.data() + static_cast<std::size_t>(source) * rowBytes;
    raw.push_back(0);
    raw.insert(raw.end(), row, row + rowBytes);
  }
  // zlib's default level: the best level takes several times as long on these dark
  // pictures for files only a few per cent smaller.
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    return false;
  }
  packed.resize(packedSize);

  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<std::uint8_t> header;
  Put32(header, static_cast<std::uint32_t>(width));
  Put32(header, static_cast<std::uint32_t>(height));
  header.push_back(8); // bits per channel
  header.push_back(2); // colour type: RGB
  header.push_back(0); // deflate
  header.push_back(0); // adaptive filtering, filter 0 on every row
  header.push_back(0); // no interlace
  PutChunk(file, "IHDR", header);
  PutChunk(file, "IDAT", packed);
  PutChunk(file, "IEND", {});

  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) {
    return false;
  }
  const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
  const bool closed = std::fclose(out) == 0;
  return written && closed;
}
