// The Settings dialog on the headless surface. No scanner answers here: the
// parameter reads give the record's values and every push fails with 2, as
// with a scanner switched off.
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DetailsDialog.h"
#include "ui/SettingsDialog.h"

namespace tarvo {
namespace {

using namespace setting;
using namespace test;

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() {
    // A record that matches entry 1 of every list, with manual brightness.
    ScanSettings& s = t.context.settings;
    s.imageType = s.bitsPerPixel = 1;
    s.xResolution = s.yResolution = 300;
    s.scanLength = 3304;
    s.scanWidth = 2552;
    s.brightness = 100;
    s.contrast = 60;
  }
  HeadlessSurface& Open() { return dialogs.Open(DialogTemplate::kSetting, t.context, runner); }
  void ExpectEnabled(HeadlessSurface& s, std::initializer_list<int> ids, bool enabled) {
    for (int id : ids) EXPECT_EQ(s.enabled(id), enabled) << "control " << id;
  }

  DialogTestContext t;
  ScanSettings& r = t.context.settings;
  HeadlessRunner runner;
  Reopening<SettingsDialog> dialogs;
};

constexpr std::initializer_list<int> kSliders = {kBrightnessTrackbar, kBrightnessEdit,
                                                 kBrightnessUpDown,   kContrastTrackbar,
                                                 kContrastEdit,       kContrastUpDown};

TEST_F(SettingsTest, CaptionsAndListsFromTheMessages) {
  HeadlessSurface& s = Open();
  // The caption table is applied; no revision read: below 2000, the
  // contrast label is message 7.
  EXPECT_EQ(std::tuple(s.title(), s.text(kDetail), s.text(kContrastLabel)),
            std::tuple(Msg(1), Msg(2), Msg(7)));
  EXPECT_EQ(s.items(kResolution), (std::vector<std::string>{"200", "300", "600"}));
  EXPECT_EQ(s.items(kPageSize), Msgs({30, 197, 31, 196, 198, 32, 33, 34, 35, 37, 39, 40, 41, 42,
                                      49}));
  EXPECT_EQ(s.items(kFrameArea), Msgs({14, 15, 16, 17}));
  EXPECT_FALSE(s.text(kVersion).empty());
  EXPECT_FALSE(s.ended());
  EXPECT_EQ(s.items(kImageType), Msgs({20, 18, 19}));
  t.context.state.scannerCaps.value = 0x100;
  EXPECT_EQ(Open().items(kImageType), Msgs({20, 18, 19, 22, 23, 24}));
}

// Which list entries the record selects when the dialog opens.
TEST_F(SettingsTest, EntriesSelectedFromTheRecord) {
  struct Case {
    std::int32_t type, bits;
    std::uint32_t caps;
    int entry;
  };
  for (const Case& c : {Case{1, 1, 0, 0}, Case{9, 1, 0, 1}, Case{10, 1, 0, 2}, Case{4, 2, 1, 3},
                        Case{4, 4, 1, 4}, Case{4, 8, 1, 5}, Case{4, 1, 1, 3},
                        Case{4, 8, 0, kNoSelection}, Case{2, 1, 1, kNoSelection},
                        Case{0, 0, 1, kNoSelection}}) {
    std::tie(r.imageType, r.bitsPerPixel, t.context.state.scannerCaps.value) =
        std::tuple(c.type, c.bits, c.caps);
    EXPECT_EQ(Open().selection(kImageType), c.entry) << c.type << "/" << c.bits << "/" << c.caps;
  }
  for (auto [res, entry] : {std::pair{200, 0}, {300, 1}, {600, 2}, {250, 0}}) {
    r.xResolution = res;
    EXPECT_EQ(Open().selection(kResolution), entry) << res;
  }
  for (auto [area, entry] : {std::pair{0, 0}, {1, 1}, {2, 2}, {3, 3}, {7, 3}, {-1, 3}}) {
    r.frameArea = area;
    EXPECT_EQ(Open().selection(kFrameArea), entry) << area;
  }
  // The page size is the nearest entry, whatever the recorded index said.
  std::tie(r.pageSizeIndex, r.scanLength, r.scanWidth, r.xResolution) =
      std::tuple(9, 2560, 3300, 300);
  EXPECT_EQ(Open().selection(kPageSize), 0);
  EXPECT_EQ(r.pageSizeIndex, 0);
}

// Exact, near (sum 12), the A4-across entry 6, far from all but nearest to
// entry 9, equally near 0 and 1 (the lower index), every sum 20000 or more
// (entry 0), entry 3 nearer than 20000.
TEST(SettingsPageSize, NearestEntry) {
  const std::array<int, 4> cases[] = {
      {1, 2552, 3304, 0}, {1, 2560, 3300, 0},   {1, 3304, 2552, 1},   {0, 2200, 1704, 1},
      {2, 4960, 6976, 6}, {1, 5136, 3488, 14},  {1, 2480, 3488, 6},   {1, 1, 1, 9},
      {1, 2928, 2928, 0}, {2, 90000, 90000, 0}, {0, 25000, 1000, 0}, {0, 21000, 1000, 3}};
  for (auto [column, length, width, entry] : cases) {
    EXPECT_EQ(NearestPageSize(column, length, width), entry) << column << " " << length << "x"
                                                             << width;
  }
}

TEST_F(SettingsTest, OkWithoutImageTypeWritesNothing) {
  std::tie(r.imageType, r.scanLength) = std::tuple(2, 1000);
  HeadlessSurface& s = Open();
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_EQ(std::tuple(r.imageType, r.scanLength), std::tuple(2, 1000));
  EXPECT_TRUE(t.platform.boxes.empty());
  s.Choose(kImageType, 2);
  s.Click(kIdOkButton);
  EXPECT_EQ(r.imageType, 10);
}

TEST_F(SettingsTest, AutomaticBrightnessGovernsTheSixControls) {
  r.brightness = 0;
  HeadlessSurface& s = Open();
  EXPECT_TRUE(s.checked(kAutomatic) && s.enabled(kAutomatic));
  ExpectEnabled(s, kSliders, false);
  EXPECT_EQ(s.text(kBrightnessEdit), "128");
  EXPECT_EQ(s.position(kBrightnessTrackbar), 128);
  EXPECT_EQ(dialogs.dialog().brightness(), 128);
  s.Click(kAutomatic);
  ExpectEnabled(s, kSliders, true);
  s.Click(kAutomatic);
  ExpectEnabled(s, kSliders, false);
  s.Click(kIdOkButton);  // no scanner: the push fails, but the sets are stored
  EXPECT_EQ(r.brightness, 0);
}

TEST_F(SettingsTest, ManualBrightnessAndContrastZeroShownAsOne) {
  r.contrast = 0;
  HeadlessSurface& s = Open();
  EXPECT_FALSE(s.checked(kAutomatic));
  ExpectEnabled(s, kSliders, true);
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
  EXPECT_EQ(std::tuple(r.brightness, r.contrast), std::tuple(77, 1));
}

// Gray has no automatic brightness: opened on gray it writes the middle
// value; choosing gray unchecks and disables "Automatic".
TEST_F(SettingsTest, GrayHasNoAutomaticBrightness) {
  t.context.state.scannerCaps.value = 1;
  std::tie(r.imageType, r.bitsPerPixel, r.brightness) = std::tuple(4, 8, 0);
  HeadlessSurface& gray = Open();
  EXPECT_FALSE(gray.checked(kAutomatic) || gray.enabled(kAutomatic));
  EXPECT_FALSE(gray.enabled(kBrightnessTrackbar));
  EXPECT_EQ(gray.text(kBrightnessEdit), "128");
  EXPECT_TRUE(gray.enabled(kContrastEdit));
  gray.Click(kIdOkButton);
  EXPECT_EQ(r.brightness, 128);

  std::tie(r.imageType, r.bitsPerPixel, r.brightness) = std::tuple(1, 1, 0);
  HeadlessSurface& s = Open();
  ASSERT_TRUE(s.checked(kAutomatic));
  s.Choose(kImageType, 5);
  EXPECT_FALSE(s.checked(kAutomatic) || s.enabled(kAutomatic));
  ExpectEnabled(s, {kBrightnessEdit, kContrastUpDown}, true);
  s.Choose(kImageType, 1);
  EXPECT_TRUE(s.enabled(kAutomatic));
  EXPECT_FALSE(s.checked(kAutomatic));
}

TEST_F(SettingsTest, OkWritesSizesAndOffsetsForEachFrameArea) {
  struct Case {
    int resolutionEntry, pageSize, frameArea;
    std::int32_t dpi, length, width, top, side;
  };
  const Case cases[] = {
      {1, 6, 0, 300, 2480, 3488, 1328, 0},    // (5136 - 2480) / 2
      {1, 6, 1, 300, 2480, 3488, 88, 0},      // the page size's own frame-area-1 offset
      {1, 5, 2, 300, 4960, 3488, -2392, 0},   // 2568 - 4960
      {1, 5, 3, 300, 4960, 3488, -2392, 0},
      {0, 0, 0, 200, 1704, 2200, 860, 62},    // Lmax 3424, Wmax 2325 at 200 dpi
      {2, 9, 1, 600, 2480, 3496, 177, 1740},  // Wmax 6976 at 600 dpi
      {2, 14, 2, 600, 10272, 6976, -5136, 0},
  };
  for (const Case& c : cases) {
    HeadlessSurface& s = Open();
    s.Choose(kResolution, c.resolutionEntry);
    s.Choose(kPageSize, c.pageSize);
    s.Choose(kFrameArea, c.frameArea);
    s.Click(kIdOkButton);
    EXPECT_EQ(std::tuple(r.xResolution, r.yResolution, r.pageSizeIndex, r.scanLength, r.scanWidth,
                         r.frameArea, r.topOffset, r.sideOffset),
              std::tuple(c.dpi, c.dpi, c.pageSize, c.length, c.width, c.frameArea, c.top, c.side))
        << c.pageSize << "/" << c.frameArea;
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
    r.backgroundErase = 1;
    HeadlessSurface& s = Open();
    s.Choose(kImageType, c.entry);
    s.Click(kIdOkButton);
    EXPECT_EQ(std::tuple(r.imageType, r.bitsPerPixel, r.textMode, r.backgroundErase),
              std::tuple(c.type, c.bits, c.textMode, c.erase))
        << c.entry;
  }
}

TEST_F(SettingsTest, FailedPushShowsTheBoxAndCancelLeavesTheRecord) {
  HeadlessSurface& s = Open();
  s.Choose(kPageSize, 6);
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_TRUE(t.LastBox(1, Msg(202)));  // no scanner: 2
  EXPECT_EQ(r.pageSizeIndex, 6);        // the record is already changed
  s.Click(kIdCancelButton);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);

