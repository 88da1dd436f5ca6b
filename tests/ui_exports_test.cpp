// The work of the six dialog exports: probe steps, templates, results and
// the box of a dialog that cannot be created. No scanner answers here.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogExports.h"

namespace tarvo {
namespace {

using test::DialogTestContext;
using test::HeadlessRunner;

void* Handle(std::uintptr_t v) { return reinterpret_cast<void*>(v); }

TEST(DialogExports, StartScanWithoutScannerShowsTheNoticeAndNoDialog) {
  DialogTestContext t;
  HeadlessRunner runner;
  EXPECT_EQ(RunStartScanDialog(t.context, runner, Handle(1), Handle(2)), 0u);
  EXPECT_TRUE(runner.openings().empty());
  ASSERT_EQ(t.platform.boxes.size(), 1u);
  EXPECT_EQ(t.platform.boxes[0].text, "Scanner is not probed.");
  EXPECT_EQ(t.platform.boxes[0].caption, "Vasko/ferrule driver");
  EXPECT_EQ(t.platform.boxes[0].style, kMbOk);
}

TEST(DialogExports, SettingsWithoutScannerReturnsTheProbeCode) {
  DialogTestContext t;
  HeadlessRunner runner;
  EXPECT_EQ(RunSettingsDialog(t.context, runner, Handle(1), Handle(2)), 2u);
  EXPECT_TRUE(runner.openings().empty());
  EXPECT_TRUE(t.platform.boxes.empty());
}

TEST(DialogExports, ResultsAfterTheDialogRan) {
  DialogTestContext t;
  HeadlessRunner runner;
  EXPECT_EQ(RunDetailsDialog(t.context, runner, Handle(0x10), Handle(0x20)), 0x10u);
  EXPECT_EQ(RunGammaDialog(t.context, runner, Handle(0x11), Handle(0x21)), 0x11u);
  EXPECT_EQ(RunAddonDialog(t.context, runner, Handle(0x12), Handle(0x22)), 0x22u);
  EXPECT_EQ(RunFunctionKeyDialog(t.context, runner, Handle(0x13), Handle(0x23)), 0x23u);
  ASSERT_EQ(runner.openings().size(), 4u);
  const DialogTemplate order[] = {DialogTemplate::kDetailsUs, DialogTemplate::kGamma,
                                  DialogTemplate::kImprinter, DialogTemplate::kFunction};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(runner.openings()[i].which, order[i]);
    EXPECT_EQ(runner.openings()[i].instance, Handle(0x10 + i));
    EXPECT_EQ(runner.openings()[i].owner, Handle(0x20 + i));
  }
  EXPECT_EQ(t.context.dialogs.instance, Handle(0x11));  // Gamma remembers its instance too
}

TEST(DialogExports, DialogThatCannotBeCreated) {
  using RunExport = std::uint32_t (*)(DriverContext&, DialogRunner&, void*, void*);
  for (RunExport run : {&RunDetailsDialog, &RunGammaDialog, &RunAddonDialog, &RunFunctionKeyDialog}) {
    DialogTestContext t;
    HeadlessRunner runner;
    runner.failWith = 1407;  // ERROR_CANNOT_FIND_WND_CLASS
    EXPECT_EQ(run(t.context, runner, Handle(1), Handle(2)), 1407u);
    ASSERT_EQ(t.platform.boxes.size(), 1u);
    EXPECT_EQ(t.platform.boxes[0].text, "DialogBox return code is 1407");
    EXPECT_EQ(t.platform.boxes[0].caption, "");
  }
}

TEST(DialogExports, WithoutWindowSystemEveryDialogFailsWith50) {
  DialogTestContext t;
  DialogRunner& system = SystemDialogRunner();
  EXPECT_EQ(RunGammaDialog(t.context, system, nullptr, nullptr), kErrorNotSupported);
  EXPECT_EQ(RunDetailsDialog(t.context, system, nullptr, nullptr), kErrorNotSupported);
  EXPECT_EQ(RunAddonDialog(t.context, system, nullptr, nullptr), kErrorNotSupported);
  EXPECT_EQ(RunFunctionKeyDialog(t.context, system, nullptr, nullptr), kErrorNotSupported);
  ASSERT_EQ(t.platform.boxes.size(), 4u);
  EXPECT_EQ(t.platform.boxes[0].text, "DialogBox return code is 50");
}

}  // namespace
}  // namespace tarvo
