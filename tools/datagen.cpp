// datagen.cpp: writes the corridor's three pictures, procedurally and deterministically:
//   floor1.bmp   worn stone flags, 24 bits per pixel, uncompressed
//   pillars1.bmp dressed stone blocks, 8-bit palette, uncompressed
//   ceiling.bmp  recessed ceiling panels, 8-bit palette, run-length encoded (RLE8)
// All are 256x256. Only integer arithmetic is used, so every build writes the same bytes.
//
// Usage: datagen [OUTPUT_DIR]   (default "Data")
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int Size = 256;

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
  int r, g, b;
};

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
  std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 15;
  h *= 0x2c1b3c6du;
  h ^= h >> 12;
  h *= 0x297a2d39u;
  h ^= h >> 15;
  return h;
}

int Clamp(int v, int lo, int hi) {
  return v < lo ? lo : (v > hi ? hi : v);
}

// Value noise in 0..255 on a lattice of cellX by cellY pixels, smoothly interpolated in
// fixed point (weights 0..256).
int ValueNoise(int x, int y, int cellX, int cellY, std::uint32_t seed) {
  const int gx = x / cellX;
  const int gy = y / cellY;
  const int fx = (x % cellX) * 256 / cellX;
  const int fy = (y % cellY) * 256 / cellY;
  const int sx = fx * fx * (768 - 2 * fx) / 65536; // smoothstep, 0..256
  const int sy = fy * fy * (768 - 2 * fy) / 65536;
  auto corner = [&](int cx, int cy) {
    return static_cast<int>(
        Hash(static_cast<std::uint32_t>(cx), static_cast<std::uint32_t>(cy), seed) & 255u);
  };
  const int top = corner(gx, gy) * (256 - sx) + corner(gx + 1, gy) * sx;
  const int bottom = corner(gx, gy + 1) * (256 - sx) + corner(gx + 1, gy + 1) * sx;
  return (top * (256 - sy) + bottom * sy) / 65536;
}

// Several octaves of value noise, 0..255, with cells from cellX by cellY down to 1/16.
int Fractal(int x, int y, int cellX, int cellY, std::uint32_t seed) {
  int sum = 0;
  int weight = 0;
  int amplitude = 16;
  for (int octave = 0; octave < 5 && cellX >= 1 && cellY >= 1; ++octave) {
    sum += ValueNoise(x, y, cellX, cellY, seed + static_cast<std::uint32_t>(octave)) * amplitude;
    weight += amplitude;
    amplitude /= 2;
    cellX = cellX > 1 ? cellX / 2 : 1;
    cellY = cellY > 1 ? cellY / 2 : 1;
  }
  return sum / weight;
}

void Put16(Bytes& out, int v) {
  out.push_back(static_cast<std::uint8_t>(v & 255));
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 255));
}
void Put32(Bytes& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 255u));
  }
}

// File header and info header. `pixelBytes` is the size of the pixel data that follows
// the colour table.
Bytes Headers(int bitsPerPixel, int compression, int paletteColors, std::uint32_t pixelBytes) {
  const std::uint32_t offset = 14 + 40 + 4 * static_cast<std::uint32_t>(paletteColors);
  Bytes out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, offset + pixelBytes);
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, Size);
  Put32(out, Size); // positive height: bottom row first
  Put16(out, 1);
  Put16(out, bitsPerPixel);
  Put32(out, static_cast<std::uint32_t>(compression));
  Put32(out, pixelBytes);
  Put32(out, 2835); // 72 dots per inch
  Put32(out, 2835);
  Put32(out, static_cast<std::uint32_t>(paletteColors));
  Put32(out, 0);
  return out;
}

// rows[y] is image row y counted from the bottom.
Bytes Encode24(const std::vector<Rgb>& pixels) {
  Bytes out = Headers(24, 0, 0, Size * Size * 3);
  for (const Rgb& p : pixels) {
    out.push_back(static_cast<std::uint8_t>(p.b));
    out.push_back(static_cast<std::uint8_t>(p.g));
    out.push_back(static_cast<std::uint8_t>(p.r));
  }
  return out;
}

