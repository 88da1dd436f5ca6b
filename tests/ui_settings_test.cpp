// The Settings dialog on the headless surface. No scanner answers here: the
// parameter reads give the record's values and every push fails with 2, as
// with a scanner switched off.
#include <gtest/gtest.h>

#include <optional>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DetailsDialog.h"
#include "ui/SettingsDialog.h"

namespace tarvo {
namespace {

using namespace setting;
using test::DialogTestContext;
using test::HeadlessRunner;
using test::HeadlessSurface;
using test::Msg;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    // A record that matches entry 1 of every list, with manual brightness.
    ScanSettings& s = t.context.settings;
    s.imageType = 1;
    s.bitsPerPixel = 1;
    s.xResolution = s.yResolution = 300;
    s.scanLength = 3304;
    s.scanWidth = 2552;
    s.brightness = 100;
    s.contrast = 60;
  }
  HeadlessSurface& Open() {
    opened.reset();
    opened.emplace(DialogTemplate::kSetting, t.context, runner);
    return opened->surface;
  }

  DialogTestContext t;
  HeadlessRunner runner;
  std::optional<test::OpenDialog<SettingsDialog>> opened;
};

TEST_F(SettingsTest, CaptionsAndListsFromTheMessages) {
  HeadlessSurface& s = Open();
  EXPECT_EQ(s.title(), Msg(1));
  EXPECT_EQ(s.text(kIdOkButton), Msg(11));
  EXPECT_EQ(s.text(kIdCancelButton), Msg(12));
  EXPECT_EQ(s.text(kDetail), Msg(2));
  EXPECT_EQ(s.text(kImageTypeLabel), Msg(3));
  EXPECT_EQ(s.text(kFrameAreaLabel), Msg(13));
  EXPECT_EQ(s.text(kAutomatic), Msg(10));
  EXPECT_EQ(s.text(kContrastLabel), Msg(7));  // no revision read: below 2000
  EXPECT_EQ(s.items(kResolution), (std::vector<std::string>{"200", "300", "600"}));
  const std::vector<std::string> pageSizes = {Msg(30), Msg(197), Msg(31), Msg(196), Msg(198),
                                              Msg(32), Msg(33),  Msg(34), Msg(35),  Msg(37),
                                              Msg(39), Msg(40),  Msg(41), Msg(42),  Msg(49)};
  EXPECT_EQ(s.items(kPageSize), pageSizes);
  EXPECT_EQ(s.items(kFrameArea), (std::vector<std::string>{Msg(14), Msg(15), Msg(16), Msg(17)}));
  EXPECT_FALSE(s.text(kVersion).empty());
  EXPECT_FALSE(s.ended());
}

TEST_F(SettingsTest, ThreeOrSixImageTypesByCapability) {
  EXPECT_EQ(Open().items(kImageType), (std::vector<std::string>{Msg(20), Msg(18), Msg(19)}));
  t.context.state.scannerCaps.value = 0x100;
  EXPECT_EQ(Open().items(kImageType), (std::vector<std::string>{Msg(20), Msg(18), Msg(19),
                                                                Msg(22), Msg(23), Msg(24)}));
}

TEST_F(SettingsTest, ImageTypePreselection) {
  struct Case {
    std::int32_t type, bits;
    std::uint32_t caps;
    int entry;
  };
  const Case cases[] = {{1, 1, 0, 0},  {9, 1, 0, 1},  {10, 1, 0, 2}, {4, 2, 1, 3},
                        {4, 4, 1, 4},  {4, 8, 1, 5},  {4, 1, 1, 3},  {4, 8, 0, kNoSelection},
                        {2, 1, 1, kNoSelection}, {0, 0, 1, kNoSelection}};
  for (const Case& c : cases) {
    t.context.settings.imageType = c.type;
    t.context.settings.bitsPerPixel = c.bits;
    t.context.state.scannerCaps.value = c.caps;
    EXPECT_EQ(Open().selection(kImageType), c.entry) << c.type << "/" << c.bits << "/" << c.caps;
  }
}

