// The dialogs without a scanner (reads give the record's values, every push
// fails with 2): what they share, the exports, each dialog's drives, and the
// resource script's templates against the controllers' view of them.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numeric>
#include <regex>
#include <string>
#include <tuple>

#include "support/HeadlessSurface.h"
#include "ui/DetailsDialog.h"
#include "ui/DialogCommon.h"
#include "ui/DialogTemplates.h"
#include "ui/GammaDialog.h"
#include "ui/SettingsDialog.h"
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

// The job separator list opens on "None" whatever the record; OK writes the
// entry's value (nothing before), Cancel nothing; the file name is read up to
// 38 characters.
TEST(SliderGroup, ScrollEditAndEnable) {
  static constexpr SliderGroup kGroup{{kBrightnessTrackbar, kBrightnessEdit, kBrightnessUpDown}, 1, 255};
  static constexpr int kTicks[] = {1, 255, 128};
  HeadlessSurface s{DialogTemplate::kSetting};
  std::int32_t value = 100;
  kGroup.SetRanges(s, kTicks);
  auto shown = [&] {
    return std::tuple(value, s[kBrightnessEdit].text, s[kBrightnessTrackbar].position, s[kBrightnessUpDown].position);
  };
  for (int code = 0; code <= 8; ++code) {
    kGroup.Show(s, value = 100);
    s.SetPosition(kBrightnessTrackbar, 7);
    EXPECT_TRUE(kGroup.OnEvent(s, {EventKind::kTrackbarScrolled, kBrightnessTrackbar, code, 7}, value));
    EXPECT_EQ(shown(), code <= 5 ? std::tuple(7, "  7", 7, 7) : std::tuple(100, "100", 7, 100)) << code;
  }
  for (auto [typed, v, text] : {std::tuple{"999", 255, "255"}, {" 64x", 64, " 64"}, {"0000012999", 12, " 12"}}) {
    s.Type(kBrightnessEdit, typed);
    EXPECT_TRUE(kGroup.OnEvent(s, {EventKind::kEditLostFocus, kBrightnessEdit}, value));
    EXPECT_EQ(shown(), std::tuple(v, text, v, v));
  }
  EXPECT_FALSE(kGroup.OnEvent(s, {EventKind::kEditLostFocus, setting::kContrastEdit}, value) ||
               kGroup.OnEvent(s, {EventKind::kClicked, kBrightnessEdit}, value));
  kGroup.Enable(s, false);
  EXPECT_FALSE(s[kBrightnessTrackbar].enabled || s[kBrightnessEdit].enabled || s[kBrightnessUpDown].enabled);
  EXPECT_TRUE(s[setting::kContrastEdit].enabled);
}

TEST(StartScanDialog, OkWritesTheJobSeparatorChoice) {
  for (auto [entry, button, written] : {std::tuple{2, kIdOkButton, 5}, {0, kIdOkButton, 0}, {1, kIdCancelButton, 7}}) {
    DialogTestContext t;
    t.r.separatorModeA = 7;
    auto& d = t.Open<StartScanDialog>(DialogTemplate::kStartScan);
    HeadlessSurface& s = d.surface;
    EXPECT_EQ(std::tuple(s[startscan::kJobSeparator].items.at(0), s[startscan::kJobSeparator].selection),
              std::tuple("None", 0));
    s.Type(startscan::kFileName, std::string(50, 'n'));
    s.Choose(startscan::kJobSeparator, entry);
    EXPECT_EQ(t.r.separatorModeA, 7);
    s.Click(button);
    EXPECT_EQ(std::tuple(s.ended, s.result, t.r.separatorModeA), std::tuple(true, 0, written));
    EXPECT_TRUE(button != kIdOkButton || d.dialog.fileName() == std::string(38, 'n'));
  }
}