void PutPalette(Bytes& out, const std::vector<Rgb>& palette) {
  for (const Rgb& c : palette) {
    out.push_back(static_cast<std::uint8_t>(c.b));
    out.push_back(static_cast<std::uint8_t>(c.g));
    out.push_back(static_cast<std::uint8_t>(c.r));
    out.push_back(0);
  }
}

Bytes Encode8(const Bytes& indices, const std::vector<Rgb>& palette) {
  Bytes out = Headers(8, 0, 256, Size * Size);
  PutPalette(out, palette);
  out.insert(out.end(), indices.begin(), indices.end());
  return out;
}

// RLE8: runs of two or more equal bytes as (count, index); stretches of three or more
// unequal bytes in absolute mode (0, count, bytes, padded to an even length); an
// end-of-line mark after every row and an end-of-bitmap mark at the end.
Bytes Encode8Rle(const Bytes& indices, const std::vector<Rgb>& palette) {
  Bytes data;
  for (int y = 0; y < Size; ++y) {
    const std::uint8_t* row = &indices[static_cast<std::size_t>(y) * Size];
    int x = 0;
    while (x < Size) {
      int run = 1;
      while (x + run < Size && run < 255 && row[x + run] == row[x]) {
        ++run;
      }
      if (run >= 2) {
        data.push_back(static_cast<std::uint8_t>(run));
        data.push_back(row[x]);
        x += run;
        continue;
      }
      // A literal stretch ends where a run of two equal bytes begins.
      int literal = 1;
      while (x + literal < Size && literal < 255 &&
             !(x + literal + 1 < Size && row[x + literal] == row[x + literal + 1])) {
        ++literal;
      }
      if (literal < 3) {
        for (int i = 0; i < literal; ++i) {
          data.push_back(1);
          data.push_back(row[x + i]);
        }
      } else {
        data.push_back(0);
        data.push_back(static_cast<std::uint8_t>(literal));
        data.insert(data.end(), row + x, row + x + literal);
        if (literal % 2 != 0) {
          data.push_back(0);
        }
      }
      x += literal;
    }
    data.push_back(0);
    data.push_back(y == Size - 1 ? 1 : 0);
  }
  Bytes out = Headers(8, 1, 256, static_cast<std::uint32_t>(data.size()));
  PutPalette(out, palette);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// ---- Floor: worn stone flags ---------------------------------------------------------
// The floor is 20 units across (s) and 110 long (t), so flags 64 pixels across and about
// 11.6 pixels along t come out roughly 5 by 5 units; alternate rows are offset by half.
std::vector<Rgb> MakeFloor() {
  constexpr int Columns = 4;
  constexpr int Rows = 22;
  std::vector<Rgb> pixels(static_cast<std::size_t>(Size) * Size);
  for (int y = 0; y < Size; ++y) {
    const int row = y * Rows / Size;
    const int rowStart = (row * Size + Rows - 1) / Rows;
    const int rowEnd = ((row + 1) * Size + Rows - 1) / Rows;
    const int shift = (row % 2) * (Size / Columns / 2);
    for (int x = 0; x < Size; ++x) {
      const int sx = (x + shift) % Size;
      const int column = sx * Columns / Size;
      const int inX = sx % (Size / Columns);
      // Distance to the joint, in pixels scaled to about equal world size both ways.
      const int edgeX = inX < 64 - inX ? inX : 63 - inX;
      const int edgeY = (y - rowStart) < (rowEnd - 1 - y) ? (y - rowStart) : (rowEnd - 1 - y);
      const int edge = edgeX < edgeY * 5 ? edgeX : edgeY * 5;
      const std::uint32_t flag =
          Hash(static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row), 11u);
      const int tone = static_cast<int>(flag % 40u) - 20;
      const int warmth = static_cast<int>((flag >> 8) % 14u);
      const int grain = Fractal(x, y, 32, 6, 21u) - 128;
      const int fine =
          static_cast<int>(Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 5u) %
                           25u) -
          12;
      // Worn, polished hollows where feet went: a broad brighter streak down the middle.
      const int wear = Fractal(x, y, 64, 11, 33u);
      const int centre = 128 - (x > 128 ? x - 128 : 128 - x);
      const int polish = (wear - 110) * centre / 256;
      int v = 132 + tone + grain * 3 / 8 + fine + (polish > 0 ? polish / 2 : 0);
      // Chipped, darker edges and the joint itself.
      const int chip = Fractal(x, y, 8, 2, 47u);
      if (edge < 2 || (edge < 5 && chip > 150)) {
        v = 46 + fine / 2 + chip / 16;
      } else if (edge < 8) {
        v -= (8 - edge) * 6;
      }
      // A few hairline cracks.
      const int crackNoise = ValueNoise(x, y, 24, 5, 91u + flag % 3u);
      if (flag % 5u == 0 && crackNoise > 124 && crackNoise < 130) {
        v -= 48;
      }
      v = Clamp(v, 20, 235);
      pixels[static_cast<std::size_t>(y) * Size + x] = {
          Clamp(v + warmth, 0, 255), Clamp(v + warmth / 2, 0, 255), Clamp(v - warmth / 2, 0, 255)};
    }
  }
  return pixels;
}

