// The Start-scan dialog: the job-separator choice written straight into the
// record.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogTemplates.h"
#include "ui/StartScanDialog.h"

namespace tarvo {
namespace {

using test::DialogTestContext;
using test::HeadlessSurface;

struct Opened : test::OpenDialog<StartScanDialog> {
  explicit Opened(DriverContext& context) : OpenDialog(DialogTemplate::kStartScan, context) {}
};

TEST(StartScanDialog, AlwaysOpensOnNone) {
  DialogTestContext t;
  for (std::int32_t mode : {0, 3, 5}) {
    t.context.settings.separatorModeA = mode;
    Opened d(t.context);
    EXPECT_EQ(d.surface.items(startscan::kJobSeparator),
              (std::vector<std::string>{"None", "Detect and Scan, Stop", "Detect and Skip, Continue"}));
    EXPECT_EQ(d.surface.selection(startscan::kJobSeparator), 0) << mode;
    EXPECT_FALSE(d.surface.ended());
  }
}

TEST(StartScanDialog, OkWritesTheChoiceDirectly) {
  const std::int32_t values[] = {0, 3, 5};
  for (int entry = 0; entry < 3; ++entry) {
    DialogTestContext t;
    t.context.settings.separatorModeA = 1;  // something no entry writes
    Opened d(t.context);
    d.surface.Choose(startscan::kJobSeparator, entry);
    EXPECT_EQ(t.context.settings.separatorModeA, 1) << "nothing is written before OK";
    d.surface.Click(kIdOkButton);
    EXPECT_EQ(t.context.settings.separatorModeA, values[entry]);
    EXPECT_TRUE(d.surface.ended());
    EXPECT_EQ(d.surface.result(), 0);
  }
}

TEST(StartScanDialog, CancelLeavesTheModeAndTheSecondOpeningShowsNoneAgain) {
  DialogTestContext t;
  t.context.settings.separatorModeA = 5;
  {
    Opened d(t.context);
    d.surface.Choose(startscan::kJobSeparator, 1);
    d.surface.Click(kIdCancelButton);
    EXPECT_TRUE(d.surface.ended());
    EXPECT_EQ(d.surface.result(), 0);
  }
  EXPECT_EQ(t.context.settings.separatorModeA, 5);
  {
    Opened d(t.context);
    d.surface.Choose(startscan::kJobSeparator, 1);
    d.surface.Click(kIdOkButton);
  }
  Opened again(t.context);
  EXPECT_EQ(again.surface.selection(startscan::kJobSeparator), 0);
  EXPECT_EQ(t.context.settings.separatorModeA, 3);
}

TEST(StartScanDialog, FileNameIsReadUpTo38Characters) {
  DialogTestContext t;
  Opened d(t.context);
  d.surface.Type(startscan::kFileName, std::string(50, 'n'));
  d.surface.Click(kIdOkButton);
  EXPECT_EQ(std::string(d.dialog.fileName()), std::string(38, 'n'));
}

}  // namespace
}  // namespace tarvo
