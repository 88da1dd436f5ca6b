// The simulated RT650 as the driver sees it: identification, settings kept
// across commands, the feeder through a batch, counters, page conditions and
// the imprinter.
#include <gtest/gtest.h>

#include <string>

#include "sim_test_support.h"

namespace tarvo::sim {
namespace {

using test::B;
using test::kIn;
using test::kOut;

Page BlankPage(std::uint32_t width, std::uint32_t height, std::uint32_t dpi,
               std::uint8_t value = 255) {
  Page page;
  page.dpi = dpi;
  page.width = width;
  page.height = height;
  page.raster.width = width;
  page.raster.height = height;
  page.raster.pixels.assign(std::size_t{width} * height, value);
  page.origin = "blank";
  return page;
}

// Reads the whole image of the page in the scanner; returns the bytes.
std::vector<std::uint8_t> ReadWholePage(aspi::Provider& p) {
  std::vector<std::uint8_t> image;
  for (int guard = 0; guard < 100000; ++guard) {
    std::vector<std::uint8_t> chunk(32768);
    const test::Outcome o = test::ReadData(p, 0x00, chunk);
    const std::size_t got = o.targetStatus == 2 ? chunk.size() - o.Information() : chunk.size();
    image.insert(image.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (o.targetStatus != 0) break;
  }
  return image;
}

std::string Text(const std::vector<std::uint8_t>& data, std::size_t at, std::size_t length) {
  return std::string(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + length));
}

TEST(SimInquiry, StandardDataNamesTheScannerPaddedWithSpaces) {
  Bus bus;
  bus.AddScanner(0, 0);
  std::vector<std::uint8_t> data(64, 0xEE);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data).Good());
  EXPECT_EQ(data[0], 0x06);  // scanner device
  EXPECT_EQ(Text(data, 8, 8), "TARVO   ");
  EXPECT_EQ(Text(data, 16, 16), "RT650           ");
  EXPECT_EQ(Text(data, 32, 4), "2.10");
  EXPECT_EQ(data[4], 59);
}

TEST(SimInquiry, AllocationLengthCutsTheDataAndRevisionIsConfigurable) {
  Bus bus;
  ScannerInfo info;
  info.identity.revision = "1.07";
  bus.AddScanner(0, 0, info);
  std::vector<std::uint8_t> data(64, 0xEE);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 36, 0}, kIn, data).Good());
  EXPECT_EQ(Text(data, 32, 4), "1.07");
  EXPECT_EQ(data[36], 0xEE);
  EXPECT_EQ(bus.Records().back().transferred, 36u);
}

TEST(SimInquiry, VendorPageCarriesCapabilityAndFlags) {
  Bus bus;
  ScannerInfo info;
  info.capability = 0x12345678;
  info.vendorFlags = 0x20;
  bus.AddScanner(0, 0, info);
  std::vector<std::uint8_t> data(40, 0);
  ASSERT_TRUE(test::Send(bus, {0x12, 1, 0xF0, 0, 40, 0}, kIn, data).Good());
  EXPECT_EQ(data[1], 0xF0);
  EXPECT_EQ(data[34], 0x12);
  EXPECT_EQ(data[35], 0x34);
  EXPECT_EQ(data[36], 0x56);
  EXPECT_EQ(data[37], 0x78);
  EXPECT_EQ(data[39], 0x20);

  const test::Outcome bad = test::Send(bus, {0x12, 1, 0xF1, 0, 40, 0}, kIn, data);
  EXPECT_EQ(bad.targetStatus, 2);
  EXPECT_EQ(bad.SenseKey(), 5);
  EXPECT_EQ(bad.sense[12], 0x24);
}

