// Guarded file operations: every failure logged, boxed while boxes are on, error 31 retried in
// bounded series, the sheet ejected when a create fails.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/GuardedFile.h"
#include "scan/DriverContext.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

// Fails the document's operations (never the logs) `failures` times (negative: for ever).
class FailingDiskPlatform : public test::ScsiTestPlatform {
 public:
  FailingDiskPlatform() { std::tie(fakeClock, tickStep) = std::tuple(true, 10); }
  std::uint32_t error = kErrorGenFailure;
  int failures = 0, attempts = 0;
  FileHandle document = kInvalidFile;

  bool Fail(bool ours) {
    if (!ours) return false;
    ++attempts;
    if (failures == 0) return false;
    failures -= failures > 0;
    SetLastError(error);
    return true;
  }
  std::size_t ErrorText(std::uint32_t code, char* buffer, std::size_t size) override {
    return static_cast<std::size_t>(std::snprintf(buffer, size, "Text %u.\r\n", code));
  }
  FileHandle FileOpen(const char* name, std::uint32_t a, std::uint32_t s, std::uint32_t d, std::uint32_t f) override {
    return Fail(std::string(name).find("doc") != std::string::npos) ? kInvalidFile : ScsiTestPlatform::FileOpen(name, a, s, d, f);
  }
  bool FileWrite(FileHandle f, const void* b, std::uint32_t n, std::uint32_t* done) override {
    return !Fail(f == document) && ScsiTestPlatform::FileWrite(f, b, n, done);
  }
  bool FileRead(FileHandle f, void* b, std::uint32_t n, std::uint32_t* done) override {
    return !Fail(f == document) && ScsiTestPlatform::FileRead(f, b, n, done);
  }
  std::uint32_t FileSeek(FileHandle f, std::int32_t d, std::uint32_t m) override {
    return Fail(f == document) ? kInvalidFilePosition : ScsiTestPlatform::FileSeek(f, d, m);
  }
  bool FileClose(FileHandle f) override {
    if (Fail(f == document)) return false;
    if (f == document) document = kInvalidFile;  // closed: nothing left for the teardown
    return ScsiTestPlatform::FileClose(f);
  }
};

// One guarded operation on the document: true when it reports success.
struct Operation {
  const char* name;
  const char* caption;
  bool (*run)(DriverContext&, FileHandle);
  bool ejects;
};

const Operation kOperations[] = {
    {"Create", "CreateFile c:\\newdoc.tif", [](DriverContext& c, FileHandle) {
       const FileHandle f = GuardedCreateFile(c, "c:\\newdoc.tif", kGenericRead | kGenericWrite, kShareNone, nullptr,
                                              kOpenAlways, kAttributeNormal, kInvalidFile, 42, "Tiff");
       return f != kInvalidFile && c.platform.FileClose(f);
     }, true},
    {"Write", "WriteFile", [](DriverContext& c, FileHandle f) {
       std::uint32_t done = 0;
       return GuardedWriteFile(c, f, "abc", 3, &done, nullptr, 42, "Tiff") == 1 && done == 3;
     }, false},
    {"Read", "ReadFile", [](DriverContext& c, FileHandle f) {
       char b[4];
       std::uint32_t done = 0;
       return GuardedReadFile(c, f, b, sizeof b, &done, nullptr, 42, "Tiff") == 1;
     }, false},
    {"Seek", "SetFilePointer",
     [](DriverContext& c, FileHandle f) { return GuardedSetFilePointer(c, f, 2, kFileBegin, 42, "Tiff") == 2; }, false},
    {"Close", "CloseHandle",
     [](DriverContext& c, FileHandle f) { return GuardedCloseHandle(c, f, 42, "Tiff") == 1; }, false},
};

class GuardedFileTest : public ::testing::TestWithParam<Operation> {
 protected:
  FailingDiskPlatform platform;
  DriverContext context{platform};
  test::RecordingProvider provider;
  FileHandle document = kInvalidFile;

