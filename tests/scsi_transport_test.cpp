// The ASPI transport: the request block, the outcome and its result log lines,
// the scanner search's call site, the adapter table, the provider library.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

std::string ResultLine(const char* tag, const char* value, int line) {
  return std::string("05/22/00 17:04:09 ") + tag + " " + value + " returned from line " + std::to_string(line) +
         " of Scsi\r\n";
}
std::string FailureLines(const char* value, int transportLine, int callerLine) {
  return ResultLine("ASPI error", value, transportLine) + ResultLine("ASPI caller", value, callerLine);
}

class TransportPlatform : public test::ScsiTestPlatform {
 public:
  bool failEvent = false, withAspi = false, withRizidud = false, failFree = false;
  int waits = 0;
  EventHandle EventCreate() override {
    if (!failEvent) return ScsiTestPlatform::EventCreate();
    SetLastError(kErrorNotEnoughMemory);
    return {};
  }
  bool EventWait(EventHandle event) override { return ++waits, ScsiTestPlatform::EventWait(event); }
  // The provider and the optional max-transfer library, found through the platform's library search.
  LibraryHandle LibraryLoad(const char* name) override {
    const std::string n(name);
    return ScsiTestPlatform::LibraryLoad(withAspi && n == "WNASPI32.dll" ? TARVO_FAKE_ASPI
                                         : withRizidud && n == "RIZIDUD" ? TARVO_FAKE_RIZIDUD : name);
  }
  bool LibraryFree(LibraryHandle library) override {
    if (!failFree) return ScsiTestPlatform::LibraryFree(library);
    SetLastError(kErrorInvalidHandle);
    return false;
  }
};

class TransportTest : public ::testing::Test {
 protected:
  TransportPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  void SetUp() override { SetProvider(context.transport, &provider); }
};

// The provider's answer to STOP BATCH (call site 788) on target 5.
TEST_F(TransportTest, OutcomeResultSenseAndLogOfEachAnswer) {
  // site: of the transport's own log line (0: no lines); value: what both lines print.
  const struct { std::uint8_t srbStatus, haStat, targStat; std::uint16_t result; int site; const char* value; } cases[] = {
      {aspi::kSsComp, 0, 0, 0, 0, ""},
      {aspi::kSsErr, 0, 0, 0, 0, ""},
      {aspi::kSsErr, 0, 2, 2, 416, "0x05040002"},
      {aspi::kSsComp, 0, 8, 8, 416, "0x05010008"},
      {aspi::kSsErr, 0x11, 0, 0x0411, 407, "0x05041100"},
      {aspi::kSsComp, 0x12, 2, 0x0112, 407, "0x05011202"},
      {aspi::kSsNoDevice, 0, 0, 0x8200, 428, "0x05820000"},
      {aspi::kSsAborted, 0x0B, 0, 0x020B, 428, "0x05020B00"},
  };
  std::vector<std::uint8_t> sense = test::Sense(0x05, 0x24, 0x00);
  sense.resize(16, 0xEE);  // only 14 sense bytes are handed back
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    std::remove(platform.RootFile("scsi.log").c_str());
    provider.reply = {c.srbStatus, c.haStat, c.targStat, sense, {}};
    const ScsiOutcome o = Execute(context, 5, CmdStopBatch());
    EXPECT_EQ(std::tuple(o.result, o.srbStatus, o.hostAdapterStatus, o.targetStatus),
              std::tuple(c.result, c.srbStatus, c.haStat, c.targStat));
    const bool completed = c.srbStatus == aspi::kSsComp || c.srbStatus == aspi::kSsErr;
    EXPECT_EQ(test::Hex(o.sense.bytes), completed ? "70 00 05 00 00 00 00 06 00 00 00 00 24 00 00 00"
                                                  : "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
    EXPECT_EQ(platform.Log("scsi.log"), c.site == 0 ? "" : FailureLines(c.value, c.site, 788));
  }
}