TEST_F(SettingsTest, OkWithoutImageTypeWritesNothing) {
  t.context.settings.imageType = 2;
  t.context.settings.scanLength = 1000;
  HeadlessSurface& s = Open();
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_EQ(t.context.settings.imageType, 2);
  EXPECT_EQ(t.context.settings.scanLength, 1000);
  EXPECT_TRUE(t.platform.boxes.empty());
  s.Choose(kImageType, 2);
  s.Click(kIdOkButton);
  EXPECT_EQ(t.context.settings.imageType, 10);
}

TEST_F(SettingsTest, AutomaticBrightnessGovernsTheSixControls) {
  const int six[] = {kBrightnessTrackbar, kBrightnessEdit, kBrightnessUpDown,
                     kContrastTrackbar,   kContrastEdit,   kContrastUpDown};
  t.context.settings.brightness = 0;
  HeadlessSurface& s = Open();
  EXPECT_TRUE(s.checked(kAutomatic));
  EXPECT_TRUE(s.enabled(kAutomatic));
  for (int id : six) EXPECT_FALSE(s.enabled(id)) << id;
  EXPECT_EQ(s.text(kBrightnessEdit), "128");
  EXPECT_EQ(s.position(kBrightnessTrackbar), 128);
  EXPECT_EQ(opened->dialog.brightness(), 128);

  s.Click(kAutomatic);
  for (int id : six) EXPECT_TRUE(s.enabled(id)) << id;
  s.Click(kAutomatic);
  for (int id : six) EXPECT_FALSE(s.enabled(id)) << id;
  s.Click(kIdOkButton);  // no scanner: the push fails, but the sets are stored
  EXPECT_EQ(t.context.settings.brightness, 0);
}

TEST_F(SettingsTest, ManualBrightnessAndContrastZeroShownAsOne) {
  t.context.settings.contrast = 0;
  HeadlessSurface& s = Open();
  EXPECT_FALSE(s.checked(kAutomatic));
  EXPECT_TRUE(s.enabled(kBrightnessEdit));
  EXPECT_TRUE(s.enabled(kContrastEdit));
  EXPECT_EQ(s.text(kBrightnessEdit), "100");
  EXPECT_EQ(s.text(kContrastEdit), "  1");
  EXPECT_EQ(s.control(kContrastTrackbar).ticks, (std::vector<int>{1, 128, 255}));
  EXPECT_EQ(s.control(kBrightnessTrackbar).ticks, (std::vector<int>{1, 255, 128}));
  s.TypeAndLeave(kBrightnessEdit, "999");
  EXPECT_EQ(s.text(kBrightnessEdit), "255");
  s.TypeAndLeave(kBrightnessEdit, "0");
  EXPECT_EQ(s.text(kBrightnessEdit), "  1");
  s.ScrollTrackbar(kBrightnessTrackbar, 77);
  EXPECT_EQ(s.text(kBrightnessEdit), " 77");
  EXPECT_EQ(s.position(kBrightnessUpDown), 77);
  s.Click(kIdOkButton);
  EXPECT_EQ(t.context.settings.brightness, 77);
  EXPECT_EQ(t.context.settings.contrast, 1);
}

TEST_F(SettingsTest, GrayWithAutomaticBrightnessWritesMiddleBrightness) {
  t.context.state.scannerCaps.value = 1;
  t.context.settings.imageType = 4;
  t.context.settings.bitsPerPixel = 8;
  t.context.settings.brightness = 0;
  HeadlessSurface& s = Open();
  EXPECT_FALSE(s.checked(kAutomatic));
  EXPECT_FALSE(s.enabled(kAutomatic));
  EXPECT_FALSE(s.enabled(kBrightnessTrackbar));
  EXPECT_EQ(s.text(kBrightnessEdit), "128");
  EXPECT_TRUE(s.enabled(kContrastEdit));
  s.Click(kIdOkButton);
  EXPECT_EQ(t.context.settings.brightness, 128);
}