namespace settings_dialog {
using namespace setting;

class SettingsTest : public ::testing::Test, public DialogTestContext {
 protected:
  SettingsTest() {  // a record that matches entry 1 of every list, with manual brightness
    std::tie(r.imageType, r.bitsPerPixel, r.xResolution, r.yResolution, r.scanLength, r.scanWidth,
             r.brightness, r.contrast) = std::tuple(1, 1, 300, 300, 3304, 2552, 100, 60);
  }
  HeadlessSurface& Open() { return DialogTestContext::Open<SettingsDialog>(DialogTemplate::kSetting, runner).surface; }
  void ExpectSliders(HeadlessSurface& s, bool enabled) {
    for (int id : {kBrightnessTrackbar, kBrightnessEdit, kBrightnessUpDown, kContrastTrackbar, kContrastEdit,
                   kContrastUpDown}) EXPECT_EQ(s[id].enabled, enabled) << id;
  }
};

TEST_F(SettingsTest, CaptionsListsAndTheEntriesTheRecordSelects) {
  HeadlessSurface& s = Open();
  // No revision read: below 2000, the contrast label is message 7.
  EXPECT_EQ(std::tuple(s.title, s[kDetail].text, s[kContrastLabel].text), std::tuple(Msg(1), Msg(2), Msg(7)));
  EXPECT_EQ(std::tuple(s[kResolution].items, s[kPageSize].items.size(), s[kPageSize].items[1], s[kFrameArea].items.size()),
            std::tuple(std::vector<std::string>{"200", "300", "600"}, 15u, Msg(197), 4u));
  for (auto [type, bits, caps, res, area, entry, resEntry, areaEntry] :
       {std::array{9, 1, 0, 600, 2, 1, 2, 2}, {4, 4, 1, 250, 7, 4, 0, 3}, {4, 1, 1, 300, 0, 3, 1, 0},
        {4, 8, 0, 300, 0, kNoSelection, 1, 0}, {2, 1, 1, 200, 1, kNoSelection, 0, 1}}) {
    std::tie(r.imageType, r.bitsPerPixel, context.state.scanner.scannerCaps.value, r.xResolution, r.frameArea) =
        std::tuple(type, bits, static_cast<std::uint32_t>(caps), res, area);
    HeadlessSurface& opened = Open();
    EXPECT_EQ(std::tuple(opened[kImageType].selection, opened[kResolution].selection, opened[kFrameArea].selection),
              std::tuple(entry, resEntry, areaEntry)) << type << "/" << bits << "/" << caps;
  }
  // The page size is the nearest entry, whatever the recorded index said.
  std::tie(r.pageSizeIndex, r.scanLength, r.scanWidth, r.xResolution) = std::tuple(9, 2560, 3300, 300);
  EXPECT_EQ(std::tuple(Open()[kPageSize].selection, r.pageSizeIndex), std::tuple(0, 0));
  // Another column; far from all but nearest to 9; equally near 0 and 1 (the lower); sums of 20000 or more.
  for (auto [column, length, width, entry] : {std::array{2, 4960, 6976, 6}, {1, 1, 1, 9}, {1, 2928, 2928, 0},
                                              {0, 25000, 1000, 0}, {0, 21000, 1000, 3}}) {
    EXPECT_EQ(NearestPageSize(column, length, width), entry) << column << " " << length << "x" << width;
  }
}

// Without an image type OK writes nothing; then each row's choices are written.
TEST_F(SettingsTest, OkWritesTheChoicesSizesAndOffsets) {
  std::tie(r.imageType, r.scanLength) = std::tuple(2, 1000);
  HeadlessSurface& none = Open();
  none.Click(kIdOkButton);
  EXPECT_EQ(std::tuple(none.ended, r.imageType, r.scanLength, platform.boxes.size()), std::tuple(false, 2, 1000, 0u));
  context.state.scanner.scannerCaps.value = 1;
  for (auto [image, res, page, area, type, bits, textMode, erase, dpi, length, width, top, side] :
       {std::array{0, 1, 6, 0, 1, 1, 0, 1, 300, 2480, 3488, 1328, 0},  // (5136 - 2480) / 2
        {1, 1, 6, 1, 9, 1, 1, 1, 300, 2480, 3488, 88, 0},              // the page size's own offset
        {2, 1, 5, 3, 10, 1, 0, 0, 300, 4960, 3488, -2392, 0},          // 2568 - 4960
        {4, 0, 0, 0, 4, 4, 0, 0, 200, 1704, 2200, 860, 62},            // Lmax 3424, Wmax 2325 at 200 dpi
        {0, 2, 9, 1, 1, 1, 0, 1, 600, 2480, 3496, 177, 1740},          // Wmax 6976 at 600 dpi
        {0, 2, 14, 2, 1, 1, 0, 1, 600, 10272, 6976, -5136, 0}}) {
    r.backgroundErase = 1;
    HeadlessSurface& s = Open();
    for (auto [list, entry] : {std::pair{kImageType, image}, {kResolution, res}, {kPageSize, page}, {kFrameArea, area}}) {
      s.Choose(list, entry);
    }
    s.Click(kIdOkButton);
    EXPECT_EQ(std::tuple(r.imageType, r.bitsPerPixel, r.textMode, r.backgroundErase, r.xResolution, r.yResolution,
                         r.pageSizeIndex, r.scanLength, r.scanWidth, r.frameArea, r.topOffset, r.sideOffset),
              std::tuple(type, bits, textMode, erase, dpi, dpi, page, length, width, area, top, side))
        << page << "/" << area;
  }
}

// "Automatic" governs the sliders; gray has none and writes the middle brightness.
TEST_F(SettingsTest, BrightnessAutomaticOrManualByImageType) {
  context.state.scanner.scannerCaps.value = 1;
  r.contrast = 0;  // shows as 1
  HeadlessSurface& s = Open();
  EXPECT_FALSE(s[kAutomatic].checked);
  ExpectSliders(s, true);
  EXPECT_EQ(std::tuple(s[kBrightnessEdit].text, s[kContrastEdit].text), std::tuple("100", "  1"));
  s.ScrollTrackbar(kBrightnessTrackbar, 77);
  EXPECT_EQ(std::tuple(s[kBrightnessEdit].text, s[kBrightnessUpDown].position), std::tuple(" 77", 77));
  s.Click(kIdOkButton);
  EXPECT_EQ(std::tuple(r.brightness, r.contrast), std::tuple(77, 1));

  r.brightness = 0;
  auto& automatic = DialogTestContext::Open<SettingsDialog>(DialogTemplate::kSetting, runner);
  HeadlessSurface& a = automatic.surface;
  EXPECT_TRUE(a[kAutomatic].checked && a[kAutomatic].enabled);
  ExpectSliders(a, false);
  EXPECT_EQ(std::tuple(a[kBrightnessEdit].text, a[kBrightnessTrackbar].position, automatic.dialog.brightness()),
            std::tuple("128", 128, 128));
  a.Choose(kImageType, 5);  // gray: unchecked and disabled, the sliders enabled
  EXPECT_TRUE(!a[kAutomatic].checked && !a[kAutomatic].enabled && a[kBrightnessEdit].enabled);
  a.Choose(kImageType, 1);
  a.Click(kAutomatic);
  ExpectSliders(a, false);
  a.Click(kIdOkButton);  // the push fails, but the sets are stored
  EXPECT_EQ(r.brightness, 0);

  std::tie(r.imageType, r.bitsPerPixel, r.brightness) = std::tuple(4, 8, 0);
  HeadlessSurface& gray = Open();
  EXPECT_FALSE(gray[kAutomatic].checked || gray[kAutomatic].enabled || gray[kBrightnessTrackbar].enabled);
  EXPECT_TRUE(gray[kBrightnessEdit].text == "128" && gray[kContrastEdit].enabled);
  gray.Click(kIdOkButton);
  EXPECT_EQ(r.brightness, 128);
}

// A failed push shows the box, the record already changed; Detail hands the
// chosen image type to the Details dialog; Cancel leaves the record.
TEST_F(SettingsTest, FailedPushDetailAndCancel) {
  HeadlessSurface& s = Open();
  s.Choose(kPageSize, 6);
  s.Click(kIdOkButton);
  EXPECT_TRUE(!s.ended && LastBox(1, Msg(202)));
  EXPECT_EQ(r.pageSizeIndex, 6);
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, s.result), std::tuple(true, 0));

  context.state.scanner.scannerCaps.value = 1;
  context.state.moduleHandle = Handle(0x1234);
  bool eraseEnabled = true;
  runner.Plan(DialogTemplate::kDetailsUs, [&](HeadlessSurface& d) { eraseEnabled = d[details::kBackgroundErase].enabled; });
  const ScanSettings before = r;
  HeadlessSurface& cancelled = Open();
  cancelled.Choose(kImageType, 4);
  cancelled.Choose(kPageSize, 3);
  cancelled.TypeAndLeave(kBrightnessEdit, "5");
  cancelled.Click(kDetail);
  EXPECT_EQ(std::tuple(r.dialogImageType, r.imageType, eraseEnabled, cancelled.ended), std::tuple(4, 1, false, false));
  ASSERT_EQ(runner.openings.size(), 1u);
  const auto& o = runner.openings[0];
  EXPECT_EQ(std::tuple(o.which, o.instance, o.owner), std::tuple(DialogTemplate::kDetailsUs, Handle(0x1234), cancelled.Window()));
  cancelled.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(r.imageType, r.brightness, r.scanLength),
            std::tuple(before.imageType, before.brightness, before.scanLength));
}

}  // namespace settings_dialog

