// What the dialogs share: numbers in edits, the slider group, the
// driver-error box, and the work of the dialog exports (probe steps,
// templates, results, the box of a dialog that cannot be created). No
// scanner answers here.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogCommon.h"
#include "ui/DialogExports.h"
#include "ui/DialogTemplates.h"

namespace tarvo {
namespace {

using namespace test;
using setting::kBrightnessEdit, setting::kBrightnessTrackbar, setting::kBrightnessUpDown;

TEST(DialogNumbers, ParseDecimalLikeTheCLibrary) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  for (Case c : {Case{"128", 128}, Case{"  42", 42}, Case{"-25", -25}, Case{"+7", 7},
                 Case{"12abc", 12}, Case{"", 0}, Case{"abc", 0}, Case{"-", 0}, Case{" \t9\r\n", 9},
                 Case{"300\n", 300}, Case{"- 5", 0}, Case{"4294967297", 1}}) {
    EXPECT_EQ(ParseDecimal(c.text), c.value) << '"' << c.text << '"';
  }
  // The low 8 bits of a long number are right.
  EXPECT_EQ(ParseDecimal("123456789012345") & 0xFF, 123456789012345LL & 0xFF);
}

// Shown whatever the message switch says.
TEST(DriverErrorBox, MessageByResultCode) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {2, 202}, {15, 203}, {7, 200}, {38, 223}, {0, 224}, {39, 224}, {0xFFFFFFFFu, 224}};
  for (auto [code, message] : cases) {
    DialogTestContext t;
    t.context.state.showMessages = 0;
    ShowDriverErrorBox(t.context, code);
    EXPECT_TRUE(t.LastBox(1, Msg(message))) << code;
    EXPECT_EQ(t.platform.boxes[0].style, kMbOk);
  }
}

// The slider group on the brightness controls of the Settings template.
class SliderGroupTest : public ::testing::Test {
 protected:
  static constexpr SliderGroup kGroup{{kBrightnessTrackbar, kBrightnessEdit, kBrightnessUpDown},
                                      1, 255};
  static constexpr int kTicks[] = {1, 255, 128};

  void SetUp() override {
    kGroup.SetRanges(surface, kTicks);
    kGroup.Show(surface, value);
  }
  void Send(const DialogEvent& e) { EXPECT_TRUE(kGroup.OnEvent(surface, e, value)); }
  // The value, the edit's text and both positions.
  void ExpectShown(std::int32_t v, const char* text) {
    EXPECT_EQ(value, v);
    EXPECT_EQ(surface.text(kBrightnessEdit), text);
    EXPECT_EQ(surface.position(kBrightnessTrackbar), v);
    EXPECT_EQ(surface.position(kBrightnessUpDown), v);
  }

  HeadlessSurface surface{DialogTemplate::kSetting};
  std::int32_t value = 100;
};

TEST_F(SliderGroupTest, ShowsRangesAndFollowsTrackbarAndUpDown) {
  ExpectShown(100, "100");
  EXPECT_EQ(surface.control(kBrightnessTrackbar).ticks, (std::vector<int>{1, 255, 128}));
  EXPECT_EQ(surface.control(kBrightnessUpDown).low, 1);
  EXPECT_EQ(surface.control(kBrightnessUpDown).high, 255);
  // Trackbar codes 0 to 5 move the value, the others do not.
  for (int code = 0; code <= 8; ++code) {
    SCOPED_TRACE(code);
    value = 100;
    kGroup.Show(surface, 100);
    surface.SetPosition(kBrightnessTrackbar, 7);
    Send({EventKind::kTrackbarScrolled, kBrightnessTrackbar, code, 7});
    EXPECT_EQ(value, code <= 5 ? 7 : 100);
    EXPECT_EQ(surface.text(kBrightnessEdit), code <= 5 ? "  7" : "100");
    EXPECT_EQ(surface.position(kBrightnessUpDown), value);
  }
  surface.SetPosition(kBrightnessUpDown, 9);
  Send({EventKind::kUpDownScrolled, kBrightnessUpDown, 4, 9});
  ExpectShown(9, "  9");
}

