// The Gamma dialog: choosing a file, reading it into the table and
// downloading it.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogTemplates.h"
#include "ui/GammaDialog.h"

namespace tarvo {
namespace {

using test::DialogTestContext;
using test::HeadlessSurface;
using test::Msg;

class GammaTest : public ::testing::Test {
 protected:
  GammaTest() { surface.Start(dialog); }
  std::string WriteCurve(const std::string& body) {
    const std::string name = t.platform.Scratch("curve.gmm");
    test::WriteFileBytes(name, "header\nheader\n" + body);
    return name;
  }

  DialogTestContext t;
  GammaDialog dialog{t.context};
  HeadlessSurface surface{DialogTemplate::kGamma};
};

TEST_F(GammaTest, Opening) {
  EXPECT_EQ(surface.title(), Msg(160));
  EXPECT_EQ(surface.text(kIdOkButton), Msg(166));
  EXPECT_EQ(surface.text(kIdCancelButton), Msg(12));
  EXPECT_EQ(surface.text(gamma::kCurveLabel), Msg(161));
  EXPECT_EQ(surface.items(gamma::kCurve), (std::vector<std::string>{Msg(162)}));
  EXPECT_EQ(surface.selection(gamma::kCurve), 0);
  EXPECT_FALSE(surface.enabled(gamma::kFromFile));
  EXPECT_FALSE(surface.enabled(gamma::kToFile));
}

TEST_F(GammaTest, CancelledChooserSendsNothingAndReenablesTheButtons) {
  surface.nextChosenFile.reset();
  surface.Click(kIdOkButton);
  EXPECT_EQ(surface.chooserCalls(), 1);
  EXPECT_EQ(surface.chooserFilter(), Msg(303) + "|*.gmm|" + Msg(304) + "|*.*|");
  EXPECT_TRUE(surface.enabled(kIdOkButton));
  EXPECT_TRUE(surface.enabled(kIdCancelButton));
  EXPECT_TRUE(t.platform.boxes.empty());
  EXPECT_FALSE(surface.ended());
}

TEST_F(GammaTest, UnopenableFileShowsTheSystemText) {
  t.context.dialogs.gammaTable.fill(9);
  surface.nextChosenFile = t.platform.Scratch("missing.gmm");
  surface.Click(kIdOkButton);
  ASSERT_EQ(t.platform.boxes.size(), 1u);
  char expected[512] = {};
  t.platform.ErrorText(kErrorFileNotFound, expected, sizeof expected);
  EXPECT_EQ(t.platform.boxes[0].text, expected);
  EXPECT_EQ(t.platform.boxes[0].caption, "");
  EXPECT_EQ(t.context.dialogs.gammaTable[0], 9);
  EXPECT_TRUE(surface.enabled(kIdOkButton));
  EXPECT_FALSE(surface.ended());
}

TEST_F(GammaTest, FailedDownloadKeepsTheFilesValuesAndShowsTheBox) {
  surface.nextChosenFile = WriteCurve("7\n8\n");
  surface.Click(kIdOkButton);
  EXPECT_EQ(t.context.dialogs.gammaTable[0], 7);
  EXPECT_EQ(t.context.dialogs.gammaTable[1], 8);
  EXPECT_TRUE(t.LastBox(1, Msg(202)));
  EXPECT_TRUE(surface.enabled(kIdCancelButton));
  EXPECT_FALSE(surface.ended());
  surface.Click(kIdCancelButton);
  EXPECT_TRUE(surface.ended());
  EXPECT_EQ(surface.result(), 0);
}

TEST_F(GammaTest, TableIsKeptBetweenDialogs) {
  surface.nextChosenFile = WriteCurve("1\n2\n3\n");
  surface.Click(kIdOkButton);
  GammaDialog second(t.context);
  HeadlessSurface again(DialogTemplate::kGamma);
  again.Start(second);
  again.NotifyList(gamma::kCurve);  // the read fails without a scanner: the table stays
  EXPECT_EQ(t.context.dialogs.gammaTable[2], 3);
}

}  // namespace
}  // namespace tarvo