namespace details_dialog {
using namespace details;

class DetailsTest : public ::testing::Test, public DialogTestContext {
 protected:
  DetailsTest() { std::tie(r.marginAmount, r.aeLevel, r.edgeEmphasis, r.batchMode) = std::tuple(4, 9, 3, 2); }
  HeadlessSurface& Open() { return DialogTestContext::Open<DetailsDialog>(DialogTemplate::kDetailsUs, runner).surface; }
  auto Sliders() const { return std::tuple(r.marginAmount, r.aeLevel, r.edgeEmphasis); }
  auto Switches() const {
    return std::tuple(r.autoSize, r.addonOn, r.keyStart, r.marginScan, r.backgroundErase, r.notchErase,
                      r.thinLine, r.userGrc, r.rotate);
  }
  static std::vector<bool> Checks(HeadlessSurface& s) {  // the check boxes in the order of Switches()
    std::vector<bool> checked;
    for (int id : {kAutoSize, kAddonOn, kKeyStart, kMarginScan, kBackgroundErase, kNotchErase, kThinLine, kUserGrc,
                   kRotate}) checked.push_back(s[id].checked);
    return checked;
  }
  static bool MarginEnabled(HeadlessSurface& s) {
    return s[kMarginTrackbar].enabled && s[kMarginEdit].enabled && s[kMarginUpDown].enabled;
  }
};

// Opening shows the record, OK writes the controls back (grc mode and separator sense to 0, a batch
// mode of 0 refused, the edits read as typed); the buttons open the sub-dialogs on the remembered instance.
TEST_F(DetailsTest, OpeningShowsTheRecordAndOkWritesTheControls) {
  std::tie(r.rotate, r.polarity, r.autoSize, r.addonOn, r.keyStart, r.marginScan, r.notchErase, r.userGrc,
           r.backgroundErase, r.grcMode, r.separatorSense) = std::tuple(1, 2, 1, 1, 1, 0, 1, 1, 1, 2, 1);
  HeadlessSurface& s = Open();
  EXPECT_EQ(std::tuple(s.title, s[kDefaults].text, s[kPolarity].items.at(2), s[kBatchMode].items.at(0)),
            std::tuple(Msg(92), Msg(91), Msg(10), Msg(267)));
  EXPECT_EQ(Checks(s), (std::vector<bool>{true, true, true, false, true, true, false, true, true}));
  EXPECT_TRUE(s[kPolarity].selection == 2 && s[kBackgroundErase].enabled && !MarginEnabled(s));
  EXPECT_EQ(std::tuple(s[kMarginEdit].text, s[kMarginTrackbar].position, s[kAeEdit].text, s[kEdgeEdit].text),
            std::tuple("  4", 4, "  9", "  3"));
  EXPECT_EQ(std::tuple(s[kBatchMode].enabled, s[kBatchMode].selection), std::tuple(false, kNoSelection));
  s.Click(kMarginScan);
  EXPECT_TRUE(MarginEnabled(s));
  context.dialogs.instance = Handle(0x77);
  for (int button : {kGamma, kFunctionKey, kAddon}) s.Click(button);
  ASSERT_EQ(runner.openings.size(), 3u);
  for (auto [i, which] : {std::pair{0u, DialogTemplate::kGamma}, {1u, DialogTemplate::kFunction}, {2u, DialogTemplate::kImprinter}}) {
    const auto& o = runner.openings[i];
    EXPECT_EQ(std::tuple(o.which, o.instance, o.owner), std::tuple(which, Handle(0x77), s.Window()));
  }
  platform.boxes.clear();  // the sub-dialogs' failed reads
  s.Choose(kPolarity, 1);
  for (int id : {kRotate, kAutoSize, kAddonOn, kKeyStart, kThinLine}) s.Click(id);
  s.Type(kMarginEdit, "-4");  // typed, never left: read on OK
  s.Type(kAeEdit, "99");
  s.Type(kEdgeEdit, "2");
  s.Click(kIdOkButton);
  EXPECT_TRUE(s.ended && platform.boxes.empty());  // the failed push is not reported
  EXPECT_EQ(std::tuple(r.polarity, r.separatorSense, r.grcMode, r.batchMode), std::tuple(1, 0, 0, 2));
  EXPECT_EQ(std::tuple(Switches(), Sliders()), std::tuple(std::tuple(0, 0, 0, 1, 1, 1, 1, 1, 0), std::tuple(-4, 17, 2)));
  // Odd values: polarity 7 shows entry 0, only 1 checks "Key start"; background erase follows the
  // Settings dialog's image type; the batch list its capability, and OK writes entry + 1.
  for (auto [polarity, key, type, capable, mode, erase, entry] : {std::array{7, 2, 4, 0, 1, 0, kNoSelection},
                                                                  {0, 0, 10, 1, 1, 0, 0}, {0, 0, 9, 1, 3, 1, 2}, {0, 0, 9, 1, 4, 1, 0}}) {
    std::tie(r.polarity, r.keyStart, r.dialogImageType, context.state.scanner.scannerCaps.batchCapable, r.batchMode) =
        std::tuple(polarity, key, type, capable != 0, mode);
    HeadlessSurface& o = Open();
    EXPECT_EQ(std::tuple(o[kPolarity].selection, o[kKeyStart].checked, o[kBackgroundErase].enabled,
                         o[kBackgroundErase].checked, o[kBatchMode].enabled, o[kBatchMode].selection),
              std::tuple(0, false, erase != 0, erase != 0, capable != 0, entry)) << type << " " << mode;
  }
  HeadlessSurface& batch = Open();
  batch.Choose(kBatchMode, 2);
  batch.Click(kIdOkButton);
  EXPECT_EQ(r.batchMode, 3);
}

// Slider edits (their first seven characters) are clamped into the record at once; Defaults sets every
// parameter; Cancel rolls back only the sliders.
TEST_F(DetailsTest, SlidersDefaultsAndCancel) {
  std::tie(r.polarity, r.keyStart, r.autoSize, r.notchErase, r.thinLine, r.userGrc, r.invertData,
           r.addonOn, r.marginScan, r.backgroundErase, r.grcMode, r.rotate, r.batchMode) =
      std::tuple(2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 3);
  context.state.scanner.scannerCaps.batchCapable = true;
  HeadlessSurface& s = Open();
  for (auto [edit, typed, shown] : {std::tuple{kMarginEdit, "-25", "-10"}, {kAeEdit, "0000001999", "  1"},  // 7 count
                                    {kAeEdit, "20", " 17"}, {kEdgeEdit, "0", "  1"}}) {
    s.TypeAndLeave(edit, typed);
    EXPECT_EQ(s[edit].text, shown);
  }
  s.ScrollUpDown(kMarginUpDown, -3);
  EXPECT_EQ(std::tuple(s[kMarginEdit].text, s[kMarginTrackbar].position, Sliders()),
            std::tuple(" -3", -3, std::tuple(-3, 17, 1)));
  s.Click(kDefaults);
  EXPECT_EQ(std::tuple(r.polarity, r.keyStart, r.batchMode, r.invertData, r.grcMode), std::tuple(0, 0, 1, 0, 0));
  EXPECT_EQ(std::tuple(Switches(), Sliders()), std::tuple(std::tuple(0, 0, 0, 0, 0, 0, 0, 0, 0), std::tuple(10, 9, 3)));
  EXPECT_EQ(std::tuple(Checks(s), s[kMarginEdit].text, s[kBatchMode].selection), std::tuple(std::vector<bool>(9), " 10", 0));
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, s.result), std::tuple(true, 0));
  EXPECT_EQ(Sliders(), std::tuple(4, 9, 3));
  EXPECT_EQ(std::tuple(r.notchErase, r.polarity, r.marginScan), std::tuple(0, 0, 0));
}

}  // namespace details_dialog