TEST_F(TransportTest, RequestBlockDirectionMaskedLengthCutTo16BitsAndNoEventNoRequest) {
  std::vector<std::uint8_t> data(70000);
  ScsiCommand command = CmdReadImage(data, 70000);
  command.direction = 0xFF;
  const ScsiOutcome o = Execute(context, 1, command);
  EXPECT_EQ(std::tuple(o.result, o.transferred), std::tuple(0, 0x1170u));
  const aspi::SrbExecScsiCmd srb = provider.requests.at(0).srb;
  EXPECT_EQ(std::tuple(srb.SRB_Cmd, srb.SRB_HaId, srb.SRB_Flags, srb.SRB_Target, srb.SRB_Lun, std::uint32_t{srb.SRB_BufLen},
                       srb.SRB_SenseLen, srb.SRB_CDBLen),
            std::tuple(aspi::kScExecScsiCmd, 0, 0x58, 1, 0, 0x1170u, 14, 10));
  EXPECT_EQ(static_cast<void*>(srb.SRB_BufPointer), static_cast<void*>(data.data()));
  EXPECT_NE(static_cast<void*>(srb.SRB_PostProc), nullptr);
  EXPECT_EQ(test::Hex(provider.requests[0].cdb), "28 00 00 00 00 00 01 11 70 00");
  EXPECT_EQ(Execute(context, 1, CmdStopBatch()).transferred, 0u);
  EXPECT_EQ(std::tuple(provider.requests.at(1).srb.SRB_Flags, static_cast<void*>(provider.requests[1].srb.SRB_BufPointer)),
            std::tuple(0x40, nullptr));
  platform.failEvent = true;  // nothing is sent
  EXPECT_EQ(Execute(context, 5, CmdTestUnitReady()).result, kNoEventResult);
  EXPECT_EQ(provider.requests.size(), 2u);
  EXPECT_EQ(platform.Log("scsi.log"), ResultLine("ASPI error", "0x00000008", 354));
}

// The scanner search names the call site of the command run before it.
TEST_F(TransportTest, InquiryAtUsesItsAdapterAndTheLastCallSite) {
  SelectAdapter(context, 3);
  provider.reply.srbStatus = aspi::kSsNoDevice;
  EXPECT_EQ(Execute(context, 6, CmdStopBatch()).result, 0x8200);
  std::array<std::uint8_t, 100> data{};
  std::array<std::uint8_t, 16> sense{};
  EXPECT_EQ(InquiryAt(context, 1, 6, sense.data(), data, 64), 0x8200);
  const aspi::SrbExecScsiCmd& srb = provider.requests.at(1).srb;
  EXPECT_EQ(test::Hex(provider.requests[1].cdb), "12 00 00 00 40 00");
  EXPECT_EQ(std::tuple(provider.requests[0].srb.SRB_HaId, srb.SRB_HaId, srb.SRB_Flags, std::uint32_t{srb.SRB_BufLen}),
            std::tuple(3, 1, 0x48, 64u));
  EXPECT_EQ(platform.Log("scsi.log"), FailureLines("0x06820000", 428, 788) + FailureLines("0x06820000", 428, 788));
}

TEST_F(TransportTest, AdapterTableFromTheOptionalLibraryOrTheDefaultOrNone) {
  provider.supportInfo = 0x0100 | 40;
  EXPECT_EQ(AspiAdapterCount(context), 40);
  EXPECT_EQ(std::tuple(AdapterMaxTransfer(context, kMaxAdapters - 1), AdapterMaxTransfer(context, kMaxAdapters)),
            std::tuple(16384u, 0u));
  provider.supportInfo = 0xE800 | 3;  // no adapters
  EXPECT_EQ(AspiInit(context), 0xE8);
  EXPECT_EQ(context.transport.adapterCount, 40) << "the count stays as it was";
  platform.withRizidud = true;
  provider.supportInfo = 0x0103;
  EXPECT_EQ(AspiAdapterCount(context), 3);
  EXPECT_EQ(AdapterMaxTransfer(context, 2), 0x10002u);
  EXPECT_TRUE(platform.boxes.empty());
  platform.failFree = true;  // a failed unload is shown and the size kept
  EXPECT_EQ(QueryMaxTransfer(context, 5), 0x10005u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(std::tuple(platform.boxes[0].text, platform.boxes[0].caption, platform.boxes[0].style),
            std::tuple("GetLastError 6", "", kMbOk));
  SetProvider(context.transport, nullptr);  // and no provider library either: no adapters
  EXPECT_EQ(AspiAdapterCount(context), 0);
  EXPECT_EQ(Execute(context, 0, CmdTestUnitReady()).result, 0xE800);
}

// The provider library loaded the way the driver loads it.
TEST_F(TransportTest, EveryOutcomeThroughTheLoadedProviderLibrary) {
  SetProvider(context.transport, nullptr);
  platform.withAspi = true;
  EXPECT_EQ(AspiAdapterCount(context), 2);
  std::array<std::uint8_t, 64> inquiry{};
  std::array<std::uint8_t, 16> sense{};
  EXPECT_EQ(InquiryAt(context, 1, 0, sense.data(), inquiry, 64), 0);
  EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.begin() + 21), "TARVO   RT650");
  const ScsiOutcome check = Execute(context, 1, CmdTestUnitReady());
  EXPECT_EQ(std::tuple(check.result, check.sense.bytes[2], check.sense.bytes[12]), std::tuple(2, 0x05, 0x24));
  EXPECT_EQ(Execute(context, 4, CmdLoadObject()).result, 0) << "pending, completed by the eventfd";
  EXPECT_EQ(platform.waits, 1) << "only a pending request is waited for";
  EXPECT_EQ(platform.Log("scsi.log"), FailureLines("0x01040002", 416, 563));
}

}  // namespace
}  // namespace tarvo
