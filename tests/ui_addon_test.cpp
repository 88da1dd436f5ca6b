// The Addon dialog.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/AddonDialog.h"

namespace tarvo {
namespace {

using namespace addon;
using test::DialogTestContext;
using test::HeadlessSurface;
using test::Msg;

TEST(AddonTiming, ListIndexAndValueBothWays) {
  const std::int32_t values[] = {0, 5, 6, 7, 3, 4};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(TimingIndex(values[i]), i);
    std::int32_t v = -1;
    EXPECT_TRUE(TimingValue(i, v));
    EXPECT_EQ(v, values[i]);
  }
  for (std::int32_t bad : {1, 2, 8, -1}) EXPECT_EQ(TimingIndex(bad), kNoSelection) << bad;
  std::int32_t v = 99;
  EXPECT_FALSE(TimingValue(kNoSelection, v));
  EXPECT_FALSE(TimingValue(6, v));
  EXPECT_EQ(v, 99);
}

TEST(AddonDialog, WithoutScannerTheReadFailureClosesTheDialog) {
  DialogTestContext t;
  AddonDialog dialog(t.context);
  HeadlessSurface s(DialogTemplate::kImprinter);
  s.Start(dialog);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
  EXPECT_TRUE(t.LastBox(1, Msg(202)));
  // What came before the read is in place.
  EXPECT_EQ(s.title(), Msg(277));
  EXPECT_EQ(s.text(kCountUpTimingLabel), Msg(97));
  EXPECT_EQ(s.items(kTiming), (std::vector<std::string>{Msg(117), Msg(118)}));
  EXPECT_EQ(s.items(kColor), (std::vector<std::string>{Msg(119), Msg(120), Msg(121)}));
  EXPECT_EQ(s.items(kResetTiming).size(), 6u);
  EXPECT_EQ(s.control(kXUpDown).high, 500);
  EXPECT_EQ(s.control(kYUpDown).high, 300);
  EXPECT_EQ(s.control(kCountUpAmountUpDown).high, 255);
  EXPECT_EQ(s.control(kResetValueUpDown).high, 255);
  EXPECT_EQ(s.text(kText), "");  // nothing filled
}

}  // namespace
}  // namespace tarvo
