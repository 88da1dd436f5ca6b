// The quarter turn against the pixel rule: destination (x, y) is source
// (W - 1 - y, x), at 1 and 8 bits per pixel, for sizes that are not
// multiples of 8.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/Rotate.h"
#include "image_pages.h"

namespace tarvo {
namespace {

using test::Bilevel;

const std::pair<int, int> kSizes[] = {{1, 1},    {8, 8},    {7, 5},    {9, 17},    {13, 64},   {64, 13},   {65, 71},
                                      {100, 3},  {3, 100},  {257, 130}, {520, 67}, {1001, 333}, {128, 16}, {129, 17},
                                      {200, 48}, {1001, 1100}, {2048, 530}};

// The turn of a bilevel page; destination fill bits 0, every byte written.
Bilevel Turn(const Bilevel& src) {
  Bilevel dst(src.rows, src.width);
  std::fill(dst.bits.begin(), dst.bits.end(), 0xA5);
  RotateLeft90(1, dst.bits.data(), src.bits.data(), src.width, src.rows);
  return dst;
}

TEST(Rotate, BitsAndBytesEqualThePixelRule) {
  // Wide pages are turned by 16 by 16 tiles in chunks of 512 rows, and a
  // 16-row band that is white across its whole bytes is skipped. Noise in
  // every third band; single pixels in white bands at the partial byte, at
  // the last whole byte (the overlapping last column of tiles) and at the
  // left edge; one in the rows below the last whole band. The bits past the
  // width are don't-care in the source: all set.
  std::mt19937 rng(7);
  for (auto [w, h] : kSizes) {
    Bilevel src(w, h), rule(h, w);
    const Bilevel noise = test::NoisePage(w, h, 0.5, static_cast<unsigned>(w * 1000 + h));
    for (int y = 0; y < h; ++y) {
      if ((y / 16) % 3 == 0) std::copy(noise.row(y), noise.row(y) + src.stride(), src.row(y));
    }
    for (const int y : {17, 530, 600}) {
      if (y >= h) continue;
      src.set(w - 1, y, true);
      src.set(w / 8 * 8 - 1 < 0 ? 0 : w / 8 * 8 - 1, y + 1 < h ? y + 1 : y, true);
      src.set(0, y, true);
    }
    src.set(w / 2, h - 1, true);
    src.SetFill();
    for (int y = 0; y < rule.rows; ++y) {
      for (int x = 0; x < rule.width; ++x) rule.set(x, y, src.get(w - 1 - y, x));
    }
    EXPECT_EQ(Turn(src).bits, rule.bits) << w << "x" << h;
    EXPECT_EQ(Turn(Bilevel(w, h)).bits, std::vector<std::uint8_t>(rule.bits.size(), 0)) << w << "x" << h;
    // 8 bits a pixel: rows of GrayStride bytes, the destination's fill bytes kept.
    const std::size_t srcStride = GrayStride(w), dstStride = GrayStride(h);
    std::vector<std::uint8_t> bytes(srcStride * static_cast<std::size_t>(h));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> dst(dstStride * static_cast<std::size_t>(w), 0x5A), byteRule = dst;
    RotateLeft90(8, dst.data(), bytes.data(), w, h);
    for (std::size_t y = 0; y < static_cast<std::size_t>(w); ++y) {
      for (std::size_t x = 0; x < static_cast<std::size_t>(h); ++x) {
        byteRule[y * dstStride + x] = bytes[x * srcStride + static_cast<std::size_t>(w) - 1 - y];
      }
    }
    EXPECT_EQ(dst, byteRule) << w << "x" << h;
  }
}

TEST(Rotate, EmptyOrUnknownDepthLeavesDestinationAlone) {
  std::vector<std::uint8_t> src(64, 0xFF), dst(64, 0x11);
  RotateLeft90(1, dst.data(), src.data(), 8, 0);
  RotateLeft90(8, dst.data(), src.data(), 0, 8);
  RotateLeft90(4, dst.data(), src.data(), 8, 8);
  EXPECT_EQ(dst, std::vector<std::uint8_t>(64, 0x11));
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
      EXPECT_EQ(column, expected);
      EXPECT_EQ(block[k * 2], expected);
    }
  }
  std::uint8_t untouched = 0x77;
  GatherBitColumn(&untouched, nullptr, 8, 1);
  GatherBitColumn(&untouched, nullptr, -1, 1);
  EXPECT_EQ(untouched, 0x77);
}

}  // namespace
}  // namespace tarvo
