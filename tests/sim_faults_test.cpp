// Scripted failures, the configuration text and the provider library of the
// RT650 simulator.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <string>

#include "Config.h"
#include "sim_test_support.h"
#include "support/TempDir.h"

namespace tarvo::sim {
namespace {

using test::kIn;

// Builds the bus from configuration text, which must parse.
::testing::AssertionResult Configure(Bus& bus, const std::string& text) {
  std::string error;
  if (ApplyConfig(text, bus, error)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << error;
}

struct FaultCase {
  const char* line;
  std::uint8_t srbStatus, hostAdapterStatus, targetStatus;
  std::array<std::uint8_t, 3> sense;  // key, ASC, ASCQ when targetStatus is 2
};

class SimFaults : public ::testing::TestWithParam<FaultCase> {};

// Every fault is scripted for the third TEST UNIT READY: the second and the
// fourth are good, the third fails exactly as scripted.
TEST_P(SimFaults, HitsTheNthOccurrenceOnly) {
  const FaultCase& c = GetParam();
  Bus bus;
  ASSERT_TRUE(Configure(bus, std::string("scanner 0 0\n") + c.line + "\n"));
  std::array<std::uint8_t, 14> sense{};
  if (c.targetStatus == 2) {
    sense = {0x70, 0, c.sense[0], 0, 0, 0, 0, 6, 0, 0, 0, 0, c.sense[1], c.sense[2]};
  }
  for (int i = 1; i <= 4; ++i) {
    SCOPED_TRACE(testing::Message() << c.line << " #" << i);
    const test::Outcome o = test::Command(bus, {0, 0, 0, 0, 0, 0});
    if (i != 3) {
      EXPECT_TRUE(o.Good());
      continue;
    }
    EXPECT_EQ(o.returned, c.srbStatus);
    EXPECT_EQ(o.srbStatus, c.srbStatus);
    EXPECT_EQ(o.hostAdapterStatus, c.hostAdapterStatus);
    EXPECT_EQ(o.targetStatus, c.targetStatus);
    EXPECT_EQ(o.sense, sense);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Script, SimFaults,
    ::testing::Values(FaultCase{"fault tur 3 no-paper", 0x04, 0, 2, {3, 0x3A, 0x00}},
                      FaultCase{"fault tur 3 jam", 0x04, 0, 2, {3, 0x80, 0x00}},
                      FaultCase{"fault tur 3 not-ready", 0x04, 0, 2, {2, 0x04, 0x00}},
                      FaultCase{"fault tur 3 unit-attention", 0x04, 0, 2, {6, 0x29, 0x00}},
                      FaultCase{"fault tur 3 illegal 0x2C 0x01", 0x04, 0, 2, {5, 0x2C, 0x01}},
                      FaultCase{"fault 0x00 3 sense 0xB 0x47 3", 0x04, 0, 2, {0xB, 0x47, 0x03}},
                      FaultCase{"fault tur 3 busy", 0x04, 0, 8, {}},
                      FaultCase{"fault tur 3 hastat 0x11", 0x04, 0x11, 0, {}},
                      FaultCase{"fault tur 3 srb 0x82", 0x82, 0, 0, {}}));

TEST(SimFaultScript, DataTypeNarrowsTheCommandAndRepeatExtendsTheFault) {
  Bus bus;
  ASSERT_TRUE(Configure(bus, "synthetic 1\nfault read/0x82 2 not-ready repeat 1\n"));
  std::vector<std::uint8_t> counters(12), status(3);
  const std::uint8_t expected[] = {0, 2, 2, 0};
  for (const std::uint8_t want : expected) {
    ASSERT_TRUE(test::ReadData(bus, 0x84, status).Good());  // other data types do not count
    EXPECT_EQ(test::ReadData(bus, 0x82, counters).targetStatus, want);
  }
}

TEST(SimFaultScript, AJamOnAnImageReadTakesTheSheetOut) {
  Bus bus;
  ASSERT_TRUE(Configure(bus, "synthetic 2 dpi 200\nfault read/0 2 jam\n"));
  Rt650& scanner = *bus.ScannerAt(0, 0);
  ASSERT_TRUE(test::Scan(bus).Good());
  std::vector<std::uint8_t> chunk(16384);
  ASSERT_TRUE(test::ReadData(bus, 0x00, chunk).Good());
  EXPECT_EQ(test::ReadData(bus, 0x00, chunk).sense[12], 0x80);
  EXPECT_FALSE(scanner.PageInScanner());
  EXPECT_TRUE(scanner.Delivered()[0].jammed);
  EXPECT_EQ(scanner.HopperCount(), 1u);
}

TEST(SimConfig, BuildsDevicesPagesAndIdentity) {
  tarvo::test::TempDir dir;
  tarvo::test::WriteFileBytes(dir.File("a.pbm"), "P1\n2 2\n1 0\n0 1\n");
  const std::string text =
      "# two adapters\nadapters 2\ndisk 0 0\ndevice 0 2 6 OTHERCO SCAN4000 1.00\nscanner 1 4\n"
      "revision 1.07\ncapability 0\nflags 0x80\ncounters 5 0 0\nfile " + dir.File("a.pbm") +
      " dpi 200\nsynthetic 2 seed 9 dpi 600 size letter\ncondition 2 separator 0x81 flag\n";
  Bus bus;
  ASSERT_TRUE(Configure(bus, text));
  EXPECT_EQ(bus.GetSupportInfo(), 0x0102u);
  EXPECT_EQ(bus.ScannerAt(0, 0), nullptr);
  Rt650* scanner = bus.ScannerAt(1, 4);
  ASSERT_NE(scanner, nullptr);
  EXPECT_EQ(scanner->HopperCount(), 3u);
  EXPECT_EQ(scanner->Info().identity.revision, "1.07");
  EXPECT_EQ(scanner->Counters()[0], 5u);
  std::vector<std::uint8_t> data(64);
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 2).Good());
  EXPECT_EQ(std::string(data.begin() + 16, data.begin() + 24), "SCAN4000");
  ASSERT_TRUE(test::Send(bus, {0x12, 0, 0, 0, 64, 0}, kIn, data, 0, 0).Good());
  EXPECT_EQ(data[0], 0x00);  // disk
}

TEST(SimConfig, BadLinesNameTheirLineNumber) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"scanner 0 0\nfrobnicate 1\n", "line 2: unknown keyword 'frobnicate'"},
      {"synthetic 2\ncondition 3 flag\n", "line 2: no page 3 yet"},
      {"fault warp 1 jam\n", "line 1: unknown command 'warp'"},
      {"fault tur 0 jam\n", "line 1: occurrences count from 1"},
      {"\n\nsynthetic 1 dpi 400\n", "line 3: synthetic pages are made at 200, 300 or 600 dpi"},
      {"file /nonexistent/x.pgm\n", "line 1: /nonexistent/x.pgm: cannot open the file"},
      {"fault tur 1 illegal 0x24\n", "line 1: missing number"},
      {"completion later\n", "line 1: completion is sync or pending"},
  };
  for (const Case& c : cases) {
    Bus bus;
    std::string error;
    EXPECT_FALSE(ApplyConfig(c.text, bus, error)) << c.text;
    EXPECT_EQ(error, c.error);
  }
}

