// The simulated RT650's own rules: what its window and keys refuse, the feeder
// and its counters, scripted faults and jams, the configuration text and wire
// log, and the image it delivers (rows in every format ending in a short final
// transfer, scaling and cutting, the page sources). Separator sheets, flagged pages
// and the sheet size it detects are judged by the batch tests.
#include <gtest/gtest.h>

#include <string>

#include "Config.h"
#include "core/Bytes.h"
#include "sim_test_support.h"
#include "support/TempDir.h"

namespace tarvo::sim {
namespace {

using namespace test;
using S = std::array<bool, 2>;  // paper present, page ready

// A bus with the RT650 at 0:0 whose sheets lie at the corner of the feeder.
class SimRig : public ::testing::Test {
 protected:
  void Load(int count, const Page& page) {
    for (int i = 0; i < count; ++i) scanner.AddPage(page);
  }
  Bus bus;
  Rt650& scanner = bus.AddScanner(0, 0);
  const bool placed_ = (scanner.PlaceSheetsAtCorner(true), true);
};

TEST_F(SimRig, ABadWindowIsRefusedAndTheOldOneKeptAndKeysCountFrom1To10) {
  const Bytes window = WindowData(200, 10, 20, 3000, 4000, 2, 4);
  SetWindowRaw(bus, window);
  EXPECT_EQ(SetWindow(bus, WindowData(200, 0, 0, 100, 100, 2, 3)).KeyAsc(), 0x526);  // gray at 3 bits
  EXPECT_TRUE(std::equal(window.begin(), window.end(), scanner.Window().begin()));
  Bytes key(16, 0);
  EXPECT_EQ(Send(bus, {0xDB, 0, 11, 0, 16, 0}, kIn, key).SenseKey(), 5);
  EXPECT_EQ(Send(bus, {0xDA, 0, 0, 0, 16, 0}, kOut, key).SenseKey(), 5);
}

// Counter 2 restarts with each scan.
TEST_F(SimRig, StatusPageAndCountersFollowTheBatchPageByPage) {
  scanner.SetCounters({100, 55, 9});
  Load(3, PatternPage(300, 300, 300));
  SetWindowRaw(bus, WindowData(300, 0, 0, 1200, 1200, 0, 1));
  EXPECT_EQ(Status(bus), (S{true, false}));
  ASSERT_TRUE(Scan(bus).Good());
  for (std::uint32_t page = 1; page <= 3; ++page) {
    EXPECT_EQ(Status(bus), (S{true, true})) << page;
    Bytes counters(12);
    ASSERT_TRUE(ReadData(bus, 0x82, counters).Good());
    EXPECT_EQ(GetBe32(counters, 0) << 8 | GetBe32(counters, 4), (100 + page) << 8 | page);
    EXPECT_EQ(ReadPage(bus).bytes.size(), 300u * 40);  // 300 rows of 300 bits padded to 40 bytes
  }
  EXPECT_EQ(Status(bus), (S{false, false}));
  EXPECT_EQ(scanner.Delivered().size(), 3u);
  EXPECT_EQ(Scan(bus).KeyAsc(), 0x33A);  // empty hopper: not ready, no paper
}

::testing::AssertionResult Configure(Bus& bus, const std::string& text) {
  std::string error;
  if (ApplyConfig(text, bus, error)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << error;
}

TEST(SimFaults, EachKindHitsTheNthOccurrenceOnly) {
  // The outcome of the third TEST UNIT READY; the sense key, ASC and ASCQ of a check condition.
  struct Case { const char* line; std::uint8_t srb, hostAdapter, target; std::array<std::uint8_t, 3> sense; };
  for (const Case& c : {Case{"tur 3 jam", 0x04, 0, 2, {3, 0x80, 0x00}}, Case{"tur 3 illegal 0x2C 0x01", 0x04, 0, 2, {5, 0x2C, 0x01}},
                        Case{"0x00 3 sense 0xB 0x47 3", 0x04, 0, 2, {0xB, 0x47, 0x03}}, Case{"tur 3 busy", 0x04, 0, 8, {}},
                        Case{"tur 3 hastat 0x11", 0x04, 0x11, 0, {}}, Case{"tur 3 srb 0x82", 0x82, 0, 0, {}}}) {
    Bus bus;
    ASSERT_TRUE(Configure(bus, std::string("scanner 0 0\nfault ") + c.line + "\n"));
    std::array<std::uint8_t, 14> sense{};
    if (c.target == 2) sense = {0x70, 0, c.sense[0], 0, 0, 0, 0, 6, 0, 0, 0, 0, c.sense[1], c.sense[2]};
    for (int i = 1; i <= 4; ++i) {
      const Outcome o = Command(bus, {0, 0, 0, 0, 0, 0});
      EXPECT_EQ(o.Good(), i != 3) << c.line << " #" << i;
      if (i != 3) continue;
      EXPECT_EQ((std::array<std::uint32_t, 4>{o.returned, o.srbStatus, o.hostAdapterStatus, o.targetStatus}),
                (std::array<std::uint32_t, 4>{c.srb, c.srb, c.hostAdapter, c.target})) << c.line;
      EXPECT_EQ(o.sense, sense) << c.line;
    }
  }
}

TEST(SimFaults, DataTypeNarrowsTheCommandRepeatExtendsItAndAJamTakesTheSheetOut) {
  Bus bus;
  ASSERT_TRUE(Configure(bus, "synthetic 2 dpi 200\nfault read/0x82 2 not-ready repeat 1\nfault read/0 2 jam\n"));
  Bytes counters(12), status(3), chunk(16384);
  for (const std::uint8_t want : {0, 2, 2, 0}) {
    ASSERT_TRUE(ReadData(bus, 0x84, status).Good());  // other data types do not count
    EXPECT_EQ(ReadData(bus, 0x82, counters).targetStatus, want);
  }
  Rt650& scanner = *bus.ScannerAt(0, 0);
  ASSERT_TRUE(Scan(bus).Good());
  ASSERT_TRUE(ReadData(bus, 0x00, chunk).Good());
  EXPECT_EQ(ReadData(bus, 0x00, chunk).KeyAsc(), 0x380);
  EXPECT_TRUE(!scanner.PageInScanner() && scanner.Delivered()[0].jammed && scanner.HopperCount() == 1u);
}

TEST(SimConfig, BuildsDevicesPagesAndIdentityAndNamesTheLineOfAnError) {
  tarvo::test::TempDir dir;
  tarvo::test::WriteFileBytes(dir.File("a.pbm"), "P1\n2 2\n1 0\n0 1\n");
  const std::string text =
      "# two adapters\nadapters 2\ndisk 0 0\ndevice 0 2 6 OTHERCO SCAN4000 1.00\nscanner 1 4\n"
      "revision 1.07\ncapability 0\nflags 0x80\ncounters 5 0 0\nfile " + dir.File("a.pbm") +
      " dpi 200\nsynthetic 2 seed 9 dpi 600 size letter\ncondition 2 separator 0x81 flag\n";
  Bus bus;
  ASSERT_TRUE(Configure(bus, text));
  EXPECT_EQ(bus.GetSupportInfo(), 0x0102u);
  Rt650* scanner = bus.ScannerAt(1, 4);
  ASSERT_TRUE(scanner != nullptr && bus.ScannerAt(0, 0) == nullptr);
  EXPECT_EQ(scanner->HopperCount() * 1000 + scanner->Counters()[0], 3005u);
  EXPECT_EQ(scanner->Info().identity.revision, "1.07");
  Bytes data(64);
  ASSERT_TRUE(Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 2).Good());
  EXPECT_EQ(std::string(data.begin() + 16, data.begin() + 24), "SCAN4000");
  for (const auto& [bad, error] :
       {std::pair{"scanner 0 0\nfrobnicate 1\n", "line 2: unknown keyword 'frobnicate'"},
        {"\n\nsynthetic 1 dpi 400\n", "line 3: synthetic pages are made at 200, 300 or 600 dpi"}}) {
    Bus other;
    EXPECT_EQ(Configure(other, bad).message(), std::string(error));
  }
}

TEST(SimConfig, WireLogRecordsEveryCommand) {
  tarvo::test::TempDir dir;
  Bus bus;
  ASSERT_TRUE(Configure(bus, "scanner 0 0\nlog " + dir.File("wire.log") + "\nfault tur 1 not-ready\n"));
  Command(bus, {0, 0, 0, 0, 0, 0});
  Bytes data(36);
  Send(bus, {0x12, 0, 0, 0, 36, 0}, kIn, data);
  EXPECT_EQ(tarvo::test::ReadFileBytes(dir.File("wire.log")),
            "0:0 00 00 00 00 00 00 | flags 0x40 len 0 xfer 0 | srb 0x04 ha 0x00 target 0x02"
            " | sense 70 00 02 00 00 00 00 06 00 00 00 00 04 00\n"
            "0:0 12 00 00 00 24 00 | flags 0x48 len 36 xfer 36 | in 06 00 02 02 3B 00 00 00 54 41 52 56 4F 20 "
            "20 20 52 54 36 35 30 20 20 20 20 20 20 20 20 20 20 20 ... | srb 0x01 ha 0x00 target 0x00\n");
}

// Pixel x of a scanner row packed most significant bit first at `bits` a pixel.
unsigned PixelAt(const std::uint8_t* row, std::uint32_t x, unsigned bits) {
  const std::size_t bit = std::size_t{x} * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// Reads chunks of whole rows as the page pipeline does until the scanner ends the page.
Scanned ReadRows(Bus& bus, std::uint32_t rowBytes) { return ReadPage(bus, 32768 / rowBytes * rowBytes); }

TEST(SimImage, RowsArePackedInEveryFormatAndPaddedToWholeWords) {
  auto value = [](std::uint32_t x, std::uint32_t y) { return (x * 7 + y * 13) & 255; };
  for (const auto& [composition, bits] : {std::pair<std::uint8_t, std::uint8_t>{0, 1}, {1, 1}, {2, 2}, {2, 4}, {2, 8}}) {
    Bus bus;
    Rt650& scanner = bus.AddScanner(0, 0);
    scanner.PlaceSheetsAtCorner(true);
    scanner.AddPage(PatternPage(300, 200, 300, value));
    const std::uint32_t width = 37, rows = 50, rowBytes = (bits * width + 31) / 32 * 4;
    SetWindowRaw(bus, WindowData(300, 0, 0, width * 4, rows * 4, composition, bits, 100));
    ASSERT_TRUE(Scan(bus).Good());
    const Scanned page = ReadRows(bus, rowBytes);
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

TEST_F(SimRig, ScalesToTheWindowResolutionAndCutsToTheWindow) {
  // 600 dpi page, black columns at 600..602 (1 inch + 0..2 px); window from
  // 0.5 inch at 200 dpi: output x = (600 - 300) / 3 = 100 is black.
  scanner.AddPage(PatternPage(1200, 600, 600, [](std::uint32_t x, std::uint32_t) { return x >= 600 && x < 603 ? 0 : 255; }));
  SetWindowRaw(bus, WindowData(200, 600, 0, 1200, 1200, 0, 1));
  ASSERT_TRUE(Scan(bus).Good());
  const Scanned page = ReadRows(bus, 28);  // 200 px wide: 7 words
  ASSERT_EQ(page.bytes.size(), 28u * 200);
  for (std::uint32_t y = 0; y < 200; ++y)  // beyond the page's right edge (x >= 150) the scanner sees white
    for (std::uint32_t x = 0; x < 200; ++x) ASSERT_EQ(PixelAt(page.bytes.data() + y * 28, x, 1), x == 100 ? 1u : 0u) << x << "," << y;
}

// A black 1-inch sheet in line art at 100 dpi: 100 rows of 16 bytes, jammed halfway.
TEST_F(SimRig, JamStopsTheTransferHalfway) {
  Load(2, PatternPage(100, 100, 100, [](std::uint32_t, std::uint32_t) { return 0; }));
  ASSERT_TRUE(scanner.SetConditions(0, PageConditions{0, false, true}));
  SetWindowRaw(bus, WindowData(100, 0, 0, 1200, 1200, 0, 1));
  ASSERT_TRUE(Scan(bus).Good());
  Bytes buffer(1600);
  const Outcome jam = ReadData(bus, 0x00, buffer);
  EXPECT_EQ(jam.sense[2] << 16 | jam.sense[12] << 8 | jam.sense[13], 0x038000);  // no ILI
  EXPECT_EQ(bus.Records().back().transferred, 800u);
  EXPECT_TRUE(scanner.Delivered()[0].jammed && !scanner.Scanning());
  EXPECT_EQ(Status(bus), (S{true, false}));
}

Bytes FromText(const std::string& s) { return {s.begin(), s.end()}; }

TEST(SimPnm, TheFourFormatsGiveTheSameRasterAndBrokenFilesAreRefused) {
  // 10 x 2: row 0 "1000000001", row 1 all white.
  Bytes expected(20, 255);
  expected[0] = expected[9] = 0;
  std::string p5 = "P5 10 2 255\n";
  for (const std::uint8_t v : expected) p5.push_back(static_cast<char>(v));
  for (const std::string& source :
       {std::string("P1\n# a comment\n10 2\n1 0 0 0 0 0 0 0 0 1\n0000000000\n"),
        std::string("P2\n10 2\n15\n0 15 15 15 15 15 15 15 15 0\n15 15 15 15 15 15 15 15 15 15\n"),
        std::string("P4\n# comment\n10 2\n") + char(0x80) + char(0x40) + char(0) + char(0), p5}) {
    GrayRaster raster;
    ASSERT_EQ(ParsePnm(FromText(source), raster), PnmError::kNone) << source.substr(0, 2);
    EXPECT_EQ(raster.width * 100 + raster.height, 1002u);
    EXPECT_EQ(raster.pixels, expected) << source.substr(0, 2);
  }
  // Claimed sizes are not allocated before the data is there.
  for (const auto& [text, error] : {std::pair<std::string, PnmError>{"P3\n1 1\n255\n0 0 0\n", PnmError::kFormat},
                                    {"P5\n40000 40000\n255\n\x01\x02", PnmError::kTruncated},
                                    {"P2\n2 2\n255\n1 2 3", PnmError::kTruncated},
                                    {"P5\n99999999 1\n255\n", PnmError::kFormat}}) {
    GrayRaster raster;
    EXPECT_EQ(ParsePnm(FromText(text), raster), error) << text;
  }
}

}  // namespace
}  // namespace tarvo::sim
