// What the dialogs share: numbers in edits, the slider group, the
// driver-error box and the box of a dialog that cannot be created.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogCommon.h"
#include "ui/DialogTemplates.h"

namespace tarvo {
namespace {

using test::DialogTestContext;
using test::HeadlessSurface;
using test::Msg;

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

TEST(DriverErrorBox, MessageByResultCode) {
  struct Case {
    std::uint32_t code;
    std::uint32_t message;
  };
  const Case cases[] = {{2, 202},  {5, 203},  {15, 203}, {37, 203}, {6, 205},  {7, 200},
                        {8, 201},  {12, 206}, {16, 208}, {38, 223}, {0, 224},  {1, 224},
                        {3, 224},  {4, 224},  {9, 224},  {14, 224}, {17, 224}, {35, 224},
                        {39, 224}, {0xFFFFFFFFu, 224}};
  for (const Case& c : cases) {
    DialogTestContext t;
    ShowDriverErrorBox(t.context, c.code);
    ASSERT_EQ(t.platform.boxes.size(), 1u) << c.code;
    EXPECT_EQ(t.platform.boxes[0].text, Msg(c.message)) << c.code;
    EXPECT_EQ(t.platform.boxes[0].caption, "RT650");
    EXPECT_EQ(t.platform.boxes[0].style, kMbOk);
  }
}

TEST(DriverErrorBox, ShownWhateverTheMessageSwitchSays) {
  DialogTestContext t;
  t.context.state.showMessages = 0;
  ShowDriverErrorBox(t.context, 7);
  ShowDialogBoxFailure(t.context, 1407);
  ASSERT_EQ(t.platform.boxes.size(), 2u);
  EXPECT_EQ(t.platform.boxes[1].text, "DialogBox return code is 1407");
  EXPECT_EQ(t.platform.boxes[1].caption, "");  // no caption
}

// The slider group on the brightness controls of the Settings template.
class SliderGroupTest : public ::testing::Test {
 protected:
  static constexpr SliderGroup kGroup{
      {setting::kBrightnessTrackbar, setting::kBrightnessEdit, setting::kBrightnessUpDown}, 1, 255};
  static constexpr int kTicks[] = {1, 255, 128};

  void SetUp() override {
    kGroup.SetRanges(surface, kTicks);
    kGroup.Show(surface, value);
  }
  void Send(const DialogEvent& e) { EXPECT_TRUE(kGroup.OnEvent(surface, e, value)); }

  HeadlessSurface surface{DialogTemplate::kSetting};
  std::int32_t value = 100;
};

TEST_F(SliderGroupTest, ShowsTheValueInAllThree) {
  EXPECT_EQ(surface.text(setting::kBrightnessEdit), "100");
  EXPECT_EQ(surface.position(setting::kBrightnessTrackbar), 100);
  EXPECT_EQ(surface.position(setting::kBrightnessUpDown), 100);
  EXPECT_EQ(surface.control(setting::kBrightnessTrackbar).ticks, (std::vector<int>{1, 255, 128}));
  EXPECT_EQ(surface.control(setting::kBrightnessUpDown).low, 1);
  EXPECT_EQ(surface.control(setting::kBrightnessUpDown).high, 255);
}

TEST_F(SliderGroupTest, TrackbarCodesZeroToFiveMoveTheValue) {
  for (int code = 0; code <= 8; ++code) {
    value = 100;
    kGroup.Show(surface, 100);
    surface.SetPosition(setting::kBrightnessTrackbar, 7);
    Send({EventKind::kTrackbarScrolled, setting::kBrightnessTrackbar, code, 7});
    const bool moves = code <= 5;
    EXPECT_EQ(value, moves ? 7 : 100) << code;
    EXPECT_EQ(surface.text(setting::kBrightnessEdit), moves ? "  7" : "100") << code;
    EXPECT_EQ(surface.position(setting::kBrightnessUpDown), value) << code;
  }
}

TEST_F(SliderGroupTest, UpDownMovesValueEditAndTrackbar) {
  surface.SetPosition(setting::kBrightnessUpDown, 9);
  Send({EventKind::kUpDownScrolled, setting::kBrightnessUpDown, 4, 9});
  EXPECT_EQ(value, 9);
  EXPECT_EQ(surface.text(setting::kBrightnessEdit), "  9");
  EXPECT_EQ(surface.position(setting::kBrightnessTrackbar), 9);
}

TEST_F(SliderGroupTest, EditIsClampedWhenLeft) {
  struct Case {
    const char* typed;
    std::int32_t value;
    const char* shown;
  };
  for (Case c : {Case{"0", 1, "  1"}, Case{"999", 255, "255"}, Case{"77", 77, " 77"},
                 Case{"abc", 1, "  1"}, Case{"12345678", 255, "255"}, Case{"-3", 1, "  1"},
                 Case{" 64x", 64, " 64"}}) {
    surface.Type(setting::kBrightnessEdit, c.typed);
    Send({EventKind::kEditLostFocus, setting::kBrightnessEdit});
    EXPECT_EQ(value, c.value) << c.typed;
    EXPECT_EQ(surface.text(setting::kBrightnessEdit), c.shown) << c.typed;
    EXPECT_EQ(surface.position(setting::kBrightnessTrackbar), c.value) << c.typed;
    EXPECT_EQ(surface.position(setting::kBrightnessUpDown), c.value) << c.typed;
  }
}

TEST_F(SliderGroupTest, OnlyTheFirstSevenCharactersCount) {
  surface.Type(setting::kBrightnessEdit, "0000012999");  // "0000012" is 12
  Send({EventKind::kEditLostFocus, setting::kBrightnessEdit});
  EXPECT_EQ(value, 12);
}

TEST_F(SliderGroupTest, IgnoresOtherControlsAndEnablesItsOwn) {
  EXPECT_FALSE(kGroup.OnEvent(surface, {EventKind::kEditLostFocus, setting::kContrastEdit}, value));
  EXPECT_FALSE(kGroup.OnEvent(surface, {EventKind::kClicked, setting::kBrightnessEdit}, value));
  kGroup.Enable(surface, false);
  EXPECT_FALSE(surface.enabled(setting::kBrightnessTrackbar));
  EXPECT_FALSE(surface.enabled(setting::kBrightnessEdit));
  EXPECT_FALSE(surface.enabled(setting::kBrightnessUpDown));
  EXPECT_TRUE(surface.enabled(setting::kContrastEdit));
}

}  // namespace
}  // namespace tarvo
