// BitmapConvert.cpp: converts a bitmap's pixel data (1, 4, 8, 16, 24 or 32 bits per pixel;
// uncompressed, run-length encoded or bit fields) straight into the result's 24-bit RGB rows.
// The bytes are those a 24-bit canvas would hold after the platform's DIB conversion, with
// blue and red swapped and the canvas row padding dropped: the canvas stage is fused with the
// final copy, which saves a full-size buffer, its page faults and one pass over it.
#include "BitmapConvert.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TALVERN_HAVE_SSSE3_PATH 1
#endif

namespace {

// The largest width and height accepted: no larger texture could be uploaded, and the
// limit stops a tiny RLE file from asking for gigabytes of output.
constexpr std::int64_t kMaxDimension = 16384;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;

std::uint16_t Read16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Read32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void StoreLittle32(unsigned char* p, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 4);
    return;
  }
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

void StoreLittle64(unsigned char* p, std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 8);
    return;
  }
  for (int i = 0; i < 8; ++i) {
    p[i] = static_cast<unsigned char>(v >> (8 * i));
  }
}

unsigned CountTrailingZeros(std::uint32_t v) {
  unsigned n = 0;
  while ((v & 1u) == 0) {
    v >>= 1;
    ++n;
  }
  return n;
}

unsigned CountOnes(std::uint32_t v) {
  unsigned n = 0;
  for (; v != 0; v &= v - 1) {
    ++n;
  }
  return n;
}

// A mask is usable when it is one contiguous run of set bits.
bool SetUpChannel(std::uint32_t mask, BitmapChannel& channel) {
  if (mask == 0) {
    return false;
  }
  const unsigned shift = CountTrailingZeros(mask);
  const std::uint32_t run = mask >> shift;
  if ((run & (run + 1)) != 0) {
    return false;
  }
  const unsigned bits = CountOnes(mask);
  channel.mask = mask;
  channel.shift = shift;
  channel.drop = bits > 8 ? bits - 8 : 0;
  // Channels of 8 bits or more keep their top 8 bits; narrower ones are widened by bit
  // replication, so that 5 bits give (v << 3) | (v >> 2) and the maximum always gives 255.
  const int kept = static_cast<int>(std::min(bits, 8u));
  for (unsigned v = 0; v < (1u << kept); ++v) {
    unsigned out = 0;
    for (int pos = 8 - kept; pos > -kept; pos -= kept) {
      out |= pos >= 0 ? v << pos : v >> -pos;
    }
    channel.scale[v] = static_cast<std::uint8_t>(out);
  }
  return true;
}

bool SetUpFields(std::uint32_t red, std::uint32_t green, std::uint32_t blue, unsigned bitCount,
                 BitmapPlan& plan) {
  if ((red & green) != 0 || (red & blue) != 0 || (green & blue) != 0) {
    return false;
  }
  if (bitCount == 16 && ((red | green | blue) >> 16) != 0) {
    return false;
  }
  if (!SetUpChannel(red, plan.red) || !SetUpChannel(green, plan.green) ||
      !SetUpChannel(blue, plan.blue)) {
    return false;
  }
  plan.standardFields = bitCount == 16 ? (red == 0x7C00 && green == 0x03E0 && blue == 0x001F)
                                       : (red == 0xFF0000 && green == 0xFF00 && blue == 0xFF);
  return true;
}

// ---- Row converters -------------------------------------------------------------------
// Each writes exactly width * 3 bytes at `out`, never past the row: rows of a top-down
// source are written in reverse order, so a spill into the next row would clobber it.

void Bgr24RowScalar(const unsigned char* src, unsigned char* out, std::size_t width) {
  for (std::size_t x = 0; x < width; ++x) {
    out[0] = src[2];
    out[1] = src[1];
    out[2] = src[0];
    src += 3;
    out += 3;
  }
}

void Bgrx32RowScalar(const unsigned char* src, unsigned char* out, std::size_t width) {
  for (std::size_t x = 0; x < width; ++x) {
    out[0] = src[2];
    out[1] = src[1];
    out[2] = src[0];
    src += 4;
    out += 3;
  }
}