using Table = std::array<std::uint8_t, kGammaEntries>;

// Values are a line's leading number as the C library reads it, low 8 bits;
// comments are skipped and not counted (" ;40" is no comment: 0); a line of
// more than 511 characters reads as two; the last line needs no line end;
// header lines are never values; a missing file gives the system's error.
TEST(GammaFile, ReadRules) {
  TestPlatform platform;
  Table table{};
  const std::string header = "GAMMA\r\nversion 1\r\n";
  auto read = [&](const std::string& content, std::size_t entries) {  // into 0xAA; the first four
    WriteFileBytes(platform.Scratch("curve.gmm"), content);
    table.fill(0xAA);
    std::size_t count = 0;
    std::uint32_t error = 0;
    EXPECT_TRUE(ReadGammaFile(platform, platform.Scratch("curve.gmm").c_str(), table, &count, &error));
    EXPECT_EQ(count, entries);
    return std::array<int, 4>{table[0], table[1], table[2], table[3]};
  };
  std::string file = header;
  for (int i = 0; i < 300; ++i) file += std::to_string(i) + "\r\n";
  read(file, 256);
  Table identity;
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(table, identity);
  for (const char* line : {"300", "-1", "", "\t200", "12 34", "abc"}) {
    const int judge = static_cast<int>(std::strtol(line, nullptr, 10) & 0xFF);
    EXPECT_EQ(read(header + line + "\n", 1), (std::array{judge, 0xAA, 0xAA, 0xAA})) << line;
  }
  EXPECT_EQ(read(header + "; first\n10\n;20\n30\n ;40\n", 3), (std::array{10, 30, 0, 0xAA}));
  EXPECT_EQ(read(header + "9" + std::string(510, ' ') + "77\n5", 3), (std::array{9, 77, 5, 0xAA}));
  EXPECT_EQ(read("5\n6\n7\n", 1), (std::array{7, 0xAA, 0xAA, 0xAA}));
  for (const std::string& content : {std::string("only one line"), std::string()}) {
    EXPECT_EQ(read(content, 0), (std::array{0xAA, 0xAA, 0xAA, 0xAA}));
  }
  table.fill(0x55);
  std::uint32_t error = 0;
  std::size_t entries = 7;
  EXPECT_FALSE(ReadGammaFile(platform, platform.Scratch("absent.gmm").c_str(), table, &entries, &error));
  EXPECT_EQ(std::tuple(error, entries, table[0]), std::tuple(kErrorFileNotFound, 0u, 0x55));
}

