// The Function key dialog: its list of functions and how a key's block reads.
#include <gtest/gtest.h>

#include <tuple>

#include "scsi/Wire.h"
#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogTemplates.h"
#include "ui/FunctionKeyDialog.h"

namespace tarvo {
namespace {

using namespace test;
using Messages = std::vector<std::uint32_t>;

TEST(FunctionList, ShortenedByRevisionAndCapability) {
  const Messages all = {292, 283, 282, 279, 280, 281, 286, 287, 288, 289,
                        284, 291, 290, 294, 302, 295, 296, 285, 182};
  Messages first14(all.begin(), all.begin() + 14), first15(all.begin(), all.begin() + 15);
  first14.push_back(182);
  first15.push_back(182);
  struct Case {
    std::int32_t revision;
    bool flag;
    const Messages& list;
  };
  for (const Case& c : {Case{1050, false, first14}, Case{1050, true, first14},
                        Case{1999, true, first14}, Case{0, true, first14},
                        Case{2000, false, first15}, Case{2010, false, first15},
                        Case{2000, true, all}}) {
    const auto list = FunctionListMessages(c.revision, c.flag);
    EXPECT_EQ(Messages(list.begin(), list.end()), c.list) << c.revision << " " << c.flag;
  }
  // Every function is one bit; two bits or none name no function.
  for (const FunctionChoice& f : kFunctionChoices) EXPECT_EQ(f.code & (f.code - 1), 0u) << f.code;
  EXPECT_EQ(FunctionMessage(0x1000), 280u);
  EXPECT_EQ(FunctionMessage(0x30), 0u);
  EXPECT_EQ(FunctionMessage(0), 0u);
}

TEST(FunctionKeyBlock, FirstSetBitInTableOrder) {
  struct Case {
    std::uint8_t b1, b2, b3, b4;
    std::uint32_t message;
  };
  for (const Case& c : {
           Case{0x20, 0x01, 0, 0, 182},  // byte 1 bit 5 before byte 2
           Case{0, 0x81, 0, 0, 279},     // bit 0 before bit 7
           Case{0, 0x80, 0, 0, 286}, Case{0, 0x40, 0, 0, 285}, Case{0, 0x02, 0, 0, 280},
           Case{0, 0, 0x01, 0, 287}, Case{0, 0, 0x20, 0, 292}, Case{0, 0, 0x40, 0, 294},
           Case{0, 0, 0xC0, 0, 294},     // byte 3 bit 6 before bit 7
           Case{0, 0, 0x80, 0x40, 296},  // byte 4 before byte 3 bit 7
           Case{0, 0, 0x80, 0xC0, 295},  // byte 4 bit 7 before bit 6
           Case{0, 0, 0x80, 0, 302}, Case{0, 0x01, 0x01, 0x80, 279},
           Case{0xDF, 0, 0, 0x3F, 0},    // no function bit
       }) {
    std::uint8_t block[16] = {5, c.b1, c.b2, c.b3, c.b4, 0xFF, 0xFF};
    EXPECT_EQ(BlockFunctionMessage(block), c.message)
        << int(c.b1) << " " << int(c.b2) << " " << int(c.b3) << " " << int(c.b4);
  }
  // Each function's own bit reads back as its message.
  for (const FunctionChoice& f : kFunctionChoices) {
    std::uint8_t block[16] = {};
    for (const auto& bit : wire::kFunctionBits) {
      if (bit.code == f.code) block[bit.byte] = bit.mask;
    }
    EXPECT_EQ(BlockFunctionMessage(block), f.message) << f.code;
  }
}

TEST(FunctionKeyDialog, WithoutScannerTheFirstReadClosesTheDialog) {
  DialogTestContext t;
  FunctionKeyDialog dialog(t.context);
  HeadlessSurface s(DialogTemplate::kFunction);
  s.Start(dialog);
  EXPECT_EQ(std::tuple(s.title(), s.text(fkey::kKeyLabel)), std::tuple(Msg(170), Msg(171)));
  EXPECT_EQ(s.items(fkey::kKey), (std::vector<std::string>{"F1", "F2", "F3", "F4", "F5", "F6",
                                                           "P1", "P2", "P3", "P4"}));
  EXPECT_EQ(s.selection(fkey::kKey), 0);
  ASSERT_EQ(s.items(fkey::kFunction).size(), 15u);  // no revision read: below 2000
  EXPECT_EQ(s.items(fkey::kFunction).back(), Msg(182));
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(s.result(), 0);
  EXPECT_TRUE(t.LastBox(1, Msg(202)));
}

}  // namespace
}  // namespace tarvo
