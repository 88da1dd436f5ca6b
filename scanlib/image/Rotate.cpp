#include "image/Rotate.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvo {
namespace {

// Transposes an 8 by 8 bit matrix held in a word, row 0 in the most
// significant byte and column 0 in the most significant bit of each byte:
// afterwards byte c (from the top) holds column c, row 0 in its top bit.
// Three exchange steps of 1, 2 and 4 bits.
constexpr std::uint64_t Transpose8(std::uint64_t x) {
  x = (x & 0xAA55AA55AA55AA55ull) | ((x & 0x00AA00AA00AA00AAull) << 7) |
      ((x >> 7) & 0x00AA00AA00AA00AAull);
  x = (x & 0xCCCC3333CCCC3333ull) | ((x & 0x0000CCCC0000CCCCull) << 14) |
      ((x >> 14) & 0x0000CCCC0000CCCCull);
  x = (x & 0xF0F0F0F00F0F0F0Full) | ((x & 0x00000000F0F0F0F0ull) << 28) |
      ((x >> 28) & 0x00000000F0F0F0F0ull);
  return x;
}
static_assert(Transpose8(0x8000000000000000ull) == 0x8000000000000000ull);
static_assert(Transpose8(0x0100000000000000ull) == 0x0000000000000080ull);  // (0,7) -> (7,0)
static_assert(Transpose8(0xFF00000000000000ull) == 0x8080808080808080ull);  // row 0 -> column 0

// Eight rows of one byte column, row 0 in the top byte.
inline std::uint64_t LoadColumn(const std::uint8_t* src, std::size_t stride) {
  std::uint64_t x = 0;
  for (unsigned k = 0; k < 8; ++k) x = (x << 8) | src[k * stride];
  return x;
}

inline std::uint8_t ByteOf(std::uint64_t x, unsigned c) {
  return static_cast<std::uint8_t>(x >> (56 - 8 * c));
}

// One 8-row group g and one source byte column i, through Transpose8. Rows
// at or beyond the height read as white.
inline void TurnBlock8(std::uint8_t* dst, const std::uint8_t* src, std::int32_t width,
                       std::int32_t height, std::size_t g, std::size_t i) {
  const std::size_t srcStride = BilevelStride(width);
  const std::size_t dstStride = BilevelStride(height);
  std::uint64_t x;
  if ((g + 1) * 8 <= static_cast<std::size_t>(height)) {
    x = LoadColumn(src + g * 8 * srcStride + i, srcStride);
  } else {
    x = 0;
    for (std::size_t k = 0; k < 8; ++k) {
      const std::size_t r = g * 8 + k;
      x = (x << 8) | (r < static_cast<std::size_t>(height) ? src[r * srcStride + i] : 0u);
    }
  }
  const std::uint64_t t = Transpose8(x);
  const unsigned columns =
      i < static_cast<std::size_t>(width) / 8 ? 8u : static_cast<unsigned>(width) % 8;
  for (unsigned c = 0; c < columns; ++c) {
    const std::size_t y = static_cast<std::size_t>(width) - 1 - (i * 8 + c);
    dst[y * dstStride + g] = ByteOf(t, c);
  }
}

#if defined(__SSE2__)
// Transposes 16 vectors of 16 bytes in four unpack stages: afterwards byte k
// of out[n] is byte kTransposedColumn[n] of in[k].
constexpr int kTransposedColumn[16] = {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15};

inline void Transpose16(const __m128i (&in)[16], __m128i (&out)[16]) {
  __m128i a[16];
#pragma GCC unroll 16
  for (int k = 0; k < 8; ++k) {
    a[2 * k] = _mm_unpacklo_epi8(in[2 * k], in[2 * k + 1]);
    a[2 * k + 1] = _mm_unpackhi_epi8(in[2 * k], in[2 * k + 1]);
  }
#pragma GCC unroll 16
  for (int k = 0; k < 4; ++k) {
#pragma GCC unroll 16
    for (int j = 0; j < 2; ++j) {
      out[4 * k + j] = _mm_unpacklo_epi16(a[4 * k + j], a[4 * k + j + 2]);
      out[4 * k + j + 2] = _mm_unpackhi_epi16(a[4 * k + j], a[4 * k + j + 2]);
    }
  }
#pragma GCC unroll 16
  for (int k = 0; k < 2; ++k) {
#pragma GCC unroll 16
    for (int j = 0; j < 4; ++j) {
      a[8 * k + j] = _mm_unpacklo_epi32(out[8 * k + j], out[8 * k + j + 4]);
      a[8 * k + j + 4] = _mm_unpackhi_epi32(out[8 * k + j], out[8 * k + j + 4]);
    }
  }
#pragma GCC unroll 16
  for (int j = 0; j < 8; ++j) {
    out[j] = _mm_unpacklo_epi64(a[j], a[j + 8]);
    out[j + 8] = _mm_unpackhi_epi64(a[j], a[j + 8]);
  }
}

// Source rows turned together: 32 bands of 16 rows, whose destination bytes
// (64 per destination row) stay in the first-level cache while a column of
// tiles fills them.
constexpr std::size_t kChunkRows = 512;
static_assert(kChunkRows % 16 == 0 && kChunkRows / 16 <= 32, "one bit per band in 32 bits");

// Two destination bytes in one store: the low byte of `pair` first, as x86
// stores it.
inline void StorePair(std::uint8_t* out, int pair) {
  const auto value = static_cast<std::uint16_t>(pair);
  std::memcpy(out, &value, sizeof value);
}

// True when `rows` rows of `bytes` bytes from `src` are all white (0). A
// row is or-ed together 64 bytes at a time and tested once.
inline bool RowsWhite(const std::uint8_t* src, std::size_t srcStride, std::size_t rows,
                      std::size_t bytes) {
  for (std::size_t r = 0; r < rows; ++r, src += srcStride) {
    __m128i any = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
      const auto* v = reinterpret_cast<const __m128i*>(src + i);
      const __m128i low = _mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1));
      const __m128i high = _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3));
      any = _mm_or_si128(any, _mm_or_si128(low, high));
    }
    for (; i + 16 <= bytes; i += 16) {
      any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
    }
    // The last bytes: the 16 that end the row's whole bytes (at least 16).
    any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + bytes - 16)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) != 0xFFFF) return false;
  }
  return true;
}