// 5-5-5 with bit 15 ignored.
void Rgb555RowScalar(const unsigned char* src, unsigned char* out, std::size_t width) {
  for (std::size_t x = 0; x < width; ++x) {
    const unsigned pixel = static_cast<unsigned>(src[2 * x]) | (src[2 * x + 1] << 8);
    const unsigned r = (pixel >> 10) & 31;
    const unsigned g = (pixel >> 5) & 31;
    const unsigned b = pixel & 31;
    out[3 * x] = static_cast<unsigned char>((r << 3) | (r >> 2));
    out[3 * x + 1] = static_cast<unsigned char>((g << 3) | (g >> 2));
    out[3 * x + 2] = static_cast<unsigned char>((b << 3) | (b >> 2));
  }
}

#if defined(TALVERN_HAVE_SSSE3_PATH)
// Four pixels per shuffle. The 16-byte loads and stores stay inside the row because the loop
// stops while six pixels (18 bytes) remain; the scalar tail finishes the row.
__attribute__((target("ssse3"))) void Bgr24RowSsse3(const unsigned char* src, unsigned char* out,
                                                    std::size_t width) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
  std::size_t x = 0;
  for (; x + 6 <= width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, order));
  }
  Bgr24RowScalar(src + 3 * x, out + 3 * x, width - x);
}

__attribute__((target("ssse3"))) void Bgrx32RowSsse3(const unsigned char* src, unsigned char* out,
                                                     std::size_t width) {
  const __m128i order =
      _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -128, -128, -128, -128);
  std::size_t x = 0;
  for (; x + 6 <= width; x += 4) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 4 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), _mm_shuffle_epi8(v, order));
  }
  Bgrx32RowScalar(src + 4 * x, out + 3 * x, width - x);
}

// Eight 5-5-5 pixels at a time: the channels are widened in 16-bit lanes, packed to bytes
// and interleaved into exactly 24 output bytes.
__attribute__((target("ssse3"))) void Rgb555RowSsse3(const unsigned char* src, unsigned char* out,
                                                     std::size_t width) {
  const __m128i five = _mm_set1_epi16(31);
  // Output bytes 0..15 and 16..23 of eight pixels, from RG (r0 g0 r1 g1 ...) and B (b0 b1 ...).
  const __m128i fromRg0 =
      _mm_setr_epi8(0, 1, -128, 2, 3, -128, 4, 5, -128, 6, 7, -128, 8, 9, -128, 10);
  const __m128i fromB0 = _mm_setr_epi8(-128, -128, 0, -128, -128, 1, -128, -128, 2, -128, -128, 3,
                                       -128, -128, 4, -128);
  const __m128i fromRg1 = _mm_setr_epi8(11, -128, 12, 13, -128, 14, 15, -128, -128, -128, -128,
                                        -128, -128, -128, -128, -128);
  const __m128i fromB1 = _mm_setr_epi8(-128, 5, -128, -128, 6, -128, -128, 7, -128, -128, -128,
                                       -128, -128, -128, -128, -128);
  std::size_t x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * x));
    const __m128i r5 = _mm_and_si128(_mm_srli_epi16(v, 10), five);
    const __m128i g5 = _mm_and_si128(_mm_srli_epi16(v, 5), five);
    const __m128i b5 = _mm_and_si128(v, five);
    const __m128i r8 = _mm_or_si128(_mm_slli_epi16(r5, 3), _mm_srli_epi16(r5, 2));
    const __m128i g8 = _mm_or_si128(_mm_slli_epi16(g5, 3), _mm_srli_epi16(g5, 2));
    const __m128i b8 = _mm_or_si128(_mm_slli_epi16(b5, 3), _mm_srli_epi16(b5, 2));
    const __m128i rg = _mm_unpacklo_epi8(_mm_packus_epi16(r8, r8), _mm_packus_epi16(g8, g8));
    const __m128i b = _mm_packus_epi16(b8, b8);
    const __m128i out0 = _mm_or_si128(_mm_shuffle_epi8(rg, fromRg0), _mm_shuffle_epi8(b, fromB0));
    const __m128i out1 = _mm_or_si128(_mm_shuffle_epi8(rg, fromRg1), _mm_shuffle_epi8(b, fromB1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * x), out0);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * x + 16), out1);
  }
  Rgb555RowScalar(src + 2 * x, out + 3 * x, width - x);
}

bool HaveSsse3() {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}
#endif

void Bgr24Row(const unsigned char* src, unsigned char* out, std::size_t width) {
#if defined(TALVERN_HAVE_SSSE3_PATH)
  if (HaveSsse3()) {
    Bgr24RowSsse3(src, out, width);
    return;
  }
#endif
  Bgr24RowScalar(src, out, width);
}

