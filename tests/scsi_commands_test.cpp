// Every RT650 command builder: its CDB, data direction, data length, data
// block and call-site number, byte for byte, as the ASPI provider receives them.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <numeric>
#include <vector>

#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kTarget = 5;
constexpr std::uint8_t kAdapter = 1;
constexpr std::uint8_t kIn = 0x48;    // data in | event notify
constexpr std::uint8_t kOut = 0x50;   // data out | event notify
constexpr std::uint8_t kNone = 0x40;  // event notify

template <std::size_t N>
std::array<std::uint8_t, N> Pattern(std::uint8_t first) {
  std::array<std::uint8_t, N> block{};
  std::iota(block.begin(), block.end(), first);
  return block;
}

// Buffers the builders write into or send from; one set per test.
struct Buffers {
  std::array<std::uint8_t, 64> inquiry{};
  std::array<std::uint8_t, 52> window = Pattern<52>(0x10);
  std::vector<std::uint8_t> image = std::vector<std::uint8_t>(70000);
  std::array<std::uint8_t, 100> small{};
  std::array<std::uint8_t, 16> detected{};
  std::array<std::uint8_t, 1> separator{};
  std::array<std::uint8_t, 3> status{};
  std::array<std::uint8_t, 256> gamma = Pattern<256>(0);
  std::array<std::uint8_t, 12> counters{};
  std::array<std::uint8_t, 20> page = Pattern<20>(0x40);
  std::array<std::uint8_t, 90> addon = Pattern<90>(0x80);
  std::array<std::uint8_t, 16> key = Pattern<16>(0xA0);
};

struct BuilderCase {
  const char* name;
  std::function<std::uint16_t(DriverContext&, std::uint8_t*, Buffers&)> send;
  Bytes cdb;
  std::uint8_t flags;
  std::uint32_t bufLen;
  int callSite;
  std::function<Bytes(Buffers&)> dataOut;  // expected out data; null for in / none
};

void PrintTo(const BuilderCase& c, std::ostream* os) { *os << c.name; }

Bytes Of(ConstByteSpan span) { return Bytes(span.begin(), span.end()); }

