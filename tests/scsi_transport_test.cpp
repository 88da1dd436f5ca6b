// The ASPI transport: the request block, results and result log lines, completion
// through the event, the adapter table, the provider library loaded by the platform.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "platform/posix/PosixPlatform.h"
#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

std::string ResultLine(const char* tag, const char* value, int line) {
  return std::string("05/22/00 17:04:09 ") + tag + " " + value + " returned from line " +
         std::to_string(line) + " of Scsi\r\n";
}
std::string FailureLines(const char* value, int transportLine, int callerLine) {
  return ResultLine("ASPI error", value, transportLine) +
         ResultLine("ASPI caller", value, callerLine);
}

class TransportPlatform : public test::ScsiTestPlatform {
 public:
  int waits = 0;
  bool failEvent = false, withRizidud = false, failFree = false;
  EventHandle EventCreate() override {
    if (!failEvent) return ScsiTestPlatform::EventCreate();
    SetLastError(kErrorNotEnoughMemory);
    return {};
  }
  bool EventWait(EventHandle event) override {
    ++waits;
    return ScsiTestPlatform::EventWait(event);
  }
  // The optional max-transfer library, found through the platform's library search.
  LibraryHandle LibraryLoad(const char* name) override {
    const bool rizidud = withRizidud && std::string(name) == "RIZIDUD";
    return ScsiTestPlatform::LibraryLoad(rizidud ? TARVO_FAKE_RIZIDUD : name);
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
  std::array<std::uint8_t, 16> sense{};
  void SetUp() override { SetProvider(context.transport, &provider); }
};

const std::vector<std::uint8_t> kSense = test::Sense(0x05, 0x24, 0x00);

struct Outcome {
  const char* name;
  std::uint8_t srbStatus, haStat, targStat;
  std::uint16_t result;
  bool senseCopied;
  std::string log;
};
class TransportOutcomeTest : public TransportTest, public ::testing::WithParamInterface<Outcome> {};

const Outcome kOutcomes[] = {
    {"Good", aspi::kSsComp, 0, 0, 0, true, ""},
    {"GoodWithSsErr", aspi::kSsErr, 0, 0, 0, true, ""},
    {"CheckCondition", aspi::kSsErr, 0, 2, 2, true, FailureLines("0x05040002", 416, 563)},
    {"TargetBusy", aspi::kSsComp, 0, 8, 8, true, FailureLines("0x05010008", 416, 563)},
    {"HostAdapter", aspi::kSsErr, 0x11, 0, 0x0411, true, FailureLines("0x05041100", 407, 563)},
    {"HostAdapterAndTarget", aspi::kSsComp, 0x12, 2, 0x0112, true,
     FailureLines("0x05011202", 407, 563)},
    {"NoDevice", aspi::kSsNoDevice, 0, 0, 0x8200, false, FailureLines("0x05820000", 428, 563)},
    {"AbortedWithHaStat", aspi::kSsAborted, 0x0B, 0, 0x020B, false,
     FailureLines("0x05020B00", 428, 563)},
};

TEST_P(TransportOutcomeTest, ResultSenseAndLog) {
  const Outcome& c = GetParam();
  provider.reply = {c.srbStatus, c.haStat, c.targStat, kSense, {}, false};
  sense.fill(0xEE);
  EXPECT_EQ(CmdTestUnitReady(context, 5, sense.data()), c.result);
  std::vector<std::uint8_t> expected = c.senseCopied ? kSense : std::vector<std::uint8_t>(14, 0);
  expected.resize(16, 0xEE);  // only 14 sense bytes are written
  EXPECT_EQ(std::vector<std::uint8_t>(sense.begin(), sense.end()), expected);
  EXPECT_EQ(platform.Log("scsi.log"), c.log);
  EXPECT_EQ(platform.waits, 0) << "a request finished at once is not waited for";
}

INSTANTIATE_TEST_SUITE_P(Outcomes, TransportOutcomeTest, ::testing::ValuesIn(kOutcomes),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(TransportTest, PendingRequestCompletesThroughTheEventFromAnotherThread) {
  provider.reply = {aspi::kSsErr, 0, 2, kSense, {'T', 'A', 'R', 'V', 'O'}, true};
  std::array<std::uint8_t, 5> data{};
  EXPECT_EQ(InquiryAt(context, 0, 3, sense.data(), data, 5), 2);
  provider.Join();
  EXPECT_EQ(platform.waits, 1);
  EXPECT_EQ(std::string(data.begin(), data.end()), "TARVO");
  EXPECT_EQ(sense[12], 0x24);
}

TEST_F(TransportTest, NoEventMeansNothingSentAndResult800) {
  platform.failEvent = true;
  context.transport.callSiteNumber = 999;
  sense.fill(0xEE);
  EXPECT_EQ(CmdTestUnitReady(context, 5, sense.data()), kNoEventResult);
  EXPECT_TRUE(provider.requests.empty());
  EXPECT_EQ(sense[0], 0xEE);
  EXPECT_EQ(platform.Log("scsi.log"), ResultLine("ASPI error", "0x00000008", 354));
}

TEST_F(TransportTest, RequestBlockDirectionMaskedAndLengthCutTo16Bits) {
  std::vector<std::uint8_t> data(70000);
  const std::array<std::uint8_t, 6> cdb{};
  EXPECT_EQ(ScsiExecute(context, 1, sense.data(), cdb, 0xFF, data), 0);
  const aspi::SrbExecScsiCmd srb = provider.requests.at(0).srb;
  EXPECT_EQ(std::tuple(srb.SRB_Cmd, srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun, srb.SRB_SenseLen,
                       srb.SRB_CDBLen),
            std::tuple(aspi::kScExecScsiCmd, 0, 1, 0, 14, 6));
  EXPECT_NE(static_cast<void*>(srb.SRB_PostProc), nullptr);
  EXPECT_EQ(std::tuple(srb.SRB_Flags, std::uint32_t{srb.SRB_BufLen}), std::tuple(0x58, 0x1170u));
  EXPECT_EQ(static_cast<std::uint8_t*>(srb.SRB_BufPointer), data.data());
  EXPECT_EQ(ScsiExecute(context, 1, sense.data(), cdb, 0x27, {}), 0);
  EXPECT_EQ(provider.requests.at(1).srb.SRB_Flags, 0x40);
  EXPECT_EQ(static_cast<std::uint8_t*>(provider.requests[1].srb.SRB_BufPointer), nullptr);
}

TEST_F(TransportTest, InquiryAtUsesItsAdapterAndKeepsTheCallSite) {
  SelectAdapter(context, 3);
  context.transport.callSiteNumber = 777;
  provider.reply.srbStatus = aspi::kSsNoDevice;
  std::array<std::uint8_t, 100> data{};
  EXPECT_EQ(InquiryAt(context, 1, 6, sense.data(), data, 64), 0x8200);
  const aspi::SrbExecScsiCmd& srb = provider.requests.at(0).srb;
  EXPECT_EQ(provider.requests[0].cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 64, 0}));
  EXPECT_EQ(std::tuple(srb.SRB_HaId, srb.SRB_Flags, std::uint32_t{srb.SRB_BufLen}),
            std::tuple(1, 0x48, 64u));
  EXPECT_EQ(context.transport.callSiteNumber, 777);
  EXPECT_EQ(platform.Log("scsi.log"), FailureLines("0x06820000", 428, 777));
  EXPECT_EQ(CmdStopBatch(context, 6, sense.data()), 0x8200);
  EXPECT_EQ(provider.requests.at(1).srb.SRB_HaId, 3) << "other commands use the selected adapter";
}