// ---- Pillars: dressed stone blocks, 8-bit palette ------------------------------------
// Palette: four stone tints of 56 shades each (0..223), then 32 mortar greys (224..255).
std::vector<Rgb> StonePalette() {
  const Rgb tints[4] = {{208, 196, 176}, {196, 190, 182}, {214, 188, 160}, {186, 180, 168}};
  std::vector<Rgb> palette;
  for (const Rgb& tint : tints) {
    for (int shade = 0; shade < 56; ++shade) {
      const int level = 40 + shade * 216 / 55; // 40..256, in 256ths
      palette.push_back({Clamp(tint.r * level / 256, 0, 255), Clamp(tint.g * level / 256, 0, 255),
                         Clamp(tint.b * level / 256, 0, 255)});
    }
  }
  for (int shade = 0; shade < 32; ++shade) {
    const int v = 40 + shade * 3;
    palette.push_back({v + 4, v + 2, v});
  }
  return palette;
}

Bytes MakePillars() {
  // Courses of uneven height, blocks of uneven width, each course offset from the last.
  constexpr int Courses = 8;
  int courseTop[Courses + 1];
  courseTop[0] = 0;
  for (int i = 1; i <= Courses; ++i) {
    courseTop[i] =
        i * Size / Courses + (i < Courses ? static_cast<int>(Hash(i, 0, 3u) % 9u) - 4 : 0);
  }
  Bytes indices(static_cast<std::size_t>(Size) * Size);
  for (int y = 0; y < Size; ++y) {
    int course = 0;
    while (y >= courseTop[course + 1]) {
      ++course;
    }
    const int inY = y - courseTop[course];
    const int height = courseTop[course + 1] - courseTop[course];
    const int offset = static_cast<int>(Hash(static_cast<std::uint32_t>(course), 1, 3u) % 128u);
    for (int x = 0; x < Size; ++x) {
      const int sx = (x + offset) % Size;
      // Blocks 48..96 pixels wide: find the block containing sx from per-course joints.
      int blockStart = 0;
      int block = 0;
      int blockWidth = 0;
      for (;;) {
        blockWidth = 48 + static_cast<int>(Hash(static_cast<std::uint32_t>(course),
                                                static_cast<std::uint32_t>(block), 7u) %
                                           49u);
        if (blockStart + blockWidth > Size) {
          blockWidth = Size - blockStart;
        }
        if (sx < blockStart + blockWidth) {
          break;
        }
        blockStart += blockWidth;
        ++block;
      }
      const int inX = sx - blockStart;
      const int edgeX = inX < blockWidth - 1 - inX ? inX : blockWidth - 1 - inX;
      const int edgeY = inY < height - 1 - inY ? inY : height - 1 - inY;
      const int edge = edgeX < edgeY ? edgeX : edgeY;
      const int fine = static_cast<int>(
          Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 9u) % 7u);
      std::uint8_t index;
      if (edge < 2) {
        index =
            static_cast<std::uint8_t>(224 + Clamp(Fractal(x, y, 16, 16, 61u) / 16 + fine, 0, 31));
      } else {
        const std::uint32_t id =
            Hash(static_cast<std::uint32_t>(course), static_cast<std::uint32_t>(block), 13u);
        const int tint = static_cast<int>(id % 4u);
        int shade = 30 + static_cast<int>((id >> 4) % 12u) - 6;
        shade += (Fractal(x, y, 32, 32, 71u + id % 7u) - 128) / 9;
        shade += fine - 3;
        // Bevelled arrises: light along the top and left, dark along the bottom and right.
        if (edge < 5) {
          const bool lit = inY >= height - 5 || inX < 5;
          shade += lit ? 5 - edge : -(5 - edge) * 2;
        }
        // Pitting.
        if (Hash(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), 17u) % 97u == 0) {
          shade -= 12;
        }
        index = static_cast<std::uint8_t>(tint * 56 + Clamp(shade, 0, 55));
      }
      indices[static_cast<std::size_t>(y) * Size + x] = index;
    }
  }
  return indices;
}

