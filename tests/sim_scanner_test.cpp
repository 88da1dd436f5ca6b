// The simulated RT650 as the driver sees it: the devices on the bus, what its
// settings keep and refuse, the feeder through a batch, page conditions and
// the imprinter; scripted faults, the configuration text, the command record
// and the provider library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <string>

#include "Config.h"
#include "core/Bytes.h"
#include "sim_test_support.h"
#include "support/TempDir.h"

namespace tarvo::sim {
namespace {

using test::BlankPage;
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

TEST(SimBus, DevicesAnswerAtTheirAddresses) {
  Bus bus(2);
  bus.AddDevice(0, 1, Identity{0x00, "QUANTEX", "FIRECREST", "1.0"});
  ScannerInfo info;
  info.identity.revision = "1.07";
  info.capability = 0x12345678;
  info.vendorFlags = 0x20;
  bus.AddScanner(1, 3, info);
  EXPECT_EQ(bus.GetSupportInfo(), 0x0102u);
  Bytes data(64, 0xEE), vpd(40), page(20);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 36, 0}, kIn, data, 1, 3).Good());
  EXPECT_EQ(data[0], 0x06);  // scanner device
  EXPECT_EQ(data[4], 59);
  EXPECT_EQ(Text(data, 8, 28), "TARVO   RT650           1.07");  // padded with spaces
  EXPECT_EQ(data[36], 0xEE);  // cut at the allocation length
  EXPECT_EQ(bus.Records().back().transferred, 36u);
  ASSERT_TRUE(test::Send(bus, {0x12, 1, 0xF0, 0, 40, 0}, kIn, vpd, 1, 3).Good());
  EXPECT_EQ(vpd[1], 0xF0);
  EXPECT_EQ(GetBe32(vpd, 34), 0x12345678u);
  EXPECT_EQ(vpd[39], 0x20);
  EXPECT_EQ(KeyAsc(test::Send(bus, {0x12, 1, 0xF1, 0, 40, 0}, kIn, vpd, 1, 3)), 0x524);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 1).Good());
  EXPECT_EQ(Text(data, 8, 8), "QUANTEX ");
  // A disk has no vital product data and knows no scanner commands.
  EXPECT_EQ(KeyAsc(test::Send(bus, {0x12, 1, 0xF0, 0, 40, 0}, kIn, vpd, 0, 1)), 0x524);
  EXPECT_EQ(KeyAsc(test::Send(bus, {0xD5, 0, 0x33, 0, 20, 0}, kIn, page, 0, 1)), 0x520);
  // An empty target; an adapter that is not there.
  const test::Outcome none = test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 5);
  EXPECT_EQ(none.returned * 256 + none.srbStatus, 0x8282u);
  EXPECT_EQ(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 2, 0).srbStatus, 0x81);
}