  const ScanSettings before = r;
  HeadlessSurface& cancelled = Open();
  cancelled.Choose(kImageType, 2);
  cancelled.Choose(kPageSize, 3);
  cancelled.TypeAndLeave(kBrightnessEdit, "5");
  cancelled.Click(kIdCancelButton);
  EXPECT_TRUE(cancelled.ended());
  EXPECT_EQ(std::tuple(r.imageType, r.brightness, r.scanLength),
            std::tuple(before.imageType, before.brightness, before.scanLength));
}

TEST_F(SettingsTest, DetailHandsTheChosenImageTypeToTheDetailsDialog) {
  t.context.state.scannerCaps.value = 1;
  t.context.state.moduleHandle = Handle(0x1234);
  bool eraseEnabled = true;
  runner.Plan(DialogTemplate::kDetailsUs, [&](HeadlessSurface& d) {
    eraseEnabled = d.enabled(details::kBackgroundErase);
  });
  HeadlessSurface& s = Open();
  s.Choose(kImageType, 4);
  s.Click(kDetail);
  EXPECT_EQ(r.dialogImageType, 4);
  EXPECT_EQ(r.imageType, 1);  // not written before OK
  EXPECT_FALSE(eraseEnabled);
  ASSERT_EQ(runner.openings_().size(), 1u);
  EXPECT_EQ(runner.openings_()[0].which, DialogTemplate::kDetailsUs);
  EXPECT_EQ(runner.openings_()[0].instance, Handle(0x1234));
  EXPECT_EQ(runner.openings_()[0].owner, s.Window());
  EXPECT_FALSE(s.ended());
}

}  // namespace
}  // namespace tarvo
