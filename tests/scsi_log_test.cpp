// The SCSI result log and the command trace: line formats to the character,
// rotation past 524288 bytes through five generations, silent failure.
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

using test::FileExists;
using test::WriteFileBytes;

constexpr const char* kStamp = "05/22/00 17:04:09 ";
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

TEST_F(ScsiLogTest, ResultLine) {
  WriteScsiResult(platform, "ASPI error", 416, "Scsi", 0x05040002);
  WriteScsiResult(platform, "ASPI caller", 563, "Scsi", 0xFFFFFFFF);
  EXPECT_EQ(platform.Log("scsi.log"),
            std::string(kStamp) + "ASPI error 0x05040002 returned from line 416 of Scsi\r\n" +
                kStamp + "ASPI caller 0xFFFFFFFF returned from line 563 of Scsi\r\n");
}

// The fixed part of a trace line: name (15 characters), CDB field (30).
std::string TraceHead(const char* tid, const char* name, const char* cdbField) {
  return std::string(kStamp) + "TID:" + tid + " " + name + " CDB:" + cdbField + " STATUS:";
}

TEST_F(ScsiLogTest, TraceLinesToTheCharacter) {
  const std::string spaces384(384, ' ');
  const std::string cdb6 = std::string("00 00 00 00 00 00 ") + std::string(12, ' ');
  EXPECT_EQ(Trace(5, {0, 0, 0, 0, 0, 0}, {}, 1),
            TraceHead("05", "TestUnitReady  ", cdb6.c_str()) + "01 DATA:" + spaces384 + "\r\n");
  const std::string inquiry = std::string("12 00 00 00 40 00 ") + std::string(12, ' ');
  ASSERT_EQ(inquiry.size(), 30u);
  EXPECT_EQ(Trace(0x0A, {0x12, 0, 0, 0, 0x40, 0}, {}, 1),
            TraceHead("0A", "Inquiry        ", inquiry.c_str()) + "01 DATA:" + spaces384 + "\r\n");
  EXPECT_EQ(Trace(2, {0x28, 0, 0x84, 0, 0, 0, 0, 0, 3, 0}, {0x01, 0xAB, 0xF0}, 1),
            TraceHead("02", "Read           ", "28 00 84 00 00 00 00 00 03 00 ") +
                "01 DATA:01 AB F0 \r\n");
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += "5A ";
  const std::string define = std::string("DA 00 00 00 10 00 ") + std::string(12, ' ');
  EXPECT_EQ(Trace(2, {0xDA, 0, 0, 0, 0x10, 0}, std::vector<std::uint8_t>(16, 0x5A), 1),
            TraceHead("02", "UnknownCommand ", define.c_str()) + "01 DATA:" + sixteen + "\r\n");
}

TEST_F(ScsiLogTest, TraceShowsAtMost128DataBytes) {
  std::vector<std::uint8_t> data(4000);
  std::iota(data.begin(), data.end(), 0);
  const std::string line = Trace(1, {0x28, 0, 0, 0, 0, 0, 0, 0x0F, 0xA0, 0}, data, 1);
  const std::size_t at = line.find("DATA:");
  ASSERT_NE(at, std::string::npos);
  std::string expected;
  char pair[4];
  for (int i = 0; i < 128; ++i) {
    std::snprintf(pair, sizeof pair, "%02X ", i);
    expected += pair;
  }
  EXPECT_EQ(line.substr(at + 5), expected + "\r\n");
}

TEST_F(ScsiLogTest, FailedRequestAddsTheSenseLine) {
  const std::vector<std::uint8_t> sense = test::Sense(0x03, 0x80, 0x01);
  const std::string log = Trace(3, {0x1B, 0, 0, 0, 1, 0}, {0x00}, 4, sense);
  const std::string scan = std::string("1B 00 00 00 01 00 ") + std::string(12, ' ');
  EXPECT_EQ(log, TraceHead("03", "Scan           ", scan.c_str()) + "04 DATA:00 \r\n" +
                     std::string(18, ' ') + "SENSE:70 00 03 00 00 00 00 06 00 00 00 00 80 01 \r\n");
}

TEST_F(ScsiLogTest, TraceIsWrittenOnlyWhileItsSwitchIsOn) {
  TraceCommand(platform, false, 1, kNoSense.data(), std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0}, {},
               1);
  EXPECT_FALSE(FileExists(platform.RootFile("cdb.log")));
}