TEST_F(SimRig, UnitsWindowGammaAndKeysKeptAndBadBlocksRefused) {
  Bytes units{0, 0, 0, 0, 0x03, 6, 0, 0, 0x02, 0x58, 0, 0};  // divisor 600
  ASSERT_TRUE(test::Send(bus, {0x15, 0x10, 0, 0, 12, 0}, kOut, units).Good());
  EXPECT_EQ(scanner.MeasurementDivisor(), 600u);
  // Gray needs 2, 4 or 8 bits: the window is refused and the old one kept.
  Bytes window = test::WindowData(200, 10, 20, 3000, 4000, 2, 4), badWindow = test::WindowData(200, 0, 0, 100, 100, 2, 3);
  ASSERT_TRUE(test::SetWindow(bus, window).Good());
  EXPECT_EQ(KeyAsc(test::SetWindow(bus, badWindow)), 0x526);
  EXPECT_TRUE(std::equal(window.begin(), window.end(), scanner.Window().begin()));
  Bytes status = test::ScanModePage(0);  // the status page cannot be defined
  status[4] = 0x33;
  EXPECT_EQ(test::DefineScanMode(bus, status).SenseKey(), 5);
  // Two gamma tables apart; table 3 is the identity.
  Bytes gamma1(256), gamma2(256, 7), identity(256);
  for (int i = 0; i < 256; ++i) gamma1[i] = static_cast<std::uint8_t>(255 - i), identity[i] = static_cast<std::uint8_t>(i);
  ASSERT_TRUE(test::Send(bus, {0x2A, 0, 0x03, 0, 0, 1, 0, 1, 0, 0}, kOut, gamma1).Good());
  ASSERT_TRUE(test::Send(bus, {0x2A, 0, 0x03, 0, 0, 2, 0, 1, 0, 0}, kOut, gamma2).Good());
  for (const auto& [q, expected] : {std::pair{1, gamma1}, {2, gamma2}, {3, identity}}) {
    Bytes read(256);
    ASSERT_TRUE(test::ReadData(bus, 0x03, read, static_cast<std::uint16_t>(q)).Good()) << q;
    EXPECT_EQ(read, expected) << q;
  }
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
  Load(3, BlankPage(300, 300, 300));
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
  Load(4, BlankPage(64, 64, 300));
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
  ASSERT_TRUE(test::Command(bus, {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
  EXPECT_TRUE(scanner.PageInScanner());
  EXPECT_EQ(scanner.HopperCount(), 0u);
  ASSERT_TRUE(test::Command(bus, {0x31, 0, 0, 0, 0, 0, 0, 0, 0, 0}).Good());
  EXPECT_FALSE(scanner.PageInScanner());
  EXPECT_EQ(KeyAsc(test::Command(bus, {0x31, 1, 0, 0, 0, 0, 0, 0, 0, 0})), 0x33A);
}

TEST_F(SimRig, SeparatorAndFlagBelongToTheirPages) {
  Load(3, BlankPage(64, 64, 300));
  ASSERT_TRUE(scanner.SetConditions(1, PageConditions{0x82, false, false}));
  ASSERT_TRUE(scanner.SetConditions(2, PageConditions{0x00, true, false}));
  EXPECT_FALSE(scanner.SetConditions(3, PageConditions{}));
  ASSERT_TRUE(test::Scan(bus).Good());
  for (const Bytes& expected : {Bytes{0x00, 0, 0}, Bytes{0x82, 0, 0}, Bytes{0x00, 1, 1}}) {
    Bytes separator(1), status(3);
    ASSERT_TRUE(test::ReadData(bus, 0x81, separator).Good());
    Bytes got{separator[0]};
    for (int read = 0; read < 2; ++read) {  // a flagged page stays until its image is read
      ASSERT_TRUE(test::ReadData(bus, 0x84, status).Good());
      got.push_back(status[0] & 1);
    }
    EXPECT_EQ(got, expected);
    ReadPage(bus);
  }
}

TEST_F(SimRig, ImprinterStampsTextAndCounterWhenTheAddonIsOn) {
  scanner.SetCounters({0, 0, 41});
  Load(2, BlankPage(600, 600, 300));
  test::DefinePage(bus, test::ScanModePage(0x40 | 0x08));  // continuous feed, addon on
  Bytes addon(90, 0);
  addon[4] = 0x34, addon[5] = 0x54;
  std::memcpy(addon.data() + 4 + 2, "BATCH", 5);
  addon[4 + 67] = 10, addon[4 + 69] = 20;  // x 10 mm, y 20 mm
  addon[4 + 71] = 0x40, addon[4 + 74] = 2;  // counter on, counting up by 2
  test::DefinePage(bus, addon);
  test::SetWindowRaw(bus, test::WindowData(300, 0, 0, 2400, 2400, 0, 1));
  ASSERT_TRUE(test::Scan(bus).Good());
  const Bytes first = ReadPage(bus).bytes;
  test::Status(bus);
  ReadPage(bus);
  ASSERT_EQ(scanner.Delivered().size(), 2u);
  EXPECT_EQ(scanner.Delivered()[0].imprint + "," + scanner.Delivered()[1].imprint, "BATCH 41,BATCH 43");
  EXPECT_EQ(scanner.Counters()[2], 45u);
  // Marks only in the band below y = 20 mm (236 rows at 300 dpi), none elsewhere.
  std::size_t above = 0, band = 0;
  for (std::size_t i = 0; i < 600 * 76; ++i) {
    const std::size_t row = i / 76;
    (row >= 236 && row < 236 + 21 ? band : above) += static_cast<std::size_t>(__builtin_popcount(first[i]));
  }
  EXPECT_GT(band, 100u);
  EXPECT_EQ(above, 0u);
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
  ASSERT_NE(scanner, nullptr);
  EXPECT_EQ(bus.ScannerAt(0, 0), nullptr);
  EXPECT_EQ(scanner->HopperCount(), 3u);
  EXPECT_EQ(scanner->Info().identity.revision, "1.07");
  EXPECT_EQ(scanner->Counters()[0], 5u);
  Bytes data(64);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 2).Good());
  EXPECT_EQ(Text(data, 16, 8), "SCAN4000");
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 0).Good());
  EXPECT_EQ(data[0], 0x00);  // disk
  for (const auto& [bad, error] :
       {std::pair{"scanner 0 0\nfrobnicate 1\n", "line 2: unknown keyword 'frobnicate'"},
        {"synthetic 2\ncondition 3 flag\n", "line 2: no page 3 yet"},
        {"\n\nsynthetic 1 dpi 400\n", "line 3: synthetic pages are made at 200, 300 or 600 dpi"},
        {"fault tur 1 illegal 0x24\n", "line 1: missing number"}}) {
    Bus other;
    std::string message;
    EXPECT_FALSE(ApplyConfig(bad, other, message)) << bad;
    EXPECT_EQ(message, error);
  }
}

