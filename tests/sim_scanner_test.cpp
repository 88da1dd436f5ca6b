// The simulated RT650 as the driver sees it: what its settings keep and
// refuse, the feeder through a batch; scripted faults, the configuration text
// and the command record. Separator sheets and flagged pages are judged by
// the batch tests.
#include <gtest/gtest.h>

#include <string>

#include "Config.h"
#include "core/Bytes.h"
#include "sim_test_support.h"
#include "support/TempDir.h"

namespace tarvo::sim {
namespace {

using test::PatternPage;
using test::kIn;
using test::kOut;
using test::ReadPage;
using Bytes = std::vector<std::uint8_t>;
using S = std::array<bool, 2>;  // paper present, page ready
class SimRig : public test::CornerRig {};

std::string Text(const Bytes& data, std::size_t at, std::size_t length) {
  return std::string(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + length));
}
// Sense key and additional sense code of a check condition, 0 for none.
int KeyAsc(const test::Outcome& o) { return o.targetStatus == 2 ? o.SenseKey() << 8 | o.sense[12] : 0; }

TEST_F(SimRig, WindowAndKeysKeptAndBadBlocksRefused) {
  // Gray needs 2, 4 or 8 bits: the window is refused and the old one kept.
  const Bytes window = test::WindowData(200, 10, 20, 3000, 4000, 2, 4);
  Bytes badWindow = test::WindowData(200, 0, 0, 100, 100, 2, 3);
  test::SetWindowRaw(bus, window);
  EXPECT_EQ(KeyAsc(test::SetWindow(bus, badWindow)), 0x526);
  EXPECT_TRUE(std::equal(window.begin(), window.end(), scanner.Window().begin()));
  // Function keys count from 1 to 10.
  Bytes key(16, 0), read(16, 0xEE);
  key[0] = 4, key[2] = 0x40;
  ASSERT_TRUE(test::Send(bus, {0xDA, 0, 0, 0, 16, 0}, kOut, key).Good());
  ASSERT_TRUE(test::Send(bus, {0xDB, 0, 4, 0, 16, 0}, kIn, read).Good());
  EXPECT_EQ(Text(read, 2, 4), Text(key, 2, 4));
  EXPECT_EQ(test::Send(bus, {0xDB, 0, 11, 0, 16, 0}, kIn, read).SenseKey(), 5);
  key[0] = 0;
  EXPECT_EQ(test::Send(bus, {0xDA, 0, 0, 0, 16, 0}, kOut, key).SenseKey(), 5);
}

TEST_F(SimRig, StatusPageAndCountersFollowTheBatchPageByPage) {
  scanner.SetCounters({100, 55, 9});
  Load(3, PatternPage(300, 300, 300));
  test::SetWindowRaw(bus, test::WindowData(300, 0, 0, 1200, 1200, 0, 1));
  EXPECT_EQ(test::Status(bus), (S{true, false}));
  ASSERT_TRUE(test::Scan(bus).Good());
  for (std::uint32_t page = 1; page <= 3; ++page) {
    EXPECT_EQ(test::Status(bus), (S{true, true})) << page;
    Bytes counters(12);
    ASSERT_TRUE(test::ReadData(bus, 0x82, counters).Good());
    EXPECT_EQ(GetBe32(counters, 0) << 8 | GetBe32(counters, 4), (100 + page) << 8 | page);
    EXPECT_EQ(ReadPage(bus).bytes.size(), 300u * 40);  // 300 rows of 300 bits padded to 40 bytes
  }
  EXPECT_EQ(test::Status(bus), (S{false, false}));
  EXPECT_EQ(scanner.Delivered().size(), 3u);
  EXPECT_EQ(KeyAsc(test::Scan(bus)), 0x33A);  // empty hopper: not ready, no paper
}

TEST_F(SimRig, SingleSheetFeedStopsAfterEachPageAndCounterTwoRestartsPerBatch) {
  Load(4, PatternPage(64, 64, 300));
  test::DefinePage(bus, test::ScanModePage(0));  // continuous feed off
  ASSERT_TRUE(test::Scan(bus).Good());
  ReadPage(bus);
  EXPECT_EQ(test::Status(bus), (S{true, false}));
  ASSERT_TRUE(test::Scan(bus).Good());
  EXPECT_EQ(test::Status(bus), (S{true, true}));
  ReadPage(bus);
  ASSERT_TRUE(test::Command(bus, {0xD8, 0, 0, 0, 0, 0}).Good());
  ASSERT_TRUE(test::Scan(bus).Good());
  EXPECT_EQ(scanner.Counters(), (std::array<std::uint32_t, 3>{3, 1, 0}));
  // Object position loads the last sheet and unloads it; then nothing is left.
  ReadPage(bus);
  for (const std::uint8_t load : {1, 0}) {
    ASSERT_TRUE(test::Command(bus, {0x31, load, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
    EXPECT_EQ(scanner.PageInScanner(), load == 1);
    EXPECT_EQ(scanner.HopperCount(), 0u);
  }
  EXPECT_EQ(KeyAsc(test::Command(bus, {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0})), 0x33A);
}

// ---- scripted faults and the configuration text ---------------------------------------

::testing::AssertionResult Configure(Bus& bus, const std::string& text) {
  std::string error;
  if (ApplyConfig(text, bus, error)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << error;
}

TEST(SimFaults, EachKindHitsTheNthOccurrenceOnly) {
  struct Case {
    const char* line;
    std::uint8_t srb, hostAdapter, target;
    std::array<std::uint8_t, 3> sense;  // key, ASC, ASCQ when target is 2
  };
  for (const Case& c : {Case{"fault tur 3 jam", 0x04, 0, 2, {3, 0x80, 0x00}},
                        Case{"fault tur 3 illegal 0x2C 0x01", 0x04, 0, 2, {5, 0x2C, 0x01}},
                        Case{"fault 0x00 3 sense 0xB 0x47 3", 0x04, 0, 2, {0xB, 0x47, 0x03}},
                        Case{"fault tur 3 busy", 0x04, 0, 8, {}}, Case{"fault tur 3 hastat 0x11", 0x04, 0x11, 0, {}},
                        Case{"fault tur 3 srb 0x82", 0x82, 0, 0, {}}}) {
    Bus bus;
    ASSERT_TRUE(Configure(bus, std::string("scanner 0 0\n") + c.line + "\n"));
    std::array<std::uint8_t, 14> sense{};
    if (c.target == 2) sense = {0x70, 0, c.sense[0], 0, 0, 0, 0, 6, 0, 0, 0, 0, c.sense[1], c.sense[2]};
    for (int i = 1; i <= 4; ++i) {
      const test::Outcome o = test::Command(bus, {0, 0, 0, 0, 0, 0});
      EXPECT_EQ(o.Good(), i != 3) << c.line << " #" << i;
      if (i != 3) continue;
      EXPECT_EQ((std::array<std::uint32_t, 4>{o.returned, o.srbStatus, o.hostAdapterStatus, o.targetStatus}),
                (std::array<std::uint32_t, 4>{c.srb, c.srb, c.hostAdapter, c.target})) << c.line;
      EXPECT_EQ(o.sense, sense) << c.line;
    }
  }
}

TEST(SimFaults, DataTypeNarrowsTheCommandAndRepeatExtendsTheFault) {
  Bus bus;
  ASSERT_TRUE(Configure(bus, "synthetic 1\nfault read/0x82 2 not-ready repeat 1\n"));
  Bytes counters(12), status(3);
  for (const std::uint8_t want : {0, 2, 2, 0}) {
    ASSERT_TRUE(test::ReadData(bus, 0x84, status).Good());  // other data types do not count
    EXPECT_EQ(test::ReadData(bus, 0x82, counters).targetStatus, want);
  }
}

TEST(SimFaults, AJamOnAnImageReadTakesTheSheetOut) {
  Bus bus;
  ASSERT_TRUE(Configure(bus, "synthetic 2 dpi 200\nfault read/0 2 jam\n"));
  Rt650& scanner = *bus.ScannerAt(0, 0);
  ASSERT_TRUE(test::Scan(bus).Good());
  Bytes chunk(16384);
  ASSERT_TRUE(test::ReadData(bus, 0x00, chunk).Good());
  EXPECT_EQ(KeyAsc(test::ReadData(bus, 0x00, chunk)), 0x380);
  EXPECT_FALSE(scanner.PageInScanner());
  EXPECT_TRUE(scanner.Delivered()[0].jammed);
  EXPECT_EQ(scanner.HopperCount(), 1u);
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
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 2).Good());
  EXPECT_EQ(Text(data, 16, 8), "SCAN4000");
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 0).Good());
  EXPECT_EQ(data[0], 0x00);  // disk
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
  ASSERT_TRUE(Configure(bus, "scanner 0 0\nlog " + dir.File("wire.log") + "\nfault tur 2 not-ready\n"));
  for (int i = 0; i < 2; ++i) test::Command(bus, {0, 0, 0, 0, 0, 0});
  Bytes data(36);
  test::Send(bus, {0x12, 0, 0, 0, 36, 0}, kIn, data);
  EXPECT_EQ(tarvo::test::ReadFileBytes(dir.File("wire.log")),
            "0:0 00 00 00 00 00 00 | flags 0x40 len 0 xfer 0 | srb 0x01 ha 0x00 target 0x00\n"
            "0:0 00 00 00 00 00 00 | flags 0x40 len 0 xfer 0 | srb 0x04 ha 0x00 target 0x02"
            " | sense 70 00 02 00 00 00 00 06 00 00 00 00 04 00\n"
            "0:0 12 00 00 00 24 00 | flags 0x48 len 36 xfer 36 | in 06 00 02 02 3B 00 00 00 54 41 52 56 4F 20 "
            "20 20 52 54 36 35 30 20 20 20 20 20 20 20 20 20 20 20 ... | srb 0x01 ha 0x00 target 0x00\n");
}

}  // namespace
}  // namespace tarvo::sim
