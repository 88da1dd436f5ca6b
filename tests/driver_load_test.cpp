// Load and unload of the driver: defaults, the per-host settings file, the marker file, and the
// informational operations.
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

// Unload writes the rotation, any nonzero as TRUE, and nothing else; only exactly FALSE reads as off.
TEST_F(DriverLoadTest, EachHostKeepsItsOwnSection) {
  platform.hostPath = "C:\\Apps\\Pagewell.exe";
  auto pagewell = Load();
  std::tie(pagewell->settings.rotate, pagewell->settings.xResolution) = std::tuple(7, 600);
  DriverUnload(*pagewell);
  platform.hostPath = "/usr/local/bin/Rtscan65.exe";
  platform.languageId = "0411";
  auto rtscan = Load();
  EXPECT_EQ(rtscan->settings.rotate, 0);
  EXPECT_STREQ(rtscan->state.currentLanguage.data(), "Japanese");
  DriverUnload(*rtscan);
  EXPECT_EQ(test::ReadFileBytes(Ini()),
            "[Pagewell.exe]\nLANGUAGE=English\nROTATE90=TRUE\n[Rtscan65.exe]\nLANGUAGE=Japanese\nROTATE90=FALSE\n");
  platform.hostPath = "C:\\Apps\\Pagewell.exe";
  EXPECT_EQ(Load()->settings.rotate, 1);
  for (auto [stored, rotate] : {std::pair{"FALSE", 0}, {"\"FALSE\"", 0}, {"false", 1}, {"", 1}}) {
    test::WriteFileBytes(Ini(), std::string("[Pagewell.exe]\nROTATE90=") + stored + "\nLANGUAGE=English\n");
    EXPECT_EQ(Load()->settings.rotate, rotate) << stored;
  }
}

TEST_F(DriverLoadTest, TheLanguageKeyWinsOverTheLocaleOnceWritten) {
  platform.noSettingsPath = true;  // no settings file: the locale's language, the defaults, nothing written
  platform.languageId = "0410";
  auto context = Load();
  EXPECT_EQ(context->settings.rotate, 0);
  EXPECT_STREQ(context->state.currentLanguage.data(), "Italian");
  context->settings.rotate = 1;
  DriverUnload(*context);
  EXPECT_FALSE(test::FileExists(Ini()));
  platform.noSettingsPath = false;
  platform.languageId = "040c";
  EXPECT_STREQ(Load()->state.currentLanguage.data(), "French");
  platform.languageId = "0407";
  EXPECT_STREQ(Load()->state.currentLanguage.data(), "French");
  EXPECT_EQ(test::ReadFileBytes(Ini()), "[TestHost.exe]\nLANGUAGE=French\n");
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
  EXPECT_EQ(std::tuple(SetMessageBoxes(*quiet, 5), quiet->state.showMessages), std::tuple(1u, 1));
}

// The scanner's name in exactly 12 bytes, the driver's file name part, the box shown whatever the switch
// says; a path's file name part.
TEST_F(DriverLoadTest, InformationalOperations) {
  char name[16], file[300], version[32];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(GetScannerName(name), 0u);
  EXPECT_EQ(std::memcmp(name, "Tarvo RT650\0xxxx", 16), 0);
  EXPECT_EQ(GetDriverName(*Load(), file, version), 0u);
  EXPECT_STREQ(version, "1.007");
  EXPECT_EQ(std::strchr(file, '/'), nullptr);
  EXPECT_EQ(AskAreYouSure(*Load()), 0u);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(std::tuple(platform.boxes[0].caption, platform.boxes[0].text), std::tuple("SORREL", "Are you sure?"));
}

}  // namespace
}  // namespace tarvo
