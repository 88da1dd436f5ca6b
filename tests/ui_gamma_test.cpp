// Gamma files (two header lines, comments, one entry a line, low 8 bits, at
// most 256 entries, lines of at most 511 characters) and the Gamma dialog
// that chooses one, reads it into the table and downloads it.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <tuple>

#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "ui/DialogTemplates.h"
#include "ui/GammaDialog.h"

namespace tarvo {
namespace {

using namespace test;
using Table = std::array<std::uint8_t, kGammaEntries>;

Table Filled(std::uint8_t v) {
  Table t;
  t.fill(v);
  return t;
}

class GammaFileTest : public ::testing::Test {
 protected:
  // Reads `content` as a gamma file into a table that starts as 0xAA.
  std::size_t Read(const std::string& content) {
    const std::string name = platform.Scratch("curve.gmm");
    WriteFileBytes(name, content);
    table = Filled(0xAA);
    std::size_t entries = 0;
    std::uint32_t error = 0;
    EXPECT_TRUE(ReadGammaFile(platform, name.c_str(), table, &entries, &error));
    return entries;
  }

  TestPlatform platform;
  Table table{};
  const std::string header = "GAMMA\r\nversion 1\r\n";
};

TEST_F(GammaFileTest, IdentityCurveAndAtMost256Entries) {
  std::string file = header;
  for (int i = 0; i < 300; ++i) file += std::to_string(i) + "\r\n";
  EXPECT_EQ(Read(file), 256u);
  Table identity;
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(table, identity);
}

TEST_F(GammaFileTest, ValueRules) {
  struct Case {
    const char* line;
    std::uint8_t value;
  };
  for (Case c : {Case{"300", 44}, Case{"-1", 255}, Case{"", 0}, Case{"  17", 17}, Case{"+5", 5},
                 Case{"abc", 0}, Case{"12 34", 12}, Case{"256", 0}, Case{"\t200", 200}}) {
    EXPECT_EQ(Read(header + c.line + "\n"), 1u) << c.line;
    EXPECT_EQ(table[0], c.value) << c.line;
    EXPECT_EQ(table[1], 0xAA) << c.line;
  }
}

// Comments are skipped and not counted (" ;40" is no comment: 0); a line of
// more than 511 characters reads as two; the last line needs no line end.
TEST_F(GammaFileTest, CommentsLongLinesAndTheLastLine) {
  EXPECT_EQ(Read(header + "; first\n10\n;20\n30\n ;40\n"), 3u);
  EXPECT_EQ((std::array{table[0], table[1], table[2], table[3]}),
            (std::array<std::uint8_t, 4>{10, 30, 0, 0xAA}));
  EXPECT_EQ(Read(header + "9" + std::string(510, ' ') + "77\n5"), 3u);
  EXPECT_EQ((std::array{table[0], table[1], table[2], table[3]}),
            (std::array<std::uint8_t, 4>{9, 77, 5, 0xAA}));
}

TEST_F(GammaFileTest, HeaderLinesAreNeverValues) {
  EXPECT_EQ(Read("5\n6\n7\n"), 1u);
  EXPECT_EQ(table[0], 7);
  for (const std::string& content : {header, std::string("only one line"), std::string()}) {
    EXPECT_EQ(Read(content), 0u);
    EXPECT_EQ(table, Filled(0xAA));
  }
}

TEST_F(GammaFileTest, MissingFileGivesTheSystemError) {
  table = Filled(0x55);
  std::uint32_t error = 0;
  std::size_t entries = 7;
  EXPECT_FALSE(ReadGammaFile(platform, platform.Scratch("absent.gmm").c_str(), table, &entries,
                             &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_EQ(entries, 0u);
  EXPECT_EQ(table, Filled(0x55));
}

// ---- the dialog, without a scanner ----------------------------------------------------

class GammaDialogTest : public ::testing::Test {
 protected:
  GammaDialogTest() { surface.Start(dialog); }
  std::string WriteCurve(const std::string& body) {
    const std::string name = t.platform.Scratch("curve.gmm");
    WriteFileBytes(name, "header\nheader\n" + body);
    return name;
  }
  // Still open, with both buttons usable again.
  void ExpectOpenAndReady() {
    EXPECT_TRUE(surface.enabled(kIdOkButton));
    EXPECT_TRUE(surface.enabled(kIdCancelButton));
    EXPECT_FALSE(surface.ended());
  }

  DialogTestContext t;
  GammaDialog dialog{t.context};
  HeadlessSurface surface{DialogTemplate::kGamma};
};

TEST_F(GammaDialogTest, OpeningAndACancelledChooser) {
  EXPECT_EQ(std::tuple(surface.title(), surface.text(kIdOkButton)),
            std::tuple(Msg(160), Msg(166)));
  EXPECT_EQ(surface.items(gamma::kCurve), Msgs({162}));
  EXPECT_EQ(surface.selection(gamma::kCurve), 0);
  EXPECT_FALSE(surface.enabled(gamma::kFromFile) || surface.enabled(gamma::kToFile));

  surface.Click(kIdOkButton);
  EXPECT_EQ(surface.chooserCalls(), 1);
  EXPECT_EQ(surface.chooserFilter(), Msg(303) + "|*.gmm|" + Msg(304) + "|*.*|");
  EXPECT_TRUE(t.platform.boxes.empty());
  ExpectOpenAndReady();
}

TEST_F(GammaDialogTest, UnopenableFileShowsTheSystemText) {
  t.context.dialogs.gammaTable.fill(9);
  surface.nextChosenFile = t.platform.Scratch("missing.gmm");
  surface.Click(kIdOkButton);
  char expected[512] = {};
  t.platform.ErrorText(kErrorFileNotFound, expected, sizeof expected);
  EXPECT_TRUE(t.LastBox(1, expected, ""));
  EXPECT_EQ(t.context.dialogs.gammaTable[0], 9);
  ExpectOpenAndReady();
}

// The download fails without a scanner: the file's values stay in the table
// (and in the next dialog, whose read fails too), the box shows 2.
TEST_F(GammaDialogTest, FailedDownloadKeepsTheFilesValues) {
  surface.nextChosenFile = WriteCurve("7\n8\n3\n");
  surface.Click(kIdOkButton);
  EXPECT_EQ(t.context.dialogs.gammaTable[1], 8);
  EXPECT_TRUE(t.LastBox(1, Msg(202)));
  ExpectOpenAndReady();
  surface.Click(kIdCancelButton);
  EXPECT_TRUE(surface.ended());
  EXPECT_EQ(surface.result(), 0);

  GammaDialog second(t.context);
  HeadlessSurface again(DialogTemplate::kGamma);
  again.Start(second);
  again.NotifyList(gamma::kCurve);
  EXPECT_EQ(t.context.dialogs.gammaTable[2], 3);
}

}  // namespace
}  // namespace tarvo