struct RcControl { std::string caption, id, windowClass, style; };

// The controls of each DIALOGEX, multi-line #defines expanded.
std::map<std::string, std::vector<RcControl>> ReadScript() {
  static const std::regex kDefine(R"(#define (\w+)$)"), kBlock(R"((\w+) DIALOGEX .*)"),
      kControl(R"re(CONTROL "([^"]*)", ([-\w]+), "(\w+)", ([^,]+),.*)re");
  std::ifstream in(TARVOSCN_RESOURCE_DIR "/dialogs.rc");
  EXPECT_TRUE(in.good());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    const auto b = line.find_first_not_of(" \t");
    lines.push_back(b == std::string::npos ? "" : line.substr(b, line.find_last_not_of(" \t\r\\") - b + 1));
  }
  std::map<std::string, std::vector<std::string>> macros;
  std::map<std::string, std::vector<RcControl>> blocks;
  std::vector<RcControl>* current = nullptr;
  std::smatch m;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (std::regex_match(lines[i], m, kDefine)) {
      const std::string name = m[1];  // a body up to the blank line
      while (++i < lines.size() && !lines[i].empty()) macros[name].push_back(lines[i]);
    } else if (std::regex_match(lines[i], m, kBlock)) {
      current = &blocks[m[1]];
    } else if (lines[i] == "END") {
      current = nullptr;
    } else if (current != nullptr) {
      auto macro = macros.find(lines[i]);
      for (const std::string& l : macro != macros.end() ? macro->second : std::vector{lines[i]}) {
        if (std::regex_match(l, m, kControl)) current->push_back({m[1], m[2], m[3], m[4]});
      }
    }
  }
  return blocks;
}

