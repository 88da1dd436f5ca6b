// The ASPI transport: request blocks, transport results, the result log
// lines of each failure, completion through the event, the adapter table,
// and the provider library loaded through the platform.
#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "platform/posix/PosixPlatform.h"
#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

using test::ScriptedReply;

constexpr const char* kStamp = "05/22/00 17:04:09 ";

std::string ResultLine(const char* tag, const char* value, int line) {
  return std::string(kStamp) + tag + " " + value + " returned from line " + std::to_string(line) +
         " of Scsi\r\n";
}
std::string FailureLines(const char* value, int transportLine, int callerLine) {
  return ResultLine("ASPI error", value, transportLine) +
         ResultLine("ASPI caller", value, callerLine);
}

class CountingPlatform : public test::ScsiTestPlatform {
 public:
  int waits = 0;
  bool failEvent = false;
  EventHandle EventCreate() override {
    if (!failEvent) return ScsiTestPlatform::EventCreate();
    SetLastError(kErrorNotEnoughMemory);
    return {};
  }
  bool EventWait(EventHandle event) override {
    ++waits;
    return ScsiTestPlatform::EventWait(event);
  }
};

class TransportTest : public ::testing::Test {
 protected:
  CountingPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  std::array<std::uint8_t, 16> sense{};
  void SetUp() override { SetProvider(context.transport, &provider); }
};

