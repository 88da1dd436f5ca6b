// The Settings dialog without a scanner: reads give the record's values and
// every push fails with 2.
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "support/DialogTestContext.h"
#include "ui/DetailsDialog.h"
#include "ui/SettingsDialog.h"

namespace tarvo {
namespace {

using namespace setting;
using namespace test;

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
  EXPECT_FALSE(s[kVersion].text.empty());
  for (auto [type, bits, caps, entry] : {std::array{9, 1, 0, 1}, {4, 4, 1, 4}, {4, 1, 1, 3},
                                         {4, 8, 0, kNoSelection}, {2, 1, 1, kNoSelection}}) {
    std::tie(r.imageType, r.bitsPerPixel, context.state.scannerCaps.value) =
        std::tuple(type, bits, static_cast<std::uint32_t>(caps));
    EXPECT_EQ(Open()[kImageType].selection, entry) << type << "/" << bits << "/" << caps;
  }
  for (auto [res, area, resEntry, areaEntry] : {std::array{600, 2, 2, 2}, {250, 7, 0, 3}}) {
    std::tie(r.xResolution, r.frameArea) = std::tuple(res, area);
    HeadlessSurface& opened = Open();
    EXPECT_EQ(std::tuple(opened[kResolution].selection, opened[kFrameArea].selection), std::tuple(resEntry, areaEntry));
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
  context.state.scannerCaps.value = 1;
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
  context.state.scannerCaps.value = 1;
  r.contrast = 0;  // shows as 1
  HeadlessSurface& s = Open();
  EXPECT_FALSE(s[kAutomatic].checked);
  ExpectSliders(s, true);
  EXPECT_EQ(std::tuple(s[kBrightnessEdit].text, s[kContrastEdit].text, s[kContrastTrackbar].ticks,
                       s[kBrightnessTrackbar].ticks),
            std::tuple("100", "  1", std::vector<int>{1, 128, 255}, std::vector<int>{1, 255, 128}));
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
  a.Click(kAutomatic);
  ExpectSliders(a, true);
  a.Click(kAutomatic);
  ExpectSliders(a, false);
  a.Choose(kImageType, 5);  // gray: unchecked and disabled
  EXPECT_FALSE(a[kAutomatic].checked || a[kAutomatic].enabled);
  EXPECT_TRUE(a[kBrightnessEdit].enabled && a[kContrastUpDown].enabled);
  a.Choose(kImageType, 1);
  EXPECT_TRUE(a[kAutomatic].enabled && !a[kAutomatic].checked);
  a.Click(kAutomatic);
  a.Click(kIdOkButton);  // the push fails, but the sets are stored
  EXPECT_EQ(r.brightness, 0);

  std::tie(r.imageType, r.bitsPerPixel, r.brightness) = std::tuple(4, 8, 0);
  HeadlessSurface& gray = Open();
  EXPECT_FALSE(gray[kAutomatic].checked || gray[kAutomatic].enabled || gray[kBrightnessTrackbar].enabled);
  EXPECT_TRUE(gray[kBrightnessEdit].text == "128" && gray[kContrastEdit].enabled);
  gray.Click(kIdOkButton);
  EXPECT_EQ(r.brightness, 128);
}

TEST_F(SettingsTest, FailedPushShowsTheBoxAndCancelLeavesTheRecord) {
  HeadlessSurface& s = Open();
  s.Choose(kPageSize, 6);
  s.Click(kIdOkButton);
  EXPECT_TRUE(!s.ended && LastBox(1, Msg(202)));
  EXPECT_EQ(r.pageSizeIndex, 6);  // the record is already changed
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, s.result), std::tuple(true, 0));

  const ScanSettings before = r;
  HeadlessSurface& cancelled = Open();
  cancelled.Choose(kImageType, 2);
  cancelled.Choose(kPageSize, 3);
  cancelled.TypeAndLeave(kBrightnessEdit, "5");
  cancelled.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(r.imageType, r.brightness, r.scanLength),
            std::tuple(before.imageType, before.brightness, before.scanLength));
}

TEST_F(SettingsTest, DetailHandsTheChosenImageTypeToTheDetailsDialog) {
  context.state.scannerCaps.value = 1;
  context.state.moduleHandle = Handle(0x1234);
  bool eraseEnabled = true;
  runner.Plan(DialogTemplate::kDetailsUs, [&](HeadlessSurface& d) { eraseEnabled = d[details::kBackgroundErase].enabled; });
  HeadlessSurface& s = Open();
  s.Choose(kImageType, 4);
  s.Click(kDetail);
  EXPECT_EQ(std::tuple(r.dialogImageType, r.imageType), std::tuple(4, 1));  // not written before OK
  EXPECT_FALSE(eraseEnabled || s.ended);
  ASSERT_EQ(runner.openings.size(), 1u);
  const auto& o = runner.openings[0];
  EXPECT_EQ(std::tuple(o.which, o.instance, o.owner), std::tuple(DialogTemplate::kDetailsUs, Handle(0x1234), s.Window()));
}

}  // namespace
}  // namespace tarvo
