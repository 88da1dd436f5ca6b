#include "image/Rotate.h"

#include <algorithm>
#include <cstring>

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

void RotateBits(std::uint8_t* dst, const std::uint8_t* src, std::int32_t width,
                std::int32_t height) {
  const std::size_t srcStride = BilevelStride(width);
  const std::size_t dstStride = BilevelStride(height);
  const std::size_t groups = dstStride;  // 8 source rows each
  const std::size_t fullGroups = static_cast<std::size_t>(height) / 8;
  const std::size_t wholeBytes = static_cast<std::size_t>(width) / 8;
  const unsigned partial = static_cast<unsigned>(width) % 8;

  // Blocks of 64 source rows: each destination row receives up to 8
  // consecutive bytes from one block.
  for (std::size_t g0 = 0; g0 < groups; g0 += 8) {
    const std::size_t gn = std::min<std::size_t>(8, groups - g0);
    for (std::size_t i = 0; i < srcStride; ++i) {
      std::uint64_t t[8];
      for (std::size_t gg = 0; gg < gn; ++gg) {
        const std::size_t g = g0 + gg;
        if (g < fullGroups) {
          t[gg] = Transpose8(LoadColumn(src + g * 8 * srcStride + i, srcStride));
        } else {
          // Rows at or beyond the height count as white.
          std::uint64_t x = 0;
          for (std::size_t k = 0; k < 8; ++k) {
            const std::size_t r = g * 8 + k;
            x = (x << 8) | (r < static_cast<std::size_t>(height) ? src[r * srcStride + i] : 0u);
          }
          t[gg] = Transpose8(x);
        }
      }
      const unsigned columns = i < wholeBytes ? 8u : partial;
      for (unsigned c = 0; c < columns; ++c) {
        const std::size_t y = static_cast<std::size_t>(width) - 1 - (i * 8 + c);
        std::uint8_t* out = dst + y * dstStride + g0;
        for (std::size_t gg = 0; gg < gn; ++gg) out[gg] = ByteOf(t[gg], c);
      }
    }
  }
}

void RotateBytes(std::uint8_t* dst, const std::uint8_t* src, std::int32_t width,
                 std::int32_t height) {
  const std::size_t srcStride = GrayStride(width);
  const std::size_t dstStride = GrayStride(height);
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  constexpr std::size_t kTile = 32;
  for (std::size_t y0 = 0; y0 < w; y0 += kTile) {
    const std::size_t y1 = std::min(w, y0 + kTile);
    for (std::size_t x0 = 0; x0 < h; x0 += kTile) {
      const std::size_t x1 = std::min(h, x0 + kTile);
      for (std::size_t y = y0; y < y1; ++y) {
        const std::uint8_t* column = src + (w - 1 - y);
        std::uint8_t* out = dst + y * dstStride;
        for (std::size_t x = x0; x < x1; ++x) out[x] = column[x * srcStride];
      }
    }
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
