// The quarter turn against the pixel rule: destination (x, y) is source
// (W - 1 - y, x), at 1 and 8 bits per pixel, for sizes that are not
// multiples of 8; four turns give the page back.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/Rotate.h"
#include "image_pages.h"

namespace tarvo {
namespace {

using test::Bilevel;

// The 1-bit turn, pixel by pixel.
Bilevel PlainTurn(const Bilevel& src) {
  Bilevel dst(src.rows, src.width);
  for (int y = 0; y < dst.rows; ++y) {
    for (int x = 0; x < dst.width; ++x) dst.set(x, y, src.get(src.width - 1 - y, x));
  }
  return dst;
}

Bilevel Turn(const Bilevel& src) {
  Bilevel dst(src.rows, src.width);
  std::fill(dst.bits.begin(), dst.bits.end(), 0xA5);  // the turn must write every byte
  RotateLeft90(1, dst.bits.data(), src.bits.data(), src.width, src.rows);
  return dst;
}

const std::pair<int, int> kSizes[] = {{1, 1},   {8, 8},   {7, 5},   {9, 17},  {13, 64},
                                      {64, 13}, {65, 71}, {100, 3}, {3, 100}, {257, 130},
                                      {520, 67}, {1001, 333}};

TEST(RotateBits, EqualsThePixelRuleWithWhiteFill) {
  for (auto [w, h] : kSizes) {
    Bilevel src = test::NoisePage(w, h, 0.5, static_cast<unsigned>(w * 1000 + h));
    // Bits past the width are don't-care in the source: set them all.
    if (w % 8 != 0) {
      for (int r = 0; r < h; ++r) src.row(r)[src.stride() - 1] |= static_cast<std::uint8_t>(0xFF >> (w % 8));
    }
    const Bilevel turned = Turn(src);
    // Exact bytes: the fill bits of destination rows are 0.
    EXPECT_EQ(turned.bits, PlainTurn(src).bits) << w << "x" << h;
  }
}

TEST(RotateBits, WhiteBandsChunksAndEdgesEqualThePixelRule) {
  // Wide pages are turned by 16 by 16 tiles in chunks of 512 rows, and a
  // 16-row band that is white across its whole bytes is skipped. Noise in
  // every third band; single pixels in white bands at the partial byte, at
  // the last whole byte (the overlapping last column of tiles) and at the
  // left edge; one in the rows below the last whole band.
  const std::pair<int, int> sizes[] = {{128, 16}, {129, 17}, {200, 48}, {1001, 1100}, {2048, 530}};
  for (auto [w, h] : sizes) {
    Bilevel src(w, h);
    const Bilevel noise = test::NoisePage(w, h, 0.5, static_cast<unsigned>(w + h));
    for (int y = 0; y < h; ++y) {
      if ((y / 16) % 3 == 0) std::copy(noise.row(y), noise.row(y) + src.stride(), src.row(y));
    }
    for (const int y : {17, 530, 600}) {
      if (y >= h) continue;
      src.set(w - 1, y, true);
      src.set(w / 8 * 8 - 1, y + 1 < h ? y + 1 : y, true);
      src.set(0, y, true);
    }
    src.set(w / 2, h - 1, true);
    EXPECT_EQ(Turn(src).bits, PlainTurn(src).bits) << w << "x" << h;

    const Bilevel turnedBlank = Turn(Bilevel(w, h));
    EXPECT_EQ(turnedBlank.bits, std::vector<std::uint8_t>(turnedBlank.bits.size(), 0))
        << w << "x" << h;
  }
}

TEST(RotateBits, FourTurnsGiveThePageBack) {
  Bilevel page = test::TextPage(203, 141, 3);
  page.ClearFill();
  Bilevel turned = page;
  for (int i = 0; i < 4; ++i) turned = Turn(turned);
  EXPECT_EQ(turned.bits, page.bits);
}

TEST(RotateBits, TopRightCornerBecomesTopLeft) {
  Bilevel src(10, 3);
  src.set(9, 0, true);
  const Bilevel dst = Turn(src);
  ASSERT_EQ(dst.width, 3);
  ASSERT_EQ(dst.rows, 10);
  EXPECT_TRUE(dst.get(0, 0));
  EXPECT_EQ(std::count_if(dst.bits.begin(), dst.bits.end(), [](std::uint8_t b) { return b != 0; }), 1);
}

TEST(RotateBytes, EqualsThePixelRuleAndKeepsFillBytes) {
  std::mt19937 rng(7);
  for (auto [w, h] : kSizes) {
    const std::size_t srcStride = GrayStride(w), dstStride = GrayStride(h);
    std::vector<std::uint8_t> src(srcStride * static_cast<std::size_t>(h));
    for (auto& b : src) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> dst(dstStride * static_cast<std::size_t>(w), 0x5A);
    RotateLeft90(8, dst.data(), src.data(), w, h);
    for (int y = 0; y < w; ++y) {
      for (std::size_t x = 0; x < dstStride; ++x) {
        const std::uint8_t expected = x < static_cast<std::size_t>(h)
                                          ? src[x * srcStride + static_cast<std::size_t>(w - 1 - y)]
                                          : 0x5A;
        ASSERT_EQ(dst[static_cast<std::size_t>(y) * dstStride + x], expected)
            << w << "x" << h << " at " << x << "," << y;
      }
    }
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
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    const std::size_t stride = 3;
    std::uint8_t src[8 * stride];
    for (auto& b : src) b = static_cast<std::uint8_t>(rng());
    for (int n = 0; n < 8; ++n) {
      std::uint8_t column = 0;
      GatherBitColumn(&column, src, n, stride);
      for (int k = 0; k < 8; ++k) {
        EXPECT_EQ((column >> (7 - k)) & 1, (src[k * stride] >> (7 - n)) & 1);
      }
    }
    std::uint8_t block[8 * 2] = {};
    TransposeBlock8(block, 2, src, stride);
    for (int k = 0; k < 8; ++k) {
      std::uint8_t expected = 0;
      GatherBitColumn(&expected, src, 7 - k, stride);
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
