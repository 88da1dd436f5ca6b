// The Group 4 coder: its code tables against the standard's definition, and
// whole pages against libtiff's decoder and, bit for bit, its encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "image/G4Coder.h"
#include "image/RunCodes.h"
#include "image_libtiff.h"
#include "image_pages.h"

namespace tarvo {
namespace {

using test::Bilevel;

std::string Bits(const RunCode& c) {
  std::string s;
  for (int i = c.length - 1; i >= 0; --i) s += ((c.code >> i) & 1) ? '1' : '0';
  return s;
}

// Colour of pixel x, white before the row; `width` and beyond repeat the last pixel.
bool Pixel(const Bilevel& page, int y, int x) {
  if (y < 0 || x < 0) return false;
  if (x >= page.width) x = page.width - 1;
  return page.get(x, y);
}

// ---- our coder over a page ---------------------------------------------------------------

struct Coded {
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint32_t> pieces;  // sizes of the sink writes
  std::uint32_t reported = 0;
};

bool Collect(void* context, const std::uint8_t* data, std::uint32_t count) {
  auto& c = *static_cast<Coded*>(context);
  c.bytes.insert(c.bytes.end(), data, data + count);
  c.pieces.push_back(count);
  return true;
}

Coded CodePage(const Bilevel& page) {
  auto buffers = std::make_unique<CoderBuffers>();
  G4PageCoder coder(*buffers);
  Coded out;
  EXPECT_EQ(coder.Start(page.width, ByteSink{&out, Collect}), G4PageCoder::Status::kOk);
  for (int y = 0; y < page.rows; ++y) {
    EXPECT_EQ(coder.CodeRow(page.row(y)), G4PageCoder::Status::kOk);
  }
  EXPECT_EQ(coder.Finish(), G4PageCoder::Status::kOk);
  out.reported = coder.BytesWritten();
  return out;
}

// Our coding equals libtiff's bit for bit; ours may add one zero byte after
// EOFB to end on an even byte count.
void ExpectLibtiffCoding(const Bilevel& page, const Coded& coded, const std::string& name) {
  const std::vector<std::uint8_t> theirs = test::LibtiffEncodeG4(page);
  ASSERT_FALSE(theirs.empty()) << name;
  ASSERT_GE(coded.bytes.size(), theirs.size()) << name;
  ASSERT_LE(coded.bytes.size(), theirs.size() + 1) << name;
  EXPECT_TRUE(std::equal(theirs.begin(), theirs.end(), coded.bytes.begin())) << name;
  for (std::size_t i = theirs.size(); i < coded.bytes.size(); ++i) EXPECT_EQ(coded.bytes[i], 0);
}

// The bits of a writer's buffer, first bit first.
std::string WriterBits(const BitWriter& writer) {
  std::string s;
  const std::size_t bits = writer.Position() * 8 + writer.BitCount();
  for (std::size_t i = 0; i < bits; ++i) s += ((writer.Buffer()[i / 8] >> (i % 8)) & 1) ? '1' : '0';
  return s;
}

// ---- the pages -------------------------------------------------------------------------------

struct PageCase {
  const char* name;
  Bilevel page;
};

std::vector<PageCase> Pages() {
  std::vector<PageCase> pages;
  auto add = [&](const char* name, Bilevel page) { pages.push_back({name, std::move(page)}); };
  add("white", Bilevel(1728, 5));
  Bilevel black(1728, 4);
  std::fill(black.bits.begin(), black.bits.end(), 0xFF);
  add("black", black);
  Bilevel alternating(2552, 6);
  for (int y = 0; y < alternating.rows; ++y) {
    std::fill(alternating.row(y), alternating.row(y) + alternating.stride(), y % 2 ? 0xAA : 0x55);
  }
  add("alternating", alternating);
  Bilevel stripes(77, 16);  // columns and a moving diagonal
  for (int y = 0; y < stripes.rows; ++y) {
    for (int x = 0; x < stripes.width; ++x) stripes.set(x, y, x % 9 < 4 || x == y * 4);
  }
  add("stripes77", stripes);
  for (int w : {1, 2, 7, 8, 9, 15, 17, 63, 64, 65, 127, 1727, 1729}) {
    pages.push_back({"noise-odd-width", test::NoisePage(w, 9, 0.4, static_cast<unsigned>(w))});
  }
  add("noise1728", test::NoisePage(1728, 40, 0.5, 1));
  add("sparse2552", test::NoisePage(2552, 40, 0.02, 2));
  add("runs2552", test::RunPage(2552, 60, 40, 3));
  add("long-runs", test::RunPage(9000, 30, 6000, 4));
  add("text", test::TextPage(2480, 400, 5));
  add("table", test::TablePage(1700, 300, 6));
  add("halftone", test::HalftonePage(1001, 200));
  Bilevel every(16400, 2);  // a change at every pixel but the first
  std::fill(every.bits.begin(), every.bits.end(), 0x55);
  add("every-pixel", every);
  std::fill(every.bits.begin(), every.bits.end(), 0xAA);  // and at the first: a full list
  add("every-pixel-from-0", every);
  // Every count of changes (0 to 64) in a 64-pixel word, at random places;
  // the width ends in a partial word and a partial byte.
  Bilevel counts(9 * 64 + 5, 65);
  std::mt19937 rng(12);
  for (int y = 0; y < counts.rows; ++y) {
    bool ink = false;
    for (int word = 0; word * 64 < counts.width; ++word) {
      std::vector<int> flips(64);
      std::iota(flips.begin(), flips.end(), 0);
      std::shuffle(flips.begin(), flips.end(), rng);
      flips.resize(static_cast<std::size_t>((y + 7 * word) % 65));
      std::sort(flips.begin(), flips.end());
      auto flip = flips.begin();
      for (int x = word * 64; x < std::min(word * 64 + 64, counts.width); ++x) {
        if (flip != flips.end() && *flip == x - word * 64) {
          ink = !ink;
          ++flip;
        }
        counts.set(x, y, ink);
      }
    }
  }
  add("changes-per-word", counts);
  return pages;
}

// ---- tables --------------------------------------------------------------------------------------

TEST(G4Tables, RunCodesArePrefixFreeAndLeaveOnlyTheEolSpace) {
  for (bool black : {false, true}) {
    std::vector<std::string> codes;
    for (const RunCode& c : black ? std::span<const RunCode>(kBlackTerminating)
                                  : std::span<const RunCode>(kWhiteTerminating)) {
      codes.push_back(Bits(c));
    }
    for (const RunCode& c : black ? std::span<const RunCode>(kBlackMakeUp)
                                  : std::span<const RunCode>(kWhiteMakeUp)) {
      codes.push_back(Bits(c));
    }
    for (const RunCode& c : kSharedMakeUp) codes.push_back(Bits(c));
    ASSERT_EQ(codes.size(), 64u + 27u + 13u);
    double kraft = 0;
    for (const std::string& a : codes) {
      kraft += std::ldexp(1.0, -static_cast<int>(a.size()));
      EXPECT_NE(a.substr(0, 8), "00000000") << a;
      for (const std::string& b : codes) {
        if (&a != &b) {
          EXPECT_NE(b.rfind(a, 0), 0u) << a << " is a prefix of " << b;
        }
      }
    }
    // All of the code space but the 2^-8 that starts with eight zeros (EOL).
    EXPECT_DOUBLE_EQ(kraft, 1.0 - 1.0 / 256);
  }
}

// ---- the bit writer and the run coder --------------------------------------------------------------

TEST(G4BitWriter, KeepsPartialWordAndEvenPosition) {
  std::vector<std::uint8_t> buffer(16, 0xEE);
  BitWriter w(buffer);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0);
  PutBits(0x5, 3, w);  // 1 0 1
  EXPECT_EQ(w.Position(), 0u);
  EXPECT_EQ(w.BitCount(), 3u);
  EXPECT_EQ(buffer[0], 0x05);
  PutBits(0xFFFF, 16, w);
  EXPECT_EQ(w.Position(), 2u);
  EXPECT_EQ(w.BitCount(), 3u);
  EXPECT_EQ(buffer[0], 0xFD);
  EXPECT_EQ(buffer[1], 0xFF);
  EXPECT_EQ(buffer[2], 0x07);
  EXPECT_EQ(buffer[3], 0x00);
  EXPECT_EQ(w.UsedBytes(), 4u);