TEST(SimBus, DevicesAnswerAtTheirAddressesAndEmptyTargetsDoNot) {
  Bus bus(2);
  bus.AddDevice(0, 1, Identity{0x00, "QUANTEX", "FIRECREST", "1.0"});
  bus.AddDevice(0, 2, Identity{0x06, "OTHERCO", "SCAN 4000", "1.00"});
  bus.AddScanner(1, 3);
  EXPECT_EQ(bus.GetSupportInfo(), 0x0102u);

  struct Case {
    std::uint8_t adapter, target, srbStatus;
    const char* vendor;
  };
  const Case cases[] = {{0, 1, 0x01, "QUANTEX "}, {0, 2, 0x01, "OTHERCO "},
                        {1, 3, 0x01, "TARVO   "}, {0, 5, 0x82, nullptr},
                        {1, 7, 0x82, nullptr},    {2, 0, 0x81, nullptr}};
  for (const Case& c : cases) {
    std::vector<std::uint8_t> data(64, 0);
    const test::Outcome o = test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, c.adapter, c.target);
    EXPECT_EQ(o.srbStatus, c.srbStatus) << int(c.adapter) << ":" << int(c.target);
    EXPECT_EQ(o.returned, c.srbStatus);
    if (c.vendor != nullptr) {
      EXPECT_EQ(Text(data, 8, 8), c.vendor);
    }
  }
  // A disk has no vital product data and knows no scanner commands.
  std::vector<std::uint8_t> vpd(40);
  const test::Outcome noVpd = test::Send(bus, {0x12, 1, 0xF0, 0, 40, 0}, kIn, vpd, 0, 1);
  EXPECT_EQ(noVpd.SenseKey(), 5);
  EXPECT_EQ(noVpd.sense[12], 0x24);
  std::vector<std::uint8_t> page(20);
  const test::Outcome o = test::Send(bus, {0xD5, 0, 0x33, 0, 20, 0}, kIn, page, 0, 1);
  EXPECT_EQ(o.SenseKey(), 5);
  EXPECT_EQ(o.sense[12], 0x20);
}

TEST(SimSettings, ModeSelectWindowPagesGammaAndKeysAreKept) {
  Bus bus;
  Rt650& scanner = bus.AddScanner(0, 0);
  std::vector<std::uint8_t> units{0, 0, 0, 0, 0x03, 6, 0, 0, 0x02, 0x58, 0, 0};  // divisor 600
  ASSERT_TRUE(test::Send(bus, {0x15, 0x10, 0, 0, 12, 0}, kOut, units).Good());
  EXPECT_EQ(scanner.MeasurementDivisor(), 600u);

  std::vector<std::uint8_t> window = test::WindowData(200, 10, 20, 3000, 4000, 2, 4);
  ASSERT_TRUE(test::SetWindow(bus, window).Good());
  std::vector<std::uint8_t> back(52, 0);
  ASSERT_TRUE(test::Send(bus, {0x25, 1, 0, 0, 0, 0, 0, 0, 52, 0}, kIn, back).Good());
  EXPECT_EQ(back, window);
  std::vector<std::uint8_t> badWindow =
      test::WindowData(200, 0, 0, 100, 100, 2, 3);  // gray needs 2, 4 or 8
  const test::Outcome rejected = test::SetWindow(bus, badWindow);
  EXPECT_EQ(rejected.SenseKey(), 5);
  EXPECT_EQ(rejected.sense[12], 0x26);
  EXPECT_TRUE(std::equal(window.begin(), window.end(), scanner.Window().begin()));

  for (const std::uint8_t code : {0x32, 0x36, 0x37}) {
    std::vector<std::uint8_t> page(20, 0);
    page[4] = code;
    page[5] = 14;
    page[4 + 3] = 0x11;
    page[4 + 13] = code;
    ASSERT_TRUE(test::DefineScanMode(bus, page).Good());
    std::vector<std::uint8_t> read(20, 0xEE);
    ASSERT_TRUE(test::GetScanMode(bus, code, read).Good());
    EXPECT_TRUE(std::equal(page.begin() + 4, page.end(), read.begin() + 4)) << int(code);
  }
  std::vector<std::uint8_t> addon(90, 0);
  addon[4] = 0x34;
  addon[5] = 0x54;
  addon[4 + 2] = 'X';
  ASSERT_TRUE(test::DefineScanMode(bus, addon).Good());
  EXPECT_EQ(scanner.ScanModeData(0x34), std::vector<std::uint8_t>(addon.begin(), addon.end()));
  std::vector<std::uint8_t> status(20, 0);
  status[4] = 0x33;
  status[5] = 14;
  EXPECT_EQ(test::DefineScanMode(bus, status).SenseKey(), 5);

  std::vector<std::uint8_t> gamma1(256), gamma2(256);
  for (int i = 0; i < 256; ++i) gamma1[i] = static_cast<std::uint8_t>(255 - i), gamma2[i] = 7;
  ASSERT_TRUE(test::Send(bus, {0x2A, 0, 0x03, 0, 0, 1, 0, 1, 0, 0}, kOut, gamma1).Good());
  ASSERT_TRUE(test::Send(bus, {0x2A, 0, 0x03, 0, 0, 2, 0, 1, 0, 0}, kOut, gamma2).Good());
  for (const auto& [q, expected] : {std::pair{1, gamma1}, std::pair{2, gamma2}}) {
    std::vector<std::uint8_t> read(256);
    ASSERT_TRUE(test::ReadData(bus, 0x03, read, static_cast<std::uint16_t>(q)).Good());
    EXPECT_EQ(read, expected);
  }
  std::vector<std::uint8_t> identity(256);
  ASSERT_TRUE(test::ReadData(bus, 0x03, identity, 3).Good());
  EXPECT_EQ(identity[200], 200);

  std::vector<std::uint8_t> key(16, 0);
  key[0] = 4;
  key[2] = 0x40;  // code 0x80
  ASSERT_TRUE(test::Send(bus, {0xDA, 0, 0, 0, 16, 0}, kOut, key).Good());
  std::vector<std::uint8_t> read(16, 0xEE);
  ASSERT_TRUE(test::Send(bus, {0xDB, 0, 4, 0, 16, 0}, kIn, read).Good());
  EXPECT_EQ(read[2], 0x40);
  EXPECT_EQ(read[5], 0);
  EXPECT_EQ(test::Send(bus, {0xDB, 0, 11, 0, 16, 0}, kIn, read).SenseKey(), 5);
}