// 16 rows by 16 source bytes at 1 bit per pixel: after the byte transpose
// each vector holds one byte column of the 16 rows (loaded as rows 7..0 and
// 15..8, so that the sign-bit mask comes out in destination bit order); each
// of the 8 bit columns is then one sign-bit mask, a doubling bringing up the
// next, stored as the two destination bytes of the 16 rows. `src` is the
// tile's top left byte (source byte column i); destination row `top` is the
// one of the tile's leftmost pixel, `destByte` the byte of its first row.
inline void TurnTile16(std::uint8_t* dst, std::size_t dstStride, const std::uint8_t* src,
                       std::size_t srcStride, std::size_t top, std::size_t destByte) {
  static constexpr int kOrder[16] = {7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8};
  __m128i rows[16], columns[16];
#pragma GCC unroll 16
  for (int k = 0; k < 16; ++k) {
    rows[k] = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(src + static_cast<std::size_t>(kOrder[k]) * srcStride));
  }
  Transpose16(rows, columns);
#pragma GCC unroll 16
  for (int n = 0; n < 16; ++n) {
    __m128i v = columns[n];
    std::uint8_t* out =
        dst + (top - static_cast<std::size_t>(kTransposedColumn[n]) * 8) * dstStride + destByte;
#pragma GCC unroll 16
    for (int c = 0; c < 8; ++c) {
      StorePair(out, _mm_movemask_epi8(v));
      out -= dstStride;
      v = _mm_add_epi8(v, v);
    }
  }
}

// The source rows below `fastRows` (a multiple of 16) and their whole bytes
// (at least 16), by 16 by 16 tiles: in chunks of kChunkRows rows, column of
// tiles after column of tiles; the last column overlaps the one before when
// the whole bytes are not a multiple of 16. A 16-row band that is white over
// its whole bytes is only looked at: the destination is white beforehand.
// (Skipping only whole bands keeps a page of text about as fast as a
// halftone, and a blank page costs one read and one clear.)
void TurnTiles(std::uint8_t* dst, const std::uint8_t* src, std::size_t width,
               std::size_t fastRows, std::size_t dstStride) {
  const std::size_t srcStride = (width + 7) / 8;
  const std::size_t wholeBytes = width / 8;
  for (std::size_t first = 0; first < fastRows; first += kChunkRows) {
    const std::size_t bands = std::min(kChunkRows, fastRows - first) / 16;
    std::uint32_t white = 0;
    for (std::size_t band = 0; band < bands; ++band) {
      if (RowsWhite(src + (first + band * 16) * srcStride, srcStride, 16, wholeBytes)) {
        white |= 1u << band;
      }
    }
    if (white == (std::uint64_t{1} << bands) - 1) continue;  // a white chunk
    for (std::size_t column = 0; column < wholeBytes; column += 16) {
      const std::size_t i = std::min(column, wholeBytes - 16);
      const std::size_t top = width - 1 - i * 8;
      for (std::size_t band = 0; band < bands; ++band) {
        const std::size_t row = first + band * 16;
        if (((white >> band) & 1u) == 0) {
          TurnTile16(dst, dstStride, src + row * srcStride + i, srcStride, top, row / 8);
        }
      }
    }
  }
}