TEST_F(SettingsTest, ChoosingGrayUnchecksAutomatic) {
  t.context.state.scannerCaps.value = 1;
  t.context.settings.brightness = 0;
  HeadlessSurface& s = Open();
  ASSERT_TRUE(s.checked(kAutomatic));
  s.Choose(kImageType, 5);
  EXPECT_FALSE(s.checked(kAutomatic));
  EXPECT_FALSE(s.enabled(kAutomatic));
  EXPECT_TRUE(s.enabled(kBrightnessEdit));
  EXPECT_TRUE(s.enabled(kContrastUpDown));
  s.Choose(kImageType, 1);
  EXPECT_TRUE(s.enabled(kAutomatic));
  EXPECT_FALSE(s.checked(kAutomatic));
}

TEST(SettingsPageSize, NearestEntry) {
  struct Case {
    int column;
    std::int32_t length, width;
    int entry;
  };
  const Case cases[] = {
      {1, 2552, 3304, 0},   // exact
      {1, 2560, 3300, 0},   // sum 12
      {1, 3304, 2552, 1},   {0, 2200, 1704, 1},  {2, 4960, 6976, 6},
      {1, 5136, 3488, 14},  {1, 2480, 3488, 6},  // entry 6 (A4 across)
      {1, 1, 1, 9},         // far from all, but nearest to entry 9
      {1, 2928, 2928, 0},   // equally near entries 0 and 1: the lower index
      {2, 90000, 90000, 0}, // every sum 20000 or more: entry 0
      {0, 25000, 1000, 0},  // likewise
      {0, 21000, 1000, 3},  // entry 3 is nearer than 20000
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NearestPageSize(c.column, c.length, c.width), c.entry)
        << c.column << " " << c.length << "x" << c.width;
  }
}

TEST_F(SettingsTest, PageSizeSelectedFromTheRecord) {
  t.context.settings.pageSizeIndex = 9;
  t.context.settings.scanLength = 2560;
  t.context.settings.scanWidth = 3300;
  HeadlessSurface& s = Open();
  EXPECT_EQ(s.selection(kPageSize), 0);
  EXPECT_EQ(t.context.settings.pageSizeIndex, 0);
  EXPECT_EQ(s.selection(kResolution), 1);
}

TEST_F(SettingsTest, ResolutionEntryFromTheRecord) {
  for (auto [res, entry] : {std::pair{200, 0}, std::pair{300, 1}, std::pair{600, 2},
                            std::pair{250, 0}}) {
    t.context.settings.xResolution = res;
    EXPECT_EQ(Open().selection(kResolution), entry) << res;
  }
}

TEST_F(SettingsTest, FrameAreaFromTheRecord) {
  for (auto [area, entry] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{2, 2}, std::pair{3, 3},
                             std::pair{7, 3}, std::pair{-1, 3}}) {
    t.context.settings.frameArea = area;
    EXPECT_EQ(Open().selection(kFrameArea), entry) << area;
  }
}

TEST_F(SettingsTest, OkWritesSizesAndOffsetsForEachFrameArea) {
  struct Case {
    int resolutionEntry, pageSize, frameArea;
    std::int32_t length, width, top, side;
  };
  const Case cases[] = {
      {1, 6, 0, 2480, 3488, 1328, 0},     // (5136 - 2480) / 2
      {1, 6, 1, 2480, 3488, 88, 0},       // the page size's own frame-area-1 offset
      {1, 5, 2, 4960, 3488, -2392, 0},    // 2568 - 4960
      {1, 5, 3, 4960, 3488, -2392, 0},
      {0, 0, 0, 1704, 2200, 860, 62},     // Lmax 3424, Wmax 2325 at 200 dpi
      {2, 9, 1, 2480, 3496, 177, 1740},   // Wmax 6976 at 600 dpi
      {2, 14, 2, 10272, 6976, -5136, 0},
  };
  for (const Case& c : cases) {
    HeadlessSurface& s = Open();
    s.Choose(kResolution, c.resolutionEntry);
    s.Choose(kPageSize, c.pageSize);
    s.Choose(kFrameArea, c.frameArea);
    s.Click(kIdOkButton);
    const ScanSettings& r = t.context.settings;
    const std::int32_t dpi = c.resolutionEntry == 0 ? 200 : c.resolutionEntry == 1 ? 300 : 600;
    EXPECT_EQ(r.xResolution, dpi);
    EXPECT_EQ(r.yResolution, dpi);
    EXPECT_EQ(r.pageSizeIndex, c.pageSize);
    EXPECT_EQ(r.scanLength, c.length) << c.pageSize;
    EXPECT_EQ(r.scanWidth, c.width) << c.pageSize;
    EXPECT_EQ(r.frameArea, c.frameArea);
    EXPECT_EQ(r.topOffset, c.top) << c.pageSize << "/" << c.frameArea;
    EXPECT_EQ(r.sideOffset, c.side) << c.pageSize << "/" << c.frameArea;
  }
}

