// The Group 4 coder: whole pages decoded by libtiff and coded bit for bit as
// libtiff's encoder codes them (which also judges every run code of both colours).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "image/G4Coder.h"
#include "image_libtiff.h"
#include "image_pages.h"

namespace tarvo {
namespace {

using test::Bilevel;

struct Coded {
  std::vector<std::uint8_t> bytes;
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
  // Every count of changes (0 to 64) in a 64-pixel word, at random places.
  Bilevel counts(9 * 64 + 5, 65);
  std::mt19937 rng(12);
  std::vector<int> at(64);
  for (int y = 0; y < counts.rows; ++y) {
    for (int word = 0; word * 64 < counts.width; ++word) {
      std::iota(at.begin(), at.end(), word * 64);
      std::shuffle(at.begin(), at.end(), rng);
      for (int k = 0; k < (y + 7 * word) % 65; ++k) {
        if (at[k] < counts.width) counts.set(at[k], y, true);
      }
    }
    for (int x = 1; x < counts.width; ++x) counts.set(x, y, counts.get(x, y) != counts.get(x - 1, y));
  }
  pages.insert(pages.end(), {whiteRuns, blackRuns, counts});
  // Every row of 6 and of 7 pixels coded against every other: the mode sequences
  // near the row's ends, where the reference pair steps back or b2 meets a1.
  for (const int width : {6, 7}) {
    const int kinds = 1 << width;
    Bilevel pairs(width, 2 * kinds * kinds);
    for (int pair = 0; pair < kinds * kinds; ++pair) {
      for (int x = 0; x < width; ++x) {
        pairs.set(x, 2 * pair, ((pair / kinds) >> x) & 1);
        pairs.set(x, 2 * pair + 1, ((pair % kinds) >> x) & 1);
      }
    }
    pages.push_back(pairs);
  }
  return pages;
}

TEST(G4Page, LibtiffDecodesEveryPageAndCodesItBitForBitAsWeDo) {
  EXPECT_EQ(CodePage(Bilevel(1728, 0)).bytes, (std::vector<std::uint8_t>{0x00, 0x10, 0x01, 0x00}));
  std::size_t mostPieces = 0;
  for (Bilevel& page : Pages()) {
    const std::string name = std::to_string(page.width) + "x" + std::to_string(page.rows);
    const Coded coded = CodePage(page);
    mostPieces = std::max(mostPieces, coded.pieces.size());
    std::vector<std::uint8_t> theirs = test::LibtiffEncodeG4(page);  // zero fill to an even byte count
    if (theirs.size() % 2 != 0) theirs.push_back(0);
    EXPECT_EQ(coded.bytes, theirs) << name;
    Bilevel decoded;
    ASSERT_TRUE(test::LibtiffDecodeG4(coded.bytes, page.width, page.rows, decoded)) << name;
    page.SetFill(false);
    decoded.SetFill(false);
    EXPECT_EQ(decoded.bits, page.bits) << name;
  }
  EXPECT_GE(mostPieces, 4u);
}

TEST(G4BitWriter, TightBufferMatchesAndAShortOneStopsAtItsEnd) {
  const Bilevel page = test::NoisePage(1728, 2, 0.3, 9);
  auto lists = std::make_unique<std::array<ChangeList, 2>>();
  std::fill((*lists)[0].begin(), (*lists)[0].end(), 1728);
  ASSERT_TRUE(FindChangingElements(page.row(1), 1728, (*lists)[1]));
  const auto encode = [&](std::vector<std::uint8_t>& buffer, std::size_t size) {
    BitWriter w(std::span<std::uint8_t>(buffer.data(), size));
    EncodeRowT6((*lists)[1], (*lists)[0], 1728, w);
    return w;
  };
  std::vector<std::uint8_t> large(16384);
  const std::size_t used = encode(large, large.size()).UsedBytes();  // the unchecked path
  std::vector<std::uint8_t> tight(used), guarded(used / 2 + 8, 0xEE);
  EXPECT_FALSE(encode(tight, used).Overflowed());  // the checked one
  EXPECT_EQ(tight, std::vector<std::uint8_t>(large.begin(), large.begin() + static_cast<long>(used)));
  EXPECT_TRUE(encode(guarded, used / 2).Overflowed());
  EXPECT_EQ(std::vector<std::uint8_t>(guarded.begin() + static_cast<long>(used / 2), guarded.end()),
            std::vector<std::uint8_t>(8, 0xEE));
}

TEST(G4Page, RefusedWritesAndWidthsAreReported) {
  auto buffers = std::make_unique<CoderBuffers>();
  G4PageCoder coder(*buffers);
  EXPECT_EQ(coder.Start(kMaxCodedWidth + 1, ByteSink{}), G4PageCoder::Status::kBadWidth);
  std::vector<std::uint8_t> wide(2051);
  EXPECT_FALSE(FindChangingElements(wide.data(), kMaxCodedWidth + 1, buffers->changeLists[0]));
  ASSERT_EQ(coder.Start(64, ByteSink{}), G4PageCoder::Status::kOk);  // a sink that takes nothing
  EXPECT_EQ(coder.CodeRow(wide.data()), G4PageCoder::Status::kOk);
  EXPECT_EQ(coder.Finish(), G4PageCoder::Status::kSinkFailed);
}

}  // namespace
}  // namespace tarvo
