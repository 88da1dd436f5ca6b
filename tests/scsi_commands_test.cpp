// The RT650 command builders: each CDB, direction, data length and out data
// byte for byte as the ASPI provider receives them.
#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kIn = 0x48, kOut = 0x50, kNone = 0x40;

template <std::size_t N>
std::array<std::uint8_t, N> Pattern(std::uint8_t first) {
  std::array<std::uint8_t, N> block{};
  std::iota(block.begin(), block.end(), first);
  return block;
}

template <class C>
Bytes Of(const C& c) {
  return {c.begin(), c.end()};
}

struct Expected {
  Bytes cdb;
  std::uint8_t flags;
  std::uint32_t bufLen;
  Bytes out = {};  // what an outgoing buffer held when it was sent
};

TEST(CommandBuilders, SendTheirCdbDirectionLengthAndOutData) {
  test::ScsiTestPlatform platform;
  DriverContext c{platform};
  test::RecordingProvider provider;
  SetProvider(c.transport, &provider);
  std::uint8_t s[16] = {};
  constexpr std::uint8_t t = 5;
  std::array<std::uint8_t, 64> inquiry{};
  std::array<std::uint8_t, 52> window = Pattern<52>(0x10);
  std::vector<std::uint8_t> image(70000);
  std::array<std::uint8_t, 100> small{};
  std::array<std::uint8_t, 16> detected{};
  std::array<std::uint8_t, 1> separator{};
  std::array<std::uint8_t, 3> status{};
  std::array<std::uint8_t, 256> gamma = Pattern<256>(0);
  std::array<std::uint8_t, 12> counters{};
  std::array<std::uint8_t, 20> page = Pattern<20>(0x40);
  std::array<std::uint8_t, 90> addon = Pattern<90>(0x80);
  std::array<std::uint8_t, 16> key = Pattern<16>(0xA0);

  const std::uint16_t results[] = {
      CmdTestUnitReady(c, t, s), CmdInquiry(c, t, s, inquiry, 36),
      CmdInquiryVendorPage(c, t, s, inquiry, 40), CmdSetMeasurementUnit(c, t, s, 1200),
      CmdScan(c, t, s, 2), CmdScan(c, t, s, 255), CmdScan(c, t, s, 7),
      CmdSetWindow(c, t, s, window), CmdGetWindow(c, t, s, 3, window),
      CmdReadImage(c, t, s, image, 70000), CmdReadImage(c, t, s, small, 32768),
      CmdReadDetectedSize(c, t, s, detected), CmdReadSeparatorStatus(c, t, s, separator),
      CmdReadStatus(c, t, s, status), CmdReadGamma(c, t, s, 0x0102, gamma),
      CmdReadCounters(c, t, s, counters), CmdSendGamma(c, t, s, 1, gamma),
      CmdUnloadObject(c, t, s), CmdLoadObject(c, t, s), CmdGetScanMode(c, t, s, 0x34, addon, 90),
      CmdDefineScanMode(c, t, s, page), CmdDefineScanMode(c, t, s, addon, 90),
      CmdGetStatusPage(c, t, s, page), CmdStopBatch(c, t, s), CmdGetFunctionKey(c, t, s, 7, key),
      CmdDefineFunctionKey(c, t, s, key)};
  const Expected expected[] = {
      {{0x00, 0, 0, 0, 0, 0}, kIn, 0},
      {{0x12, 0, 0, 0, 36, 0}, kIn, 36},
      {{0x12, 0x01, 0xF0, 0, 0x28, 0}, kIn, 40},
      {{0x15, 0x10, 0, 0, 0x0C, 0}, kOut, 12, {0, 0, 0, 0, 0x03, 0x06, 0, 0, 0x04, 0xB0, 0, 0}},
      {{0x1B, 0, 0, 0, 2, 0}, kOut, 2, {0x00, 0x01}},
      {{0x1B, 0, 0, 0, 1, 0}, kOut, 1, {0xFF}},
      {{0x1B, 0, 0, 0, 1, 0}, kOut, 1, {0x00}},
      {{0x24, 0, 0, 0, 0, 0, 0, 0, 0x34, 0}, kOut, 52, Of(window)},
      {{0x25, 0x01, 0, 0, 0, 0x03, 0, 0, 0x34, 0}, kIn, 52},
      // 70000 = 0x011170: 24 bits in the CDB, the low 16 bits in the request block.
      {{0x28, 0, 0x00, 0, 0, 0, 0x01, 0x11, 0x70, 0}, kIn, 0x1170},
      // The data phase never exceeds the caller's buffer.
      {{0x28, 0, 0x00, 0, 0, 0, 0x00, 0x80, 0x00, 0}, kIn, 100},
      {{0x28, 0, 0x80, 0, 0, 0, 0, 0, 0x10, 0}, kIn, 16},
      {{0x28, 0, 0x81, 0, 0, 0, 0, 0, 0x01, 0}, kIn, 1},
      {{0x28, 0, 0x84, 0, 0, 0, 0, 0, 0x03, 0}, kIn, 3},
      {{0x28, 0, 0x03, 0, 0x01, 0x02, 0x00, 0x01, 0x00, 0}, kIn, 256},
      {{0x28, 0, 0x82, 0, 0, 0, 0, 0, 0x0C, 0}, kIn, 12},
      {{0x2A, 0, 0x03, 0, 0x00, 0x01, 0x00, 0x01, 0x00, 0}, kOut, 256, Of(gamma)},
      {{0x31, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}, kOut, 0},
      {{0x31, 0x01, 0, 0, 0, 0, 0, 0, 0, 0}, kOut, 0},
      {{0xD5, 0, 0x34, 0, 0x5A, 0}, kIn, 90},
      {{0xD6, 0x10, 0, 0, 0x14, 0}, kOut, 20, Of(page)},
      {{0xD6, 0x10, 0, 0, 0x5A, 0}, kOut, 90, Of(addon)},
      {{0xD5, 0, 0x33, 0, 0x14, 0}, kIn, 20},
      {{0xD8, 0, 0, 0, 0, 0}, kNone, 0},
      {{0xDB, 0, 0x07, 0, 0x10, 0}, kIn, 16},
      {{0xDA, 0, 0, 0, 0x10, 0}, kOut, 16, Of(key)},
  };
  ASSERT_EQ(provider.requests.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const aspi::SrbExecScsiCmd& srb = provider.requests[i].srb;
    EXPECT_EQ(results[i], 0) << i;
    EXPECT_EQ(provider.requests[i].cdb, expected[i].cdb) << i;
    EXPECT_EQ(srb.SRB_Flags, expected[i].flags) << i;
    EXPECT_EQ(std::uint32_t{srb.SRB_BufLen}, expected[i].bufLen) << i;
    EXPECT_EQ(srb.SRB_Flags == kOut ? provider.requests[i].dataOut : Bytes{}, expected[i].out) << i;
  }
  EXPECT_EQ(static_cast<std::uint8_t*>(provider.requests[14].srb.SRB_BufPointer), gamma.data());
}

}  // namespace
}  // namespace tarvo