TEST_F(SettingsTest, OkWritesImageTypeTextModeAndClearsBackgroundErase) {
  t.context.state.scannerCaps.value = 1;
  struct Case {
    int entry;
    std::int32_t type, bits, textMode, erase;
  };
  for (Case c : {Case{0, 1, 1, 0, 1}, Case{1, 9, 1, 1, 1}, Case{2, 10, 1, 0, 0},
                 Case{3, 4, 2, 0, 0}, Case{4, 4, 4, 0, 0}, Case{5, 4, 8, 0, 0}}) {
    t.context.settings.backgroundErase = 1;
    HeadlessSurface& s = Open();
    s.Choose(kImageType, c.entry);
    s.Click(kIdOkButton);
    EXPECT_EQ(t.context.settings.imageType, c.type) << c.entry;
    EXPECT_EQ(t.context.settings.bitsPerPixel, c.bits) << c.entry;
    EXPECT_EQ(t.context.settings.textMode, c.textMode) << c.entry;
    EXPECT_EQ(t.context.settings.backgroundErase, c.erase) << c.entry;
  }
}

TEST_F(SettingsTest, FailedPushShowsTheBoxAndKeepsTheDialogOpen) {
  HeadlessSurface& s = Open();
  s.Choose(kPageSize, 6);
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_TRUE(t.LastBox(1, Msg(202)));  // no scanner: 2
  EXPECT_EQ(t.context.settings.pageSizeIndex, 6);  // the record is already changed
  s.Click(kIdCancelButton);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
}

TEST_F(SettingsTest, CancelLeavesTheRecord) {
  const ScanSettings before = t.context.settings;
  HeadlessSurface& s = Open();
  s.Choose(kImageType, 2);
  s.Choose(kPageSize, 3);
  s.TypeAndLeave(kBrightnessEdit, "5");
  s.Click(kIdCancelButton);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(t.context.settings.imageType, before.imageType);
  EXPECT_EQ(t.context.settings.brightness, before.brightness);
  EXPECT_EQ(t.context.settings.scanLength, before.scanLength);
}

TEST_F(SettingsTest, DetailHandsTheChosenImageTypeToTheDetailsDialog) {
  t.context.state.scannerCaps.value = 1;
  t.context.state.moduleHandle = reinterpret_cast<void*>(0x1234);
  bool eraseEnabled = true;
  runner.Plan(DialogTemplate::kDetailsUs, [&](HeadlessSurface& d) {
    eraseEnabled = d.enabled(details::kBackgroundErase);
  });
  HeadlessSurface& s = Open();
  s.Choose(kImageType, 4);
  s.Click(kDetail);
  EXPECT_EQ(t.context.settings.dialogImageType, 4);
  EXPECT_EQ(t.context.settings.imageType, 1);  // not written before OK
  EXPECT_FALSE(eraseEnabled);
  ASSERT_EQ(runner.openings().size(), 1u);
  EXPECT_EQ(runner.openings()[0].which, DialogTemplate::kDetailsUs);
  EXPECT_EQ(runner.openings()[0].instance, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(runner.openings()[0].owner, s.Window());
  EXPECT_FALSE(s.ended());
}

}  // namespace
}  // namespace tarvo