TEST(SimFeeder, StatusPageFollowsTheBatchPageByPage) {
  Bus bus;
  Rt650& scanner = bus.AddScanner(0, 0);
  for (int i = 0; i < 3; ++i) scanner.AddPage(BlankPage(300, 300, 300));
  std::vector<std::uint8_t> window = test::WindowData(300, 0, 0, 1200, 1200, 0, 1);
  ASSERT_TRUE(test::SetWindow(bus, window).Good());

  using S = std::array<bool, 2>;  // paper present, page ready
  EXPECT_EQ(test::Status(bus), (S{true, false}));
  ASSERT_TRUE(test::Scan(bus).Good());
  for (std::uint32_t page = 1; page <= 3; ++page) {
    EXPECT_EQ(test::Status(bus), (S{true, true})) << page;
    std::vector<std::uint8_t> counters(12);
    ASSERT_TRUE(test::ReadData(bus, 0x82, counters).Good());
    EXPECT_EQ(counters[3], page);
    EXPECT_EQ(counters[7], page);
    EXPECT_EQ(ReadWholePage(bus).size(), 300u * 40);  // 300 rows of 300 bits padded to 40 bytes
  }
  EXPECT_EQ(test::Status(bus), (S{false, false}));
  EXPECT_EQ(scanner.Delivered().size(), 3u);
  EXPECT_EQ(test::Scan(bus).sense[12], 0x3A);  // empty hopper: no paper
}

TEST(SimFeeder, SingleSheetFeedStopsAfterEachPageAndCounterTwoRestartsPerBatch) {
  Bus bus;
  Rt650& scanner = bus.AddScanner(0, 0);
  scanner.SetCounters({100, 55, 9});
  for (int i = 0; i < 3; ++i) scanner.AddPage(BlankPage(64, 64, 300));
  std::vector<std::uint8_t> mode = test::ScanModePage(0);  // continuous feed off
  ASSERT_TRUE(test::DefineScanMode(bus, mode).Good());

  ASSERT_TRUE(test::Scan(bus).Good());
  ReadWholePage(bus);
  EXPECT_EQ(test::Status(bus), (std::array<bool, 2>{true, false}));
  ASSERT_TRUE(test::Scan(bus).Good());
  EXPECT_EQ(test::Status(bus), (std::array<bool, 2>{true, true}));
  EXPECT_EQ(scanner.Counters(), (std::array<std::uint32_t, 3>{102, 2, 9}));
  ReadWholePage(bus);
  ASSERT_TRUE(test::Command(bus, {0xD8, 0, 0, 0, 0, 0}).Good());
  ASSERT_TRUE(test::Scan(bus).Good());
  EXPECT_EQ(scanner.Counters(), (std::array<std::uint32_t, 3>{103, 1, 9}));
}