TEST(SimConfig, WireLogRecordsEveryCommand) {
  tarvo::test::TempDir dir;
  Bus bus;
  ASSERT_TRUE(
      Configure(bus, "scanner 0 0\nlog " + dir.File("wire.log") + "\nfault tur 2 not-ready\n"));
  test::Command(bus, {0, 0, 0, 0, 0, 0});
  test::Command(bus, {0, 0, 0, 0, 0, 0});
  std::vector<std::uint8_t> data(36);
  test::Send(bus, {0x12, 0, 0, 0, 36, 0}, kIn, data);
  const std::string log = tarvo::test::ReadFileBytes(dir.File("wire.log"));
  EXPECT_EQ(
      log,
      "0:0 00 00 00 00 00 00 | flags 0x40 len 0 xfer 0 | srb 0x01 ha 0x00 target 0x00\n"
      "0:0 00 00 00 00 00 00 | flags 0x40 len 0 xfer 0 | srb 0x04 ha 0x00 target 0x02"
      " | sense 70 00 02 00 00 00 00 06 00 00 00 00 04 00\n"
      "0:0 12 00 00 00 24 00 | flags 0x48 len 36 xfer 36 | in 06 00 02 02 3B 00 00 00 54 41 52 56 "
      "4F 20 "
      "20 20 52 54 36 35 30 20 20 20 20 20 20 20 20 20 20 20 ... | srb 0x01 ha 0x00 target 0x00\n");
}

