// The Details dialog on the headless surface. No scanner answers: parameter
// sets store their value and their push fails, which the dialog ignores.
#include <gtest/gtest.h>

#include <tuple>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DetailsDialog.h"
#include "ui/DialogExports.h"

namespace tarvo {
namespace {

using namespace details;
using namespace test;

class DetailsTest : public ::testing::Test {
 protected:
  DetailsTest() {
    std::tie(r.marginAmount, r.aeLevel, r.edgeEmphasis, r.batchMode) = std::tuple(4, 9, 3, 2);
  }
  HeadlessSurface& Open() { return dialogs.Open(DialogTemplate::kDetailsUs, t.context, runner); }
  // The three slider values and the switches, as the record holds them.
  auto Sliders() const { return std::tuple(r.marginAmount, r.aeLevel, r.edgeEmphasis); }
  auto Switches() const {
    return std::tuple(r.autoSize, r.addonOn, r.keyStart, r.marginScan, r.backgroundErase,
                      r.notchErase, r.thinLine, r.userGrc, r.rotate);
  }

  DialogTestContext t;
  ScanSettings& r = t.context.settings;
  HeadlessRunner runner;
  Reopening<DetailsDialog> dialogs;
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
    EXPECT_EQ(RunDetailsDialog(t.context, runner, Handle(0x4000), nullptr), 0x4000u);
    EXPECT_EQ(runner.openings_().back().which, which);
    EXPECT_EQ(t.context.dialogs.instance, Handle(0x4000));
  }
}

TEST_F(DetailsTest, BatchListByCapability) {
  HeadlessSurface& without = Open();
  EXPECT_FALSE(without.enabled(kBatchMode));
  EXPECT_EQ(without.selection(kBatchMode), kNoSelection);
  without.Click(kIdOkButton);
  EXPECT_EQ(r.batchMode, 2);  // 0 is refused, the setting stays

  t.context.state.scannerCaps.batchCapable = true;
  for (auto [mode, entry] : {std::pair{1, 0}, {3, 2}, {0, 0}, {4, 0}}) {
    r.batchMode = mode;
    HeadlessSurface& with = Open();
    EXPECT_TRUE(with.enabled(kBatchMode));
    EXPECT_EQ(with.selection(kBatchMode), entry) << mode;
  }
  HeadlessSurface& s = Open();
  s.Choose(kBatchMode, 2);
  s.Click(kIdOkButton);
  EXPECT_EQ(r.batchMode, 3);
}

TEST_F(DetailsTest, CaptionsListsAndControlsLoadedFromTheRecord) {
  std::tie(r.rotate, r.polarity, r.autoSize, r.addonOn, r.keyStart, r.marginScan, r.notchErase,
           r.userGrc, r.backgroundErase) = std::tuple(1, 2, 1, 1, 1, 0, 1, 1, 1);
  HeadlessSurface& s = Open();
  EXPECT_EQ(std::tuple(s.title(), s.text(kDefaults)), std::tuple(Msg(92), Msg(91)));
  EXPECT_EQ(s.items(kPolarity), Msgs({257, 258, 10}));
  EXPECT_EQ(s.items(kBatchMode), Msgs({267, 268, 269}));
  EXPECT_EQ(s.selection(kPolarity), 2);
  EXPECT_EQ(std::tuple(s.checked(kRotate), s.checked(kAutoSize), s.checked(kAddonOn),
                       s.checked(kKeyStart), s.checked(kMarginScan), s.checked(kNotchErase),
                       s.checked(kThinLine), s.checked(kUserGrc), s.checked(kBackgroundErase),
                       s.enabled(kBackgroundErase)),
            std::tuple(true, true, true, true, false, true, false, true, true, true));
  for (int id : {kMarginTrackbar, kMarginEdit, kMarginUpDown}) EXPECT_FALSE(s.enabled(id));

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

  // Odd values: polarity 7 shows entry 0; only 1 checks "Key start".
  std::tie(r.polarity, r.keyStart) = std::tuple(7, 2);
  HeadlessSurface& odd = Open();
  EXPECT_EQ(odd.selection(kPolarity), 0);
  EXPECT_FALSE(odd.checked(kKeyStart));
}

TEST_F(DetailsTest, BackgroundEraseByTheSettingsDialogsImageType) {
  r.backgroundErase = 1;
  for (auto [type, enabled] : {std::pair{4, false}, {10, false}, {1, true}, {9, true}, {0, true}}) {
    r.dialogImageType = type;
    HeadlessSurface& s = Open();
    EXPECT_EQ(s.enabled(kBackgroundErase), enabled) << type;
    EXPECT_EQ(s.checked(kBackgroundErase), enabled) << type;
  }
}

TEST_F(DetailsTest, SliderEditsAreClampedIntoTheRecordAtOnce) {
  r.marginScan = 1;
  HeadlessSurface& s = Open();
  for (auto [edit, typed, shown] : {std::tuple{kMarginEdit, "-25", "-10"},
                                    std::tuple{kAeEdit, "20", " 17"},
                                    std::tuple{kEdgeEdit, "0", "  1"}}) {
    s.TypeAndLeave(edit, typed);
    EXPECT_EQ(s.text(edit), shown);
  }
  EXPECT_EQ(Sliders(), std::tuple(-10, 17, 1));
  s.ScrollUpDown(kMarginUpDown, -3);
  EXPECT_EQ(s.text(kMarginEdit), " -3");
  EXPECT_EQ(s.position(kMarginTrackbar), -3);
  s.ScrollTrackbar(kEdgeTrackbar, 4);
  EXPECT_EQ(s.position(kEdgeUpDown), 4);
  EXPECT_EQ(Sliders(), std::tuple(-3, 17, 4));
}

TEST_F(DetailsTest, DefaultsSetEveryParameterAndCancelRollsBackOnlyTheSliders) {
  std::tie(r.polarity, r.keyStart, r.autoSize, r.notchErase, r.thinLine, r.userGrc, r.invertData,
           r.addonOn, r.marginScan, r.backgroundErase, r.grcMode, r.rotate, r.batchMode) =
      std::tuple(2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 3);
  t.context.state.scannerCaps.batchCapable = true;
  HeadlessSurface& s = Open();
  s.ScrollTrackbar(kMarginTrackbar, -7);
  s.ScrollTrackbar(kAeTrackbar, 2);
  s.Click(kDefaults);
  EXPECT_EQ(std::tuple(r.polarity, r.keyStart, r.batchMode, r.invertData, r.grcMode),
            std::tuple(0, 0, 1, 0, 0));
  EXPECT_EQ(Switches(), std::tuple(0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(Sliders(), std::tuple(10, 9, 3));
  EXPECT_EQ(s.text(kMarginEdit), " 10");  // reloaded
  EXPECT_FALSE(s.checked(kRotate) || s.checked(kNotchErase));
  EXPECT_EQ(s.selection(kBatchMode), 0);
  EXPECT_FALSE(s.ended());
  s.Click(kIdCancelButton);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
  EXPECT_EQ(Sliders(), std::tuple(4, 9, 3));
  EXPECT_EQ(std::tuple(r.notchErase, r.polarity, r.marginScan), std::tuple(0, 0, 0));
}

TEST_F(DetailsTest, OkWritesTheControls) {
  std::tie(r.grcMode, r.separatorSense) = std::tuple(2, 1);
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
  EXPECT_EQ(std::tuple(r.polarity, r.separatorSense, r.grcMode), std::tuple(1, 0, 0));
  EXPECT_EQ(Switches(), std::tuple(1, 1, 1, 1, 1, 0, 1, 0, 1));
  EXPECT_EQ(Sliders(), std::tuple(-4, 17, 2));
  EXPECT_TRUE(t.platform.boxes.empty());  // the failed push is not reported
}

TEST_F(DetailsTest, ButtonsOpenTheSubDialogsWithTheRememberedInstance) {
  t.context.dialogs.instance = Handle(0x77);
  HeadlessSurface& s = Open();
  const DialogTemplate order[] = {DialogTemplate::kGamma, DialogTemplate::kFunction,
                                  DialogTemplate::kImprinter};
  for (int button : {kGamma, kFunctionKey, kAddon}) s.Click(button);
  ASSERT_EQ(runner.openings_().size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(runner.openings_()[i].which, order[i]);
    EXPECT_EQ(runner.openings_()[i].instance, Handle(0x77));
    EXPECT_EQ(runner.openings_()[i].owner, s.Window());
  }
  EXPECT_FALSE(s.ended());
}

}  // namespace
}  // namespace tarvo
