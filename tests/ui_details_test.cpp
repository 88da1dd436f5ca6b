// The Details dialog without a scanner: sets store their value, their push
// fails and the dialog ignores it.
#include <gtest/gtest.h>

#include <tuple>

#include "support/DialogTestContext.h"
#include "ui/DetailsDialog.h"
#include "ui/DialogExports.h"

namespace tarvo {
namespace {

using namespace details;
using namespace test;

class DetailsTest : public ::testing::Test, public DialogTestContext {
 protected:
  DetailsTest() { std::tie(r.marginAmount, r.aeLevel, r.edgeEmphasis, r.batchMode) = std::tuple(4, 9, 3, 2); }
  HeadlessSurface& Open() { return DialogTestContext::Open<DetailsDialog>(DialogTemplate::kDetailsUs, runner).surface; }
  auto Sliders() const { return std::tuple(r.marginAmount, r.aeLevel, r.edgeEmphasis); }
  auto Switches() const {
    return std::tuple(r.autoSize, r.addonOn, r.keyStart, r.marginScan, r.backgroundErase, r.notchErase,
                      r.thinLine, r.userGrc, r.rotate);
  }
  static bool MarginEnabled(HeadlessSurface& s) {
    return s[kMarginTrackbar].enabled && s[kMarginEdit].enabled && s[kMarginUpDown].enabled;
  }
};

TEST_F(DetailsTest, OnlyJapaneseHasItsOwnTemplate) {
  for (const char* name : {"", "japanese", "Japanese "}) EXPECT_EQ(DetailsTemplate(name), DialogTemplate::kDetailsUs);
  for (auto [language, which] : {std::pair{"Japanese", DialogTemplate::kDetails}, {"Italian", DialogTemplate::kDetailsUs}}) {
    SetCurrentLanguage(context, language);
    RunDetailsDialog(context, runner, Handle(0x4000), nullptr);
    EXPECT_EQ(runner.openings.back().which, which);
  }
}

TEST_F(DetailsTest, OpeningShowsTheRecord) {
  std::tie(r.rotate, r.polarity, r.autoSize, r.addonOn, r.keyStart, r.marginScan, r.notchErase,
           r.userGrc, r.backgroundErase) = std::tuple(1, 2, 1, 1, 1, 0, 1, 1, 1);
  HeadlessSurface& s = Open();
  EXPECT_EQ(std::tuple(s.title, s[kDefaults].text, s[kPolarity].items.at(2), s[kBatchMode].items.at(0)),
            std::tuple(Msg(92), Msg(91), Msg(10), Msg(267)));
  std::vector<bool> checked;
  for (int id : {kRotate, kAutoSize, kAddonOn, kKeyStart, kMarginScan, kNotchErase, kThinLine, kUserGrc,
                 kBackgroundErase}) checked.push_back(s[id].checked);
  EXPECT_EQ(checked, (std::vector<bool>{true, true, true, true, false, true, false, true, true}));
  EXPECT_TRUE(s[kPolarity].selection == 2 && s[kBackgroundErase].enabled && !MarginEnabled(s));
  EXPECT_EQ(std::tuple(s[kMarginEdit].text, s[kMarginTrackbar].position, s[kAeEdit].text, s[kEdgeEdit].text),
            std::tuple("  4", 4, "  9", "  3"));
  EXPECT_EQ(s[kMarginTrackbar].ticks, (std::vector<int>{-10, 0, 10}));
  EXPECT_EQ(std::tuple(s[kBatchMode].enabled, s[kBatchMode].selection), std::tuple(false, kNoSelection));
  s.Click(kMarginScan);
  EXPECT_TRUE(MarginEnabled(s));
  // Odd values: polarity 7 shows entry 0; only 1 checks "Key start".
  std::tie(r.polarity, r.keyStart) = std::tuple(7, 2);
  HeadlessSurface& odd = Open();
  EXPECT_TRUE(odd[kPolarity].selection == 0 && !odd[kKeyStart].checked);
  // Background erase follows the Settings dialog's image type.
  for (auto [type, enabled] : {std::pair{4, false}, {10, false}, {9, true}}) {
    r.dialogImageType = type;
    HeadlessSurface& erase = Open();
    EXPECT_EQ(std::tuple(erase[kBackgroundErase].enabled, erase[kBackgroundErase].checked), std::tuple(enabled, enabled));
  }
  context.state.scannerCaps.batchCapable = true;
  for (auto [mode, entry] : {std::pair{1, 0}, {3, 2}, {4, 0}}) {
    r.batchMode = mode;
    HeadlessSurface& batch = Open();
    EXPECT_EQ(std::tuple(batch[kBatchMode].enabled, batch[kBatchMode].selection), std::tuple(true, entry)) << mode;
  }
}

TEST_F(DetailsTest, OkWritesTheControls) {
  std::tie(r.grcMode, r.separatorSense) = std::tuple(2, 1);
  HeadlessSurface& s = Open();
  s.Choose(kPolarity, 1);
  for (int id : {kRotate, kAutoSize, kAddonOn, kKeyStart, kMarginScan, kBackgroundErase, kThinLine}) s.Click(id);
  s.Type(kMarginEdit, "-4");  // typed, never left: read on OK
  s.Type(kAeEdit, "99");
  s.Type(kEdgeEdit, "2");
  s.Click(kIdOkButton);
  EXPECT_TRUE(s.ended && platform.boxes.empty());  // the failed push is not reported
  EXPECT_EQ(std::tuple(r.polarity, r.separatorSense, r.grcMode, r.batchMode), std::tuple(1, 0, 0, 2));  // batch 0 refused
  EXPECT_EQ(Switches(), std::tuple(1, 1, 1, 1, 1, 0, 1, 0, 1));
  EXPECT_EQ(Sliders(), std::tuple(-4, 17, 2));
  context.state.scannerCaps.batchCapable = true;
  HeadlessSurface& batch = Open();
  batch.Choose(kBatchMode, 2);
  batch.Click(kIdOkButton);
  EXPECT_EQ(r.batchMode, 3);
}

// Slider edits are clamped into the record at once; Defaults sets every
// parameter; Cancel rolls back only the sliders.
TEST_F(DetailsTest, SlidersDefaultsAndCancel) {
  std::tie(r.polarity, r.keyStart, r.autoSize, r.notchErase, r.thinLine, r.userGrc, r.invertData,
           r.addonOn, r.marginScan, r.backgroundErase, r.grcMode, r.rotate, r.batchMode) =
      std::tuple(2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 3);
  context.state.scannerCaps.batchCapable = true;
  HeadlessSurface& s = Open();
  for (auto [edit, typed, shown] : {std::tuple{kMarginEdit, "-25", "-10"}, {kAeEdit, "20", " 17"}, {kEdgeEdit, "0", "  1"}}) {
    s.TypeAndLeave(edit, typed);
    EXPECT_EQ(s[edit].text, shown);
  }
  EXPECT_EQ(Sliders(), std::tuple(-10, 17, 1));
  s.ScrollUpDown(kMarginUpDown, -3);
  EXPECT_EQ(std::tuple(s[kMarginEdit].text, s[kMarginTrackbar].position), std::tuple(" -3", -3));
  s.ScrollTrackbar(kEdgeTrackbar, 4);
  EXPECT_EQ(std::tuple(s[kEdgeUpDown].position, Sliders()), std::tuple(4, std::tuple(-3, 17, 4)));
  s.Click(kDefaults);
  EXPECT_EQ(std::tuple(r.polarity, r.keyStart, r.batchMode, r.invertData, r.grcMode), std::tuple(0, 0, 1, 0, 0));
  EXPECT_EQ(Switches(), std::tuple(0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(Sliders(), std::tuple(10, 9, 3));
  EXPECT_EQ(std::tuple(s[kMarginEdit].text, s[kRotate].checked, s[kNotchErase].checked, s[kBatchMode].selection),
            std::tuple(" 10", false, false, 0));
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, s.result), std::tuple(true, 0));
  EXPECT_EQ(Sliders(), std::tuple(4, 9, 3));
  EXPECT_EQ(std::tuple(r.notchErase, r.polarity, r.marginScan), std::tuple(0, 0, 0));
}

TEST_F(DetailsTest, ButtonsOpenTheSubDialogsWithTheRememberedInstance) {
  context.dialogs.instance = Handle(0x77);
  HeadlessSurface& s = Open();
  for (int button : {kGamma, kFunctionKey, kAddon}) s.Click(button);
  const DialogTemplate order[] = {DialogTemplate::kGamma, DialogTemplate::kFunction, DialogTemplate::kImprinter};
  ASSERT_EQ(runner.openings.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& o = runner.openings[i];
    EXPECT_EQ(std::tuple(o.which, o.instance, o.owner), std::tuple(order[i], Handle(0x77), s.Window()));
  }
  EXPECT_FALSE(s.ended);
}

}  // namespace
}  // namespace tarvo