// 16 rows by 16 pixels at 8 bits per pixel: one byte transpose.
inline void TurnBytes16(std::uint8_t* dst, std::size_t dstStride, const std::uint8_t* src,
                        std::size_t srcStride, std::size_t firstRow, std::size_t x0,
                        std::size_t width) {
  __m128i rows[16], columns[16];
#pragma GCC unroll 16
  for (std::size_t k = 0; k < 16; ++k) {
    rows[k] =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + (firstRow + k) * srcStride + x0));
  }
  Transpose16(rows, columns);
#pragma GCC unroll 16
  for (int n = 0; n < 16; ++n) {
    const std::size_t column = x0 + static_cast<std::size_t>(kTransposedColumn[n]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + (width - 1 - column) * dstStride + firstRow),
                     columns[n]);
  }
}
#endif

void RotateBits(std::uint8_t* dst, const std::uint8_t* src, std::int32_t width,
                std::int32_t height) {
  const std::size_t srcStride = BilevelStride(width);
  const std::size_t groups = BilevelStride(height);  // 8 source rows each
  const std::size_t wholeBytes = static_cast<std::size_t>(width) / 8;
  std::size_t fastRows = 0;  // rows whose whole bytes are turned as tiles
#if defined(__SSE2__)
  if (wholeBytes >= 16) {
    fastRows = static_cast<std::size_t>(height) / 16 * 16;
    std::memset(dst, 0, static_cast<std::size_t>(width) * BilevelStride(height));  // all white
    TurnTiles(dst, src, static_cast<std::size_t>(width), fastRows, BilevelStride(height));
  }
#endif
  // The rest by 8 by 8 blocks: the partial byte of the tiled rows, then
  // every byte of the other rows.
  for (std::size_t g = 0; g < groups; ++g) {
    const std::size_t first = g * 8 < fastRows ? wholeBytes : 0;
    for (std::size_t i = first; i < srcStride; ++i) TurnBlock8(dst, src, width, height, g, i);
  }
}

void RotateBytes(std::uint8_t* dst, const std::uint8_t* src, std::int32_t width,
                 std::int32_t height) {
  const std::size_t srcStride = GrayStride(width);
  const std::size_t dstStride = GrayStride(height);
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  std::size_t fastRows = 0;     // source rows turned 16 at a time
  std::size_t fastColumns = 0;  // source columns turned 16 at a time
#if defined(__SSE2__)
  fastRows = h / 16 * 16;
  fastColumns = w / 16 * 16;
  for (std::size_t row = 0; row < fastRows; row += 16) {
    for (std::size_t x0 = 0; x0 < fastColumns; x0 += 16) {
      TurnBytes16(dst, dstStride, src, srcStride, row, x0, w);
    }
  }
#endif
  // The rest, a byte at a time: the columns right of the fast ones for the
  // fast rows, then every column of the remaining rows.
  for (std::size_t y = 0; y < w; ++y) {
    const std::uint8_t* column = src + (w - 1 - y);
    std::uint8_t* out = dst + y * dstStride;
    const bool fastColumn = w - 1 - y < fastColumns;
    for (std::size_t x = fastColumn ? fastRows : 0; x < h; ++x) out[x] = column[x * srcStride];
  }
}

}  // namespace

void GatherBitColumn(std::uint8_t* dst, const std::uint8_t* src, int n, std::size_t stride) {
  if (n < 0 || n > 7) return;
  unsigned value = 0;
  for (unsigned k = 0; k < 8; ++k) value = (value << 1) | ((src[k * stride] >> (7 - n)) & 1u);
  *dst = static_cast<std::uint8_t>(value);
}

void TransposeBlock8(std::uint8_t* dst, std::size_t dstStride, const std::uint8_t* src,
                     std::size_t srcStride) {
  // Destination row k is source column 7 - k (k places from the right).
  const std::uint64_t t = Transpose8(LoadColumn(src, srcStride));
  for (unsigned k = 0; k < 8; ++k) dst[k * dstStride] = ByteOf(t, 7 - k);
}

void RotateLeft90(int bitsPerPixel, std::uint8_t* dst, const std::uint8_t* src,
                  std::int32_t width, std::int32_t height) {
  if (width < 1 || height < 1) return;
  if (bitsPerPixel == 1) {
    RotateBits(dst, src, width, height);
  } else if (bitsPerPixel == 8) {
    RotateBytes(dst, src, width, height);
  }
}

}  // namespace tarvo
