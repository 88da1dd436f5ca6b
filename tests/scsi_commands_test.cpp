// The RT650 command builders, without any transport: each command's CDB,
// direction, data phase and call site.
#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

#include "scsi/Commands.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

constexpr std::uint8_t kIn = aspi::kSrbDirIn, kOut = aspi::kSrbDirOut, kNone = 0;

// buffer: the caller's buffer the data phase must be; own: or the out data the builder made itself.
struct Row { ScsiCommand command; const char* cdb; std::uint8_t direction; int callSite; ConstByteSpan buffer; const char* own = nullptr; };

TEST(CommandBuilders, CdbDirectionDataPhaseAndCallSite) {
  std::array<std::uint8_t, 64> inquiry{};
  std::array<std::uint8_t, 52> window{};
  std::vector<std::uint8_t> image(70000);
  std::array<std::uint8_t, 100> small{};
  std::array<std::uint8_t, 16> detected{}, key{};
  std::array<std::uint8_t, 1> separator{};
  std::array<std::uint8_t, 3> status{};
  std::array<std::uint8_t, 256> gamma{};
  std::array<std::uint8_t, 12> counters{};
  std::array<std::uint8_t, 20> page{};
  std::array<std::uint8_t, 90> addon{};
  const Row rows[] = {
      {CmdTestUnitReady(), "00 00 00 00 00 00", kIn, 563, {}},
      {CmdInquiry(inquiry, 36), "12 00 00 00 24 00", kIn, 573, ConstByteSpan(inquiry).first(36)},
      {CmdInquiryVendorPage(inquiry, 40), "12 01 F0 00 28 00", kIn, 582, ConstByteSpan(inquiry).first(40)},
      {CmdSetMeasurementUnit(1200), "15 10 00 00 0C 00", kOut, 594, {}, "00 00 00 00 03 06 00 00 04 B0 00 00"},
      {CmdScan(2), "1B 00 00 00 02 00", kOut, 604, {}, "00 01"},
      {CmdScan(255), "1B 00 00 00 01 00", kOut, 604, {}, "FF"},
      {CmdScan(7), "1B 00 00 00 01 00", kOut, 604, {}, "00"},
      {CmdSetWindow(window), "24 00 00 00 00 00 00 00 34 00", kOut, 619, window},
      {CmdGetWindow(3, window), "25 01 00 00 00 03 00 00 34 00", kIn, 628, window},
      {CmdReadImage(image, 70000), "28 00 00 00 00 00 01 11 70 00", kIn, 646, image},
      {CmdReadImage(small, 32768), "28 00 00 00 00 00 00 80 00 00", kIn, 646, small},  // never past the buffer
      {CmdReadDetectedSize(detected), "28 00 80 00 00 00 00 00 10 00", kIn, 654, detected},
      {CmdReadSeparatorStatus(separator), "28 00 81 00 00 00 00 00 01 00", kIn, 662, separator},
      {CmdReadStatus(status), "28 00 84 00 00 00 00 00 03 00", kIn, 670, status},
      {CmdReadGamma(0x0102, gamma), "28 00 03 00 01 02 00 01 00 00", kIn, 687, gamma},
      {CmdReadCounters(counters), "28 00 82 00 00 00 00 00 0C 00", kIn, 705, counters},
      {CmdSendGamma(1, gamma), "2A 00 03 00 00 01 00 01 00 00", kOut, 714, gamma},
      {CmdUnloadObject(), "31 00 00 00 00 00 00 00 00 00", kOut, 732, {}},
      {CmdLoadObject(), "31 01 00 00 00 00 00 00 00 00", kOut, 740, {}},
      {CmdGetScanMode(0x34, addon, 90), "D5 00 34 00 5A 00", kIn, 749, addon},
      {CmdDefineScanMode(page), "D6 10 00 00 14 00", kOut, 756, page},
      {CmdDefineScanMode(addon, 90), "D6 10 00 00 5A 00", kOut, 764, addon},
      {CmdGetStatusPage(page), "D5 00 33 00 14 00", kIn, 781, page},
      {CmdStopBatch(), "D8 00 00 00 00 00", kNone, 788, {}},
      {CmdGetFunctionKey(7, key), "DB 00 07 00 10 00", kIn, 796, key},
      {CmdDefineFunctionKey(key), "DA 00 00 00 10 00", kOut, 803, key},
  };
  for (const Row& row : rows) {
    const ScsiCommand& c = row.command;
    SCOPED_TRACE(row.cdb);
    EXPECT_EQ(test::Hex(ConstByteSpan(c.cdb).first(c.cdbLength)), row.cdb);
    EXPECT_EQ(std::tuple(c.direction, c.callSite), std::tuple(row.direction, row.callSite));
    EXPECT_EQ(static_cast<const void*>(c.data.data()), static_cast<const void*>(row.buffer.data()));
    EXPECT_EQ(c.data.size(), row.buffer.size());
    EXPECT_EQ(test::Hex(ConstByteSpan(c.ownData).first(c.ownLength)), row.own != nullptr ? row.own : "");
  }
}

}  // namespace
}  // namespace tarvo
