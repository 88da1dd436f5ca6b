// The image room: the Group 4 coder judged by libtiff's decoder and, bit for bit,
// its encoder; the quarter turn against the pixel rule; the BMP image byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/BmpWriter.h"
#include "image/G4Coder.h"
#include "image/Rotate.h"
#include "image_libtiff.h"
#include "image_pages.h"

namespace tarvo {
namespace {

using test::Bilevel;
using Bytes = std::vector<std::uint8_t>;

struct Coded {
  Bytes bytes;
  std::vector<std::uint32_t> pieces;  // sizes of the sink writes
};

Coded CodePage(const Bilevel& page) {
  auto buffers = std::make_unique<CoderBuffers>();
  G4PageCoder coder(*buffers);
  Coded out;
  auto collect = [](void* context, const std::uint8_t* data, std::uint32_t count) {
    auto& c = *static_cast<Coded*>(context);
    c.bytes.insert(c.bytes.end(), data, data + count);
    c.pieces.push_back(count);
    return true;
  };
  EXPECT_EQ(coder.Start(page.width, ByteSink{&out, collect}), G4PageCoder::Status::kOk);
  for (int y = 0; y < page.rows; ++y) EXPECT_EQ(coder.CodeRow(page.row(y)), G4PageCoder::Status::kOk);
  EXPECT_EQ(coder.Finish(), G4PageCoder::Status::kOk);
  EXPECT_EQ(coder.BytesWritten(), out.bytes.size());
  for (std::size_t i = 0; i + 1 < out.pieces.size(); ++i) EXPECT_EQ(out.pieces[i], kCodeFlushBytes);
  return out;
}

// A page whose even rows are bytes `even` and odd rows bytes `odd`.
Bilevel Striped(int width, int rows, std::uint8_t even, std::uint8_t odd) {
  Bilevel page(width, rows);
  for (int y = 0; y < rows; ++y) std::fill(page.row(y), page.row(y) + page.stride(), y % 2 ? odd : even);
  return page;
}

std::vector<Bilevel> Pages() {
  std::vector<Bilevel> pages{Bilevel(1728, 5), Striped(1728, 4, 0xFF, 0xFF), Striped(2552, 6, 0x55, 0xAA),
                             // A change at every pixel but the first, and at the first too.
                             Striped(kMaxCodedWidth, 2, 0x55, 0x55), Striped(kMaxCodedWidth, 2, 0xAA, 0xAA),
                             test::TextPage(2480, 400, 5), test::HalftonePage(1001, 200),
                             test::NoisePage(2552, 900, 0.5, 11)};  // several flushed pieces
  // Odd widths, with every bit past the width set: the coder must ignore them.
  for (int w : {1, 2, 7, 9, 15, 63, 64, 65, 127, 1727, 1729}) {
    pages.push_back(test::NoisePage(w, 9, 0.4, static_cast<unsigned>(w)));
    pages.back().SetFill();
  }
  // Row pairs: one run of each length 0..5129 and a white row; every code of both colours.
  Bilevel whiteRuns(2 * 2560 + 100, 2 * 5130), blackRuns(2 * 2560 + 100, 2 * 5130);
  for (int run = 0; run < 5130; ++run) {
    for (int x = run; x < run + 3; ++x) whiteRuns.set(x, 2 * run, true);
    for (int x = 2; x < 2 + run; ++x) blackRuns.set(x, 2 * run, true);
  }
  // Every count of changes (0 to 64) in a 64-pixel word, at scattered places.
  Bilevel counts(9 * 64 + 5, 65);
  for (int y = 0; y < counts.rows; ++y) {
    for (int x = 0; x < counts.width; ++x) {
      const bool change = (x % 64 * 37 + y * 11) % 64 < (y + 7 * (x / 64)) % 65;
      counts.set(x, y, change != (x > 0 && counts.get(x - 1, y)));
    }
  }
  pages.insert(pages.end(), {whiteRuns, blackRuns, counts});
  // Every row of 6 and of 7 pixels coded against every other: the mode sequences
  // near the row's ends, where the reference pair steps back or b2 meets a1.
  for (const int width : {6, 7}) {
    const int kinds = 1 << width;
    Bilevel pairs(width, 2 * kinds * kinds);
    for (int y = 0; y < pairs.rows; ++y) {
      for (int x = 0; x < width; ++x) pairs.set(x, y, (((y % 2 ? y / 2 : y / 2 / kinds) % kinds) >> x) & 1);
    }
    pages.push_back(pairs);
  }
  return pages;
}

TEST(G4Page, LibtiffDecodesEveryPageAndCodesItBitForBitAsWeDo) {
  EXPECT_EQ(CodePage(Bilevel(1728, 0)).bytes, (Bytes{0x00, 0x10, 0x01, 0x00}));
  std::size_t mostPieces = 0;
  for (Bilevel& page : Pages()) {
    const std::string name = std::to_string(page.width) + "x" + std::to_string(page.rows);
    const Coded coded = CodePage(page);
    mostPieces = std::max(mostPieces, coded.pieces.size());
    Bytes theirs = test::LibtiffEncodeG4(page);  // zero fill to an even byte count
    if (theirs.size() % 2 != 0) theirs.push_back(0);
    EXPECT_EQ(coded.bytes, theirs) << name;
    Bilevel decoded;
    ASSERT_TRUE(test::LibtiffDecodeG4(coded.bytes, page.width, page.rows, decoded)) << name;
    page.SetFill(false);
    decoded.SetFill(false);
    EXPECT_EQ(decoded.bits, page.bits) << name;
  }
  EXPECT_GE(mostPieces, 4u);
  // Widths it cannot code, and a sink that takes nothing.
  auto buffers = std::make_unique<CoderBuffers>();
  G4PageCoder coder(*buffers);
  EXPECT_EQ(coder.Start(kMaxCodedWidth + 1, ByteSink{}), G4PageCoder::Status::kBadWidth);
  Bytes wide(2051);
  EXPECT_FALSE(FindChangingElements(wide.data(), kMaxCodedWidth + 1, buffers->changeLists[0]));
  ASSERT_EQ(coder.Start(64, ByteSink{}), G4PageCoder::Status::kOk);
  EXPECT_EQ(coder.CodeRow(wide.data()), G4PageCoder::Status::kOk);
  EXPECT_EQ(coder.Finish(), G4PageCoder::Status::kSinkFailed);
}

// Destination (x, y) is source (W - 1 - y, x), at 1 and 8 bits per pixel.
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
    for (int y = 0; y < w; ++y) {
      for (int x = 0; x < h; ++x) byteRule[y * dstStride + x] = bytes[x * srcStride + w - 1 - y];
    }
    EXPECT_EQ(dst, byteRule) << w << "x" << h;
  }
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

Bytes Hex(std::string text) {  // "42 4D ...": two digits a byte, spaces do not count
  std::erase(text, ' ');
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(std::stoi(text.substr(i, 2), nullptr, 16));
  return out;
}

Bytes Bmp(const Bytes& pixels, int width, int rows, int resolution, int imageType) {
  Bytes out;
  EXPECT_EQ(WriteBmpImage(VectorSink(out), pixels.data(), width, rows, resolution, imageType), 0);
  return out;
}

TEST(Bmp, HeadersPalettesAndRowsBottomUpAndRefusals) {
  // 10 x 3 bilevel at 300 dpi (11811 per metre): rows of 2 raster bytes, 4 file bytes.
  EXPECT_EQ(Bmp({0x80, 0x40, 0x01, 0xFF, 0xAA, 0xC0}, 10, 3, 300, 1),
            Hex("42 4D 4A 00 00 00 00 00 00 00 3E 00 00 00 28 00 00 00 0A 00 00 00 03 00 00 00"
                "01 00 01 00 00 00 00 00 00 00 00 00 23 2E 00 00 23 2E 00 00 02 00 00 00 00 00 00 00"
                "FF FF FF 00 00 00 00 00 AA C0 00 00 01 FF 00 00 80 40 00 00"));
  // 5 x 2 gray at 200 dpi: raster stride 8, file rows of 8 bytes, 256 gray entries.
  Bytes gray = Hex("42 4D 46 04 00 00 00 00 00 00 36 04 00 00 28 00 00 00 05 00 00 00 02 00 00 00"
                   "01 00 08 00 00 00 00 00 00 00 00 00 C2 1E 00 00 C2 1E 00 00 00 01 00 00 00 00 00 00");
  for (int v = 0; v < 256; ++v) gray.insert(gray.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0});
  gray.insert(gray.end(), {10, 20, 30, 40, 50, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0});
  EXPECT_EQ(Bmp({1, 2, 3, 4, 5, 9, 9, 9, 10, 20, 30, 40, 50, 9, 9, 9}, 5, 2, 200, kImageGray), gray);
  // A refused write (header, palette, either row: nothing after it) or a size out of range fails.
  const Bytes raster(16, 0);
  for (int failAt = 0; failAt < 4; ++failAt) {
    std::pair<int, int> counter{0, failAt};
    const auto refuse = [](void* c, const std::uint8_t*, std::uint32_t) { auto& k = *static_cast<std::pair<int, int>*>(c); return k.first++ != k.second; };
    EXPECT_EQ(WriteBmpImage(ByteSink{&counter, refuse}, raster.data(), 10, 2, 300, 1), -1) << failAt;
    EXPECT_EQ(counter.first, failAt + 1);
  }
  Bytes out;
  EXPECT_EQ(std::tuple(WriteBmpImage(VectorSink(out), raster.data(), -1, 2, 300, 1),
                       WriteBmpImage(VectorSink(out), raster.data(), 70000, 70000, 300, 4)), std::tuple(-1, -1));
}

}  // namespace
}  // namespace tarvo
