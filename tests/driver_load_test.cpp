// Load and unload of the driver: defaults, the per-host settings file, the
// marker file, and the informational operations.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>

#include "scan/DriverContext.h"
#include "scan/Info.h"
#include "support/ScanFields.h"
#include "support/TestPlatform.h"

namespace tarvo {
namespace {

class DriverLoadTest : public ::testing::Test {
 protected:
  test::TestPlatform platform;
  std::string Ini() { return platform.RootFile("tarvoscn.ini"); }

  std::unique_ptr<DriverContext> Load() {
    auto context = std::make_unique<DriverContext>(platform);
    DriverLoad(*context, nullptr);
    return context;
  }
};

TEST_F(DriverLoadTest, DefaultsWithNothingOnDisk) {
  auto context = Load();
  EXPECT_EQ(test::Fields(context->settings), test::Fields(ScanSettings{}));
  const DriverState& st = context->state;
  EXPECT_EQ(std::tuple(st.scanner.probed, st.document.docFile, st.showMessages, st.page.separatorDetected, context->cdbTraceOn),
            std::tuple(0, kInvalidFile, 0, 0, false));
  EXPECT_STREQ(st.currentLanguage.data(), "English");
  // The language chosen from the locale was written for this host.
  EXPECT_EQ(test::ReadFileBytes(Ini()), "[TestHost.exe]\nLANGUAGE=English\n");
  platform.commandTrace = true;  // the debugging set-up switches the command trace on
  EXPECT_TRUE(Load()->cdbTraceOn);
}

TEST_F(DriverLoadTest, Rotate90IsOffOnlyForExactlyFalse) {
  for (auto [stored, rotate] : {std::pair{"FALSE", 0}, {"\"FALSE\"", 0}, {"false", 1}, {"", 1}}) {
    test::WriteFileBytes(Ini(), std::string("[TestHost.exe]\nROTATE90=") + stored + "\nLANGUAGE=English\n");
    EXPECT_EQ(Load()->settings.rotate, rotate) << stored;
  }
}

// Unload writes the rotation, any nonzero as TRUE, and nothing else.
TEST_F(DriverLoadTest, EachHostKeepsItsOwnSection) {
  platform.hostPath = "C:\\Apps\\Pagewell.exe";
  auto pagewell = Load();
  pagewell->settings.rotate = 7;
  pagewell->settings.xResolution = 600;
  DriverUnload(*pagewell);

  platform.hostPath = "/usr/local/bin/Rtscan65.exe";
  platform.languageId = "0411";
  auto rtscan = Load();
  EXPECT_EQ(rtscan->settings.rotate, 0);
  EXPECT_STREQ(rtscan->state.currentLanguage.data(), "Japanese");
  DriverUnload(*rtscan);

  EXPECT_EQ(test::ReadFileBytes(Ini()),
            "[Pagewell.exe]\nLANGUAGE=English\nROTATE90=TRUE\n"
            "[Rtscan65.exe]\nLANGUAGE=Japanese\nROTATE90=FALSE\n");

  platform.hostPath = "C:\\Apps\\Pagewell.exe";
  EXPECT_EQ(Load()->settings.rotate, 1);
}

TEST_F(DriverLoadTest, LanguageKeyWinsOverTheLocaleOnceWritten) {
  platform.languageId = "040c";
  EXPECT_STREQ(Load()->state.currentLanguage.data(), "French");
  platform.languageId = "0407";
  EXPECT_STREQ(Load()->state.currentLanguage.data(), "French");
  EXPECT_EQ(test::ReadFileBytes(Ini()), "[TestHost.exe]\nLANGUAGE=French\n");
}

TEST_F(DriverLoadTest, NoSettingsPathLeavesDefaultsAndWritesNothing) {
  platform.noSettingsPath = true;
  platform.languageId = "0410";
  auto context = Load();
  EXPECT_EQ(context->settings.rotate, 0);
  EXPECT_STREQ(context->state.currentLanguage.data(), "Italian");
  context->settings.rotate = 1;
  DriverUnload(*context);
  EXPECT_FALSE(test::FileExists(Ini()));
}

TEST_F(DriverLoadTest, MarkerFileSwitchesMessageBoxesOnUntilTheHostSaysOtherwise) {
  auto quiet = Load();
  EXPECT_EQ(ShowDriverMessage(*quiet, nullptr, "text", "caption", kMbOk), 1);
  test::WriteFileBytes(platform.RootFile("sorrel.dlg"), "");
  auto loud = Load();
  ShowDriverMessage(*loud, nullptr, "text", "caption", kMbOk);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, "caption");
  EXPECT_EQ(SetMessageBoxes(*loud, 0), 0u);
  ShowDriverMessage(*loud, nullptr, "text", "caption", kMbOk);
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(SetMessageBoxes(*quiet, 5), 1u);
  EXPECT_EQ(quiet->state.showMessages, 1);
}

TEST_F(DriverLoadTest, InformationalOperations) {
  auto context = Load();
  char name[16];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(GetScannerName(name), 0u);
  EXPECT_EQ(std::memcmp(name, "Tarvo RT650\0xxxx", 16), 0);  // exactly 12 bytes written

  char file[300];
  char version[32];
  EXPECT_EQ(GetDriverName(*context, file, version), 0u);
  EXPECT_STREQ(version, "1.007");
  EXPECT_EQ(std::strchr(file, '/'), nullptr);  // the file name part only

  EXPECT_EQ(AskAreYouSure(*context), 0u);  // shown whatever the switch says
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].caption, "SORREL");
  EXPECT_EQ(platform.boxes[0].text, "Are you sure?");
}

TEST(FileNamePart, TakesTheTextAfterTheLastSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Apps\\Pagewell.exe", "Pagewell.exe"}, {"Pagewell.exe", "Pagewell.exe"},
      {"dir\\", ""}, {"/usr/bin/rt650scan", "rt650scan"}, {nullptr, ""}};
  for (const auto& [path, part] : cases) {
    char out[64];
    FileNamePart(path, out, sizeof out);
    EXPECT_STREQ(out, part) << (path != nullptr ? path : "(none)");
  }
}

}  // namespace
}  // namespace tarvo