void Rgb555Row(const unsigned char* src, unsigned char* out, std::size_t width) {
#if defined(TALVERN_HAVE_SSSE3_PATH)
  if (HaveSsse3()) {
    Rgb555RowSsse3(src, out, width);
    return;
  }
#endif
  Rgb555RowScalar(src, out, width);
}

void Bgrx32Row(const unsigned char* src, unsigned char* out, std::size_t width) {
#if defined(TALVERN_HAVE_SSSE3_PATH)
  if (HaveSsse3()) {
    Bgrx32RowSsse3(src, out, width);
    return;
  }
#endif
  Bgrx32RowScalar(src, out, width);
}

inline void PutFields(const BitmapPlan& plan, std::uint32_t pixel, unsigned char* out) {
  out[0] = plan.red.scale[((pixel & plan.red.mask) >> plan.red.shift) >> plan.red.drop];
  out[1] = plan.green.scale[((pixel & plan.green.mask) >> plan.green.shift) >> plan.green.drop];
  out[2] = plan.blue.scale[((pixel & plan.blue.mask) >> plan.blue.shift) >> plan.blue.drop];
}

void Fields16Row(const BitmapPlan& plan, const unsigned char* src, unsigned char* out,
                 std::size_t width) {
  if (plan.standardFields) {
    Rgb555Row(src, out, width);
    return;
  }
  for (std::size_t x = 0; x < width; ++x) {
    PutFields(plan, Read16(src + 2 * x), out + 3 * x);
  }
}

void Fields32Row(const BitmapPlan& plan, const unsigned char* src, unsigned char* out,
                 std::size_t width) {
  if (plan.standardFields) {
    Bgrx32Row(src, out, width);
    return;
  }
  for (std::size_t x = 0; x < width; ++x) {
    PutFields(plan, Read32(src + 4 * x), out + 3 * x);
  }
}

// The palette as packed R | G << 8 | B << 16 words, in a local array: stores through
// `out` (unsigned char) could otherwise alias the plan and force a reload of every entry.
struct ColourTable {
  std::uint32_t colour[256];
};

// The same entries channel by channel, for the byte-permute path.
struct ChannelBytes {
  std::uint8_t red[256];
  std::uint8_t green[256];
  std::uint8_t blue[256];
};

void BuildColourTable(const BitmapPlan& plan, ColourTable& table) {
  for (int i = 0; i < 256; ++i) {
    table.colour[i] = static_cast<std::uint32_t>(plan.palette[i][0]) |
                      (static_cast<std::uint32_t>(plan.palette[i][1]) << 8) |
                      (static_cast<std::uint32_t>(plan.palette[i][2]) << 16);
  }
}

void BuildChannelBytes(const BitmapPlan& plan, ChannelBytes& channels) {
  for (int i = 0; i < 256; ++i) {
    channels.red[i] = plan.palette[i][0];
    channels.green[i] = plan.palette[i][1];
    channels.blue[i] = plan.palette[i][2];
  }
}

