// The POSIX platform: drive C: mapping, Windows-style file results and error
// numbers, private-profile files and their text rules, library names, locale.
#include <gtest/gtest.h>

#include <string>

#include "platform/ProfileText.h"
#include "platform/posix/PosixPlatform.h"
#include "support/TempDir.h"

namespace tarvo {
namespace {

class PosixPlatformTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  PosixPlatform platform{PosixPlatformOptions{dir.path() + "/root", false, "", ""}};
  std::string Root(const std::string& name) { return dir.path() + "/root/" + name; }
  FileHandle Open(const char* name, std::uint32_t access, std::uint32_t disposition) {
    return platform.FileOpen(name, access, access == kGenericRead ? kShareRead : kShareNone,
                             disposition, 0);
  }
};

// Drive C: maps to the root (created on demand), backslashes to slashes.
TEST_F(PosixPlatformTest, DriveCMapsToTheRootWhichIsCreatedOnDemand) {
  EXPECT_EQ(platform.NativePath("C:\\windows\\klxscan\\rt650us.txt"), Root("windows/klxscan/rt650us.txt"));
  EXPECT_EQ(platform.NativePath("/tmp/doc.tif"), "/tmp/doc.tif");
  EXPECT_EQ(platform.NativePath("out\\page.tif"), "out/page.tif");
  FileHandle f = Open("c:\\scan.log", kGenericRead | kGenericWrite, kOpenAlways);
  ASSERT_NE(f, kInvalidFile);
  EXPECT_EQ(platform.LastError(), kErrorSuccess);
  std::uint32_t done = 0;
  ASSERT_TRUE(platform.FileWrite(f, "abc", 3, &done));
  EXPECT_TRUE(platform.FileClose(f));
  EXPECT_EQ(test::ReadFileBytes(Root("scan.log")), "abc");
  f = Open("c:\\scan.log", kGenericWrite, kOpenAlways);  // again: success with "already exists"
  EXPECT_EQ(platform.LastError(), kErrorAlreadyExists);
  platform.FileClose(f);
}

TEST_F(PosixPlatformTest, FailuresCarryWindowsErrorNumbersAndTexts) {
  EXPECT_EQ(Open("c:\\no\\such\\folder\\x", kGenericWrite, kCreateAlways), kInvalidFile);
  EXPECT_EQ(platform.LastError(), kErrorFileNotFound);
  test::WriteFileBytes(Root("exists.bin"), "x");
  EXPECT_EQ(Open("c:\\exists.bin", kGenericWrite, kCreateNew), kInvalidFile);
  EXPECT_EQ(platform.LastError(), kErrorFileExists);
  EXPECT_FALSE(platform.FileDelete("c:\\missing.txt"));
  EXPECT_EQ(platform.LastError(), kErrorFileNotFound);
  EXPECT_EQ(WindowsErrorFromErrno(ENOSPC), kErrorDiskFull);
  char text[128];
  EXPECT_GT(platform.ErrorText(kErrorGenFailure, text, sizeof text), 0u);
  EXPECT_STREQ(text, "A device attached to the system is not functioning.\r\n");
  EXPECT_EQ(platform.ErrorText(0xDEAD, text, sizeof text), 0u);
  char tiny[8];
  EXPECT_EQ(platform.ErrorText(kErrorDiskFull, tiny, sizeof tiny), 7u);
  EXPECT_STREQ(tiny, "There i");
}

TEST_F(PosixPlatformTest, UnsharedOpenLocksOutOthersSeekFromTheEndShortRead) {
  const FileHandle f = Open("c:\\data.bin", kGenericRead | kGenericWrite, kCreateAlways);
  EXPECT_EQ(Open("c:\\data.bin", kGenericRead, kOpenExisting), kInvalidFile);
  EXPECT_EQ(platform.LastError(), kErrorSharingViolation);
  std::uint32_t done = 0;
  ASSERT_TRUE(platform.FileWrite(f, "0123456789", 10, &done));
  EXPECT_EQ(platform.FileSeek(f, -4, kFileEnd), 6u);
  char buf[8] = {};
  ASSERT_TRUE(platform.FileRead(f, buf, sizeof buf, &done));
  EXPECT_EQ(std::string(buf, done), "6789");  // end of file: success with fewer bytes
  EXPECT_EQ(platform.FileSize(f), 10u);
  platform.FileClose(f);
}

// Profile files through the platform: driver_load_test.
TEST_F(PosixPlatformTest, LibraryNamesMapToSharedObjects) {
  EXPECT_EQ(platform.LibraryFileName("RAVEZEVA.dll"), "libravezeva.so");
  EXPECT_EQ(platform.LibraryFileName("/opt/x/libfoo.so"), "/opt/x/libfoo.so");
  PosixPlatform custom{PosixPlatformOptions{dir.path(), false, "", "/opt/sim/librt650sim.so"}};
  EXPECT_EQ(custom.LibraryFileName("WNASPI32.dll"), "/opt/sim/librt650sim.so");
  EXPECT_EQ(custom.LibraryFileName("RIZIDUD"), "librizidud.so");
  EXPECT_EQ(platform.LibraryLoad("NOSUCHLIBRARY"), nullptr);
  EXPECT_EQ(platform.LastError(), kErrorModNotFound);
}

TEST(ProfileText, FindsKeysOnlyInTheirSection) {
  const char* text = "; comment\r\n[Pagewell.exe]\r\n  ROTATE90 = TRUE  \r\n"
                     "LANGUAGE=\"Japanese\"\r\n[Rtscan65.exe]\r\nROTATE90=FALSE\r\n";
  EXPECT_EQ(profile::Find(text, "pagewell.exe", "rotate90"), "TRUE");
  EXPECT_EQ(profile::Find(text, "Pagewell.exe", "LANGUAGE"), "Japanese");
  EXPECT_EQ(profile::Find(text, "Rtscan65.exe", "ROTATE90"), "FALSE");
  EXPECT_EQ(profile::Find(text, "Rtscan65.exe", "LANGUAGE"), std::nullopt);
  EXPECT_EQ(profile::Find(text, "Other.exe", "ROTATE90"), std::nullopt);
  EXPECT_EQ(profile::Find("[A]\nB=\n", "A", "B"), "");
}

TEST(ProfileText, WriteReplacesInPlaceAppendsToSectionAddsSectionOrRemoves) {
  const std::string text = "[A]\nx=1\ny=2\n\n[B]\nx=3\n";
  EXPECT_EQ(profile::Write(text, "a", "Y", "9", "\n"), "[A]\nx=1\nY=9\n\n[B]\nx=3\n");
  EXPECT_EQ(profile::Write(text, "A", "z", "5", "\n"), "[A]\nx=1\ny=2\nz=5\n\n[B]\nx=3\n");
  EXPECT_EQ(profile::Write("", "C", "k", "v", "\r\n"), "[C]\r\nk=v\r\n");
  EXPECT_EQ(profile::Write("[C]\nk=v", "C", "m", "w", "\n"), "[C]\nk=v\nm=w\n");
  EXPECT_EQ(profile::Write(text, "A", "x", nullptr, "\n"), "[A]\ny=2\n\n[B]\nx=3\n");
  EXPECT_EQ(profile::Write(text, "A", "q", nullptr, "\n"), text);
}

TEST(PosixLocale, LanguageIdentifiers) {
  EXPECT_STREQ(LanguageIdForLocale("ja_JP.UTF-8"), "0411");
  EXPECT_STREQ(LanguageIdForLocale("fr_CA.UTF-8"), "040C");
  EXPECT_STREQ(LanguageIdForLocale("it_IT@euro"), "0410");
  EXPECT_STREQ(LanguageIdForLocale("jam"), "0409");
}

}  // namespace
}  // namespace tarvo
