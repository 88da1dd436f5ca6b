// The quarter turn against the pixel rule: destination (x, y) is source
// (W - 1 - y, x), at 1 and 8 bits per pixel.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/Rotate.h"
#include "image_pages.h"

namespace tarvo {
namespace {

using test::Bilevel;
using Bytes = std::vector<std::uint8_t>;

TEST(Rotate, BitsAndBytesEqualThePixelRule) {
  // Wide pages go by 16 x 16 tiles in chunks of 512 rows, skipping white 16-row
  // bands: noise in every third band, single pixels at the edges and the last
  // whole byte, and every bit past the width set (don't-care).
  std::mt19937 rng(7);
  for (auto [w, h] : {std::pair{1, 1}, {7, 5}, {9, 17}, {13, 64}, {65, 71}, {100, 3}, {3, 100}, {257, 130},
                      {520, 67}, {128, 16}, {129, 17}, {200, 48}, {1001, 1100}, {2048, 530}}) {
    Bilevel src(w, h), rule(h, w), turned(h, w);
    const Bilevel noise = test::NoisePage(w, h, 0.5, static_cast<unsigned>(w * 1000 + h));
    for (int y = 0; y < h; y += 48) std::copy(noise.row(y), noise.row(std::min(y + 16, h)), src.row(y));
    for (const int y : {17, 530, 600}) {
      if (y >= h) continue;
      src.set(w - 1, y, true);
      src.set(std::max(w / 8 * 8 - 1, 0), std::min(y + 1, h - 1), true);
      src.set(0, y, true);
    }
    src.set(w / 2, h - 1, true);
    src.SetFill();
    for (int y = 0; y < w; ++y) {
      for (int x = 0; x < h; ++x) rule.set(x, y, src.get(w - 1 - y, x));
    }
    std::fill(turned.bits.begin(), turned.bits.end(), 0xA5);
    RotateLeft90(1, turned.bits.data(), src.bits.data(), w, h);
    EXPECT_EQ(turned.bits, rule.bits) << w << "x" << h;
    // 8 bits a pixel: rows of GrayStride bytes, the destination's fill bytes kept.
    const std::size_t srcStride = GrayStride(w), dstStride = GrayStride(h);
    Bytes bytes(srcStride * h), dst(dstStride * w, 0x5A), byteRule = dst;
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    RotateLeft90(8, dst.data(), bytes.data(), w, h);
    for (std::size_t y = 0; y < static_cast<std::size_t>(w); ++y) {
      for (std::size_t x = 0; x < static_cast<std::size_t>(h); ++x) byteRule[y * dstStride + x] = bytes[x * srcStride + w - 1 - y];
    }
    EXPECT_EQ(dst, byteRule) << w << "x" << h;
  }
  Bytes src(64, 0xFF), dst(64, 0x11);  // no rows, no columns, an unknown depth: untouched
  RotateLeft90(1, dst.data(), src.data(), 8, 0);
  RotateLeft90(8, dst.data(), src.data(), 0, 8);
  RotateLeft90(4, dst.data(), src.data(), 8, 8);
  EXPECT_EQ(dst, Bytes(64, 0x11));
}

TEST(BitBlocks, GatherColumnAndTransposeFollowTheBitRule) {
  // Destination row k of the block, and the column gathered at n = 7 - k: bit
  // 7 - j is bit k of source row j.
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    std::uint8_t src[8 * 3], block[8 * 2] = {};
    for (auto& b : src) b = static_cast<std::uint8_t>(rng());
    TransposeBlock8(block, 2, src, 3);
    for (int k = 0; k < 8; ++k) {
      std::uint8_t column = 0, expected = 0;
      for (int j = 0; j < 8; ++j) expected = static_cast<std::uint8_t>(expected << 1 | ((src[j * 3] >> k) & 1));
      GatherBitColumn(&column, src, 7 - k, 3);
      EXPECT_TRUE(column == expected && block[k * 2] == expected) << k;
    }
  }
  std::uint8_t untouched = 0x77;
  GatherBitColumn(&untouched, nullptr, 8, 1);
  GatherBitColumn(&untouched, nullptr, -1, 1);
  EXPECT_EQ(untouched, 0x77);
}

}  // namespace
}  // namespace tarvo