#if defined(TALVERN_HAVE_SSSE3_PATH)
// 64 pixels per step with byte permutes (AVX-512 VBMI): each channel of the 256-entry
// table sits in four 64-byte registers, and two two-register lookups (entries 0-127 and
// 128-255) are blended on the index's top bit. The 64 red, green and blue bytes are then
// interleaved into three 64-byte stores. Returns the pixels done, a multiple of 64.
struct ChannelTables {
  __m512i red[4];
  __m512i green[4];
  __m512i blue[4];
};

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) inline __m512i
LookUp(const __m512i (&table)[4], __m512i index) {
  const __m512i low = _mm512_permutex2var_epi8(table[0], index, table[1]);
  const __m512i high = _mm512_permutex2var_epi8(table[2], index, table[3]);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::size_t
Palette8RowVbmi(const ChannelBytes& colours, const unsigned char* src, unsigned char* out,
                std::size_t width) {
  ChannelTables t;
  for (int i = 0; i < 4; ++i) {
    t.red[i] = _mm512_loadu_si512(colours.red + 64 * i);
    t.green[i] = _mm512_loadu_si512(colours.green + 64 * i);
    t.blue[i] = _mm512_loadu_si512(colours.blue + 64 * i);
  }
  // For output byte j of chunk k (byte 64k + j of the 192): pixel (64k + j) / 3, channel
  // (64k + j) % 3. Red and green come from one two-register permute (green's index has bit
  // 6 set), blue is merged in under a mask.
  alignas(64) std::uint8_t redGreen[3][64];
  alignas(64) std::uint8_t blueIndex[3][64];
  std::uint64_t blueMask[3] = {0, 0, 0};
  for (int k = 0; k < 3; ++k) {
    for (int j = 0; j < 64; ++j) {
      const int byte = 64 * k + j;
      const int pixel = byte / 3;
      const int channel = byte % 3;
      redGreen[k][j] = static_cast<std::uint8_t>(channel == 1 ? pixel | 64 : pixel);
      blueIndex[k][j] = static_cast<std::uint8_t>(pixel);
      if (channel == 2) {
        blueMask[k] |= std::uint64_t{1} << j;
      }
    }
  }
  __m512i rg[3];
  __m512i bi[3];
  for (int k = 0; k < 3; ++k) {
    rg[k] = _mm512_load_si512(redGreen[k]);
    bi[k] = _mm512_load_si512(blueIndex[k]);
  }
  std::size_t x = 0;
  for (; x + 64 <= width; x += 64) {
    const __m512i index = _mm512_loadu_si512(src + x);
    const __m512i r = LookUp(t.red, index);
    const __m512i g = LookUp(t.green, index);
    const __m512i b = LookUp(t.blue, index);
    for (int k = 0; k < 3; ++k) {
      const __m512i chunk = _mm512_mask_permutexvar_epi8(_mm512_permutex2var_epi8(r, rg[k], g),
                                                         blueMask[k], bi[k], b);
      _mm512_storeu_si512(out + 3 * x + 64 * k, chunk);
    }
  }
  return x;
}

bool HaveVbmi() {
  static const bool have = __builtin_cpu_supports("avx512vbmi") &&
                           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f");
  return have;
}
#endif

// One palette colour per pixel: eight pixels (8 index bytes) become three 64-bit words.
void Palette8Row(const ColourTable& table, const ChannelBytes& channels, const unsigned char* src,
                 unsigned char* out, std::size_t width) {
  const std::uint32_t* colour = table.colour;
  std::size_t x = 0;
#if defined(TALVERN_HAVE_SSSE3_PATH)
  if (HaveVbmi()) {
    x = Palette8RowVbmi(channels, src, out, width);
  }
#else
  (void)channels;
#endif
  for (; x + 8 <= width; x += 8) {
    const std::uint64_t p0 = colour[src[x]];
    const std::uint64_t p1 = colour[src[x + 1]];
    const std::uint64_t p2 = colour[src[x + 2]];
    const std::uint64_t p3 = colour[src[x + 3]];
    const std::uint64_t p4 = colour[src[x + 4]];
    const std::uint64_t p5 = colour[src[x + 5]];
    const std::uint64_t p6 = colour[src[x + 6]];
    const std::uint64_t p7 = colour[src[x + 7]];
    StoreLittle64(out + 3 * x, p0 | (p1 << 24) | (p2 << 48));
    StoreLittle64(out + 3 * x + 8, (p2 >> 16) | (p3 << 8) | (p4 << 32) | (p5 << 56));
    StoreLittle64(out + 3 * x + 16, (p5 >> 8) | (p6 << 16) | (p7 << 40));
  }
  for (; x < width; ++x) {
    const std::uint32_t c = colour[src[x]];
    out[3 * x] = static_cast<unsigned char>(c);
    out[3 * x + 1] = static_cast<unsigned char>(c >> 8);
    out[3 * x + 2] = static_cast<unsigned char>(c >> 16);
  }
}

// Packed pixels: every source byte expands through a table of its `perByte` pixels; the
// leftmost pixel is in the byte's most significant bits.
struct PackedTable {
  unsigned char bytes[256][24];
  std::uint64_t pairs[256]; // 4 bits: a byte's two pixels as 6 little-endian bytes
};

void BuildPackedTable(const BitmapPlan& plan, unsigned bitsPerPixel, PackedTable& table) {
  const unsigned perByte = 8 / bitsPerPixel;
  const unsigned mask = (1u << bitsPerPixel) - 1;
  for (unsigned byte = 0; byte < 256; ++byte) {
    for (unsigned i = 0; i < perByte; ++i) {
      const unsigned index = (byte >> (8 - bitsPerPixel * (i + 1))) & mask;
      std::memcpy(table.bytes[byte] + 3 * i, plan.palette[index], 3);
    }
    table.pairs[byte] = 0;
    for (unsigned i = 0; i < 6 && perByte == 2; ++i) {
      table.pairs[byte] |= static_cast<std::uint64_t>(table.bytes[byte][i]) << (8 * i);
    }
  }
}

// Every whole source byte is copied as a constant-size block (for 4 bits, four bytes at a
// time are packed into three 64-bit words first); a partial last byte gives only the
// pixels the row has, so nothing lands past the row.
template <unsigned Bits>
void PackedRow(const PackedTable& table, const unsigned char* src, unsigned char* out,
               std::size_t width) {
  constexpr std::size_t perByte = 8 / Bits;
  constexpr std::size_t chunk = perByte * 3;
  const std::size_t whole = width / perByte;
  std::size_t i = 0;
  if constexpr (chunk == 6) {
    // Four source bytes (eight pixels, 24 bytes) become three 64-bit words.
    for (; i + 4 <= whole; i += 4) {
      const std::uint64_t e0 = table.pairs[src[i]];
      const std::uint64_t e1 = table.pairs[src[i + 1]];
      const std::uint64_t e2 = table.pairs[src[i + 2]];
      const std::uint64_t e3 = table.pairs[src[i + 3]];
      StoreLittle64(out + i * chunk, e0 | (e1 << 48));
      StoreLittle64(out + i * chunk + 8, (e1 >> 16) | (e2 << 32));
      StoreLittle64(out + i * chunk + 16, (e2 >> 32) | (e3 << 16));
    }
  }
  for (; i < whole; ++i) {
    std::memcpy(out + i * chunk, table.bytes[src[i]], chunk);
  }
  const std::size_t rest = width - whole * perByte;
  if (rest != 0) {
    std::memcpy(out + whole * chunk, table.bytes[src[whole]], rest * 3);
  }
}

// ---- Run-length encoded sources -------------------------------------------------------
// The stream is read up to the end of the file; the image-size field is not trusted for
// it. Pixels the stream never writes (after a delta, an early end of line or of bitmap) are
// black, as on a fresh zero-filled canvas. A run that would pass the end of its row stops
// there. Every write lands at or after the previous one (deltas only move right and up), so
// the gaps are zeroed as the position passes them and the buffer is touched once.
struct RleWriter {
  unsigned char* rgb;
  std::size_t width;
  std::size_t rows;
  std::size_t x = 0;
  std::size_t y = 0;
  std::size_t rowStart = 0; // y * width
  std::size_t filled = 0;   // pixels from the buffer's start already written or zeroed

  void ZeroUpTo(std::size_t position) {
    if (position > filled) {
      std::memset(rgb + filled * 3, 0, (position - filled) * 3);
      filled = position;
    }
  }

  // Room left in the current row, and the output for its next pixel (zeroing the gap).
  std::size_t Begin(unsigned char*& out) {
    if (y >= rows || x >= width) {
      return 0;
    }
    const std::size_t position = rowStart + x;
    ZeroUpTo(position);
    out = rgb + position * 3;
    return width - x;
  }

  void End(std::size_t written) {
    if (written != 0) {
      x += written;
      filled = rowStart + x;
    }
  }
};

// Stores the colours of n pixels, colour(i) giving pixel i's packed R | G << 8 | B << 16.
// All but the last are stored as four bytes, the fourth overwritten by the next pixel, so
// nothing lands past the run.
template <typename Colour> void PutRun(unsigned char* out, std::size_t n, Colour colour) {
  if (n == 0) {
    return;
  }
  for (std::size_t i = 0; i + 1 < n; ++i) {
    StoreLittle32(out + 3 * i, colour(i));
  }
  const std::uint32_t last = colour(n - 1);
  out[3 * (n - 1)] = static_cast<unsigned char>(last);
  out[3 * (n - 1) + 1] = static_cast<unsigned char>(last >> 8);
  out[3 * (n - 1) + 2] = static_cast<unsigned char>(last >> 16);
}

// The three 64-bit words that repeat through an encoded run whose pixels alternate the
// colours a and b (the same colour for RLE8): the run's bytes repeat every 6 bytes, so the
// words at offsets 0, 8 and 16 start at bytes 0, 2 and 4 of that pattern, and the next 24
// bytes repeat them.
struct RunPattern {
  std::uint64_t word[3];
};

RunPattern MakeRunPattern(std::uint32_t a, std::uint32_t b) {
  constexpr std::uint64_t low48 = (std::uint64_t{1} << 48) - 1;
  const std::uint64_t pair = a | (static_cast<std::uint64_t>(b) << 24);
  RunPattern pattern{};
  for (int i = 0; i < 3; ++i) {
    const unsigned rotate = 16 * static_cast<unsigned>(i);
    const std::uint64_t turned =
        rotate == 0 ? pair : ((pair >> rotate) | (pair << (48 - rotate))) & low48;
    pattern.word[i] = turned | (turned << 48);
  }
  return pattern;
}

// Writes an encoded run in whole 24-byte blocks, at least three (runs up to 24 pixels take
// no loop): up to 71 bytes past the run. The caller makes sure they fit in the buffer;
// those bytes lie beyond everything written so far, so a later run overwrites them or the
// zeroing of a gap clears them.
constexpr std::size_t kRunSlack = 72;

void FillRun(unsigned char* out, std::size_t n, const RunPattern& pattern) {
  for (int block = 0; block < 3; ++block) {
    StoreLittle64(out + 24 * block, pattern.word[0]);
    StoreLittle64(out + 24 * block + 8, pattern.word[1]);
    StoreLittle64(out + 24 * block + 16, pattern.word[2]);
  }
  for (std::size_t offset = 72; offset < 3 * n; offset += 24) {
    StoreLittle64(out + offset, pattern.word[0]);
    StoreLittle64(out + offset + 8, pattern.word[1]);
    StoreLittle64(out + offset + 16, pattern.word[2]);
  }
}

// Converts the stream; false when it ends (with the file) before its end-of-bitmap escape
// while rows the header declares are still unfinished: the file was cut short.
bool ConvertRle(const BitmapPlan& plan, unsigned char* rgb, bool four) {
  RleWriter writer{rgb, static_cast<std::size_t>(plan.width),
                   static_cast<std::size_t>(plan.height)};
  ColourTable table{};
  BuildColourTable(plan, table);
  const std::uint32_t* colour = table.colour;
  // RLE4: the two pixels of each byte of an absolute run, as 6 little-endian bytes.
  std::uint64_t pairs[256] = {};
  if (four) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      pairs[byte] = colour[byte >> 4] | (static_cast<std::uint64_t>(colour[byte & 15]) << 24);
    }
  }
  // Runs that start this far before the buffer's end may be written in whole blocks.
  unsigned char* const rgbEnd = rgb + writer.width * writer.rows * 3;
  const unsigned char* p = plan.bits;
  const unsigned char* const end = plan.bits + plan.bitsSize;
  bool endOfBitmap = false;
  while (writer.y < writer.rows && end - p >= 2) {
    const unsigned count = p[0];
    const unsigned value = p[1];
    p += 2;
    if (count != 0) {
      // Encoded run: one index (RLE8) or two alternating indexes, high nibble first (RLE4).
      unsigned char* out = nullptr;
      const std::size_t n = std::min<std::size_t>(count, writer.Begin(out));
      if (n != 0) {
        const std::uint32_t a = colour[four ? value >> 4 : value];
        const std::uint32_t b = colour[four ? value & 15 : value];
        if (static_cast<std::size_t>(rgbEnd - out) >= 3 * n + kRunSlack) {
          FillRun(out, n, MakeRunPattern(a, b));
        } else {
          const std::uint32_t pair[2] = {a, b};
          PutRun(out, n, [&pair](std::size_t i) { return pair[i & 1]; });
        }
      }
      writer.End(n);
      continue;
    }
    if (value == 0) { // end of line
      writer.x = 0;
      ++writer.y;
      writer.rowStart += writer.width;
    } else if (value == 1) { // end of bitmap
      endOfBitmap = true;
      break;
    } else if (value == 2) { // delta: right and up (towards later rows)
      if (end - p < 2) {
        break;
      }
      writer.x = std::min(writer.x + p[0], writer.width);
      writer.y += p[1];
      writer.rowStart = writer.y * writer.width;
      p += 2;
    } else { // absolute run of `value` indexes, padded to a 16-bit boundary
      const std::size_t bytes = four ? (value + 1) / 2 : value;
      if (static_cast<std::size_t>(end - p) < bytes) {
        break;
      }
      unsigned char* out = nullptr;
      const std::size_t n = std::min<std::size_t>(value, writer.Begin(out));
      if (n != 0 && static_cast<std::size_t>(rgbEnd - out) >= 3 * n + 32) {
        // Room for wider stores: each lands up to 2 bytes past its pixels, bytes that the
        // next store, a later run or the zeroing of a gap overwrites. Runs of up to 8
        // pixels whose stream has 8 more bytes are written as 8 pixels without a loop.
        const bool whole8 = n <= 8 && end - p >= 8;
        if (four && whole8) {
          for (std::size_t i = 0; i < 4; ++i) {
            StoreLittle64(out + 6 * i, pairs[p[i]]);
          }
        } else if (four) {
          for (std::size_t i = 0; i < n; i += 2) {
            StoreLittle64(out + 3 * i, pairs[p[i / 2]]);
          }
        } else if (whole8) {
          for (std::size_t i = 0; i < 8; ++i) {
            StoreLittle32(out + 3 * i, colour[p[i]]);
          }
        } else {
          for (std::size_t i = 0; i < n; ++i) {
            StoreLittle32(out + 3 * i, colour[p[i]]);
          }
        }
      } else if (four) {
        PutRun(out, n, [colour, p](std::size_t i) {
          return colour[(i & 1) ? (p[i / 2] & 15) : (p[i / 2] >> 4)];
        });
      } else {
        PutRun(out, n, [colour, p](std::size_t i) { return colour[p[i]]; });
      }
      writer.End(n);
      p += std::min<std::size_t>(bytes + (bytes & 1), static_cast<std::size_t>(end - p));
    }
  }
  writer.ZeroUpTo(writer.width * writer.rows);
  // Complete: the end-of-bitmap escape came, or every row was ended, or the position
  // reached the end of the last row.
  return endOfBitmap || writer.y >= writer.rows ||
         (writer.y + 1 == writer.rows && writer.x >= writer.width);
}

} // namespace