TEST(SimConfig, WireLogRecordsEveryCommand) {
  tarvo::test::TempDir dir;
  Bus bus;
  ASSERT_TRUE(Configure(bus, "scanner 0 0\nlog " + dir.File("wire.log") + "\nfault tur 2 not-ready\n"));
  test::Command(bus, {0, 0, 0, 0, 0, 0});
  test::Command(bus, {0, 0, 0, 0, 0, 0});
  Bytes data(36);
  test::Send(bus, {0x12, 0, 0, 0, 36, 0}, kIn, data);
  EXPECT_EQ(tarvo::test::ReadFileBytes(dir.File("wire.log")),
            "0:0 00 00 00 00 00 00 | flags 0x40 len 0 xfer 0 | srb 0x01 ha 0x00 target 0x00\n"
            "0:0 00 00 00 00 00 00 | flags 0x40 len 0 xfer 0 | srb 0x04 ha 0x00 target 0x02"
            " | sense 70 00 02 00 00 00 00 06 00 00 00 00 04 00\n"
            "0:0 12 00 00 00 24 00 | flags 0x48 len 36 xfer 36 | in 06 00 02 02 3B 00 00 00 54 41 52 56 4F 20 "
            "20 20 52 54 36 35 30 20 20 20 20 20 20 20 20 20 20 20 ... | srb 0x01 ha 0x00 target 0x00\n");
}

// The provider library, loaded as the driver loads it and driven through its
// two C entry points, completing every request later through an eventfd.
TEST(SimProviderLibrary, ServesABatchThroughItsTwoEntryPoints) {
  tarvo::test::TempDir dir;
  tarvo::test::WriteFileBytes(dir.File("sim.conf"),
                              "revision 3.05\nsynthetic 2 seed 4 dpi 200\ncondition 2 flag\ncompletion pending\n");
  ASSERT_EQ(setenv("RT650SIM_CONFIG", dir.File("sim.conf").c_str(), 1), 0);
  void* library = dlopen(RT650SIM_PROVIDER, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto support = reinterpret_cast<aspi::GetSupportInfoFn>(dlsym(library, "GetASPI32SupportInfo"));
  auto send = reinterpret_cast<aspi::SendCommandFn>(dlsym(library, "SendASPI32Command"));
  ASSERT_TRUE(support != nullptr && send != nullptr);
  EXPECT_EQ(support(), 0x0101u);
  struct Provider final : aspi::Provider {
    aspi::SendCommandFn send;
    int fd = eventfd(0, 0);
    ~Provider() override { close(fd); }
    std::uint32_t GetSupportInfo() override { return 0; }
    std::uint32_t SendCommand(aspi::SrbExecScsiCmd* srb) override {
      srb->SRB_PostProc = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd));
      const std::uint32_t r = send(srb);
      std::uint64_t count = 0;
      if (r == aspi::kSsPending && read(fd, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) return 0xFFFF;
      return r;
    }
  } provider;
  provider.send = send;
  Bytes inquiry(36);
  const test::Outcome o = test::Send(provider, {0x12, 0, 0, 0, 36, 0}, kIn, inquiry);
  EXPECT_EQ(o.returned, aspi::kSsPending);
  EXPECT_EQ(o.srbStatus, aspi::kSsComp);
  EXPECT_EQ(Text(inquiry, 32, 4), "3.05");
  ASSERT_TRUE(test::Scan(provider).Good());
  // Power-on window: an A4 sheet fed long edge first in line art at 300 dpi,
  // 3488 px (436 bytes) x 2480 rows.
  for (std::uint8_t page = 0; page < 2; ++page) {
    EXPECT_EQ(test::Status(provider), (S{true, true}));
    Bytes status(3);
    ASSERT_TRUE(test::ReadData(provider, 0x84, status).Good());
    EXPECT_EQ(status[0], page);
    const test::Scanned image = test::ReadPage(provider, 32760);
    EXPECT_TRUE(image.last.Ili());
    EXPECT_EQ(image.bytes.size(), 436u * 2480);
  }
  EXPECT_EQ(test::Status(provider), (S{false, false}));
  dlclose(library);
}

}  // namespace
}  // namespace tarvo::sim
