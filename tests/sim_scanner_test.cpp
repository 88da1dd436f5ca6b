// The simulated RT650 as the driver sees it: identification, the devices on
// the bus, what its settings refuse, the feeder through a batch, counters,
// page conditions and the imprinter.
#include <gtest/gtest.h>

#include <string>

#include "core/Bytes.h"
#include "sim_test_support.h"

namespace tarvo::sim {
namespace {

using test::BlankPage;
using test::kIn;
using test::kOut;
using test::ReadPage;
using Bytes = std::vector<std::uint8_t>;
class SimSettings : public test::CornerRig {};
class SimFeeder : public test::CornerRig {};
class SimImprinter : public test::CornerRig {};

std::string Text(const Bytes& data, std::size_t at, std::size_t length) {
  return std::string(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + length));
}

// An illegal request with the given additional sense code.
void ExpectIllegal(const test::Outcome& o, std::uint8_t asc) {
  EXPECT_EQ(o.targetStatus, 2);
  EXPECT_EQ(o.SenseKey(), 5);
  EXPECT_EQ(o.sense[12], asc);
}

TEST(SimInquiry, StandardDataAndTheVendorPage) {
  Bus bus;
  bus.AddScanner(0, 0);
  ScannerInfo info;
  info.identity.revision = "1.07";
  info.capability = 0x12345678;
  info.vendorFlags = 0x20;
  bus.AddScanner(0, 1, info);

  Bytes data(64, 0xEE);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data).Good());
  EXPECT_EQ(data[0], 0x06);  // scanner device
  EXPECT_EQ(data[4], 59);
  EXPECT_EQ(Text(data, 8, 28), "TARVO   RT650           2.10");  // padded with spaces
  // The allocation length cuts the data.
  data.assign(64, 0xEE);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 36, 0}, kIn, data, 0, 1).Good());
  EXPECT_EQ(Text(data, 32, 4), "1.07");
  EXPECT_EQ(data[36], 0xEE);
  EXPECT_EQ(bus.Records().back().transferred, 36u);

  Bytes vpd(40, 0);
  ASSERT_TRUE(test::Send(bus, {0x12, 1, 0xF0, 0, 40, 0}, kIn, vpd, 0, 1).Good());
  EXPECT_EQ(vpd[1], 0xF0);
  EXPECT_EQ(GetBe32(vpd, 34), 0x12345678u);
  EXPECT_EQ(vpd[39], 0x20);
  ExpectIllegal(test::Send(bus, {0x12, 1, 0xF1, 0, 40, 0}, kIn, vpd), 0x24);
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
    SCOPED_TRACE(testing::Message() << int{c.adapter} << ":" << int{c.target});
    Bytes data(64, 0);
    const test::Outcome o = test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, c.adapter, c.target);
    EXPECT_EQ(o.srbStatus, c.srbStatus);
    EXPECT_EQ(o.returned, c.srbStatus);
    if (c.vendor != nullptr) {
      EXPECT_EQ(Text(data, 8, 8), c.vendor);
    }
  }
  // A disk has no vital product data and knows no scanner commands.
  Bytes vpd(40), page(20);
  ExpectIllegal(test::Send(bus, {0x12, 1, 0xF0, 0, 40, 0}, kIn, vpd, 0, 1), 0x24);
  ExpectIllegal(test::Send(bus, {0xD5, 0, 0x33, 0, 20, 0}, kIn, page, 0, 1), 0x20);
}

TEST_F(SimSettings, UnitsGammaAndKeysKeptAndBadBlocksRefused) {
  Bytes units{0, 0, 0, 0, 0x03, 6, 0, 0, 0x02, 0x58, 0, 0};  // divisor 600
  ASSERT_TRUE(test::Send(bus, {0x15, 0x10, 0, 0, 12, 0}, kOut, units).Good());
  EXPECT_EQ(scanner.MeasurementDivisor(), 600u);

  // Gray needs 2, 4 or 8 bits: the window is refused and the old one kept.
  Bytes window = test::WindowData(200, 10, 20, 3000, 4000, 2, 4);
  ASSERT_TRUE(test::SetWindow(bus, window).Good());
  Bytes badWindow = test::WindowData(200, 0, 0, 100, 100, 2, 3);
  ExpectIllegal(test::SetWindow(bus, badWindow), 0x26);
  EXPECT_TRUE(std::equal(window.begin(), window.end(), scanner.Window().begin()));
  Bytes status = test::ScanModePage(0);  // the status page cannot be defined
  status[4] = 0x33;
  EXPECT_EQ(test::DefineScanMode(bus, status).SenseKey(), 5);

  // Two gamma tables apart; table 3 is the identity.
  Bytes gamma1(256), gamma2(256, 7), identity(256);
  for (int i = 0; i < 256; ++i) gamma1[i] = static_cast<std::uint8_t>(255 - i), identity[i] = i;
  ASSERT_TRUE(test::Send(bus, {0x2A, 0, 0x03, 0, 0, 1, 0, 1, 0, 0}, kOut, gamma1).Good());
  ASSERT_TRUE(test::Send(bus, {0x2A, 0, 0x03, 0, 0, 2, 0, 1, 0, 0}, kOut, gamma2).Good());
  for (const auto& [q, expected] : {std::pair{1, gamma1}, {2, gamma2}, {3, identity}}) {
    Bytes read(256);
    ASSERT_TRUE(test::ReadData(bus, 0x03, read, static_cast<std::uint16_t>(q)).Good()) << q;
    EXPECT_EQ(read, expected) << q;
  }

  Bytes key(16, 0);
  key[0] = 4;
  key[2] = 0x40;  // code 0x80
  ASSERT_TRUE(test::Send(bus, {0xDA, 0, 0, 0, 16, 0}, kOut, key).Good());
  Bytes read(16, 0xEE);
  ASSERT_TRUE(test::Send(bus, {0xDB, 0, 4, 0, 16, 0}, kIn, read).Good());
  EXPECT_EQ(read[2], 0x40);
  EXPECT_EQ(read[5], 0);
  EXPECT_EQ(test::Send(bus, {0xDB, 0, 11, 0, 16, 0}, kIn, read).SenseKey(), 5);
  key[0] = 0;  // keys count from 1
  EXPECT_EQ(test::Send(bus, {0xDA, 0, 0, 0, 16, 0}, kOut, key).SenseKey(), 5);
}