  // The document holds "0123"; from now on its operations fail for ever.
  void SetUp() override {
    SetProvider(context.transport, &provider);
    context.state.scanner.scannerTarget = 3;
    context.state.showMessages = 1;
    test::WriteFileBytes(platform.RootFile("doc.tif"), "0123");
    document = platform.FileOpen("c:\\doc.tif", kGenericRead | kGenericWrite, kShareNone, kOpenExisting, kAttributeNormal);
    std::tie(platform.failures, platform.attempts, platform.document) = std::tuple(-1, 0, document);
  }
  void TearDown() override {
    platform.failures = 0;
    if (platform.document != kInvalidFile) platform.FileClose(platform.document);
  }
  bool Run() { return GetParam().run(context, document); }
  int LogEntries() {
    const std::string log = platform.Log("scan.log"), entry = " returned from line 42 of Tiff";
    int n = 0;
    for (std::size_t at = log.find(entry); at != std::string::npos; at = log.find(entry, at + 1)) ++n;
    return n;
  }
  // An unload (START STOP UNIT) went to the scanner's target.
  bool Ejected() {
    for (const auto& r : provider.requests) {
      if (r.cdb.size() == 10 && r.cdb[0] == 0x31 && r.cdb[1] == 0 && r.srb.SRB_Target == 3) return true;
    }
    return false;
  }
};

// Once with message boxes on, once with them off: logged each time, the box only while they are on.
TEST_P(GuardedFileTest, OtherErrorFailsAtOnceWithLogAndBox) {
  platform.error = kErrorAccessDenied;
  EXPECT_FALSE(Run());
  EXPECT_EQ(std::tuple(platform.attempts, LogEntries(), Ejected()), std::tuple(1, 1, GetParam().ejects));
  EXPECT_NE(platform.Log("scan.log").find(std::string(GetParam().caption) + " 5 returned from line 42 of Tiff\r\nText 5.\r\n"),
            std::string::npos);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, GetParam().caption);
  EXPECT_EQ(platform.boxes[0].text, "5 returned from line 42 of Tiff\nText 5.\r\n");
  provider.requests.clear();
  context.state.showMessages = 0;
  platform.error = kErrorDiskFull;
  EXPECT_FALSE(Run());
  EXPECT_EQ(std::tuple(platform.attempts, LogEntries(), platform.boxes.size(), Ejected()),
            std::tuple(2, 2, 1u, GetParam().ejects));
}

TEST_P(GuardedFileTest, Error31RetriesUpToTheBound) {
  const std::uint32_t startTick = platform.tick;
  EXPECT_FALSE(Run());
  const int attempts = kGuardedRetrySeries * kGuardedAttemptsPerSeries;
  EXPECT_EQ(std::tuple(platform.attempts, LogEntries(), Ejected()), std::tuple(attempts, attempts, GetParam().ejects));
  ASSERT_EQ(platform.boxes.size(), static_cast<std::size_t>(kGuardedRetrySeries));
  EXPECT_EQ(platform.boxes.back().text, "31 returned from line 42 of Tiff\nText 31.\r\n");
  // 5000 ms between attempts, none after the last one.
  const std::uint32_t waited = platform.tick - startTick;
  EXPECT_GE(waited, static_cast<std::uint32_t>(attempts - 1) * kGuardedRetryWaitMs);
  EXPECT_LT(waited, static_cast<std::uint32_t>(attempts) * kGuardedRetryWaitMs);

  // An error 31 that clears up: the attempt that succeeds is neither logged, boxed, ejected nor repeated.
  std::tie(platform.failures, platform.attempts) = std::tuple(7, 0);  // one series and two attempts of the next
  platform.boxes.clear();
  provider.requests.clear();
  EXPECT_TRUE(Run());
  EXPECT_EQ(std::tuple(platform.attempts, LogEntries(), platform.boxes.size(), Ejected()),
            std::tuple(8, attempts + 7, 1u, false));
}

INSTANTIATE_TEST_SUITE_P(FiveOperations, GuardedFileTest, ::testing::ValuesIn(kOperations),
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
  EXPECT_NE(platform.Log("scan.log").find("ReadFile 6 returned from line 1 of Scan"), std::string::npos);
}

}  // namespace
}  // namespace tarvo
