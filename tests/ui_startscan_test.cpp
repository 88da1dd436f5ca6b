// The Start-scan dialog: the job-separator choice written straight into the
// record.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogTemplates.h"
#include "ui/StartScanDialog.h"

namespace tarvo {
namespace {

using namespace test;
using startscan::kJobSeparator;

struct Opened : OpenDialog<StartScanDialog> {
  explicit Opened(DriverContext& context) : OpenDialog(DialogTemplate::kStartScan, context) {}
};

// Whatever the mode, the list opens on "None"; OK writes the entry's value
// (nothing before OK), Cancel writes nothing.
TEST(StartScanDialog, OpensOnNoneAndOkWritesTheChoice) {
  const std::int32_t values[] = {0, 3, 5};
  for (int entry = 0; entry < 3; ++entry) {
    SCOPED_TRACE(entry);
    DialogTestContext t;
    const std::int32_t other = values[(entry + 1) % 3];
    t.context.settings.separatorModeA = other;
    Opened d(t.context);
    EXPECT_EQ(d.surface.items(kJobSeparator),
              (std::vector<std::string>{"None", "Detect and Scan, Stop", "Detect and Skip, Continue"}));
    EXPECT_EQ(d.surface.selection(kJobSeparator), 0);
    EXPECT_FALSE(d.surface.ended());
    d.surface.Choose(kJobSeparator, entry);
    d.surface.Click(kIdCancelButton);
    EXPECT_TRUE(d.surface.ended());
    EXPECT_EQ(d.surface.result(), 0);
    EXPECT_EQ(t.context.settings.separatorModeA, other);

    t.context.settings.separatorModeA = 1;  // something no entry writes
    Opened ok(t.context);
    ok.surface.Choose(kJobSeparator, entry);
    EXPECT_EQ(t.context.settings.separatorModeA, 1);
    ok.surface.Click(kIdOkButton);
    EXPECT_EQ(t.context.settings.separatorModeA, values[entry]);
    EXPECT_TRUE(ok.surface.ended());
    EXPECT_EQ(ok.surface.result(), 0);
  }
}

TEST(StartScanDialog, FileNameIsReadUpTo38Characters) {
  DialogTestContext t;
  Opened named(t.context);
  named.surface.Type(startscan::kFileName, std::string(50, 'n'));
  named.surface.Click(kIdOkButton);
  EXPECT_EQ(std::string(named.dialog.fileName()), std::string(38, 'n'));
}

}  // namespace
}  // namespace tarvo
