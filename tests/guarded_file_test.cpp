// Guarded file operations: every failure logged, boxed while boxes are on, error 31 retried in
// bounded series, the sheet ejected when a create fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "core/GuardedFile.h"
#include "scan/DriverContext.h"
#include "scsi/Transport.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

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

// The document holds "0123"; its operations (never the logs') fail with `error` `failures` times
// (negative: for ever).
class GuardedRig : public test::ScsiTestPlatform {
 public:
  std::uint32_t error;
  int failures = 0, attempts = 0;
  FileHandle document = kInvalidFile;
  DriverContext context{*this};
  test::RecordingProvider provider;

  GuardedRig(std::uint32_t e, int n, std::int32_t showMessages) : error(e) {
    std::tie(fakeClock, tickStep) = std::tuple(true, 10);
    SetProvider(context.transport, &provider);
    context.state.scanner.scannerTarget = 3;
    context.state.showMessages = showMessages;
    test::WriteFileBytes(RootFile("doc.tif"), "0123");
    document = FileOpen("c:\\doc.tif", kGenericRead | kGenericWrite, kShareNone, kOpenExisting, kAttributeNormal);
    std::tie(failures, attempts) = std::tuple(n, 0);
  }
  ~GuardedRig() {
    failures = 0;
    if (document != kInvalidFile) FileClose(document);
  }
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
  int LogEntries() {
    const std::string log = Log("scan.log"), entry = " returned from line 42 of Tiff";
    int n = 0;
    for (std::size_t at = log.find(entry); at != std::string::npos; at = log.find(entry, at + 1)) ++n;
    return n;
  }
  bool Ejected() {  // an unload went to the scanner's target
    return std::any_of(provider.requests.begin(), provider.requests.end(), [](const auto& r) {
      return r.cdb.size() == 10 && r.cdb[0] == 0x31 && r.cdb[1] == 0 && r.srb.SRB_Target == 3;
    });
  }
};

// Another error fails at once, logged, boxed only while boxes are on; error 31 is retried every 5000 ms
// in bounded series with a box after each; the attempt that succeeds is neither logged nor boxed.
TEST(GuardedFile, EveryOperationRetriesError31InBoundedSeriesAndFailsAtOnceOnOtherErrors) {
  const int bound = kGuardedRetrySeries * kGuardedAttemptsPerSeries;
  struct Row {
    std::uint32_t error;
    std::int32_t show;
    int failures, attempts;
    std::size_t boxes;
  };
  const Row rows[] = {{kErrorAccessDenied, 1, -1, 1, 1}, {kErrorDiskFull, 0, -1, 1, 0},
                      {kErrorGenFailure, 1, -1, bound, kGuardedRetrySeries}, {kErrorGenFailure, 1, 7, 8, 1}};
  for (const Operation& op : kOperations) {
    for (const Row& row : rows) {
      SCOPED_TRACE(testing::Message() << op.name << " error " << row.error << " failures " << row.failures);
      GuardedRig rig(row.error, row.failures, row.show);
      const bool ok = row.failures > 0;
      EXPECT_EQ(op.run(rig.context, rig.document), ok);
      EXPECT_EQ(std::tuple(rig.attempts, rig.LogEntries(), rig.boxes.size(), rig.Ejected()),
                std::tuple(row.attempts, row.attempts - ok, row.boxes, op.ejects && !ok));
      const std::string text = std::to_string(row.error) + " returned from line 42 of Tiff";
      const std::string why = "Text " + std::to_string(row.error) + ".\r\n";
      EXPECT_NE(rig.Log("scan.log").find(op.caption + (" " + text) + "\r\n" + why), std::string::npos);
      for (const auto& box : rig.boxes) EXPECT_EQ(std::tuple(box.caption, box.text), std::tuple(op.caption, text + "\n" + why));
      EXPECT_GE(rig.tick, std::uint32_t(row.attempts - 1) * kGuardedRetryWaitMs);
      EXPECT_LT(rig.tick, std::uint32_t(row.attempts) * kGuardedRetryWaitMs);
    }
  }
}

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
