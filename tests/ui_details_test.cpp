// The Details dialog on the headless surface. No scanner answers: parameter
// sets store their value and their push fails, which the dialog ignores.
#include <gtest/gtest.h>

#include <optional>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DetailsDialog.h"
#include "ui/DialogExports.h"

namespace tarvo {
namespace {

using namespace details;
using test::DialogTestContext;
using test::HeadlessRunner;
using test::HeadlessSurface;
using test::Msg;

class DetailsTest : public ::testing::Test {
 protected:
  DetailsTest() {
    ScanSettings& s = t.context.settings;
    s.marginAmount = 4;
    s.aeLevel = 9;
    s.edgeEmphasis = 3;
    s.batchMode = 2;
  }
  HeadlessSurface& Open() {
    opened.reset();
    opened.emplace(DialogTemplate::kDetailsUs, t.context, runner);
    return opened->surface;
  }

  DialogTestContext t;
  HeadlessRunner runner;
  std::optional<test::OpenDialog<DetailsDialog>> opened;
};

TEST(DetailsTemplate, ByLanguageName) {
  EXPECT_EQ(DetailsTemplate("Japanese"), DialogTemplate::kDetails);
  for (const char* name : {"English", "German", "French", "", "japanese", "Japanese "}) {
    EXPECT_EQ(DetailsTemplate(name), DialogTemplate::kDetailsUs) << name;
  }
  DialogTestContext t;
  HeadlessRunner runner;
  for (auto [language, which] : {std::pair{"Japanese", DialogTemplate::kDetails},
                                 std::pair{"Italian", DialogTemplate::kDetailsUs}}) {
    SetCurrentLanguage(t.context, language);
    void* instance = reinterpret_cast<void*>(0x4000);
    EXPECT_EQ(RunDetailsDialog(t.context, runner, instance, nullptr), 0x4000u);
    EXPECT_EQ(runner.openings().back().which, which);
    EXPECT_EQ(t.context.dialogs.instance, instance);
  }
}

TEST_F(DetailsTest, CaptionsAndLists) {
  HeadlessSurface& s = Open();
  EXPECT_EQ(s.title(), Msg(92));
  const std::pair<int, std::uint32_t> captions[] = {
      {kIdOkButton, 11}, {kIdCancelButton, 12}, {kDefaults, 91}, {kAddon, 276},
      {kGamma, 88},      {kFunctionKey, 90},    {kRotate, 264},  {kAutoSize, 51},
      {kAddonOn, 56},    {kKeyStart, 66},       {kMarginScan, 60}, {kAeLabel, 79},
      {kEdgeLabel, 80},  {kBackgroundErase, 50}, {kNotchErase, 83}, {kUserGrc, 85}};
  for (auto [id, message] : captions) EXPECT_EQ(s.text(id), Msg(message)) << id;
  EXPECT_EQ(s.items(kPolarity), (std::vector<std::string>{Msg(257), Msg(258), Msg(10)}));
  EXPECT_EQ(s.items(kBatchMode), (std::vector<std::string>{Msg(267), Msg(268), Msg(269)}));
}

TEST_F(DetailsTest, BatchListByCapability) {
  HeadlessSurface& without = Open();
  EXPECT_FALSE(without.enabled(kBatchMode));
  EXPECT_EQ(without.selection(kBatchMode), kNoSelection);
  without.Click(kIdOkButton);
  EXPECT_EQ(t.context.settings.batchMode, 2);  // 0 is refused, the setting stays

  t.context.state.scannerCaps.batchCapable = true;
  for (auto [mode, entry] : {std::pair{1, 0}, std::pair{3, 2}, std::pair{0, 0}, std::pair{4, 0}}) {
    t.context.settings.batchMode = mode;
    HeadlessSurface& with = Open();
    EXPECT_TRUE(with.enabled(kBatchMode));
    EXPECT_EQ(with.selection(kBatchMode), entry) << mode;
  }
  HeadlessSurface& s = Open();
  s.Choose(kBatchMode, 2);
  s.Click(kIdOkButton);
  EXPECT_EQ(t.context.settings.batchMode, 3);
}

TEST_F(DetailsTest, ControlsLoadedFromTheRecord) {
  ScanSettings& r = t.context.settings;
  r.rotate = 1;
  r.polarity = 2;
  r.autoSize = 1;
  r.addonOn = 1;
  r.keyStart = 1;
  r.marginScan = 0;
  r.notchErase = 1;
  r.userGrc = 1;
  r.backgroundErase = 1;
  HeadlessSurface& s = Open();
  EXPECT_TRUE(s.checked(kRotate));
  EXPECT_EQ(s.selection(kPolarity), 2);
  EXPECT_TRUE(s.checked(kAutoSize));
  EXPECT_TRUE(s.checked(kAddonOn));
  EXPECT_TRUE(s.checked(kKeyStart));
  EXPECT_FALSE(s.checked(kMarginScan));
  for (int id : {kMarginTrackbar, kMarginEdit, kMarginUpDown}) EXPECT_FALSE(s.enabled(id));
  EXPECT_TRUE(s.checked(kNotchErase));
  EXPECT_FALSE(s.checked(kThinLine));
  EXPECT_TRUE(s.checked(kUserGrc));
  EXPECT_TRUE(s.enabled(kBackgroundErase));
  EXPECT_TRUE(s.checked(kBackgroundErase));

  EXPECT_EQ(s.text(kMarginEdit), "  4");
  EXPECT_EQ(s.position(kMarginTrackbar), 4);
  EXPECT_EQ(s.control(kMarginTrackbar).ticks, (std::vector<int>{-10, 0, 10}));
  EXPECT_EQ(s.control(kMarginUpDown).low, -10);
  EXPECT_EQ(s.text(kAeEdit), "  9");
  EXPECT_EQ(s.control(kAeTrackbar).ticks, (std::vector<int>{1, 9, 17}));
  EXPECT_EQ(s.control(kAeUpDown).high, 17);
  EXPECT_EQ(s.text(kEdgeEdit), "  3");
  EXPECT_EQ(s.control(kEdgeTrackbar).ticks, (std::vector<int>{1, 2, 3, 4, 5}));

  s.Click(kMarginScan);
  for (int id : {kMarginTrackbar, kMarginEdit, kMarginUpDown}) EXPECT_TRUE(s.enabled(id));
}

TEST_F(DetailsTest, OddRecordValues) {
  t.context.settings.polarity = 7;
  t.context.settings.keyStart = 2;  // only 1 checks "Key start"
  HeadlessSurface& s = Open();
  EXPECT_EQ(s.selection(kPolarity), 0);
  EXPECT_FALSE(s.checked(kKeyStart));
}

TEST_F(DetailsTest, BackgroundEraseByTheSettingsDialogsImageType) {
  t.context.settings.backgroundErase = 1;
  for (auto [type, enabled] : {std::pair{4, false}, std::pair{10, false}, std::pair{1, true},
                               std::pair{9, true}, std::pair{0, true}}) {
    t.context.settings.dialogImageType = type;
    HeadlessSurface& s = Open();
    EXPECT_EQ(s.enabled(kBackgroundErase), enabled) << type;
    EXPECT_EQ(s.checked(kBackgroundErase), enabled) << type;
  }
}

TEST_F(DetailsTest, SliderEditsAreClampedIntoTheRecordAtOnce) {
  t.context.settings.marginScan = 1;
  HeadlessSurface& s = Open();
  s.TypeAndLeave(kMarginEdit, "-25");
  EXPECT_EQ(s.text(kMarginEdit), "-10");
  EXPECT_EQ(t.context.settings.marginAmount, -10);
  s.TypeAndLeave(kAeEdit, "20");
  EXPECT_EQ(s.text(kAeEdit), " 17");
  EXPECT_EQ(t.context.settings.aeLevel, 17);
  s.TypeAndLeave(kEdgeEdit, "0");
  EXPECT_EQ(s.text(kEdgeEdit), "  1");
  EXPECT_EQ(t.context.settings.edgeEmphasis, 1);
  s.ScrollUpDown(kMarginUpDown, -3);
  EXPECT_EQ(t.context.settings.marginAmount, -3);
  EXPECT_EQ(s.text(kMarginEdit), " -3");
  EXPECT_EQ(s.position(kMarginTrackbar), -3);
  s.ScrollTrackbar(kEdgeTrackbar, 4);
  EXPECT_EQ(t.context.settings.edgeEmphasis, 4);
  EXPECT_EQ(s.position(kEdgeUpDown), 4);
}

TEST_F(DetailsTest, CancelRollsBackOnlyTheThreeSliderValues) {
  t.context.settings.marginScan = 1;
  t.context.settings.notchErase = 1;
  t.context.settings.polarity = 1;
  HeadlessSurface& s = Open();
  s.ScrollTrackbar(kMarginTrackbar, -7);
  s.ScrollTrackbar(kAeTrackbar, 2);
  s.Click(kDefaults);
  EXPECT_EQ(t.context.settings.marginAmount, 10);
  EXPECT_EQ(t.context.settings.aeLevel, 9);
  EXPECT_EQ(t.context.settings.edgeEmphasis, 3);
  EXPECT_EQ(s.text(kMarginEdit), " 10");  // reloaded
  EXPECT_FALSE(s.checked(kNotchErase));
  s.Click(kIdCancelButton);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
  const ScanSettings& r = t.context.settings;
  EXPECT_EQ(r.marginAmount, 4);
  EXPECT_EQ(r.aeLevel, 9);
  EXPECT_EQ(r.edgeEmphasis, 3);
  EXPECT_EQ(r.notchErase, 0);  // the defaults stay
  EXPECT_EQ(r.polarity, 0);
  EXPECT_EQ(r.marginScan, 0);
}

TEST_F(DetailsTest, DefaultsSetEveryParameter) {
  ScanSettings& r = t.context.settings;
  r.polarity = 2;
  r.keyStart = 1;
  r.autoSize = 1;
  r.notchErase = r.thinLine = r.userGrc = r.invertData = r.addonOn = r.marginScan = 1;
  r.backgroundErase = 1;
  r.grcMode = 2;
  r.rotate = 1;
  t.context.state.scannerCaps.batchCapable = true;
  r.batchMode = 3;
  HeadlessSurface& s = Open();
  s.Click(kDefaults);
  EXPECT_EQ(r.polarity, 0);
  EXPECT_EQ(r.keyStart, 0);
  EXPECT_EQ(r.batchMode, 1);
  EXPECT_EQ(r.autoSize, 0);
  EXPECT_EQ(r.notchErase + r.thinLine + r.userGrc + r.invertData + r.addonOn + r.marginScan, 0);
  EXPECT_EQ(r.backgroundErase, 0);
  EXPECT_EQ(r.marginAmount, 10);
  EXPECT_EQ(r.grcMode, 0);
  EXPECT_EQ(r.aeLevel, 9);
  EXPECT_EQ(r.edgeEmphasis, 3);
  EXPECT_EQ(r.rotate, 0);
  EXPECT_FALSE(s.checked(kRotate));
  EXPECT_EQ(s.selection(kBatchMode), 0);
  EXPECT_FALSE(s.ended());
}

TEST_F(DetailsTest, OkWritesTheControls) {
  ScanSettings& r = t.context.settings;
  r.grcMode = 2;
  r.separatorSense = 1;
  HeadlessSurface& s = Open();
  s.Choose(kPolarity, 1);
  for (int id : {kRotate, kAutoSize, kAddonOn, kKeyStart, kMarginScan, kBackgroundErase,
                 kThinLine}) {
    s.Click(id);
  }
  s.Type(kMarginEdit, "-4");  // typed, never left: read on OK
  s.Type(kAeEdit, "99");
  s.Type(kEdgeEdit, "2");
  s.Click(kIdOkButton);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(r.polarity, 1);
  EXPECT_EQ(r.separatorSense, 0);
  EXPECT_EQ(r.grcMode, 0);
  EXPECT_EQ(r.autoSize, 1);
  EXPECT_EQ(r.addonOn, 1);
  EXPECT_EQ(r.keyStart, 1);
  EXPECT_EQ(r.marginScan, 1);
  EXPECT_EQ(r.marginAmount, -4);
  EXPECT_EQ(r.aeLevel, 17);
  EXPECT_EQ(r.edgeEmphasis, 2);
  EXPECT_EQ(r.backgroundErase, 1);
  EXPECT_EQ(r.notchErase, 0);
  EXPECT_EQ(r.thinLine, 1);
  EXPECT_EQ(r.userGrc, 0);
  EXPECT_EQ(r.rotate, 1);
  EXPECT_TRUE(t.platform.boxes.empty());  // the failed push is not reported
}

TEST_F(DetailsTest, ButtonsOpenTheSubDialogsWithTheRememberedInstance) {
  t.context.dialogs.instance = reinterpret_cast<void*>(0x77);
  HeadlessSurface& s = Open();
  s.Click(kGamma);
  s.Click(kFunctionKey);
  s.Click(kAddon);
  ASSERT_EQ(runner.openings().size(), 3u);
  EXPECT_EQ(runner.openings()[0].which, DialogTemplate::kGamma);
  EXPECT_EQ(runner.openings()[1].which, DialogTemplate::kFunction);
  EXPECT_EQ(runner.openings()[2].which, DialogTemplate::kImprinter);
  for (const auto& o : runner.openings()) {
    EXPECT_EQ(o.instance, reinterpret_cast<void*>(0x77));
    EXPECT_EQ(o.owner, s.Window());
  }
  EXPECT_FALSE(s.ended());
}

}  // namespace
}  // namespace tarvo