TEST(SimFeeder, ObjectPositionLoadsAndUnloadsASheet) {
  Bus bus;
  Rt650& scanner = bus.AddScanner(0, 0);
  scanner.AddPage(BlankPage(64, 64, 300));
  ASSERT_TRUE(test::Command(bus, {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
  EXPECT_TRUE(scanner.PageInScanner());
  EXPECT_EQ(scanner.HopperCount(), 0u);
  ASSERT_TRUE(test::Command(bus, {0x31, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
  EXPECT_FALSE(scanner.PageInScanner());
  const test::Outcome empty = test::Command(bus, {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(empty.SenseKey(), 3);
  EXPECT_EQ(empty.sense[12], 0x3A);
}

TEST(SimFeeder, SeparatorAndFlagBelongToTheirPages) {
  Bus bus;
  Rt650& scanner = bus.AddScanner(0, 0);
  for (int i = 0; i < 3; ++i) scanner.AddPage(BlankPage(64, 64, 300));
  ASSERT_TRUE(scanner.SetConditions(1, PageConditions{0x82, false, false}));
  ASSERT_TRUE(scanner.SetConditions(2, PageConditions{0x00, true, false}));
  EXPECT_FALSE(scanner.SetConditions(3, PageConditions{}));
  ASSERT_TRUE(test::Scan(bus).Good());
  const std::uint8_t separators[] = {0x00, 0x82, 0x00};
  const std::uint8_t flags[] = {0, 0, 1};
  for (int page = 0; page < 3; ++page) {
    std::vector<std::uint8_t> separator(1), status(3);
    ASSERT_TRUE(test::ReadData(bus, 0x81, separator).Good());
    ASSERT_TRUE(test::ReadData(bus, 0x84, status).Good());
    EXPECT_EQ(separator[0], separators[page]) << page;
    EXPECT_EQ(status[0] & 1, flags[page]) << page;
    // A flagged page stays until its image is read.
    ASSERT_TRUE(test::ReadData(bus, 0x84, status).Good());
    EXPECT_EQ(status[0] & 1, flags[page]) << page;
    ReadWholePage(bus);
  }
}

TEST(SimImprinter, StampsTextAndCounterWhenTheAddonIsOn) {
  Bus bus;
  Rt650& scanner = bus.AddScanner(0, 0);
  scanner.SetCounters({0, 0, 41});
  for (int i = 0; i < 2; ++i) scanner.AddPage(BlankPage(600, 600, 300));
  std::vector<std::uint8_t> mode = test::ScanModePage(0x40 | 0x08);  // continuous feed, addon on
  ASSERT_TRUE(test::DefineScanMode(bus, mode).Good());
  std::vector<std::uint8_t> addon(90, 0);
  addon[4] = 0x34, addon[5] = 0x54;
  const std::string text = "BATCH";
  std::copy(text.begin(), text.end(), addon.begin() + 4 + 2);
  addon[4 + 67] = 10;    // x 10 mm
  addon[4 + 69] = 20;    // y 20 mm
  addon[4 + 71] = 0x40;  // counter on
  addon[4 + 74] = 2;     // count up by 2
  ASSERT_TRUE(test::DefineScanMode(bus, addon).Good());
  std::vector<std::uint8_t> window = test::WindowData(300, 0, 0, 2400, 2400, 0, 1);
  ASSERT_TRUE(test::SetWindow(bus, window).Good());

  ASSERT_TRUE(test::Scan(bus).Good());
  const std::vector<std::uint8_t> first = ReadWholePage(bus);
  test::Status(bus);
  ReadWholePage(bus);
  ASSERT_EQ(scanner.Delivered().size(), 2u);
  EXPECT_EQ(scanner.Delivered()[0].imprint, "BATCH 41");
  EXPECT_EQ(scanner.Delivered()[1].imprint, "BATCH 43");
  EXPECT_EQ(scanner.Counters()[2], 45u);
  // Marks only in the band below y = 20 mm (236 rows at 300 dpi), none elsewhere.
  std::size_t above = 0, band = 0;
  for (std::size_t row = 0; row < 600; ++row) {
    for (std::size_t i = 0; i < 76; ++i) {
      const int bits = __builtin_popcount(first[row * 76 + i]);
      (row >= 236 && row < 236 + 21 ? band : above) += static_cast<std::size_t>(bits);
    }
  }
  EXPECT_GT(band, 100u);
  EXPECT_EQ(above, 0u);
}

TEST(SimRecord, KeepsEveryCommandWithItsDataInOrder) {
  Bus bus;
  bus.AddScanner(0, 0);
  std::vector<std::uint8_t> window = test::WindowData(300, 0, 0, 1200, 1200, 0, 1);
  ASSERT_TRUE(test::Command(bus, {0x00, 0, 0, 0, 0, 0}).Good());
  ASSERT_TRUE(test::SetWindow(bus, window).Good());
  std::vector<std::uint8_t> status(20);
  test::GetScanMode(bus, 0x33, status);
  const auto& records = bus.Records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].cdb, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(records[1].Opcode(), 0x24);
  EXPECT_EQ(records[1].dataOut, window);
  EXPECT_EQ(records[1].flags, 0x50);
  EXPECT_EQ(records[2].dataIn.size(), 20u);
  EXPECT_EQ(records[2].dataIn[4], 0x33);
  bus.ClearRecords();
  EXPECT_TRUE(bus.Records().empty());
}

}  // namespace
}  // namespace tarvo::sim