ControlKind KindOf(const RcControl& c) {
  static const std::map<std::string, ControlKind> kKinds = {
      {"ComboBox", ControlKind::kList},          {"Edit", ControlKind::kEdit},
      {"Static", ControlKind::kLabel},           {"msctls_trackbar32", ControlKind::kTrackbar},
      {"msctls_updown32", ControlKind::kUpDown}, {"Button", ControlKind::kButton}};
  EXPECT_TRUE(kKinds.count(c.windowClass)) << c.windowClass;
  if (c.windowClass == "Button" && c.style.find("TARVO_CHECK") != std::string::npos) return ControlKind::kCheckBox;
  return kKinds.count(c.windowClass) ? kKinds.at(c.windowClass) : ControlKind::kLabel;
}

TEST(Templates, EveryTemplateCarriesTheControlsOfItsDialog) {
  auto blocks = ReadScript();
  ASSERT_EQ(blocks.size(), 7u);
  for (DialogTemplate which : {DialogTemplate::kSetting, DialogTemplate::kDetails, DialogTemplate::kDetailsUs,
                               DialogTemplate::kGamma, DialogTemplate::kImprinter, DialogTemplate::kFunction,
                               DialogTemplate::kStartScan}) {
    const std::string name = TemplateName(which);
    ASSERT_TRUE(blocks.count(name)) << name;
    std::map<int, const RcControl*> script;
    for (const RcControl& c : blocks.at(name)) {
      EXPECT_TRUE(c.id == "IDC_STATIC" || script.emplace(std::stoi(c.id), &c).second) << name << " repeats " << c.id;
    }
    EXPECT_EQ(script.size(), TemplateControls(which).size()) << name;
    for (const ControlForm& form : TemplateControls(which)) {
      const RcControl* c = script.count(form.id) ? script.at(form.id) : nullptr;
      ASSERT_NE(c, nullptr) << name << " lacks control " << form.id;
      auto has = [&](const char* style) { return c->style.find(style) != std::string::npos; };
      EXPECT_EQ(std::tuple(KindOf(*c), has("NOT WS_VISIBLE"), has("WS_DISABLED")),
                std::tuple(form.kind, form.hidden, form.hidden)) << name << " " << form.id;
    }
    EXPECT_NE(script.at(kIdOkButton)->style.find("TARVO_DEFAULT"), std::string::npos) << name;
  }
  // Start-scan's labels have no message: the template's own texts show; its
  // list keeps the order of the separator values.
  std::vector<std::string> labels;
  for (const RcControl& c : blocks.at("STARTSCAN")) {
    if (c.id == "IDC_STATIC") labels.push_back(c.caption);
    EXPECT_TRUE(c.id != std::to_string(startscan::kJobSeparator) || c.style.find("CBS_SORT") == std::string::npos);
  }
  EXPECT_EQ(labels, (std::vector<std::string>{"File name :", "Job separator :"}));
}

}  // namespace
}  // namespace tarvo
