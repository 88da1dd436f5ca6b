// The driver's own command builders and ASPI transport against the
// simulator, attached in-process: the outcomes the driver relies on, with the
// simulator completing synchronously and through the event.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "Bus.h"
#include "Config.h"
#include "scan/DriverContext.h"
#include "scan/Probe.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

class SimDriver : public ::testing::TestWithParam<sim::Completion> {
 protected:
  SimDriver() {
    scanner_ = &bus_.AddScanner(0, 0);
    scanner_->AddSyntheticPages(2, 5, 200);
    bus_.SetCompletion(GetParam());
    SetProvider(context_.transport, &bus_);
  }

  test::ScsiTestPlatform platform_;
  DriverContext context_{platform_};
  sim::Bus bus_;
  sim::Rt650* scanner_ = nullptr;
  std::array<std::uint8_t, 16> sense_{};
};

TEST_P(SimDriver, ProbeCommandsAnswerAsTheDriverExpects) {
  EXPECT_EQ(AspiAdapterCount(context_), 1);
  std::array<std::uint8_t, 64> inquiry{};
  ASSERT_EQ(CmdInquiry(context_, 0, sense_.data(), inquiry, 64), 0);
  EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.begin() + 13), "TARVO");
  EXPECT_EQ(std::string(inquiry.begin() + 16, inquiry.begin() + 21), "RT650");
  std::array<std::uint8_t, 40> vpd{};
  ASSERT_EQ(CmdInquiryVendorPage(context_, 0, sense_.data(), vpd, 40), 0);
  EXPECT_EQ(vpd[39], 0xA0);
  EXPECT_EQ(CmdInquiry(context_, 3, sense_.data(), inquiry, 64), 0x8200);  // nobody at target 3
  ASSERT_EQ(CmdSetMeasurementUnit(context_, 0, sense_.data(), 1200), 0);
  EXPECT_EQ(scanner_->MeasurementDivisor(), 1200u);
}

TEST_P(SimDriver, APageEndsWithAShortTransferTheDriverRecognises) {
  ASSERT_EQ(CmdScan(context_, 0, sense_.data(), 0), 0);
  std::array<std::uint8_t, 20> status{};
  ASSERT_EQ(CmdGetStatusPage(context_, 0, sense_.data(), status), 0);
  EXPECT_EQ(status[7] & 1, 1);
  // Default window: 2480 px line art (312 bytes a row), 3507 rows; 16384-byte transfers.
  const std::uint32_t chunk = 16384 / 312 * 312;
  std::vector<std::uint8_t> buffer(chunk);
  std::size_t rows = 0;
  std::uint16_t result = 0;
  for (int guard = 0; guard < 1000 && result == 0; ++guard) {
    result = CmdReadImage(context_, 0, sense_.data(), buffer, chunk);
    rows += chunk / 312;
  }
  EXPECT_EQ(result, 2);
  EXPECT_EQ(sense_[2] & 0x20, 0x20);
  EXPECT_EQ(rows, (3507 + chunk / 312 - 1) / (chunk / 312) * (chunk / 312));
}

TEST_P(SimDriver, ScriptedFaultsBecomeTransportResults) {
  sim::FaultRule notReady;
  notReady.opcode = wire::kOpTestUnitReady;
  notReady.sense = sim::kSenseNotReady;
  scanner_->AddFault(notReady);
  sim::FaultRule adapter;
  adapter.opcode = wire::kOpTestUnitReady;
  adapter.occurrence = 2;
  adapter.kind = sim::FaultKind::kHostAdapter;
  adapter.value = aspi::kHaStatSelectionTimeout;
  scanner_->AddFault(adapter);
  EXPECT_EQ(CmdTestUnitReady(context_, 0, sense_.data()), 2);
  EXPECT_EQ(sense_[2], 2);
  EXPECT_EQ(sense_[12], 0x04);
  EXPECT_EQ(CmdTestUnitReady(context_, 0, sense_.data()), 0x0411);
  EXPECT_EQ(CmdTestUnitReady(context_, 0, sense_.data()), 0);
  EXPECT_EQ(bus_.Records().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Completion, SimDriver,
                         ::testing::Values(sim::Completion::kSynchronous,
                                           sim::Completion::kPending));

// The driver's scanner search over a bus with other devices on it.
TEST(SimProbe, FindsTheScannerBehindOtherDevicesOnTheSecondAdapter) {
  test::ScsiTestPlatform platform;
  DriverContext context{platform};
  sim::Bus bus(2);
  bus.AddDevice(0, 0, sim::Identity{0x00, "QUANTEX", "FIRECREST", "1.0"});
  bus.AddDevice(0, 1, sim::Identity{0x06, "OTHERCO", "SCAN 4000", "1.00"});
  bus.AddScanner(0, 7);  // target 7 is never tried
  bus.AddScanner(1, 2);
  SetProvider(context.transport, &bus);
  ASSERT_EQ(Probe(context), Result::Ok);
  EXPECT_EQ(context.state.probed, 1);
  EXPECT_EQ(context.state.scannerAdapter, 1u);
  EXPECT_EQ(context.state.scannerTarget, 2);
  EXPECT_TRUE(context.state.scannerCaps.batchCapable);
  EXPECT_EQ(context.state.scannerCaps.value, 1u);
  for (const sim::CommandRecord& r : bus.Records()) EXPECT_NE(r.target, 7);
}

TEST(SimProbe, ANotReadyScannerLeavesTheDriverUnprobed) {
  test::ScsiTestPlatform platform;
  DriverContext context{platform};
  sim::Bus bus;
  std::string error;
  ASSERT_TRUE(sim::ApplyConfig("scanner 0 0\nfault tur 2 not-ready\n", bus, error)) << error;
  SetProvider(context.transport, &bus);
  EXPECT_EQ(ToCode(Probe(context)), 16u);
  EXPECT_EQ(context.state.probed, 0);
}

}  // namespace
}  // namespace tarvo