const std::vector<BuilderCase>& Cases() {
  static const std::vector<BuilderCase> cases = {
      {"TestUnitReady", [](auto& c, auto* s, auto&) { return CmdTestUnitReady(c, kTarget, s); },
       {0x00, 0, 0, 0, 0, 0}, kIn, 0, 563, nullptr},
      {"Inquiry64",
       [](auto& c, auto* s, auto& b) { return CmdInquiry(c, kTarget, s, b.inquiry, 64); },
       {0x12, 0, 0, 0, 0x40, 0}, kIn, 64, 573, nullptr},
      {"Inquiry36",
       [](auto& c, auto* s, auto& b) { return CmdInquiry(c, kTarget, s, b.inquiry, 36); },
       {0x12, 0, 0, 0, 0x24, 0}, kIn, 36, 573, nullptr},
      {"InquiryVendorPage",
       [](auto& c, auto* s, auto& b) { return CmdInquiryVendorPage(c, kTarget, s, b.inquiry, 40); },
       {0x12, 0x01, 0xF0, 0, 0x28, 0}, kIn, 40, 582, nullptr},
      {"SetMeasurementUnit",
       [](auto& c, auto* s, auto&) { return CmdSetMeasurementUnit(c, kTarget, s, 1200); },
       {0x15, 0x10, 0, 0, 0x0C, 0}, kOut, 12, 594,
       [](auto&) { return Bytes{0, 0, 0, 0, 0x03, 0x06, 0, 0, 0x04, 0xB0, 0, 0}; }},
      {"Scan0", [](auto& c, auto* s, auto&) { return CmdScan(c, kTarget, s, 0); },
       {0x1B, 0, 0, 0, 1, 0}, kOut, 1, 604, [](auto&) { return Bytes{0x00}; }},
      {"Scan1", [](auto& c, auto* s, auto&) { return CmdScan(c, kTarget, s, 1); },
       {0x1B, 0, 0, 0, 1, 0}, kOut, 1, 604, [](auto&) { return Bytes{0x01}; }},
      {"ScanPair", [](auto& c, auto* s, auto&) { return CmdScan(c, kTarget, s, 2); },
       {0x1B, 0, 0, 0, 2, 0}, kOut, 2, 604, [](auto&) { return Bytes{0x00, 0x01}; }},
      {"Scan255", [](auto& c, auto* s, auto&) { return CmdScan(c, kTarget, s, 255); },
       {0x1B, 0, 0, 0, 1, 0}, kOut, 1, 604, [](auto&) { return Bytes{0xFF}; }},
      {"ScanOther", [](auto& c, auto* s, auto&) { return CmdScan(c, kTarget, s, 7); },
       {0x1B, 0, 0, 0, 1, 0}, kOut, 1, 604, [](auto&) { return Bytes{0x00}; }},
      {"SetWindow", [](auto& c, auto* s, auto& b) { return CmdSetWindow(c, kTarget, s, b.window); },
       {0x24, 0, 0, 0, 0, 0, 0, 0, 0x34, 0}, kOut, 52, 619, [](auto& b) { return Of(b.window); }},
      {"GetWindow",
       [](auto& c, auto* s, auto& b) { return CmdGetWindow(c, kTarget, s, 0, b.window); },
       {0x25, 0x01, 0, 0, 0, 0, 0, 0, 0x34, 0}, kIn, 52, 628, nullptr},
      {"GetWindowId3",
       [](auto& c, auto* s, auto& b) { return CmdGetWindow(c, kTarget, s, 3, b.window); },
       {0x25, 0x01, 0, 0, 0, 0x03, 0, 0, 0x34, 0}, kIn, 52, 628, nullptr},
      // 70000 = 0x011170: 24 bits in the CDB, the low 16 bits in the request block.
      {"ReadImage70000",
       [](auto& c, auto* s, auto& b) { return CmdReadImage(c, kTarget, s, b.image, 70000); },
       {0x28, 0, 0x00, 0, 0, 0, 0x01, 0x11, 0x70, 0}, kIn, 0x1170, 646, nullptr},
      // The data phase never exceeds the caller's buffer.
      {"ReadImageShortBuffer",
       [](auto& c, auto* s, auto& b) { return CmdReadImage(c, kTarget, s, b.small, 32768); },
       {0x28, 0, 0x00, 0, 0, 0, 0x00, 0x80, 0x00, 0}, kIn, 100, 646, nullptr},
      {"ReadDetectedSize",
       [](auto& c, auto* s, auto& b) { return CmdReadDetectedSize(c, kTarget, s, b.detected); },
       {0x28, 0, 0x80, 0, 0, 0, 0, 0, 0x10, 0}, kIn, 16, 654, nullptr},
      {"ReadSeparatorStatus",
       [](auto& c, auto* s, auto& b) { return CmdReadSeparatorStatus(c, kTarget, s, b.separator); },
       {0x28, 0, 0x81, 0, 0, 0, 0, 0, 0x01, 0}, kIn, 1, 662, nullptr},
      {"ReadStatus",
       [](auto& c, auto* s, auto& b) { return CmdReadStatus(c, kTarget, s, b.status); },
       {0x28, 0, 0x84, 0, 0, 0, 0, 0, 0x03, 0}, kIn, 3, 670, nullptr},
      {"ReadGamma",
       [](auto& c, auto* s, auto& b) { return CmdReadGamma(c, kTarget, s, 0x0102, b.gamma); },
       {0x28, 0, 0x03, 0, 0x01, 0x02, 0x00, 0x01, 0x00, 0}, kIn, 256, 687, nullptr},
      {"ReadCounters",
       [](auto& c, auto* s, auto& b) { return CmdReadCounters(c, kTarget, s, b.counters); },
       {0x28, 0, 0x82, 0, 0, 0, 0, 0, 0x0C, 0}, kIn, 12, 705, nullptr},
      {"SendGamma",
       [](auto& c, auto* s, auto& b) { return CmdSendGamma(c, kTarget, s, 1, b.gamma); },
       {0x2A, 0, 0x03, 0, 0x00, 0x01, 0x00, 0x01, 0x00, 0}, kOut, 256, 714,
       [](auto& b) { return Of(b.gamma); }},
      {"UnloadObject", [](auto& c, auto* s, auto&) { return CmdUnloadObject(c, kTarget, s); },
       {0x31, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, kOut, 0, 732, nullptr},
      {"LoadObject", [](auto& c, auto* s, auto&) { return CmdLoadObject(c, kTarget, s); },
       {0x31, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, kOut, 0, 740, nullptr},
      {"GetScanMode32",
       [](auto& c, auto* s, auto& b) { return CmdGetScanMode(c, kTarget, s, 0x32, b.page, 20); },
       {0xD5, 0, 0x32, 0, 0x14, 0}, kIn, 20, 749, nullptr},
      {"GetScanModeAddon",
       [](auto& c, auto* s, auto& b) { return CmdGetScanMode(c, kTarget, s, 0x34, b.addon, 90); },
       {0xD5, 0, 0x34, 0, 0x5A, 0}, kIn, 90, 749, nullptr},
      {"DefineScanModeFixed",
       [](auto& c, auto* s, auto& b) { return CmdDefineScanMode(c, kTarget, s, b.page); },
       {0xD6, 0x10, 0, 0, 0x14, 0}, kOut, 20, 756, [](auto& b) { return Of(b.page); }},
      {"DefineScanModeLength",
       [](auto& c, auto* s, auto& b) { return CmdDefineScanMode(c, kTarget, s, b.addon, 90); },
       {0xD6, 0x10, 0, 0, 0x5A, 0}, kOut, 90, 764, [](auto& b) { return Of(b.addon); }},
      {"GetStatusPage",
       [](auto& c, auto* s, auto& b) { return CmdGetStatusPage(c, kTarget, s, b.page); },
       {0xD5, 0, 0x33, 0, 0x14, 0}, kIn, 20, 781, nullptr},
      {"StopBatch", [](auto& c, auto* s, auto&) { return CmdStopBatch(c, kTarget, s); },
       {0xD8, 0, 0, 0, 0, 0}, kNone, 0, 788, nullptr},
      {"GetFunctionKey",
       [](auto& c, auto* s, auto& b) { return CmdGetFunctionKey(c, kTarget, s, 7, b.key); },
       {0xDB, 0, 0x07, 0, 0x10, 0}, kIn, 16, 796, nullptr},
      {"DefineFunctionKey",
       [](auto& c, auto* s, auto& b) { return CmdDefineFunctionKey(c, kTarget, s, b.key); },
       {0xDA, 0, 0, 0, 0x10, 0}, kOut, 16, 803, [](auto& b) { return Of(b.key); }},
  };
  return cases;
}

class BuilderTest : public ::testing::TestWithParam<BuilderCase> {
 protected:
  test::ScsiTestPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  Buffers buffers;
  void SetUp() override {
    SetProvider(context.transport, &provider);
    SelectAdapter(context, kAdapter);
  }
};

TEST_P(BuilderTest, SendsItsCdbDataAndCallSite) {
  const BuilderCase& c = GetParam();
  std::array<std::uint8_t, 16> sense{};
  EXPECT_EQ(c.send(context, sense.data(), buffers), 0);
  ASSERT_EQ(provider.requests.size(), 1u);
  const aspi::SrbExecScsiCmd& srb = provider.requests[0].srb;
  EXPECT_EQ(provider.requests[0].cdb, c.cdb);
  EXPECT_EQ(srb.SRB_CDBLen, c.cdb.size());
  EXPECT_EQ(srb.SRB_Cmd, aspi::kScExecScsiCmd);
  EXPECT_EQ(srb.SRB_Flags, c.flags);
  EXPECT_EQ(std::uint32_t{srb.SRB_BufLen}, c.bufLen);
  EXPECT_EQ(srb.SRB_HaId, kAdapter);
  EXPECT_EQ(srb.SRB_Target, kTarget);
  EXPECT_EQ(srb.SRB_Lun, 0);
  EXPECT_EQ(srb.SRB_SenseLen, 14);
  EXPECT_NE(static_cast<void*>(srb.SRB_PostProc), nullptr);  // packed: a copy, not a reference
  EXPECT_EQ(context.transport.callSiteNumber, c.callSite);
  if (c.dataOut) {
    EXPECT_EQ(provider.requests[0].dataOut, c.dataOut(buffers));
  }
  // Data comes in straight into the caller's buffer, and the transport's result
  // comes back unchanged.
  const auto* data = static_cast<const std::uint8_t*>(srb.SRB_BufPointer);
  const auto* first = reinterpret_cast<const std::uint8_t*>(&buffers);
  if (c.flags == kIn && c.bufLen > 0 && data != buffers.image.data()) {
    EXPECT_TRUE(data >= first && data < first + sizeof buffers);
  }
  provider.reply.srbStatus = aspi::kSsNoDevice;
  EXPECT_EQ(c.send(context, sense.data(), buffers), 0x8200);
}

INSTANTIATE_TEST_SUITE_P(AllCommands, BuilderTest, ::testing::ValuesIn(Cases()),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tarvo
