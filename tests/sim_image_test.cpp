// Image delivery of the simulated RT650: scanner rows in the window's
// composition and depth, scaling and cutting, the short final transfer, the
// jam, and the page sources (PBM/PGM files, synthetic pages). The sheet size
// it detects is judged by the batch tests.
#include <gtest/gtest.h>

#include <string>

#include "sim_test_support.h"

namespace tarvo::sim {
namespace {

using test::PatternPage;

// Pixel x of a scanner row packed most significant bit first at `bits` a pixel.
unsigned PixelAt(const std::uint8_t* row, std::uint32_t x, unsigned bits) {
  const std::size_t bit = std::size_t{x} * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// Reads chunks of whole rows as the page pipeline does until the scanner ends the page.
test::Scanned ReadRows(Bus& bus, std::uint32_t rowBytes) { return test::ReadPage(bus, 32768 / rowBytes * rowBytes); }

TEST(SimImage, RowsArePackedInEveryFormatAndPaddedToWholeWords) {
  auto value = [](std::uint32_t x, std::uint32_t y) { return (x * 7 + y * 13) & 255; };
  for (const auto& [composition, bits] : {std::pair<std::uint8_t, std::uint8_t>{0, 1}, {1, 1}, {2, 2}, {2, 4}, {2, 8}}) {
    Bus bus;
    Rt650& scanner = bus.AddScanner(0, 0);
    scanner.PlaceSheetsAtCorner(true);
    scanner.AddPage(PatternPage(300, 200, 300, value));
    const std::uint32_t width = 37, rows = 50, rowBytes = (bits * width + 31) / 32 * 4;
    test::SetWindowRaw(bus, test::WindowData(300, 0, 0, width * 4, rows * 4, composition, bits, 100));
    ASSERT_TRUE(test::Scan(bus).Good());
    const test::Scanned page = ReadRows(bus, rowBytes);
    ASSERT_EQ(page.bytes.size(), std::size_t{rowBytes} * rows);
    EXPECT_TRUE(page.last.Ili());
    EXPECT_EQ(scanner.Delivered().at(0).rowBytes, rowBytes);
    double black = 0, darkness = 0;
    for (std::uint32_t y = 0; y < rows; ++y) {
      const std::uint8_t* row = page.bytes.data() + std::size_t{y} * rowBytes;
      for (std::uint32_t x = 0; x < width; ++x) {
        const unsigned got = PixelAt(row, x, bits);
        if (composition != 1) {  // gray keeps the high bits, line art is black below the threshold
          ASSERT_EQ(got, composition == 2 ? value(x, y) >> (8 - bits) : value(x, y) < 100) << int{bits} << ": " << x << "," << y;
        }
        black += got;
        darkness += (255.0 - value(x, y)) / 255.0;
      }
      for (std::uint32_t x = width * bits; x < rowBytes * 8; ++x) ASSERT_EQ(PixelAt(row, x, 1), 0u) << "padding " << x;
    }
    if (composition == 1) {  // ordered dither: the share of black follows the darkness of the page
      EXPECT_NEAR(black / (width * rows), darkness / (width * rows), 0.1);
    }
  }
}

class SimImageRig : public test::CornerRig {
 protected:
  // Two black 1-inch sheets, the first jammed if told, in line art at 100 dpi:
  // 100 rows of 16 bytes each.
  void ScanTwoBlackSquares(bool jamFirst) {
    Load(2, PatternPage(100, 100, 100, [](std::uint32_t, std::uint32_t) { return 0; }));
    ASSERT_TRUE(!jamFirst || scanner.SetConditions(0, PageConditions{0, false, true}));
    test::SetWindowRaw(bus, test::WindowData(100, 0, 0, 1200, 1200, 0, 1));
    ASSERT_TRUE(test::Scan(bus).Good());
  }
};

TEST_F(SimImageRig, ScalesToTheWindowResolutionAndCutsToTheWindow) {
  // 600 dpi page, black columns at 600..602 (1 inch + 0..2 px); window from
  // 0.5 inch at 200 dpi: output x = (600 - 300) / 3 = 100 is black.
  scanner.AddPage(PatternPage(1200, 600, 600, [](std::uint32_t x, std::uint32_t) { return x >= 600 && x < 603 ? 0 : 255; }));
  test::SetWindowRaw(bus, test::WindowData(200, 600, 0, 1200, 1200, 0, 1));
  ASSERT_TRUE(test::Scan(bus).Good());
  const test::Scanned page = ReadRows(bus, 28);  // 200 px wide: 7 words
  ASSERT_EQ(page.bytes.size(), 28u * 200);
  for (std::uint32_t y = 0; y < 200; ++y) {
    for (std::uint32_t x = 0; x < 200; ++x) {  // beyond the page's right edge (x >= 150) the scanner sees white
      ASSERT_EQ(PixelAt(page.bytes.data() + y * 28, x, 1), x == 100 ? 1u : 0u) << x << "," << y;
    }
  }
}

TEST_F(SimImageRig, ShortFinalTransferReportsTheResidueThenNothingIsLeft) {
  ScanTwoBlackSquares(false);
  // 1600 bytes: read 1000, then ask for 1000 more.
  std::vector<std::uint8_t> buffer(1000, 0xEE);
  ASSERT_TRUE(test::ReadData(bus, 0x00, buffer).Good());
  std::fill(buffer.begin(), buffer.end(), 0xEE);
  const test::Outcome last = test::ReadData(bus, 0x00, buffer);
  // Check condition with no sense but ILI, 400 bytes short; 600 bytes sent.
  EXPECT_EQ((std::array<std::size_t, 5>{last.srbStatus, last.targetStatus, std::size_t{last.sense[0]} << 8 | last.sense[2],
                                        last.Information(), bus.Records().back().transferred}),
            (std::array<std::size_t, 5>{aspi::kSsErr, 2, 0x7020, 400, 600}));
  // Offset 1000 is row 62, byte 8, black; 599 the padding at the end of row 99.
  EXPECT_EQ((std::array<std::uint8_t, 3>{buffer[0], buffer[599], buffer[600]}), (std::array<std::uint8_t, 3>{0xFF, 0, 0xEE}));
  // The pipeline's extra read after a full page gets nothing and the page stays.
  const test::Outcome extra = test::ReadData(bus, 0x00, buffer);
  EXPECT_TRUE(extra.Ili() && extra.Information() == 1000u && scanner.HopperCount() == 1u);
  // The next command other than an image read lets the next sheet in.
  EXPECT_EQ(test::Status(bus), (std::array<bool, 2>{true, true}));
  EXPECT_EQ(scanner.HopperCount(), 0u);
}

TEST_F(SimImageRig, JamStopsTheTransferHalfway) {
  ScanTwoBlackSquares(true);
  std::vector<std::uint8_t> buffer(1600);
  const test::Outcome jam = test::ReadData(bus, 0x00, buffer);
  EXPECT_EQ(jam.sense[2] << 16 | jam.sense[12] << 8 | jam.sense[13], 0x038000);  // no ILI
  EXPECT_EQ(bus.Records().back().transferred, 800u);
  EXPECT_TRUE(scanner.Delivered()[0].jammed);
  EXPECT_FALSE(scanner.Scanning());
  EXPECT_EQ(test::Status(bus), (std::array<bool, 2>{true, false}));
}

// ---- page sources -------------------------------------------------------------------------

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(SimPnm, TheFourFormatsGiveTheSameRasterAndBrokenFilesAreRefused) {
  // 10 x 2: row 0 "1000000001", row 1 all white.
  std::vector<std::uint8_t> expected(20, 255);
  expected[0] = expected[9] = 0;
  std::string p5 = "P5 10 2 255\n";
  for (const std::uint8_t v : expected) p5.push_back(static_cast<char>(v));
  for (const std::string& source :
       {std::string("P1\n# a comment\n10 2\n1 0 0 0 0 0 0 0 0 1\n0000000000\n"),
        std::string("P2\n10 2\n15\n0 15 15 15 15 15 15 15 15 0\n15 15 15 15 15 15 15 15 15 15\n"),
        std::string("P4\n# comment\n10 2\n") + char(0x80) + char(0x40) + char(0) + char(0), p5}) {
    GrayRaster raster;
    ASSERT_EQ(ParsePnm(Bytes(source), raster), PnmError::kNone) << source.substr(0, 2);
    EXPECT_EQ(raster.width * 100 + raster.height, 1002u);
    EXPECT_EQ(raster.pixels, expected) << source.substr(0, 2);
  }
  // Claimed sizes are not allocated before the data is there.
  for (const auto& [text, error] : {std::pair<std::string, PnmError>{"P3\n1 1\n255\n0 0 0\n", PnmError::kFormat},
                                    {"P5\n40000 40000\n255\n\x01\x02", PnmError::kTruncated},
                                    {"P2\n2 2\n255\n1 2 3", PnmError::kTruncated},
                                    {"P5\n99999999 1\n255\n", PnmError::kFormat}}) {
    GrayRaster raster;
    EXPECT_EQ(ParsePnm(Bytes(text), raster), error) << text;
  }
}

TEST(SimSynthetic, PagesAreDeterministicDocumentLikeAndSizedByResolution) {
  for (const auto& [dpi, width, height] : {std::array<std::uint32_t, 3>{200, 1653, 2338}, {300, 2480, 3507}, {600, 4960, 7015}}) {
    GrayRaster a, b, other;
    RenderSynthetic(SyntheticPlan{7, 0, dpi}, a);
    RenderSynthetic(SyntheticPlan{7, 0, dpi}, b);
    RenderSynthetic(SyntheticPlan{7, 1, dpi}, other);
    EXPECT_EQ(a.width * 10000 + a.height, width * 10000 + height);
    EXPECT_TRUE(a.pixels == b.pixels && a.pixels != other.pixels);
    std::array<double, 3> share{};  // ink, the photo-like middle grays, white
    for (const std::uint8_t v : a.pixels) share[v < 64 ? 0 : v < 224 ? 1 : 2] += 1.0 / static_cast<double>(a.pixels.size());
    EXPECT_TRUE(share[0] > 0.01 && share[0] < 0.4 && share[1] > 0.01) << dpi << ": " << share[0] << " " << share[1];
  }
}  // other resolutions: refused by the configuration text

}  // namespace
}  // namespace tarvo::sim