TEST_F(SimFeeder, StatusPageFollowsTheBatchPageByPage) {
  Load(3, BlankPage(300, 300, 300));
  test::SetWindowRaw(bus, test::WindowData(300, 0, 0, 1200, 1200, 0, 1));

  using S = std::array<bool, 2>;  // paper present, page ready
  EXPECT_EQ(test::Status(bus), (S{true, false}));
  ASSERT_TRUE(test::Scan(bus).Good());
  for (std::uint32_t page = 1; page <= 3; ++page) {
    EXPECT_EQ(test::Status(bus), (S{true, true})) << page;
    Bytes counters(12);
    ASSERT_TRUE(test::ReadData(bus, 0x82, counters).Good());
    EXPECT_EQ(counters[3], page);
    EXPECT_EQ(counters[7], page);
    EXPECT_EQ(ReadPage(bus).bytes.size(), 300u * 40);  // 300 rows of 300 bits padded to 40 bytes
  }
  EXPECT_EQ(test::Status(bus), (S{false, false}));
  EXPECT_EQ(scanner.Delivered().size(), 3u);
  EXPECT_EQ(test::Scan(bus).sense[12], 0x3A);  // empty hopper: no paper
}

TEST_F(SimFeeder, SingleSheetFeedStopsAfterEachPageAndCounterTwoRestartsPerBatch) {
  scanner.SetCounters({100, 55, 9});
  Load(4, BlankPage(64, 64, 300));
  test::DefinePage(bus, test::ScanModePage(0));  // continuous feed off

  ASSERT_TRUE(test::Scan(bus).Good());
  ReadPage(bus);
  EXPECT_EQ(test::Status(bus), (std::array<bool, 2>{true, false}));
  ASSERT_TRUE(test::Scan(bus).Good());
  EXPECT_EQ(test::Status(bus), (std::array<bool, 2>{true, true}));
  EXPECT_EQ(scanner.Counters(), (std::array<std::uint32_t, 3>{102, 2, 9}));
  ReadPage(bus);
  ASSERT_TRUE(test::Command(bus, {0xD8, 0, 0, 0, 0, 0}).Good());
  ASSERT_TRUE(test::Scan(bus).Good());
  EXPECT_EQ(scanner.Counters(), (std::array<std::uint32_t, 3>{103, 1, 9}));

  // Object position loads the last sheet and unloads it; then nothing is left.
  ReadPage(bus);
  ASSERT_TRUE(test::Command(bus, {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
  EXPECT_TRUE(scanner.PageInScanner());
  EXPECT_EQ(scanner.HopperCount(), 0u);
  ASSERT_TRUE(test::Command(bus, {0x31, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
  EXPECT_FALSE(scanner.PageInScanner());
  const test::Outcome empty = test::Command(bus, {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(empty.SenseKey() << 8 | empty.sense[12], 0x33A);  // not ready: no paper
}

TEST_F(SimFeeder, SeparatorAndFlagBelongToTheirPages) {
  Load(3, BlankPage(64, 64, 300));
  ASSERT_TRUE(scanner.SetConditions(1, PageConditions{0x82, false, false}));
  ASSERT_TRUE(scanner.SetConditions(2, PageConditions{0x00, true, false}));
  EXPECT_FALSE(scanner.SetConditions(3, PageConditions{}));
  ASSERT_TRUE(test::Scan(bus).Good());
  const std::uint8_t separators[] = {0x00, 0x82, 0x00}, flags[] = {0, 0, 1};
  for (int page = 0; page < 3; ++page) {
    SCOPED_TRACE(page);
    Bytes separator(1), status(3);
    ASSERT_TRUE(test::ReadData(bus, 0x81, separator).Good());
    EXPECT_EQ(separator[0], separators[page]);
    for (int read = 0; read < 2; ++read) {  // a flagged page stays until its image is read
      ASSERT_TRUE(test::ReadData(bus, 0x84, status).Good());
      EXPECT_EQ(status[0] & 1, flags[page]);
    }
    ReadPage(bus);
  }
}

TEST_F(SimImprinter, StampsTextAndCounterWhenTheAddonIsOn) {
  scanner.SetCounters({0, 0, 41});
  Load(2, BlankPage(600, 600, 300));
  test::DefinePage(bus, test::ScanModePage(0x40 | 0x08));  // continuous feed, addon on
  Bytes addon(90, 0);
  addon[4] = 0x34, addon[5] = 0x54;
  std::memcpy(addon.data() + 4 + 2, "BATCH", 5);
  addon[4 + 67] = 10;    // x 10 mm
  addon[4 + 69] = 20;    // y 20 mm
  addon[4 + 71] = 0x40;  // counter on
  addon[4 + 74] = 2;     // count up by 2
  test::DefinePage(bus, addon);
  test::SetWindowRaw(bus, test::WindowData(300, 0, 0, 2400, 2400, 0, 1));

  ASSERT_TRUE(test::Scan(bus).Good());
  const Bytes first = ReadPage(bus).bytes;
  test::Status(bus);
  ReadPage(bus);
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

}  // namespace
}  // namespace tarvo::sim
