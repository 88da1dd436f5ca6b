// The Addon dialog without a scanner, and its timing list.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/AddonDialog.h"

namespace tarvo {
namespace {

using namespace addon;
using namespace test;

TEST(AddonTiming, ListIndexAndValueBothWays) {
  const std::int32_t values[] = {0, 5, 6, 7, 3, 4};
  for (int i = 0; i < 6; ++i) {
    std::int32_t v = -1;
    EXPECT_EQ(TimingIndex(values[i]), i);
    EXPECT_TRUE(TimingValue(i, v));
    EXPECT_EQ(v, values[i]);
  }
  for (std::int32_t bad : {1, 2, 8, -1}) EXPECT_EQ(TimingIndex(bad), kNoSelection) << bad;
  std::int32_t v = 99;
  EXPECT_FALSE(TimingValue(kNoSelection, v) || TimingValue(6, v));
  EXPECT_EQ(v, 99);
}

TEST(AddonDialog, WithoutScannerTheReadFailureClosesTheDialog) {
  DialogTestContext t;
  OpenDialog<AddonDialog> d(DialogTemplate::kImprinter, t.context);
  const HeadlessSurface& s = d.surface;
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
  EXPECT_TRUE(t.LastBox(1, Msg(202)));
  // What came before the read is in place; nothing is filled.
  EXPECT_EQ(s.title(), Msg(277));
  EXPECT_EQ(s.text(kCountUpTimingLabel), Msg(97));
  EXPECT_EQ(s.items(kTiming), Msgs({117, 118}));
  EXPECT_EQ(s.items(kColor), Msgs({119, 120, 121}));
  EXPECT_EQ(s.items(kResetTiming).size(), 6u);
  for (auto [upDown, high] : {std::pair{kXUpDown, 500}, {kYUpDown, 300},
                              {kCountUpAmountUpDown, 255}, {kResetValueUpDown, 255}}) {
    EXPECT_EQ(s.control(upDown).high, high) << upDown;
  }
  EXPECT_EQ(s.text(kText), "");
}

}  // namespace
}  // namespace tarvo