// The provider library, loaded as the driver loads it and driven through its
// two C entry points with a packed request block, completing every request
// later through an eventfd.
TEST(SimProviderLibrary, ServesABatchThroughItsTwoEntryPoints) {
  tarvo::test::TempDir dir;
  tarvo::test::WriteFileBytes(
      dir.File("sim.conf"),
      "revision 3.05\nsynthetic 2 seed 4 dpi 200\ncondition 2 flag\ncompletion pending\n");
  ASSERT_EQ(setenv("RT650SIM_CONFIG", dir.File("sim.conf").c_str(), 1), 0);
  void* library = dlopen(RT650SIM_PROVIDER, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto support = reinterpret_cast<aspi::GetSupportInfoFn>(dlsym(library, "GetASPI32SupportInfo"));
  auto send = reinterpret_cast<aspi::SendCommandFn>(dlsym(library, "SendASPI32Command"));
  ASSERT_NE(support, nullptr);
  ASSERT_NE(send, nullptr);
  EXPECT_EQ(support(), 0x0101u);

  struct Provider final : aspi::Provider {
    aspi::SendCommandFn send;
    int fd = eventfd(0, 0);
    ~Provider() override { close(fd); }
    std::uint32_t GetSupportInfo() override { return 0; }
    std::uint32_t SendCommand(aspi::SrbExecScsiCmd* srb) override {
      srb->SRB_PostProc = reinterpret_cast<void*>(static_cast<std::intptr_t>(fd));
      const std::uint32_t r = send(srb);
      if (r == aspi::kSsPending) {
        std::uint64_t count = 0;
        if (read(fd, &count, sizeof count) != static_cast<ssize_t>(sizeof count)) return 0xFFFF;
      }
      return r;
    }
  } provider;
  provider.send = send;

  std::vector<std::uint8_t> inquiry(36);
  const test::Outcome o = test::Send(provider, {0x12, 0, 0, 0, 36, 0}, kIn, inquiry);
  EXPECT_EQ(o.returned, aspi::kSsPending);
  EXPECT_EQ(o.srbStatus, aspi::kSsComp);
  EXPECT_EQ(std::string(inquiry.begin() + 32, inquiry.end()), "3.05");
  ASSERT_TRUE(test::Scan(provider).Good());
  // Power-on window: an A4 sheet fed long edge first in line art at 300 dpi,
  // 3488 px (436 bytes) x 2480 rows.
  for (int page = 0; page < 2; ++page) {
    EXPECT_EQ(test::Status(provider), (std::array<bool, 2>{true, true}));
    std::vector<std::uint8_t> status(3);
    ASSERT_TRUE(test::ReadData(provider, 0x84, status).Good());
    EXPECT_EQ(status[0], page);
    const test::Scanned image = test::ReadPage(provider, 32760);
    EXPECT_TRUE(image.last.Ili());
    EXPECT_EQ(image.bytes.size(), 436u * 2480);
  }
  EXPECT_EQ(test::Status(provider), (std::array<bool, 2>{false, false}));
  dlclose(library);
}

}  // namespace
}  // namespace tarvo::sim