// A plan holds at most kMaxDimension rows of kMaxDimension pixels, so the result's size
// cannot overflow a size_t, even a 32-bit one.
static_assert(static_cast<std::uint64_t>(kMaxDimension) * kMaxDimension * 3 <= SIZE_MAX,
              "the dimension limit must keep the result's size within size_t");

std::size_t BitmapResultSize(const BitmapPlan& plan) {
  return static_cast<std::size_t>(plan.width) * static_cast<std::size_t>(plan.height) * 3;
}

BitmapFailure PlanBitmapConversion(const unsigned char* working, std::uint32_t paletteCount,
                                   const unsigned char* file, std::size_t fileSize,
                                   std::uint64_t pixelOffset, std::uint64_t masks,
                                   BitmapPlan& plan) {
  const auto width = static_cast<std::int32_t>(Read32(working + 4));
  const auto height = static_cast<std::int32_t>(Read32(working + 8));
  const unsigned bitCount = Read16(working + 14);
  const std::uint32_t compression = Read32(working + 16);
  // The planes field is passed on unchecked: it does not change the conversion.

  // An empty or negative-width picture has nothing to convert.
  if (width <= 0 || height == 0) {
    return BitmapFailure::Conversion;
  }
  // Heights are compared as 64-bit so that the most negative height cannot overflow.
  const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
  if (width > kMaxDimension || rows > kMaxDimension) {
    return BitmapFailure::OutOfMemory;
  }
  plan.width = width;
  plan.height = static_cast<std::int32_t>(rows);
  // A negative height means the rows are stored top row first. Such a file is decoded like
  // any other, into rows bottom row first with a positive height, so that the texture upload
  // needs no special case.
  plan.topDown = height < 0;

  switch (compression) {
  case kBiRgb:
    switch (bitCount) {
    case 1:
      plan.encoding = BitmapEncoding::Palette1;
      break;
    case 4:
      plan.encoding = BitmapEncoding::Palette4;
      break;
    case 8:
      plan.encoding = BitmapEncoding::Palette8;
      break;
    case 16:
      plan.encoding = BitmapEncoding::Fields16;
      SetUpFields(0x7C00, 0x03E0, 0x001F, 16, plan);
      break;
    case 24:
      plan.encoding = BitmapEncoding::Bgr24;
      break;
    case 32:
      plan.encoding = BitmapEncoding::Fields32;
      SetUpFields(0xFF0000, 0xFF00, 0xFF, 32, plan);
      break;
    default:
      return BitmapFailure::Conversion;
    }
    break;
  case kBiRle8:
  case kBiRle4:
    if (bitCount != (compression == kBiRle8 ? 8u : 4u)) {
      return BitmapFailure::Conversion;
    }
    // Run-length data is defined bottom-up only; a top-down RLE file is refused, as the
    // platform's own conversion refuses it.
    if (plan.topDown) {
      return BitmapFailure::Conversion;
    }
    plan.encoding = compression == kBiRle8 ? BitmapEncoding::Rle8 : BitmapEncoding::Rle4;
    break;
  case kBiBitfields:
    // The three masks (red, green, blue) follow the info header. They are honoured; masks
    // that are zero, overlap, are not one contiguous run of bits or (for 16 bits) reach
    // past the pixel are refused.
    if (bitCount != 16 && bitCount != 32) {
      return BitmapFailure::Conversion;
    }
    if (masks > fileSize || fileSize - masks < 12) {
      return BitmapFailure::Conversion;
    }
    if (!SetUpFields(Read32(file + masks), Read32(file + masks + 4), Read32(file + masks + 8),
                     bitCount, plan)) {
      return BitmapFailure::Conversion;
    }
    plan.encoding = bitCount == 16 ? BitmapEncoding::Fields16 : BitmapEncoding::Fields32;
    break;
  default:
    return BitmapFailure::Conversion;
  }

  // The pixel data must lie inside the file: every row an uncompressed source claims (the
  // last row may omit its padding), or at least the start of a run-length stream.
  if (pixelOffset > fileSize) {
    return BitmapFailure::Conversion;
  }
  plan.bits = file + pixelOffset;
  plan.bitsSize = fileSize - static_cast<std::size_t>(pixelOffset);
  if (plan.encoding != BitmapEncoding::Rle8 && plan.encoding != BitmapEncoding::Rle4) {
    const std::uint64_t rowBits = static_cast<std::uint64_t>(width) * bitCount;
    const std::uint64_t rowBytes = (rowBits + 7) / 8;
    const std::uint64_t stride = (rowBits + 31) / 32 * 4;
    const std::uint64_t needed = (static_cast<std::uint64_t>(rows) - 1) * stride + rowBytes;
    if (needed > plan.bitsSize) {
      return BitmapFailure::Conversion;
    }
    plan.sourceStride = static_cast<std::size_t>(stride);
  }

  // A palette index at or beyond the entries the header holds gives black, like the
  // zero-filled remainder of a colour table.
  const std::uint32_t entries = std::min<std::uint32_t>(paletteCount, 256);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const unsigned char* entry = working + 40 + 4 * i;
    plan.palette[i][0] = entry[2];
    plan.palette[i][1] = entry[1];
    plan.palette[i][2] = entry[0];
    plan.palette[i][3] = 0;
  }
  return BitmapFailure::None;
}

