// The Function key dialog.
#include <gtest/gtest.h>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogTemplates.h"
#include "ui/FunctionKeyDialog.h"

namespace tarvo {
namespace {

using test::DialogTestContext;
using test::HeadlessSurface;
using test::Msg;

using Messages = std::vector<std::uint32_t>;

Messages List(std::int32_t revision, bool flag) {
  const auto span = FunctionListMessages(revision, flag);
  return Messages(span.begin(), span.end());
}

TEST(FunctionList, ShortenedByRevisionAndCapability) {
  const Messages all = {292, 283, 282, 279, 280, 281, 286, 287, 288, 289,
                        284, 291, 290, 294, 302, 295, 296, 285, 182};
  Messages first14(all.begin(), all.begin() + 14);
  first14.push_back(182);
  Messages first15(all.begin(), all.begin() + 15);
  first15.push_back(182);
  EXPECT_EQ(List(1050, false), first14);
  EXPECT_EQ(List(1050, true), first14);
  EXPECT_EQ(List(1999, true), first14);
  EXPECT_EQ(List(0, true), first14);
  EXPECT_EQ(List(2000, false), first15);
  EXPECT_EQ(List(2010, false), first15);
  EXPECT_EQ(List(2000, true), all);
}

TEST(FunctionList, EveryCodeHasOneMessage) {
  for (const FunctionChoice& f : kFunctionChoices) {
    EXPECT_EQ(FunctionMessage(f.code), f.message);
    EXPECT_EQ(f.code & (f.code - 1), 0u) << "one bit: " << f.code;
  }
  EXPECT_EQ(FunctionMessage(0x30), 0u);
  EXPECT_EQ(FunctionMessage(0), 0u);
  EXPECT_EQ(std::size(kFunctionChoices), 19u);
}

TEST(FunctionKeyDialog, WithoutScannerTheFirstReadClosesTheDialog) {
  DialogTestContext t;
  FunctionKeyDialog dialog(t.context);
  HeadlessSurface s(DialogTemplate::kFunction);
  s.Start(dialog);
  EXPECT_EQ(s.title(), Msg(170));
  EXPECT_EQ(s.text(kIdOkButton), Msg(184));
  EXPECT_EQ(s.text(kIdCancelButton), Msg(185));
  EXPECT_EQ(s.text(fkey::kKeyLabel), Msg(171));
  EXPECT_EQ(s.text(fkey::kFunctionLabel), Msg(293));
  EXPECT_EQ(s.items(fkey::kKey), (std::vector<std::string>{"F1", "F2", "F3", "F4", "F5", "F6",
                                                           "P1", "P2", "P3", "P4"}));
  EXPECT_EQ(s.selection(fkey::kKey), 0);
  ASSERT_EQ(s.items(fkey::kFunction).size(), 15u);  // no revision read: below 2000
  EXPECT_EQ(s.items(fkey::kFunction).back(), Msg(182));
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
  ASSERT_EQ(t.platform.boxes.size(), 1u);
  EXPECT_EQ(t.platform.boxes[0].text, Msg(202));
  EXPECT_EQ(t.platform.boxes[0].caption, "RT650");
}

}  // namespace
}  // namespace tarvo