TEST_F(TransportTest, AdapterCountAndTableWithoutTheOptionalLibrary) {
  provider.supportInfo = 0x0100 | 40;
  EXPECT_EQ(AspiInit(context), 0);
  EXPECT_EQ(AspiAdapterCount(context), 40);
  for (std::uint32_t a = 0; a < kMaxAdapters; ++a) EXPECT_EQ(AdapterMaxTransfer(context, a), 16384u);
  EXPECT_EQ(AdapterMaxTransfer(context, kMaxAdapters), 0u);
  provider.supportInfo = 0xE800 | 3;  // no adapters: the count stays as it was
  EXPECT_EQ(AspiInit(context), 0xE8);
  EXPECT_EQ(context.transport.adapterCount, 40);
  EXPECT_EQ(AspiAdapterCount(context), 0);
}

TEST_F(TransportTest, MaxTransferFromTheOptionalLibrary) {
  platform.withRizidud = true;
  provider.supportInfo = 0x0103;
  EXPECT_EQ(AspiAdapterCount(context), 3);
  EXPECT_EQ(AdapterMaxTransfer(context, 2), 0x10002u);
  EXPECT_EQ(AdapterMaxTransfer(context, 3), 0u);
  EXPECT_TRUE(platform.boxes.empty());
  platform.failFree = true;  // a failed unload is shown and the size kept
  EXPECT_EQ(QueryMaxTransfer(context, 5), 0x10005u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(std::tuple(platform.boxes[0].text, platform.boxes[0].caption, platform.boxes[0].style),
            std::tuple("GetLastError 6", "", kMbOk));
}

// The provider library loaded the way the driver loads it.
struct FixedClock : test::ForwardingPlatform {
  using ForwardingPlatform::ForwardingPlatform;
  LocalTime Now() override { return LocalTime{2000, 5, 22, 17, 4, 9, 0}; }
};

TEST(ProviderLibrary, EveryOutcomeThroughTheLoadedLibrary) {
  test::TempDir dir;
  PosixPlatform posix{PosixPlatformOptions{dir.path(), false, "", TARVO_FAKE_ASPI}};
  FixedClock platform{posix};
  DriverContext context{platform};
  std::array<std::uint8_t, 16> sense{};
  EXPECT_EQ(AspiAdapterCount(context), 2);
  std::array<std::uint8_t, 64> inquiry{};
  EXPECT_EQ(InquiryAt(context, 1, 0, sense.data(), inquiry, 64), 0);
  EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.begin() + 21), "TARVO   RT650");
  EXPECT_EQ(CmdTestUnitReady(context, 1, sense.data()), 2);
  EXPECT_EQ(std::tuple(sense[2], sense[12]), std::tuple(0x05, 0x24));
  EXPECT_EQ(CmdTestUnitReady(context, 2, sense.data()), 0x0411);
  EXPECT_EQ(CmdStopBatch(context, 3, sense.data()), 0x8200);
  EXPECT_EQ(CmdLoadObject(context, 4, sense.data()), 0) << "pending, completed by the eventfd";
  EXPECT_EQ(test::ReadFileBytes(dir.File("scsi.log")),
            FailureLines("0x01040002", 416, 563) + FailureLines("0x02041100", 407, 563) +
                FailureLines("0x03820000", 428, 788));
}

TEST(ProviderLibrary, AbsentProviderMeansNoAdapters) {
  test::TempDir dir;
  PosixPlatform platform{PosixPlatformOptions{dir.path(), false, "", dir.File("none.so")}};
  DriverContext context{platform};
  std::uint8_t sense[16] = {};
  EXPECT_EQ(AspiAdapterCount(context), 0);
  EXPECT_EQ(CmdTestUnitReady(context, 0, sense), 0xE800);
}

}  // namespace
}  // namespace tarvo
