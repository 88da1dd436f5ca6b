// The command trace line by line, rotation of both SCSI logs past 524288 bytes
// through five generations, silent failure. Result lines: scsi_transport_test.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "scsi/ScsiLog.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

const std::string kStamp = "05/22/00 17:04:09 ";
const std::vector<std::uint8_t> kNoSense(16, 0);

class ScsiLogTest : public ::testing::Test {
 protected:
  test::ScsiTestPlatform platform;
  std::string Trace(std::uint8_t target, std::vector<std::uint8_t> cdb,
                    std::vector<std::uint8_t> data, std::uint8_t status,
                    const std::vector<std::uint8_t>& sense = kNoSense) {
    std::filesystem::remove(platform.RootFile("cdb.log"));
    TraceCommand(platform, true, target, sense.data(), cdb, data, status);
    return platform.Log("cdb.log");
  }
};

// The fixed part of a trace line: name (15 characters), CDB field (30).
std::string TraceHead(const char* tid, const char* name, std::string cdbField) {
  cdbField.resize(30, ' ');
  return kStamp + "TID:" + tid + " " + name + " CDB:" + cdbField + " STATUS:";
}

TEST_F(ScsiLogTest, TraceLinesToTheCharacter) {
  EXPECT_EQ(Trace(0x0A, {0x12, 0, 0, 0, 0x40, 0}, {}, 1),
            TraceHead("0A", "Inquiry        ", "12 00 00 00 40 00 ") + "01 DATA:" +
                std::string(384, ' ') + "\r\n");
  EXPECT_EQ(Trace(2, {0x28, 0, 0x84, 0, 0, 0, 0, 0, 3, 0}, {0x01, 0xAB, 0xF0}, 1),
            TraceHead("02", "Read           ", "28 00 84 00 00 00 00 00 03 00 ") +
                "01 DATA:01 AB F0 \r\n");
  // A failed request adds the sense line.
  EXPECT_EQ(Trace(3, {0x1B, 0, 0, 0, 1, 0}, {0x00}, 4, test::Sense(0x03, 0x80, 0x01)),
            TraceHead("03", "Scan           ", "1B 00 00 00 01 00 ") + "04 DATA:00 \r\n" +
                std::string(18, ' ') + "SENSE:70 00 03 00 00 00 00 06 00 00 00 00 80 01 \r\n");
  EXPECT_STREQ(TraceCommandName(0x24), "SetWindow      ");
  EXPECT_STREQ(TraceCommandName(0x25), "GetWindow      ");
  EXPECT_STREQ(TraceCommandName(0xDA), "UnknownCommand ");
  // At most 128 data bytes are shown.
  std::vector<std::uint8_t> data(4000);
  std::iota(data.begin(), data.end(), 0);
  const std::string line = Trace(1, {0x28, 0, 0, 0, 0, 0, 0, 0x0F, 0xA0, 0}, data, 1);
  std::string expected = "DATA:";
  char pair[4];
  for (int i = 0; i < 128; ++i) {
    std::snprintf(pair, sizeof pair, "%02X ", i);
    expected += pair;
  }
  EXPECT_EQ(line.substr(line.find("DATA:")), expected + "\r\n");
}

TEST_F(ScsiLogTest, TransportTracesWhatWasReceivedOnlyWhileTheSwitchIsOn) {
  DriverContext context{platform};
  test::RecordingProvider provider;
  SetProvider(context.transport, &provider);
  provider.reply.dataIn = {0x00, 0x01, 0x02};
  std::array<std::uint8_t, 16> sense{};
  std::array<std::uint8_t, 3> status{};
  EXPECT_EQ(CmdReadStatus(context, 4, sense.data(), status), 0);
  EXPECT_FALSE(test::FileExists(platform.RootFile("cdb.log")));
  context.cdbTraceOn = true;
  EXPECT_EQ(CmdReadStatus(context, 4, sense.data(), status), 0);
  EXPECT_EQ(platform.Log("cdb.log"),
            TraceHead("04", "Read           ", "28 00 84 00 00 00 00 00 03 00 ") +
                "01 DATA:00 01 02 \r\n");
}

// The entry that brings the log to exactly 524288 bytes stays; the next one
// moves every generation down and starts a new log.
TEST_F(ScsiLogTest, RotatesPast524288Bytes) {
  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  const std::size_t lineLength = platform.Log("scsi.log").size();
  test::WriteFileBytes(platform.RootFile("scsi.log"), std::string(kScsiLogLimit - lineLength, 'x'));
  for (int g = 0; g < 5; ++g) {
    test::WriteFileBytes(platform.RootFile("scsi" + std::to_string(g) + ".log"), "gen" + std::to_string(g));
  }
  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  EXPECT_EQ(platform.Log("scsi.log").size(), kScsiLogLimit);
  EXPECT_EQ(platform.Log("scsi0.log"), "gen0");
  WriteScsiResult(platform, "ASPI caller", 2, "Scsi", 0);
  EXPECT_FALSE(test::FileExists(platform.RootFile("scsi.log")));
  EXPECT_EQ(platform.Log("scsi0.log").size(), kScsiLogLimit + lineLength + 1);
  for (int g = 1; g < 5; ++g) {
    EXPECT_EQ(platform.Log("scsi" + std::to_string(g) + ".log"), "gen" + std::to_string(g - 1));
  }
  WriteScsiResult(platform, "ASPI error", 3, "Scsi", 0);
  EXPECT_EQ(platform.Log("scsi.log").size(), lineLength);
  // The trace rotates into its own generations.
  test::WriteFileBytes(platform.RootFile("cdb.log"), std::string(kScsiLogLimit, 'x'));
  TraceCommand(platform, true, 1, kNoSense.data(), std::vector<std::uint8_t>(6, 0), {}, 1);
  EXPECT_FALSE(test::FileExists(platform.RootFile("cdb.log")));
  EXPECT_GT(platform.Log("cdb0.log").size(), kScsiLogLimit);
}

class FailingWrites : public test::ScsiTestPlatform {
 public:
  bool FileWrite(FileHandle, const void*, std::uint32_t, std::uint32_t*) override {
    SetLastError(kErrorDiskFull);
    return false;
  }
};

TEST(ScsiLogFailure, FailedWriteNeitherRotatesNorComplains) {
  FailingWrites platform;
  test::WriteFileBytes(platform.RootFile("scsi.log"), std::string(kScsiLogLimit + 10, 'x'));
  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  EXPECT_EQ(platform.Log("scsi.log").size(), kScsiLogLimit + 10);
  EXPECT_FALSE(test::FileExists(platform.RootFile("scsi0.log")));
  EXPECT_TRUE(platform.boxes.empty());
}

TEST(ScsiLogFailure, LogsThatCannotBeOpenedNeverChangeAResult) {
  test::ScsiTestPlatform platform;
  std::filesystem::create_directories(platform.RootFile("scsi.log"));
  std::filesystem::create_directories(platform.RootFile("cdb.log"));
  DriverContext context{platform};
  context.cdbTraceOn = true;
  test::RecordingProvider provider;
  SetProvider(context.transport, &provider);
  provider.reply = {aspi::kSsErr, 0, 2, test::Sense(0x02, 0x04, 0x03), {}, false};
  std::array<std::uint8_t, 16> sense{};
  EXPECT_EQ(CmdTestUnitReady(context, 1, sense.data()), 2);
  EXPECT_EQ(sense[13], 0x03);
  EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
}  // namespace tarvo
