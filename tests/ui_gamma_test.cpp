// Gamma files (two header lines, comments, one entry a line, at most 256) and
// the Gamma dialog without a scanner.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <string>
#include <tuple>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/GammaDialog.h"

namespace tarvo {
namespace {

using namespace test;
using Table = std::array<std::uint8_t, kGammaEntries>;

class GammaFileTest : public ::testing::Test {
 protected:
  // Reads `content` as a gamma file into a table of 0xAA; the first four entries.
  std::array<int, 4> Read(const std::string& content, std::size_t entries) {
    const std::string name = platform.Scratch("curve.gmm");
    WriteFileBytes(name, content);
    table.fill(0xAA);
    std::size_t read = 0;
    std::uint32_t error = 0;
    EXPECT_TRUE(ReadGammaFile(platform, name.c_str(), table, &read, &error));
    EXPECT_EQ(read, entries);
    return {table[0], table[1], table[2], table[3]};
  }
  TestPlatform platform;
  Table table{};
  const std::string header = "GAMMA\r\nversion 1\r\n";
};

TEST_F(GammaFileTest, IdentityCurveAndAtMost256Entries) {
  std::string file = header;
  for (int i = 0; i < 300; ++i) file += std::to_string(i) + "\r\n";
  Read(file, 256);
  Table identity;
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(table, identity);
}

// A line's leading number, as the C library reads it, low 8 bits.
TEST_F(GammaFileTest, ValuesAreTheLowBitsOfTheLeadingNumber) {
  for (const char* line : {"300", "-1", "", "\t200", "12 34", "abc"}) {
    const int judge = static_cast<int>(std::strtol(line, nullptr, 10) & 0xFF);
    EXPECT_EQ(Read(header + line + "\n", 1), (std::array{judge, 0xAA, 0xAA, 0xAA})) << line;
  }
}

// Comments are skipped and not counted (" ;40" is no comment: 0); a line of
// more than 511 characters reads as two; the last line needs no line end;
// header lines are never values.
TEST_F(GammaFileTest, CommentsLongLinesHeaderAndTheLastLine) {
  EXPECT_EQ(Read(header + "; first\n10\n;20\n30\n ;40\n", 3), (std::array{10, 30, 0, 0xAA}));
  EXPECT_EQ(Read(header + "9" + std::string(510, ' ') + "77\n5", 3), (std::array{9, 77, 5, 0xAA}));
  EXPECT_EQ(Read("5\n6\n7\n", 1), (std::array{7, 0xAA, 0xAA, 0xAA}));
  for (const std::string& content : {std::string("only one line"), std::string()}) {
    EXPECT_EQ(Read(content, 0), (std::array{0xAA, 0xAA, 0xAA, 0xAA}));
  }
}

TEST_F(GammaFileTest, MissingFileGivesTheSystemError) {
  table.fill(0x55);
  std::uint32_t error = 0;
  std::size_t entries = 7;
  EXPECT_FALSE(ReadGammaFile(platform, platform.Scratch("absent.gmm").c_str(), table, &entries, &error));
  EXPECT_EQ(std::tuple(error, entries, table[0]), std::tuple(kErrorFileNotFound, 0u, 0x55));
}

class GammaDialogTest : public ::testing::Test {
 protected:
  GammaDialogTest() { s.Start(dialog); }
  void ExpectOpenAndReady() {  // both buttons usable again
    EXPECT_TRUE(s[kIdOkButton].enabled && s[kIdCancelButton].enabled && !s.ended);
  }
  DialogTestContext t;
  GammaDialog dialog{t.context};
  HeadlessSurface s{DialogTemplate::kGamma};
};

TEST_F(GammaDialogTest, OpeningACancelledChooserAndAnUnopenableFile) {
  EXPECT_EQ(std::tuple(s.title, s[kIdOkButton].text, s[gamma::kCurve].items, s[gamma::kCurve].selection),
            std::tuple(Msg(160), Msg(166), std::vector{Msg(162)}, 0));
  EXPECT_FALSE(s[gamma::kFromFile].enabled || s[gamma::kToFile].enabled);
  t.context.dialogs.gammaTable.fill(9);
  s.Click(kIdOkButton);
  EXPECT_EQ(std::tuple(s.chooserCalls, s.chooserFilter, t.platform.boxes.size()),
            std::tuple(1, Msg(303) + "|*.gmm|" + Msg(304) + "|*.*|", 0u));
  ExpectOpenAndReady();
  s.nextChosenFile = t.platform.Scratch("missing.gmm");
  s.Click(kIdOkButton);
  char expected[512] = {};
  t.platform.ErrorText(kErrorFileNotFound, expected, sizeof expected);
  EXPECT_TRUE(t.LastBox(1, expected, ""));
  EXPECT_EQ(t.context.dialogs.gammaTable[0], 9);
  ExpectOpenAndReady();
}

// The download fails without a scanner: the file's values stay in the table
// (and in the next dialog, whose read fails too), the box shows 2.
TEST_F(GammaDialogTest, FailedDownloadKeepsTheFilesValues) {
  s.nextChosenFile = t.platform.Scratch("curve.gmm");
  WriteFileBytes(*s.nextChosenFile, "header\nheader\n7\n8\n3\n");
  s.Click(kIdOkButton);
  EXPECT_TRUE(t.context.dialogs.gammaTable[1] == 8 && t.LastBox(1, Msg(202)));
  ExpectOpenAndReady();
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, s.result), std::tuple(true, 0));

  OpenDialog<GammaDialog> again(DialogTemplate::kGamma, t.context);
  again.surface.NotifyList(gamma::kCurve);
  EXPECT_EQ(t.context.dialogs.gammaTable[2], 3);
}

}  // namespace
}  // namespace tarvo
