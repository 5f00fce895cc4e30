// snapshot_png.h: a small PNG writer for 8-bit RGB pictures (zlib-compressed, filter 0).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes width x height RGB bytes as a PNG file. `bottomRowFirst` says the rows come as
// glReadPixels returns them; PNG stores the top row first. False when the file cannot be
// written or the sizes do not match.
bool WritePngFile(const std::string& path, int width, int height,
                  const std::vector<std::uint8_t>& rgb, bool bottomRowFirst);
