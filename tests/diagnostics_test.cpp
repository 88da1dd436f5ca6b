// Result codes from sense data, the scanner-command failure convention, the log
// "c:\scan.log", SpinWait, the sheet ejection.
#include "core/Diagnostics.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

// A platform with a fixed system text for every error code.
class DiagnosticsPlatform : public test::ScsiTestPlatform {
 public:
  std::size_t ErrorText(std::uint32_t code, char* buffer, std::size_t size) override {
    if (code == 0x7777) return buffer[0] = '\0', 0;  // a code the system has no text for
    // 0x8888: longer than the 127 characters an entry keeps.
    const std::string text = code == 0x8888 ? std::string(200, 'L') : "System text " + std::to_string(code) + ".\r\n";
    return std::snprintf(buffer, size, "%s", text.c_str()), std::strlen(buffer);
  }
};

class DiagnosticsTest : public ::testing::Test {
 protected:
  DiagnosticsPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  void SetUp() override { SetProvider(context.transport, &provider); }
  std::string ScanLog() { return platform.Log("scan.log"); }
};

// Hand-picked rows: specific before general, an unlisted key, only the low four bits of byte 2
// are the key (ILI, EOM, filemark above); sense shorter than 14 bytes is a scanner failure.
TEST(SenseToResult, PickedRows) {
  using R = Result;
  const struct { std::uint8_t key, asc, ascq; Result result; } cases[] = {
      {0x2, 0x04, 0x03, R::NotReadyManual}, {0x2, 0x04, 0x01, R::NotReady},
      {0x3, 0x80, 0x00, R::PaperJam},       {0x3, 0x80, 0x05, R::HardwareError},
      {0x5, 0x2C, 0x02, R::NoPaper},        {0x5, 0x80, 0x00, R::IllegalRequest},
      {0x7, 0x27, 0x00, R::ScannerFailure}, {0xE3, 0x80, 0x00, R::PaperJam},
      {0x40, 0x00, 0x00, R::Ok},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SenseToResult(test::Sense(c.key, c.asc, c.ascq)), c.result) << int{c.key} << " " << int{c.asc};
  }
  const std::vector<std::uint8_t> sense = test::Sense(0x5, 0x24, 0);
  EXPECT_EQ(SenseToResult(ConstByteSpan(sense).first(13)), Result::ScannerFailure);
}

TEST_F(DiagnosticsTest, LogEntryFormat) {
  platform.fixedTime = LocalTime{2000, 5, 3, 14, 5, 9, 0};
  DriverLog(context, "CheckScsi", 610, "Scan", 4);
  DriverLog(context, "WriteFile", 12, "Tiff", -1);
  DriverLog(context, "ReadFile", 7, "Scan", 0x7777);
  EXPECT_EQ(ScanLog(),
            "05/03/00 14:05:09 CheckScsi 4 returned from line 610 of Scan\r\n"
            "System text 4.\r\n\r\n"
            "05/03/00 14:05:09 WriteFile -1 returned from line 12 of Tiff\r\n"
            "System text 4294967295.\r\n\r\n"
            "05/03/00 14:05:09 ReadFile 30583 returned from line 7 of Scan\r\n\r\n");
  std::filesystem::remove(platform.RootFile("scan.log"));
  // A full path in the tag keeps the system text, cut to 127 characters.
  const std::string tag = "CreateFile c:\\" + std::string(256, 'p');
  DriverLog(context, tag.c_str(), 2601, "Scan", 0x8888);
  EXPECT_EQ(ScanLog(), "05/03/00 14:05:09 " + tag + " 34952 returned from line 2601 of Scan\r\n" +
                           std::string(127, 'L') + "\r\n");
}

ScsiOutcome Failed(std::uint16_t result) { return ScsiOutcome{result, 0, 0, 0, {}, 0}; }

// The failure convention behind TsdAbortScan: success and a check condition
// (its sense) unlogged, any other failure logged as a scanner failure.
TEST_F(DiagnosticsTest, CheckScsiConventionBehindTheSheetEjection) {
  context.state.scanner.scannerTarget = 4;
  EXPECT_EQ(AbortScan(context.Link()), Result::Ok);
  EXPECT_EQ(provider.requests.at(0).srb.SRB_Target, 4);
  EXPECT_EQ(test::Hex(provider.requests[0].cdb), "31 00 00 00 00 00 00 00 00 00");
  provider.reply = {aspi::kSsErr, 0, 2, test::Sense(0x3, 0x80, 0x00), {}};
  EXPECT_EQ(EjectSheet(context.Link()), Result::PaperJam);
  EXPECT_FALSE(test::FileExists(platform.RootFile("scan.log")));
  provider.reply = {aspi::kSsErr, 0x11, 0, {}, {}};
  EXPECT_EQ(EjectSheet(context.Link()), Result::ScannerFailure);
  EXPECT_EQ(CheckScsi(context, Failed(800), 611), Result::ScannerFailure);
  EXPECT_EQ(ScanLog(),
            "05/22/00 17:04:09 CheckScsi 1041 returned from line 473 of Scan\r\n"
            "System text 1041.\r\n\r\n"
            "05/22/00 17:04:09 CheckScsi 800 returned from line 611 of Scan\r\n"
            "System text 800.\r\n\r\n");
  std::filesystem::remove(platform.RootFile("scan.log"));
  std::filesystem::create_directory(platform.RootFile("scan.log"));  // cannot be opened
  EXPECT_EQ(CheckScsi(context, Failed(0x0411), 1), Result::ScannerFailure);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST_F(DiagnosticsTest, SpinWaitPassesTheCountOnTheTickCounter) {
  platform.fakeClock = true;
  platform.tick = 0xFFFFF000u;  // the wait crosses the counter's wrap
  platform.tickStep = 7;
  SpinWait(context, 5000);
  EXPECT_GT(platform.tick - 0xFFFFF000u, 5000u + 7u);
  EXPECT_LE(platform.tick - 0xFFFFF000u, 5000u + 3 * 7u);
}

}  // namespace
}  // namespace tarvo