TEST_F(ScsiLogTest, TransportTracesWhatWasReceived) {
  DriverContext context{platform};
  context.cdbTraceOn = true;
  test::RecordingProvider provider;
  SetProvider(context.transport, &provider);
  provider.reply.dataIn = {0x00, 0x01, 0x02};
  std::array<std::uint8_t, 16> sense{};
  std::array<std::uint8_t, 3> status{};
  EXPECT_EQ(CmdReadStatus(context, 4, sense.data(), status), 0);
  EXPECT_EQ(platform.Log("cdb.log"),
            TraceHead("04", "Read           ", "28 00 84 00 00 00 00 00 03 00 ") +
                "01 DATA:00 01 02 \r\n");
}

// Rotation: the entry that brings the log to exactly 524288 bytes stays; the
// next one moves every generation down and starts a new log.
TEST_F(ScsiLogTest, RotatesPast524288Bytes) {
  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  const std::size_t lineLength = platform.Log("scsi.log").size();
  WriteFileBytes(platform.RootFile("scsi.log"), std::string(kScsiLogLimit - lineLength, 'x'));
  for (int g = 0; g < 4; ++g) {
    WriteFileBytes(platform.RootFile("scsi" + std::to_string(g) + ".log"),
                   "gen" + std::to_string(g));
  }
  WriteFileBytes(platform.RootFile("scsi4.log"), "oldest");

  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  EXPECT_EQ(platform.Log("scsi.log").size(), kScsiLogLimit);
  EXPECT_EQ(platform.Log("scsi0.log"), "gen0");

  WriteScsiResult(platform, "ASPI caller", 2, "Scsi", 0);
  EXPECT_FALSE(FileExists(platform.RootFile("scsi.log")));
  EXPECT_EQ(platform.Log("scsi0.log").size(), kScsiLogLimit + lineLength + 1);
  EXPECT_EQ(platform.Log("scsi1.log"), "gen0");
  EXPECT_EQ(platform.Log("scsi2.log"), "gen1");
  EXPECT_EQ(platform.Log("scsi3.log"), "gen2");
  EXPECT_EQ(platform.Log("scsi4.log"), "gen3");

  WriteScsiResult(platform, "ASPI error", 3, "Scsi", 0);
  EXPECT_EQ(platform.Log("scsi.log").size(), lineLength);
}

TEST_F(ScsiLogTest, TraceRotatesIntoItsOwnGenerations) {
  WriteFileBytes(platform.RootFile("cdb.log"), std::string(kScsiLogLimit, 'x'));
  TraceCommand(platform, true, 1, kNoSense.data(), std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0}, {},
               1);
  EXPECT_FALSE(FileExists(platform.RootFile("cdb.log")));
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
  WriteFileBytes(platform.RootFile("scsi.log"), std::string(kScsiLogLimit + 10, 'x'));
  WriteScsiResult(platform, "ASPI error", 1, "Scsi", 0);
  EXPECT_EQ(platform.Log("scsi.log").size(), kScsiLogLimit + 10);
  EXPECT_FALSE(FileExists(platform.RootFile("scsi0.log")));
  EXPECT_TRUE(platform.boxes.empty());
}

TEST(ScsiLogFailure, UnopenableLogsNeverChangeAResult) {
  test::ScsiTestPlatform platform;
  // Folders where the logs should be: neither can be opened as a file.
  std::filesystem::create_directories(platform.RootFile("scsi.log"));
  std::filesystem::create_directories(platform.RootFile("cdb.log"));
  DriverContext context{platform};
  context.cdbTraceOn = true;
  test::RecordingProvider provider;
  SetProvider(context.transport, &provider);
  provider.reply = {aspi::kSsErr, 0, 2, test::Sense(0x02, 0x04, 0x03), {}, false};
  std::array<std::uint8_t, 16> sense{};
  EXPECT_EQ(CmdTestUnitReady(context, 1, sense.data()), 2);
  EXPECT_EQ(sense[12], 0x04);
  EXPECT_EQ(sense[13], 0x03);
  EXPECT_TRUE(platform.boxes.empty());
}

}  // namespace
}  // namespace tarvo
