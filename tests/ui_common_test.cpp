// What the dialogs share (numbers in edits, the slider group, the driver-error
// box), the dialog exports and the Start-scan dialog. No scanner answers here.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/DialogTestContext.h"
#include "ui/DialogCommon.h"
#include "ui/DialogExports.h"
#include "ui/StartScanDialog.h"

namespace tarvo {
namespace {

using namespace test;
using setting::kBrightnessEdit, setting::kBrightnessTrackbar, setting::kBrightnessUpDown;

// The C library's reading of a decimal number, taken modulo 2^32.
TEST(DialogNumbers, ParseDecimalLikeTheCLibrary) {
  for (const char* text : {"128", "  42", "-25", "+7", "12abc", "", "abc", "-", " \t9\r\n", "- 5",
                           "0x10", "\v\f3", "4294967297", "-123456789012345"}) {
    const auto judge = static_cast<std::uint32_t>(std::strtoll(text, nullptr, 10));
    EXPECT_EQ(ParseDecimal(text), static_cast<std::int32_t>(judge)) << '"' << text << '"';
  }
}

// Scroll codes 0 to 5 move the value; an edit is clamped when left, only its
// first seven characters counting; other controls and events are not its own.
TEST(SliderGroup, ScrollEditAndEnable) {
  static constexpr SliderGroup kGroup{{kBrightnessTrackbar, kBrightnessEdit, kBrightnessUpDown}, 1, 255};
  static constexpr int kTicks[] = {1, 255, 128};
  HeadlessSurface s{DialogTemplate::kSetting};
  std::int32_t value = 100;
  kGroup.SetRanges(s, kTicks);
  auto send = [&](const DialogEvent& e) { EXPECT_TRUE(kGroup.OnEvent(s, e, value)); };
  auto shown = [&] {
    return std::tuple(value, s[kBrightnessEdit].text, s[kBrightnessTrackbar].position, s[kBrightnessUpDown].position);
  };
  EXPECT_EQ(std::tuple(s[kBrightnessTrackbar].ticks, s[kBrightnessUpDown].low, s[kBrightnessUpDown].high),
            std::tuple(std::vector<int>{1, 255, 128}, 1, 255));
  for (int code = 0; code <= 8; ++code) {
    kGroup.Show(s, value = 100);
    s.SetPosition(kBrightnessTrackbar, 7);
    send({EventKind::kTrackbarScrolled, kBrightnessTrackbar, code, 7});
    EXPECT_EQ(shown(), code <= 5 ? std::tuple(7, "  7", 7, 7) : std::tuple(100, "100", 7, 100)) << code;
  }
  s.SetPosition(kBrightnessUpDown, 9);
  send({EventKind::kUpDownScrolled, kBrightnessUpDown, 4, 9});
  EXPECT_EQ(shown(), std::tuple(9, "  9", 9, 9));
  for (auto [typed, v, text] : {std::tuple{"0", 1, "  1"}, {"999", 255, "255"}, {" 64x", 64, " 64"},
                                {"0000012999", 12, " 12"}}) {
    s.Type(kBrightnessEdit, typed);
    send({EventKind::kEditLostFocus, kBrightnessEdit});
    EXPECT_EQ(shown(), std::tuple(v, text, v, v));
  }
  EXPECT_FALSE(kGroup.OnEvent(s, {EventKind::kEditLostFocus, setting::kContrastEdit}, value) ||
               kGroup.OnEvent(s, {EventKind::kClicked, kBrightnessEdit}, value));
  kGroup.Enable(s, false);
  EXPECT_FALSE(s[kBrightnessTrackbar].enabled || s[kBrightnessEdit].enabled || s[kBrightnessUpDown].enabled);
  EXPECT_TRUE(s[setting::kContrastEdit].enabled);
}

// Without a scanner Start scan shows the notice and Settings gives the probe's
// code; the other exports run and give their instance or owner; code 38 boxes
// as message 223 whatever the message switch.
TEST(DialogExports, WithoutScanner) {
  DialogTestContext t;
  EXPECT_EQ(RunStartScanDialog(t.context, t.runner, Handle(1), Handle(2)), 0u);
  EXPECT_TRUE(t.LastBox(1, "Scanner is not probed.", "Vasko/ferrule driver"));
  EXPECT_EQ(RunSettingsDialog(t.context, t.runner, Handle(1), Handle(2)), 2u);
  EXPECT_TRUE(t.runner.openings.empty() && t.LastBox(1, "Scanner is not probed.", "Vasko/ferrule driver"));
  EXPECT_EQ(RunDetailsDialog(t.context, t.runner, Handle(0x10), Handle(0x20)), 0x10u);
  EXPECT_EQ(RunGammaDialog(t.context, t.runner, Handle(0x11), Handle(0x21)), 0x11u);
  EXPECT_EQ(RunAddonDialog(t.context, t.runner, Handle(0x12), Handle(0x22)), 0x22u);
  EXPECT_EQ(RunFunctionKeyDialog(t.context, t.runner, Handle(0x13), Handle(0x23)), 0x23u);
  ASSERT_EQ(t.runner.openings.size(), 4u);
  for (auto [i, which] : {std::pair{0u, DialogTemplate::kDetailsUs}, {1u, DialogTemplate::kGamma},
                          {2u, DialogTemplate::kImprinter}, {3u, DialogTemplate::kFunction}}) {
    const auto& o = t.runner.openings[i];
    EXPECT_EQ(std::tuple(o.which, o.instance, o.owner), std::tuple(which, Handle(0x10 + i), Handle(0x20 + i)));
  }
  EXPECT_EQ(t.context.dialogs.instance, Handle(0x11));  // Gamma remembers its instance too
  t.platform.boxes.clear();
  t.context.state.showMessages = 0;
  ShowDriverErrorBox(t.context, 38);
  EXPECT_TRUE(t.LastBox(1, Msg(223)));
  EXPECT_EQ(t.platform.boxes[0].style, kMbOk);
}

// 1407: no window class; 50: no window system at all.
TEST(DialogExports, DialogThatCannotBeCreatedGivesTheErrorAndABoxWithoutCaption) {
  using RunExport = std::uint32_t (*)(DriverContext&, DialogRunner&, void*, void*);
  for (RunExport run : {&RunDetailsDialog, &RunGammaDialog, &RunAddonDialog, &RunFunctionKeyDialog}) {
    DialogTestContext t;
    t.context.state.showMessages = 0;
    t.runner.failWith = 1407;
    EXPECT_EQ(run(t.context, t.runner, Handle(1), Handle(2)), 1407u);
    EXPECT_TRUE(t.LastBox(1, "DialogBox return code is 1407", ""));
    EXPECT_EQ(run(t.context, SystemDialogRunner(), nullptr, nullptr), kErrorNotSupported);
    EXPECT_TRUE(t.LastBox(2, "DialogBox return code is 50", ""));
  }
}

// The job separator list opens on "None" whatever the record; OK writes the
// entry's value (nothing before), Cancel nothing; the file name is read up to
// 38 characters.
TEST(StartScanDialog, OkWritesTheJobSeparatorChoice) {
  for (auto [entry, button, written] : {std::tuple{1, kIdOkButton, 3}, {2, kIdOkButton, 5}, {0, kIdOkButton, 0},
                                        {1, kIdCancelButton, 7}}) {
    DialogTestContext t;
    t.context.settings.separatorModeA = 7;
    auto& d = t.Open<StartScanDialog>(DialogTemplate::kStartScan);
    HeadlessSurface& s = d.surface;
    EXPECT_EQ(std::tuple(s[startscan::kJobSeparator].items.at(0), s[startscan::kJobSeparator].selection),
              std::tuple("None", 0));
    s.Type(startscan::kFileName, std::string(50, 'n'));
    s.Choose(startscan::kJobSeparator, entry);
    EXPECT_EQ(t.context.settings.separatorModeA, 7);
    s.Click(button);
    EXPECT_EQ(std::tuple(s.ended, s.result, t.context.settings.separatorModeA), std::tuple(true, 0, written));
    EXPECT_TRUE(button != kIdOkButton || d.dialog.fileName() == std::string(38, 'n'));
  }
}

}  // namespace
}  // namespace tarvo
