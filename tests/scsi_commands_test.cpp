// The RT650 command builders: each CDB, data direction, data length and out
// data byte for byte as the ASPI provider receives them. The request block's
// other fields are the transport's (scsi_transport_test).
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
constexpr std::uint8_t kT = 5;
constexpr std::uint8_t kIn = 0x48, kOut = 0x50, kNone = 0x40;

template <std::size_t N>
std::array<std::uint8_t, N> Pattern(std::uint8_t first) {
  std::array<std::uint8_t, N> block{};
  std::iota(block.begin(), block.end(), first);
  return block;
}

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

using Send = std::function<std::uint16_t(DriverContext&, std::uint8_t*, Buffers&)>;
struct Case {
  const char* name;
  Send send;
  Bytes cdb;
  std::uint8_t flags;
  std::uint32_t bufLen;
  std::function<Bytes(Buffers&)> out;  // expected out data, if checked
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
Bytes Of(ConstByteSpan span) { return Bytes(span.begin(), span.end()); }

#define SEND(expr) [](DriverContext & c, std::uint8_t * s, Buffers & b) { (void)b; return expr; }
const std::vector<Case> kCases = {
    {"TestUnitReady", SEND(CmdTestUnitReady(c, kT, s)), {0x00, 0, 0, 0, 0, 0}, kIn, 0, {}},
    {"Inquiry", SEND(CmdInquiry(c, kT, s, b.inquiry, 36)), {0x12, 0, 0, 0, 36, 0}, kIn, 36, {}},
    {"InquiryVendorPage", SEND(CmdInquiryVendorPage(c, kT, s, b.inquiry, 40)),
     {0x12, 0x01, 0xF0, 0, 0x28, 0}, kIn, 40, {}},
    {"SetMeasurementUnit", SEND(CmdSetMeasurementUnit(c, kT, s, 1200)),
     {0x15, 0x10, 0, 0, 0x0C, 0}, kOut, 12,
     [](Buffers&) { return Bytes{0, 0, 0, 0, 0x03, 0x06, 0, 0, 0x04, 0xB0, 0, 0}; }},
    {"ScanPair", SEND(CmdScan(c, kT, s, 2)), {0x1B, 0, 0, 0, 2, 0}, kOut, 2,
     [](Buffers&) { return Bytes{0x00, 0x01}; }},
    {"Scan255", SEND(CmdScan(c, kT, s, 255)), {0x1B, 0, 0, 0, 1, 0}, kOut, 1,
     [](Buffers&) { return Bytes{0xFF}; }},
    {"ScanOther", SEND(CmdScan(c, kT, s, 7)), {0x1B, 0, 0, 0, 1, 0}, kOut, 1,
     [](Buffers&) { return Bytes{0x00}; }},
    {"SetWindow", SEND(CmdSetWindow(c, kT, s, b.window)), {0x24, 0, 0, 0, 0, 0, 0, 0, 0x34, 0},
     kOut, 52, [](Buffers& b) { return Of(b.window); }},
    {"GetWindowId3", SEND(CmdGetWindow(c, kT, s, 3, b.window)),
     {0x25, 0x01, 0, 0, 0, 0x03, 0, 0, 0x34, 0}, kIn, 52, {}},
    // 70000 = 0x011170: 24 bits in the CDB, the low 16 bits in the request block.
    {"ReadImage70000", SEND(CmdReadImage(c, kT, s, b.image, 70000)),
     {0x28, 0, 0x00, 0, 0, 0, 0x01, 0x11, 0x70, 0}, kIn, 0x1170, {}},
    // The data phase never exceeds the caller's buffer.
    {"ReadImageShortBuffer", SEND(CmdReadImage(c, kT, s, b.small, 32768)),
     {0x28, 0, 0x00, 0, 0, 0, 0x00, 0x80, 0x00, 0}, kIn, 100, {}},
    {"ReadDetectedSize", SEND(CmdReadDetectedSize(c, kT, s, b.detected)),
     {0x28, 0, 0x80, 0, 0, 0, 0, 0, 0x10, 0}, kIn, 16, {}},
    {"ReadSeparatorStatus", SEND(CmdReadSeparatorStatus(c, kT, s, b.separator)),
     {0x28, 0, 0x81, 0, 0, 0, 0, 0, 0x01, 0}, kIn, 1, {}},
    {"ReadStatus", SEND(CmdReadStatus(c, kT, s, b.status)),
     {0x28, 0, 0x84, 0, 0, 0, 0, 0, 0x03, 0}, kIn, 3, {}},
    {"ReadGamma", SEND(CmdReadGamma(c, kT, s, 0x0102, b.gamma)),
     {0x28, 0, 0x03, 0, 0x01, 0x02, 0x00, 0x01, 0x00, 0}, kIn, 256, {}},
    {"ReadCounters", SEND(CmdReadCounters(c, kT, s, b.counters)),
     {0x28, 0, 0x82, 0, 0, 0, 0, 0, 0x0C, 0}, kIn, 12, {}},
    {"SendGamma", SEND(CmdSendGamma(c, kT, s, 1, b.gamma)),
     {0x2A, 0, 0x03, 0, 0x00, 0x01, 0x00, 0x01, 0x00, 0}, kOut, 256,
     [](Buffers& b) { return Of(b.gamma); }},
    {"UnloadObject", SEND(CmdUnloadObject(c, kT, s)), {0x31, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, kOut,
     0, {}},
    {"LoadObject", SEND(CmdLoadObject(c, kT, s)), {0x31, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, kOut, 0,
     {}},
    {"GetScanModeAddon", SEND(CmdGetScanMode(c, kT, s, 0x34, b.addon, 90)),
     {0xD5, 0, 0x34, 0, 0x5A, 0}, kIn, 90, {}},
    {"DefineScanModeFixed", SEND(CmdDefineScanMode(c, kT, s, b.page)),
     {0xD6, 0x10, 0, 0, 0x14, 0}, kOut, 20, [](Buffers& b) { return Of(b.page); }},
    {"DefineScanModeLength", SEND(CmdDefineScanMode(c, kT, s, b.addon, 90)),
     {0xD6, 0x10, 0, 0, 0x5A, 0}, kOut, 90, [](Buffers& b) { return Of(b.addon); }},
    {"GetStatusPage", SEND(CmdGetStatusPage(c, kT, s, b.page)), {0xD5, 0, 0x33, 0, 0x14, 0}, kIn,
     20, {}},
    {"StopBatch", SEND(CmdStopBatch(c, kT, s)), {0xD8, 0, 0, 0, 0, 0}, kNone, 0, {}},
    {"GetFunctionKey", SEND(CmdGetFunctionKey(c, kT, s, 7, b.key)), {0xDB, 0, 0x07, 0, 0x10, 0},
     kIn, 16, {}},
    {"DefineFunctionKey", SEND(CmdDefineFunctionKey(c, kT, s, b.key)), {0xDA, 0, 0, 0, 0x10, 0},
     kOut, 16, [](Buffers& b) { return Of(b.key); }},
};
#undef SEND

class BuilderTest : public ::testing::TestWithParam<Case> {
 protected:
  test::ScsiTestPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  Buffers buffers;
  void SetUp() override { SetProvider(context.transport, &provider); }
};

TEST_P(BuilderTest, SendsItsCdbAndData) {
  const Case& c = GetParam();
  std::array<std::uint8_t, 16> sense{};
  EXPECT_EQ(c.send(context, sense.data(), buffers), 0);
  ASSERT_EQ(provider.requests.size(), 1u);
  const aspi::SrbExecScsiCmd& srb = provider.requests[0].srb;
  EXPECT_EQ(provider.requests[0].cdb, c.cdb);
  EXPECT_EQ(srb.SRB_Flags, c.flags);
  EXPECT_EQ(std::uint32_t{srb.SRB_BufLen}, c.bufLen);
  if (c.out) {
    EXPECT_EQ(provider.requests[0].dataOut, c.out(buffers));
  }
  // In data lands in the caller's own buffer.
  const auto* data = static_cast<const std::uint8_t*>(srb.SRB_BufPointer);
  const auto* first = reinterpret_cast<const std::uint8_t*>(&buffers);
  if (c.flags == kIn && c.bufLen > 0 && data != buffers.image.data()) {
    EXPECT_TRUE(data >= first && data < first + sizeof buffers);
  }
}

INSTANTIATE_TEST_SUITE_P(AllCommands, BuilderTest, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace tarvo