bool ConvertBitmap(const BitmapPlan& plan, unsigned char* rgb) {
  const auto width = static_cast<std::size_t>(plan.width);
  const auto rows = static_cast<std::size_t>(plan.height);
  if (plan.encoding == BitmapEncoding::Rle8 || plan.encoding == BitmapEncoding::Rle4) {
    return ConvertRle(plan, rgb, plan.encoding == BitmapEncoding::Rle4);
  }
  PackedTable table{};
  ColourTable colours{};
  ChannelBytes channels{};
  if (plan.encoding == BitmapEncoding::Palette8) {
    BuildColourTable(plan, colours);
    BuildChannelBytes(plan, channels);
  } else if (plan.encoding == BitmapEncoding::Palette1) {
    BuildPackedTable(plan, 1, table);
  } else if (plan.encoding == BitmapEncoding::Palette4) {
    BuildPackedTable(plan, 4, table);
  }
  const std::size_t outStride = width * 3;
  for (std::size_t r = 0; r < rows; ++r) {
    const unsigned char* src = plan.bits + r * plan.sourceStride;
    unsigned char* out = rgb + (plan.topDown ? rows - 1 - r : r) * outStride;
    switch (plan.encoding) {
    case BitmapEncoding::Palette1:
      PackedRow<1>(table, src, out, width);
      break;
    case BitmapEncoding::Palette4:
      PackedRow<4>(table, src, out, width);
      break;
    case BitmapEncoding::Palette8:
      Palette8Row(colours, channels, src, out, width);
      break;
    case BitmapEncoding::Fields16:
      Fields16Row(plan, src, out, width);
      break;
    case BitmapEncoding::Bgr24:
      Bgr24Row(src, out, width);
      break;
    case BitmapEncoding::Fields32:
      Fields32Row(plan, src, out, width);
      break;
    case BitmapEncoding::Rle8:
    case BitmapEncoding::Rle4:
      break;
    }
  }
  return true;
}

unsigned char* AllocateBitmapPixels(std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  if (bytes >= 2 * kHugePage) {
    const std::size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    if (void* block = std::aligned_alloc(kHugePage, rounded)) {
      madvise(block, rounded, MADV_HUGEPAGE); // only advice: a refusal changes nothing
      return static_cast<unsigned char*>(block);
    }
  }
#endif
  return static_cast<unsigned char*>(std::malloc(bytes != 0 ? bytes : 1));
}
