// The guarded file operations: log every failure, show the box only while
// message boxes are on, retry error 31 in bounded series of five attempts,
// eject the sheet when a create fails.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "scan/GuardedFile.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

// Fails the operations on the document (never the logs) with `error`,
// `failures` times (negative: for ever), on a fake tick clock.
class FailingDiskPlatform : public test::ScsiTestPlatform {
 public:
  FailingDiskPlatform() {
    fakeClock = true;
    tickStep = 10;
  }
  std::uint32_t error = kErrorGenFailure;
  int failures = -1;
  int attempts = 0;
  FileHandle document = kInvalidFile;

  bool Fail() {
    ++attempts;
    if (failures == 0) return false;
    if (failures > 0) --failures;
    SetLastError(error);
    return true;
  }
  std::size_t ErrorText(std::uint32_t code, char* buffer, std::size_t size) override {
    return static_cast<std::size_t>(std::snprintf(buffer, size, "Text %u.\r\n", code));
  }
  FileHandle FileOpen(const char* name, std::uint32_t access, std::uint32_t share,
                      std::uint32_t disposition, std::uint32_t flags) override {
    if (std::string(name).find("doc") != std::string::npos && Fail()) return kInvalidFile;
    return ScsiTestPlatform::FileOpen(name, access, share, disposition, flags);
  }
  bool FileWrite(FileHandle f, const void* b, std::uint32_t n, std::uint32_t* done) override {
    if (f == document && Fail()) return false;
    return ScsiTestPlatform::FileWrite(f, b, n, done);
  }
  bool FileRead(FileHandle f, void* b, std::uint32_t n, std::uint32_t* done) override {
    if (f == document && Fail()) return false;
    return ScsiTestPlatform::FileRead(f, b, n, done);
  }
  std::uint32_t FileSeek(FileHandle f, std::int32_t d, std::uint32_t m) override {
    if (f == document && Fail()) return kInvalidFilePosition;
    return ScsiTestPlatform::FileSeek(f, d, m);
  }
  bool FileClose(FileHandle f) override {
    if (f == document && Fail()) return false;
    if (f == document) document = kInvalidFile;  // closed: nothing left for the teardown
    return ScsiTestPlatform::FileClose(f);
  }
};

struct Operation {
  const char* name;
  const char* caption;
  // Runs the operation on the document; true when it reports success.
  std::function<bool(DriverContext&, FileHandle)> run;
  bool ejects;
};

const char* const kDocument = "c:\\doc.tif";
const char* const kNewDocument = "c:\\newdoc.tif";

std::vector<Operation> Operations() {
  return {
      {"Create", "CreateFile c:\\newdoc.tif",
       [](DriverContext& c, FileHandle) {
         FileHandle f =
             GuardedCreateFile(c, kNewDocument, kGenericRead | kGenericWrite, kShareNone, nullptr,
                               kOpenAlways, kAttributeNormal, kInvalidFile, 42, "Tiff");
         if (f != kInvalidFile) c.platform.FileClose(f);
         return f != kInvalidFile;
       },
       true},
      {"Write", "WriteFile",
       [](DriverContext& c, FileHandle f) {
         std::uint32_t done = 0;
         return GuardedWriteFile(c, f, "abc", 3, &done, nullptr, 42, "Tiff") == 1 && done == 3;
       },
       false},
      {"Read", "ReadFile",
       [](DriverContext& c, FileHandle f) {
         char b[4];
         std::uint32_t done = 0;
         return GuardedReadFile(c, f, b, sizeof b, &done, nullptr, 42, "Tiff") == 1;
       },
       false},
      {"Seek", "SetFilePointer",
       [](DriverContext& c, FileHandle f) {
         return GuardedSetFilePointer(c, f, 2, kFileBegin, 42, "Tiff") == 2;
       },
       false},
      {"Close", "CloseHandle",
       [](DriverContext& c, FileHandle f) { return GuardedCloseHandle(c, f, 42, "Tiff") == 1; },
       false},
  };
}

class GuardedFileTest : public ::testing::TestWithParam<Operation> {
 protected:
  FailingDiskPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  FileHandle document = kInvalidFile;

