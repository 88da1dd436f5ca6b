// The command trace of what the transport sent and received, rotation of both
// SCSI logs past 524288 bytes through five generations, silent failure.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "scsi/ScsiLog.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

class ScsiLogTest : public ::testing::Test {
 protected:
  test::ScsiTestPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  void SetUp() override { SetProvider(context.transport, &provider); }
};

// One trace line: name (15 characters), CDB (ten slots of three), status, data.
std::string Line(const char* tid, const char* name, std::string cdb, const char* status, const std::string& data) {
  cdb.resize(30, ' ');
  return "05/22/00 17:04:09 TID:" + std::string(tid) + " " + name + " CDB:" + cdb + " STATUS:" + status +
         " DATA:" + data + "\r\n";
}

TEST_F(ScsiLogTest, TraceLinesToTheCharacterOnlyWhileTheSwitchIsOn) {
  std::array<std::uint8_t, 3> status{};
  std::array<std::uint8_t, 52> window{};
  std::vector<std::uint8_t> image(4000);
  (void)Execute(context, 4, CmdReadStatus(status));
  EXPECT_FALSE(test::FileExists(platform.RootFile("cdb.log")));
  context.cdbTraceOn = true;
  (void)Execute(context, 0x0A, CmdTestUnitReady());
  provider.reply.dataIn = {0x01, 0xAB, 0xF0};
  (void)Execute(context, 2, CmdReadStatus(status));
  provider.reply.dataIn.assign(4000, 0);
  std::iota(provider.reply.dataIn.begin(), provider.reply.dataIn.end(), 0);
  (void)Execute(context, 1, CmdReadImage(image, 4000));  // at most 128 data bytes are shown
  (void)Execute(context, 1, CmdGetWindow(0, window));
  provider.reply = {aspi::kSsErr, 0, 2, test::Sense(0x03, 0x80, 0x01), {}};  // a failure adds the sense
  (void)Execute(context, 3, CmdScan(2));
  EXPECT_EQ(platform.Log("cdb.log"),
            Line("0A", "TestUnitReady  ", "00 00 00 00 00 00 ", "01", std::string(384, ' ')) +
                Line("02", "Read           ", "28 00 84 00 00 00 00 00 03 00 ", "01", "01 AB F0 ") +
                Line("01", "Read           ", "28 00 00 00 00 00 00 0F A0 00 ", "01",
                     test::Hex(ConstByteSpan(image).first(128)) + " ") +
                Line("01", "GetWindow      ", "25 01 00 00 00 00 00 00 34 00 ", "01",
                     test::Hex(ConstByteSpan(window)) + " ") +
                Line("03", "Scan           ", "1B 00 00 00 02 00 ", "04", "00 01 ") + std::string(18, ' ') +
                "SENSE:70 00 03 00 00 00 00 06 00 00 00 00 80 01 \r\n");
  EXPECT_STREQ(TraceCommandName(0xDA), "UnknownCommand ");
}

// The entry that brings the log to exactly 524288 bytes stays; the next one
// moves every generation down and starts a new log.
TEST_F(ScsiLogTest, RotatesPast524288Bytes) {
  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  const std::size_t lineLength = platform.Log("scsi.log").size();
  test::WriteFileBytes(platform.RootFile("scsi.log"), std::string(kScsiLogLimit - lineLength, 'x'));
  for (int g = 0; g < 5; ++g) test::WriteFileBytes(platform.RootFile("scsi" + std::to_string(g) + ".log"), "gen" + std::to_string(g));
  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  EXPECT_EQ(platform.Log("scsi.log").size(), kScsiLogLimit);
  WriteScsiResult(platform, "ASPI caller", 2, "Scsi", 0);
  EXPECT_FALSE(test::FileExists(platform.RootFile("scsi.log")));
  EXPECT_EQ(platform.Log("scsi0.log").size(), kScsiLogLimit + lineLength + 1);
  for (int g = 1; g < 5; ++g) EXPECT_EQ(platform.Log("scsi" + std::to_string(g) + ".log"), "gen" + std::to_string(g - 1));
  // The trace rotates into its own generations.
  context.cdbTraceOn = true;
  test::WriteFileBytes(platform.RootFile("cdb.log"), std::string(kScsiLogLimit, 'x'));
  (void)Execute(context, 1, CmdTestUnitReady());
  EXPECT_FALSE(test::FileExists(platform.RootFile("cdb.log")));
  EXPECT_GT(platform.Log("cdb0.log").size(), kScsiLogLimit);
}

// A log that cannot be written is not rotated, one that cannot be opened is
// skipped; neither shows a box or changes an outcome.
class FailingWrites : public test::ScsiTestPlatform {
 public:
  bool FileWrite(FileHandle, const void*, std::uint32_t, std::uint32_t*) override {
    SetLastError(kErrorDiskFull);
    return false;
  }
};

TEST(ScsiLogFailure, IsSilentAndNeverChangesAnOutcome) {
  FailingWrites platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  SetProvider(context.transport, &provider);
  test::WriteFileBytes(platform.RootFile("scsi.log"), std::string(kScsiLogLimit + 10, 'x'));
  std::filesystem::create_directories(platform.RootFile("cdb.log"));
  context.cdbTraceOn = true;
  provider.reply = {aspi::kSsErr, 0, 2, test::Sense(0x02, 0x04, 0x03), {}};
  const ScsiOutcome o = Execute(context, 1, CmdTestUnitReady());
  EXPECT_EQ(std::tuple(o.result, o.sense.bytes[13]), std::tuple(2, 0x03));
  EXPECT_EQ(platform.Log("scsi.log").size(), kScsiLogLimit + 10);
  EXPECT_FALSE(test::FileExists(platform.RootFile("scsi0.log")));
  EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
}  // namespace tarvo
