// The Function key dialog: its list of functions and how a key's block reads.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "scan/ModePages.h"
#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogTemplates.h"
#include "ui/FunctionKeyDialog.h"

namespace tarvo {
namespace {

using namespace test;

// Every function is one bit; two bits or none name no function. (The list's
// length by revision and capability is checked with the scanner, in
// ui_scanner_test.)
TEST(FunctionList, OneBitPerFunction) {
  for (const FunctionChoice& f : kFunctionChoices) EXPECT_EQ(f.code & (f.code - 1), 0u) << f.code;
  EXPECT_EQ(FunctionMessage(0x30), 0u);
  EXPECT_EQ(FunctionMessage(0), 0u);
}

// The dialog names a key's block by its own bit table; it must agree with the
// code the scanner operations read from the same block (whose first-set-bit
// order scanner_ops_test checks on the wire), for any mix of bits.
TEST(FunctionKeyBlock, DialogAndOperationsReadTheSameFunction) {
  std::mt19937 random(650);
  for (int i = 0; i < 4000; ++i) {
    std::uint8_t block[16] = {5};
    for (int b = 1; b <= 4; ++b) block[b] = static_cast<std::uint8_t>(random() & random());
    const auto code = FunctionCodeFromBlock(block);
    EXPECT_EQ(BlockFunctionMessage(block), code ? FunctionMessage(*code) : 0u)
        << int(block[1]) << " " << int(block[2]) << " " << int(block[3]) << " " << int(block[4]);
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