// Clamped when left; only the first seven characters count.
TEST_F(SliderGroupTest, EditIsClampedWhenLeft) {
  struct Case {
    const char* typed;
    std::int32_t value;
    const char* shown;
  };
  for (Case c : {Case{"0", 1, "  1"}, Case{"999", 255, "255"}, Case{"77", 77, " 77"},
                 Case{"abc", 1, "  1"}, Case{"12345678", 255, "255"}, Case{"-3", 1, "  1"},
                 Case{" 64x", 64, " 64"}, Case{"0000012999", 12, " 12"}}) {
    SCOPED_TRACE(c.typed);
    surface.Type(kBrightnessEdit, c.typed);
    Send({EventKind::kEditLostFocus, kBrightnessEdit});
    ExpectShown(c.value, c.shown);
  }
}

TEST_F(SliderGroupTest, IgnoresOtherControlsAndEnablesItsOwn) {
  EXPECT_FALSE(kGroup.OnEvent(surface, {EventKind::kEditLostFocus, setting::kContrastEdit}, value));
  EXPECT_FALSE(kGroup.OnEvent(surface, {EventKind::kClicked, kBrightnessEdit}, value));
  kGroup.Enable(surface, false);
  for (int id : {kBrightnessTrackbar, kBrightnessEdit, kBrightnessUpDown}) {
    EXPECT_FALSE(surface.enabled(id));
  }
  EXPECT_TRUE(surface.enabled(setting::kContrastEdit));
}

// ---- the exports ---------------------------------------------------------------------

TEST(DialogExports, WithoutScannerStartScanShowsTheNoticeAndSettingsGivesTheProbeCode) {
  DialogTestContext t;
  HeadlessRunner runner;
  EXPECT_EQ(RunStartScanDialog(t.context, runner, Handle(1), Handle(2)), 0u);
  EXPECT_TRUE(t.LastBox(1, "Scanner is not probed.", "Vasko/ferrule driver"));
  EXPECT_EQ(t.platform.boxes[0].style, kMbOk);
  EXPECT_EQ(RunSettingsDialog(t.context, runner, Handle(1), Handle(2)), 2u);
  EXPECT_TRUE(runner.openings().empty());
  EXPECT_EQ(t.platform.boxes.size(), 1u);
}

TEST(DialogExports, ResultsAfterTheDialogRan) {
  DialogTestContext t;
  HeadlessRunner runner;
  EXPECT_EQ(RunDetailsDialog(t.context, runner, Handle(0x10), Handle(0x20)), 0x10u);
  EXPECT_EQ(RunGammaDialog(t.context, runner, Handle(0x11), Handle(0x21)), 0x11u);
  EXPECT_EQ(RunAddonDialog(t.context, runner, Handle(0x12), Handle(0x22)), 0x22u);
  EXPECT_EQ(RunFunctionKeyDialog(t.context, runner, Handle(0x13), Handle(0x23)), 0x23u);
  ASSERT_EQ(runner.openings().size(), 4u);
  const DialogTemplate order[] = {DialogTemplate::kDetailsUs, DialogTemplate::kGamma,
                                  DialogTemplate::kImprinter, DialogTemplate::kFunction};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(runner.openings()[i].which, order[i]);
    EXPECT_EQ(runner.openings()[i].instance, Handle(0x10 + i));
    EXPECT_EQ(runner.openings()[i].owner, Handle(0x20 + i));
  }
  EXPECT_EQ(t.context.dialogs.instance, Handle(0x11));  // Gamma remembers its instance too
}

// A dialog that cannot be created (1407: no window class; 50: no window
// system at all) gives the error and a box without caption.
TEST(DialogExports, DialogThatCannotBeCreated) {
  using RunExport = std::uint32_t (*)(DriverContext&, DialogRunner&, void*, void*);
  for (RunExport run : {&RunDetailsDialog, &RunGammaDialog, &RunAddonDialog, &RunFunctionKeyDialog}) {
    DialogTestContext t;
    t.context.state.showMessages = 0;
    HeadlessRunner runner;
    runner.failWith = 1407;
    EXPECT_EQ(run(t.context, runner, Handle(1), Handle(2)), 1407u);
    EXPECT_TRUE(t.LastBox(1, "DialogBox return code is 1407", ""));
    EXPECT_EQ(run(t.context, SystemDialogRunner(), nullptr, nullptr), kErrorNotSupported);
    EXPECT_TRUE(t.LastBox(2, "DialogBox return code is 50", ""));
  }
}

}  // namespace
}  // namespace tarvo