  void SetUp() override {
    SetProvider(context.transport, &provider);
    context.state.scannerTarget = 3;
    context.state.showMessages = 1;
    const int failures = platform.failures;
    platform.failures = 0;
    document = platform.FileOpen(kDocument, kGenericRead | kGenericWrite, kShareNone, kOpenAlways,
                                 kAttributeNormal);
    std::uint32_t done = 0;
    platform.FileWrite(document, "0123", 4, &done);
    platform.FileSeek(document, 0, kFileBegin);
    platform.failures = failures;
    platform.attempts = 0;
    platform.document = document;
  }
  void TearDown() override {
    platform.failures = 0;
    if (platform.document != kInvalidFile) platform.FileClose(platform.document);
  }
  int LogEntries() {
    const std::string log = platform.Log("scan.log");
    int n = 0;
    for (std::size_t at = log.find(" returned from line 42 of Tiff"); at != std::string::npos;
         at = log.find(" returned from line 42 of Tiff", at + 1)) {
      ++n;
    }
    return n;
  }
  bool Ejected() {
    for (const auto& r : provider.requests) {
      if (r.cdb.size() == 10 && r.cdb[0] == 0x31 && r.cdb[1] == 0 && r.srb.SRB_Target == 3)
        return true;
    }
    return false;
  }
};

TEST_P(GuardedFileTest, SucceedsAtOnce) {
  platform.failures = 0;
  EXPECT_TRUE(GetParam().run(context, document));
  EXPECT_EQ(platform.attempts, 1);
  EXPECT_EQ(LogEntries(), 0);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_FALSE(Ejected());
}

TEST_P(GuardedFileTest, OtherErrorFailsAtOnceWithLogAndBox) {
  platform.error = kErrorAccessDenied;
  EXPECT_FALSE(GetParam().run(context, document));
  EXPECT_EQ(platform.attempts, 1);
  EXPECT_EQ(LogEntries(), 1);
  EXPECT_NE(platform.Log("scan.log")
                .find(std::string(GetParam().caption) +
                      " 5 returned from line 42 of Tiff\r\nText 5.\r\n"),
            std::string::npos);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, GetParam().caption);
  EXPECT_EQ(platform.boxes[0].text, "5 returned from line 42 of Tiff\nText 5.\r\n");
  EXPECT_EQ(Ejected(), GetParam().ejects);
}

TEST_P(GuardedFileTest, NoBoxWhileMessageBoxesAreOff) {
  context.state.showMessages = 0;
  platform.error = kErrorDiskFull;
  EXPECT_FALSE(GetParam().run(context, document));
  EXPECT_EQ(LogEntries(), 1);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(Ejected(), GetParam().ejects);
}

TEST_P(GuardedFileTest, Error31StopsAtTheBound) {
  const std::uint32_t startTick = platform.tick;
  EXPECT_FALSE(GetParam().run(context, document));
  const int attempts = kGuardedRetrySeries * kGuardedAttemptsPerSeries;
  EXPECT_EQ(platform.attempts, attempts);
  EXPECT_EQ(LogEntries(), attempts);
  ASSERT_EQ(platform.boxes.size(), static_cast<std::size_t>(kGuardedRetrySeries));
  EXPECT_EQ(platform.boxes.back().text, "31 returned from line 42 of Tiff\nText 31.\r\n");
  // 5000 ms between attempts, none after the last one.
  const std::uint32_t waited = platform.tick - startTick;
  EXPECT_GE(waited, static_cast<std::uint32_t>(attempts - 1) * kGuardedRetryWaitMs);
  EXPECT_LT(waited, static_cast<std::uint32_t>(attempts) * kGuardedRetryWaitMs);
  EXPECT_EQ(Ejected(), GetParam().ejects);
}

TEST_P(GuardedFileTest, Error31ThatClearsUpSucceeds) {
  platform.failures = 7;  // one series and two attempts of the next
  EXPECT_TRUE(GetParam().run(context, document));
  EXPECT_EQ(platform.attempts, 8);
  EXPECT_EQ(LogEntries(), 7);
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_FALSE(Ejected());
}

INSTANTIATE_TEST_SUITE_P(FiveOperations, GuardedFileTest, ::testing::ValuesIn(Operations()),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(GuardedFileNoHandle, WriteSeekAndCloseDoNothing) {
  test::ScsiTestPlatform platform;
  DriverContext context{platform};
  std::uint32_t done = 77;
  EXPECT_EQ(GuardedWriteFile(context, kInvalidFile, "x", 1, &done, nullptr, 1, "Scan"), 1);
  EXPECT_EQ(done, 77u);
  EXPECT_EQ(GuardedSetFilePointer(context, kInvalidFile, 10, kFileBegin, 1, "Scan"), 1u);
  EXPECT_EQ(GuardedCloseHandle(context, kInvalidFile, 1, "Scan"), 1);
  EXPECT_FALSE(test::FileExists(platform.RootFile("scan.log")));
  // Reading has no such shortcut: the system refuses and the failure is logged.
  char b[1];
  EXPECT_EQ(GuardedReadFile(context, kInvalidFile, b, 1, &done, nullptr, 1, "Scan"), 0);
  EXPECT_NE(platform.Log("scan.log").find("ReadFile 6 returned from line 1 of Scan"),
            std::string::npos);
}

}  // namespace
}  // namespace tarvo