  std::vector<std::uint8_t> tiny(4);
  BitWriter full(tiny);
  for (int i = 0; i < 4; ++i) PutBits(0xFFFF, 16, full);
  EXPECT_TRUE(full.Overflowed());
}

TEST(G4EncodeRun, MakeUpEdgesAroundTheLongestCode) {
  struct Case {
    unsigned colour;
    int run;
    std::string bits;
  } cases[] = {
      {0, 0, "00110101"},
      {1, 0, "0000110111"},
      {0, 63, "00110100"},
      {0, 64, "11011" "00110101"},
      {1, 65, "0000001111" "010"},
      {0, 1792, "00000001000" "00110101"},
      {0, 2560, "000000011111" "00110101"},
      {0, 2561, "000000011111" "000111"},
      {1, 2561, "000000011111" "010"},
      {0, 5120, "000000011111" "000000011111" "00110101"},
      {1, 5185, "000000011111" "000000011111" "0000001111" "010"},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> buffer(32);
    BitWriter w(buffer);
    EncodeRun(c.colour, c.run, w);
    EXPECT_EQ(WriterBits(w), c.bits) << c.colour << " " << c.run;
  }
}

TEST(G4BitWriter, RowIntoATightBufferMatchesAndAFullOneStopsAtItsEnd) {
  // A large buffer takes the unchecked path; a buffer of just the coded size
  // the checked one; a smaller one overflows without writing past its end.
  const Bilevel page = test::NoisePage(1728, 2, 0.3, 9);
  auto lists = std::make_unique<std::array<ChangeList, 2>>();
  std::fill((*lists)[0].begin(), (*lists)[0].end(), 1728);
  ASSERT_TRUE(FindChangingElements(page.row(1), 1728, (*lists)[1]));
  std::vector<std::uint8_t> large(16384);
  BitWriter big(large);
  EncodeRowT6((*lists)[1], (*lists)[0], 1728, big);
  ASSERT_FALSE(big.Overflowed());
  const std::size_t used = big.UsedBytes();

  std::vector<std::uint8_t> tight(used);
  BitWriter exact(tight);
  EncodeRowT6((*lists)[1], (*lists)[0], 1728, exact);
  EXPECT_FALSE(exact.Overflowed());
  EXPECT_EQ(WriterBits(exact), WriterBits(big));

  std::vector<std::uint8_t> guarded(used / 2 + 8, 0xEE);
  BitWriter small(std::span<std::uint8_t>(guarded.data(), used / 2));
  EncodeRowT6((*lists)[1], (*lists)[0], 1728, small);
  EXPECT_TRUE(small.Overflowed());
  for (std::size_t i = used / 2; i < guarded.size(); ++i) EXPECT_EQ(guarded[i], 0xEE);
}

// ---- changing elements -------------------------------------------------------------------------------

TEST(G4ChangingElements, MatchPixelRuleOnEveryPage) {
  auto list = std::make_unique<ChangeList>();
  for (const PageCase& pc : Pages()) {
    for (int y = 0; y < pc.page.rows; ++y) {
      ASSERT_TRUE(FindChangingElements(pc.page.row(y), pc.page.width, *list));
      std::vector<std::int32_t> expected;
      for (int x = 0; x < pc.page.width; ++x) {
        if (Pixel(pc.page, y, x) != Pixel(pc.page, y, x - 1)) expected.push_back(x);
      }
      for (int k = 0; k < 4; ++k) expected.push_back(pc.page.width);
      ASSERT_EQ(std::vector<std::int32_t>(list->begin(), list->begin() + static_cast<long>(expected.size())),
                expected)
          << pc.name << " row " << y;
    }
  }
}

TEST(G4ChangingElements, IgnoreBitsPastTheWidthAndRefuseWideRows) {
  auto list = std::make_unique<ChangeList>();
  const std::uint8_t row[2] = {0x00, 0x1F};  // width 11: the set bits lie past the width
  ASSERT_TRUE(FindChangingElements(row, 11, *list));
  EXPECT_EQ((*list)[0], 11);
  const std::uint8_t row2[2] = {0x00, 0x3F};  // pixel 10 is black
  ASSERT_TRUE(FindChangingElements(row2, 11, *list));
  EXPECT_EQ((*list)[0], 10);
  EXPECT_EQ((*list)[1], 11);
  std::vector<std::uint8_t> wide(2051);
  EXPECT_FALSE(FindChangingElements(wide.data(), kMaxCodedWidth + 1, *list));
}

// ---- whole pages -----------------------------------------------------------------------------

TEST(G4Page, AllWhiteRowIsOneV0Code) {
  Bilevel page(1728, 1);
  const Coded coded = CodePage(page);
  // 1, EOFB, zero fill to an even byte count.
  EXPECT_EQ(coded.bytes, (std::vector<std::uint8_t>{0x80, 0x08, 0x00, 0x80}));
  EXPECT_EQ(coded.reported, 4u);
}

TEST(G4Page, NoRowsIsEofbAndFill) {
  Bilevel page(1728, 0);
  EXPECT_EQ(CodePage(page).bytes, (std::vector<std::uint8_t>{0x00, 0x10, 0x01, 0x00}));
}

TEST(G4Page, EveryPairOfNarrowRowsCodesAsLibtiffCodesIt) {
  // Every row of 6 and of 7 pixels coded against every other: all the mode
  // sequences near the row's start and end, where the reference pair steps
  // back to the first entry or jumps past b2 == a1.
  for (const int width : {6, 7}) {
    const int kinds = 1 << width;
    Bilevel page(width, 2 * kinds * kinds);
    for (int pair = 0; pair < kinds * kinds; ++pair) {
      for (int x = 0; x < width; ++x) {
        page.set(x, 2 * pair, ((pair / kinds) >> x) & 1);
        page.set(x, 2 * pair + 1, ((pair % kinds) >> x) & 1);
      }
    }
    ExpectLibtiffCoding(page, CodePage(page), std::to_string(width));
  }
}

TEST(G4Page, LibtiffDecodesEveryPageExactly) {
  for (PageCase& pc : Pages()) {
    const Coded coded = CodePage(pc.page);
    Bilevel decoded;
    ASSERT_TRUE(test::LibtiffDecodeG4(coded.bytes, pc.page.width, pc.page.rows, decoded))
        << pc.name;
    pc.page.ClearFill();
    decoded.ClearFill();
    EXPECT_EQ(decoded.bits, pc.page.bits) << pc.name;
  }
}

TEST(G4Page, BitIdenticalToLibtiffUpToTheFillAfterEofb) {
  for (const PageCase& pc : Pages()) ExpectLibtiffCoding(pc.page, CodePage(pc.page), pc.name);
}

TEST(G4Page, EveryRunLengthDecodesInBothColours) {
  // Row pairs: a row with one run of each length in horizontal mode, then a
  // white row. Covers every terminating and make-up code of both colours.
  const int width = 2 * 2560 + 100;
  Bilevel white(width, 2 * 5130), black(width, 2 * 5130);
  for (int run = 0; run < 5130; ++run) {
    for (int x = run; x < run + 3; ++x) white.set(x, 2 * run, true);  // white run, then 3 black
    for (int x = 2; x < 2 + run; ++x) black.set(x, 2 * run, true);    // 2 white, then the black run
  }
  for (Bilevel* page : {&white, &black}) {
    Bilevel decoded;
    ASSERT_TRUE(test::LibtiffDecodeG4(CodePage(*page).bytes, width, page->rows, decoded));
    EXPECT_EQ(decoded.bits, page->bits);
  }
}

TEST(G4Page, FlushedPiecesEqualOnePiece) {
  // Noise codes to far more than 131072 bytes: several flushes.
  const Bilevel page = test::NoisePage(2552, 900, 0.5, 11);
  const Coded coded = CodePage(page);
  ASSERT_GE(coded.pieces.size(), 4u);
  for (std::size_t i = 0; i + 1 < coded.pieces.size(); ++i) EXPECT_EQ(coded.pieces[i], 131072u);
  EXPECT_EQ(coded.bytes.size() % 2, 0u);
  EXPECT_EQ(coded.reported, coded.bytes.size());
  ExpectLibtiffCoding(page, coded, "noise");
}

TEST(G4Page, RefusedWritesAndWidthsAreReported) {
  auto buffers = std::make_unique<CoderBuffers>();
  G4PageCoder coder(*buffers);
  EXPECT_EQ(coder.Start(kMaxCodedWidth + 1, ByteSink{}), G4PageCoder::Status::kBadWidth);
  ASSERT_EQ(coder.Start(64, ByteSink{}), G4PageCoder::Status::kOk);  // a sink that takes nothing
  const std::uint8_t row[8] = {};
  EXPECT_EQ(coder.CodeRow(row), G4PageCoder::Status::kOk);
  EXPECT_EQ(coder.Finish(), G4PageCoder::Status::kSinkFailed);
}

}  // namespace
}  // namespace tarvo