// ---- Ceiling: recessed panels, RLE8 --------------------------------------------------
// The ceiling is 48 units across (s) and 130 long (t): 4 by 10 panels come out about
// 12 by 13 units. Each panel is a flat, slightly varied field inside a bevelled frame,
// with a dark seam between panels and a small fitting at the centre of every other one.
std::vector<Rgb> PanelPalette() {
  std::vector<Rgb> palette;
  for (int i = 0; i < 256; ++i) {
    const int v = 12 + i * 232 / 255;
    palette.push_back({v, v, Clamp(v + 8, 0, 255)});
  }
  return palette;
}

Bytes MakeCeiling() {
  constexpr int Columns = 4;
  constexpr int Rows = 10;
  Bytes indices(static_cast<std::size_t>(Size) * Size);
  for (int y = 0; y < Size; ++y) {
    const int row = y * Rows / Size;
    const int rowStart = (row * Size + Rows - 1) / Rows;
    const int rowEnd = ((row + 1) * Size + Rows - 1) / Rows;
    const int inY = y - rowStart;
    const int height = rowEnd - rowStart;
    for (int x = 0; x < Size; ++x) {
      const int column = x * Columns / Size;
      const int inX = x % (Size / Columns);
      const int width = Size / Columns;
      const int edgeX = inX < width - 1 - inX ? inX : width - 1 - inX;
      const int edgeY = inY < height - 1 - inY ? inY : height - 1 - inY;
      const int edge = edgeX < edgeY * 2 ? edgeX : edgeY * 2; // t is stretched about 2:1
      const std::uint32_t id =
          Hash(static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row), 29u);
      int v = 150 + static_cast<int>(id % 5u) * 6;
      if (edge < 2) {
        v = 40; // seam
      } else if (edge < 8) {
        // Frame: lit on the side facing the corridor's open end (+t), shaded on the other.
        const bool lit = (edgeX < edgeY * 2) ? inX < width / 2 : inY >= height / 2;
        v = lit ? 200 : 96;
      } else if (edge < 10) {
        v = 120; // the recess's inner lip
      } else {
        // Water stains: a coarse blotch, quantised to a few levels so runs stay long.
        const int stain = Fractal(x, y, 32, 16, 37u + id % 3u);
        if (stain > 150) {
          v -= 16;
        }
        if (stain > 170) {
          v -= 12;
        }
      }
      // A round fitting in the middle of every other panel.
      if ((row + column) % 2 == 0) {
        const int dx = inX - width / 2;
        const int dy = (inY - height / 2) * 2;
        const int d2 = dx * dx + dy * dy;
        if (d2 < 36) {
          v = 236;
        } else if (d2 < 64) {
          v = 70;
        }
      }
      indices[static_cast<std::size_t>(y) * Size + x] = static_cast<std::uint8_t>(Clamp(v, 0, 255));
    }
  }
  return indices;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "datagen: cannot write %s\n", path.c_str());
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "datagen: cannot write %s\n", path.c_str());
  }
  return written && closed;
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: datagen [OUTPUT_DIR]\n");
    return 2;
  }
  const std::string dir = argc == 2 ? argv[1] : "Data";
  const bool ok = WriteFile(dir + "/floor1.bmp", Encode24(MakeFloor())) &&
                  WriteFile(dir + "/pillars1.bmp", Encode8(MakePillars(), StonePalette())) &&
                  WriteFile(dir + "/ceiling.bmp", Encode8Rle(MakeCeiling(), PanelPalette()));
  return ok ? 0 : 1;
}