struct OutcomeCase {
  const char* name;
  ScriptedReply reply;
  std::uint16_t result;
  bool senseCopied;
  std::string log;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class TransportOutcomeTest : public TransportTest,
                             public ::testing::WithParamInterface<OutcomeCase> {};

const std::vector<std::uint8_t> kSense = test::Sense(0x05, 0x24, 0x00);

std::vector<OutcomeCase> OutcomeCases() {
  return {
      {"Good", {aspi::kSsComp, 0, 0, kSense, {}, false}, 0, true, ""},
      {"GoodWithSsErr", {aspi::kSsErr, 0, 0, kSense, {}, false}, 0, true, ""},
      {"CheckCondition", {aspi::kSsErr, 0, 2, kSense, {}, false}, 2, true,
       FailureLines("0x05040002", 416, 563)},
      {"TargetBusy", {aspi::kSsComp, 0, 8, {}, {}, false}, 8, true,
       FailureLines("0x05010008", 416, 563)},
      {"HostAdapterError", {aspi::kSsErr, 0x11, 0, kSense, {}, false}, 0x0411, true,
       FailureLines("0x05041100", 407, 563)},
      {"HostAdapterAndTarget", {aspi::kSsComp, 0x12, 2, kSense, {}, false}, 0x0112, true,
       FailureLines("0x05011202", 407, 563)},
      {"NoDevice", {aspi::kSsNoDevice, 0, 0, kSense, {}, false}, 0x8200, false,
       FailureLines("0x05820000", 428, 563)},
      {"AbortedWithHaStat", {aspi::kSsAborted, 0x09, 0, kSense, {}, false}, 0x0209, false,
       FailureLines("0x05020900", 428, 563)},
  };
}

TEST_P(TransportOutcomeTest, ResultSenseAndLog) {
  const OutcomeCase& c = GetParam();
  provider.reply = c.reply;
  sense.fill(0xEE);
  EXPECT_EQ(CmdTestUnitReady(context, 5, sense.data()), c.result);
  std::vector<std::uint8_t> expectedSense(14, 0);
  if (c.senseCopied && !c.reply.sense.empty()) expectedSense = c.reply.sense;
  EXPECT_EQ(std::vector<std::uint8_t>(sense.begin(), sense.begin() + 14), expectedSense);
  EXPECT_EQ(sense[14], 0xEE) << "only 14 sense bytes are written";
  EXPECT_EQ(platform.Log("scsi.log"), c.log);
  EXPECT_EQ(platform.waits, 0) << "a request finished at once is not waited for";
}

INSTANTIATE_TEST_SUITE_P(Outcomes, TransportOutcomeTest, ::testing::ValuesIn(OutcomeCases()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(TransportTest, PendingRequestCompletesThroughTheEventFromAnotherThread) {
  provider.reply.pending = true;
  provider.reply.dataIn = {'T', 'A', 'R', 'V', 'O'};
  std::array<std::uint8_t, 5> data{};
  EXPECT_EQ(InquiryAt(context, 0, 3, sense.data(), data, 5), 0);
  provider.Join();
  EXPECT_EQ(platform.waits, 1);
  EXPECT_EQ(std::string(data.begin(), data.end()), "TARVO");

  provider.reply.srbStatus = aspi::kSsErr;
  provider.reply.targStat = 2;
  provider.reply.sense = kSense;
  EXPECT_EQ(CmdTestUnitReady(context, 3, sense.data()), 2);
  provider.Join();
  EXPECT_EQ(platform.waits, 2);
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

TEST_F(TransportTest, InquiryAtUsesItsAdapterAndKeepsTheCallSite) {
  SelectAdapter(context, 3);
  context.transport.callSiteNumber = 777;
  std::array<std::uint8_t, 64> data{};
  provider.reply.srbStatus = aspi::kSsNoDevice;
  EXPECT_EQ(InquiryAt(context, 1, 6, sense.data(), data, 64), 0x8200);
  ASSERT_EQ(provider.requests.size(), 1u);
  EXPECT_EQ(provider.requests[0].srb.SRB_HaId, 1);
  EXPECT_EQ(provider.requests[0].cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 64, 0}));
  EXPECT_EQ(provider.requests[0].srb.SRB_Flags, 0x48);
  EXPECT_EQ(std::uint32_t{provider.requests[0].srb.SRB_BufLen}, 64u);
  EXPECT_EQ(context.transport.callSiteNumber, 777);
  EXPECT_EQ(platform.Log("scsi.log"), FailureLines("0x06820000", 428, 777));
  // ScsiExecute goes to the selected adapter.
  EXPECT_EQ(CmdStopBatch(context, 6, sense.data()), 0x8200);
  EXPECT_EQ(provider.requests[1].srb.SRB_HaId, 3);
}

TEST_F(TransportTest, DirectionIsMaskedAndLengthCutTo16Bits) {
  std::vector<std::uint8_t> data(70000);
  const std::array<std::uint8_t, 6> cdb{0x00, 0, 0, 0, 0, 0};
  EXPECT_EQ(ScsiExecute(context, 1, sense.data(), cdb, 0xFF, data), 0);
  const aspi::SrbExecScsiCmd& srb = provider.requests[0].srb;
  EXPECT_EQ(srb.SRB_Cmd, aspi::kScExecScsiCmd);
  EXPECT_EQ(srb.SRB_Target, 1);
  EXPECT_EQ(srb.SRB_Lun, 0);
  EXPECT_EQ(srb.SRB_SenseLen, 14);
  EXPECT_EQ(srb.SRB_CDBLen, 6);
  EXPECT_NE(static_cast<void*>(srb.SRB_PostProc), nullptr);  // packed: a copy, not a reference
  EXPECT_EQ(provider.requests[0].srb.SRB_Flags, 0x58);
  EXPECT_EQ(std::uint32_t{provider.requests[0].srb.SRB_BufLen}, 0x1170u);
  EXPECT_EQ(static_cast<std::uint8_t*>(provider.requests[0].srb.SRB_BufPointer), data.data());
  EXPECT_EQ(ScsiExecute(context, 1, sense.data(), cdb, 0x27, {}), 0);
  EXPECT_EQ(provider.requests[1].srb.SRB_Flags, 0x40);
  EXPECT_EQ(static_cast<std::uint8_t*>(provider.requests[1].srb.SRB_BufPointer), nullptr);
}

TEST_F(TransportTest, AdapterCountAndTableWithoutTheOptionalLibrary) {
  provider.supportInfo = 0x0100 | 40;
  EXPECT_EQ(AspiInit(context), 0);
  EXPECT_EQ(AspiAdapterCount(context), 40);
  for (std::uint32_t a = 0; a < kMaxAdapters; ++a) {
    EXPECT_EQ(AdapterMaxTransfer(context, a), 16384u);
  }
  EXPECT_EQ(AdapterMaxTransfer(context, 32), 0u);

  provider.supportInfo = 0xE800 | 3;  // SS_NO_ADAPTERS: the count stays as it was
  EXPECT_EQ(AspiInit(context), 0xE8);
  EXPECT_EQ(context.transport.adapterCount, 40);
  EXPECT_EQ(AspiAdapterCount(context), 0);
}

// The optional library found through the platform's library search.
class RizidudPlatform : public test::ScsiTestPlatform {
 public:
  bool failFree = false;
  LibraryHandle LibraryLoad(const char* name) override {
    if (std::string(name) == "RIZIDUD") return ScsiTestPlatform::LibraryLoad(TARVO_FAKE_RIZIDUD);
    return ScsiTestPlatform::LibraryLoad(name);
  }
  bool LibraryFree(LibraryHandle library) override {
    if (!failFree) return ScsiTestPlatform::LibraryFree(library);
    SetLastError(kErrorInvalidHandle);
    return false;
  }
};

TEST(TransportMaxTransfer, FromTheOptionalLibrary) {
  RizidudPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  provider.supportInfo = 0x0103;
  SetProvider(context.transport, &provider);
  EXPECT_EQ(AspiAdapterCount(context), 3);
  EXPECT_EQ(AdapterMaxTransfer(context, 0), 0x10000u);
  EXPECT_EQ(AdapterMaxTransfer(context, 2), 0x10002u);
  EXPECT_EQ(AdapterMaxTransfer(context, 3), 0u);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST(TransportMaxTransfer, FailedUnloadIsShownAndTheSizeKept) {
  RizidudPlatform platform;
  platform.failFree = true;
  DriverContext context{platform};
  EXPECT_EQ(QueryMaxTransfer(context, 5), 0x10005u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, "GetLastError 6");
  EXPECT_EQ(platform.boxes[0].caption, "");
  EXPECT_EQ(platform.boxes[0].style, kMbOk);
}

// The provider library loaded the way the driver loads it.
class ProviderLibraryTest : public ::testing::Test {
 protected:
  void UseProvider(const std::string& path) {
    PosixPlatformOptions options;
    options.aspiLibrary = path;
    options.root = dir.path();
    posix = std::make_unique<PosixPlatform>(options);
    platform = std::make_unique<FixedClock>(*posix);
    context = std::make_unique<DriverContext>(*platform);
  }
  std::string ScsiLog() { return test::ReadFileBytes(dir.File("scsi.log")); }

  struct FixedClock : test::ForwardingPlatform {
    using ForwardingPlatform::ForwardingPlatform;
    LocalTime Now() override { return LocalTime{2000, 5, 22, 17, 4, 9, 0}; }
  };
  test::TempDir dir;
  std::unique_ptr<PosixPlatform> posix;
  std::unique_ptr<FixedClock> platform;
  std::unique_ptr<DriverContext> context;
  std::array<std::uint8_t, 16> sense{};
};

TEST_F(ProviderLibraryTest, EveryOutcomeThroughTheLoadedLibrary) {
  UseProvider(TARVO_FAKE_ASPI);
  EXPECT_EQ(AspiAdapterCount(*context), 2);
  EXPECT_EQ(AdapterMaxTransfer(*context, 1), 16384u);

  std::array<std::uint8_t, 64> inquiry{};
  EXPECT_EQ(InquiryAt(*context, 1, 0, sense.data(), inquiry, 64), 0);
  EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.begin() + 13), "TARVO");
  EXPECT_EQ(std::string(inquiry.begin() + 16, inquiry.begin() + 21), "RT650");
  EXPECT_EQ(ScsiLog(), "");

  EXPECT_EQ(CmdTestUnitReady(*context, 1, sense.data()), 2);
  EXPECT_EQ(sense[2], 0x05);
  EXPECT_EQ(sense[12], 0x24);
  EXPECT_EQ(CmdTestUnitReady(*context, 2, sense.data()), 0x0411);
  EXPECT_EQ(CmdStopBatch(*context, 3, sense.data()), 0x8200);
  EXPECT_EQ(CmdLoadObject(*context, 4, sense.data()), 0) << "pending, completed by the eventfd";
  EXPECT_EQ(ScsiLog(), FailureLines("0x01040002", 416, 563) +
                           FailureLines("0x02041100", 407, 563) +
                           FailureLines("0x03820000", 428, 788));
}

TEST_F(ProviderLibraryTest, AbsentProviderMeansNoAdapters) {
  UseProvider(dir.path() + "/no-such-provider.so");
  EXPECT_EQ(AspiInit(*context), 0xE8);
  EXPECT_EQ(AspiAdapterCount(*context), 0);
  EXPECT_EQ(CmdTestUnitReady(*context, 0, sense.data()), 0xE800);
}

}  // namespace
}  // namespace tarvo
