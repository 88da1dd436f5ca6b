// Gamma files (two header lines, comments, one entry a line, at most 256) and
// the Gamma dialog without a scanner.
#include <gtest/gtest.h>

#include <cstdlib>
#include <numeric>
#include <string>
#include <tuple>

#include "support/DialogTestContext.h"
#include "ui/GammaDialog.h"

namespace tarvo {
namespace {

using namespace test;
using Table = std::array<std::uint8_t, kGammaEntries>;

// Values are a line's leading number as the C library reads it, low 8 bits;
// comments are skipped and not counted (" ;40" is no comment: 0); a line of
// more than 511 characters reads as two; the last line needs no line end;
// header lines are never values; a missing file gives the system's error.
TEST(GammaFile, ReadRules) {
  TestPlatform platform;
  Table table{};
  const std::string header = "GAMMA\r\nversion 1\r\n";
  auto read = [&](const std::string& content, std::size_t entries) {  // into 0xAA; the first four
    WriteFileBytes(platform.Scratch("curve.gmm"), content);
    table.fill(0xAA);
    std::size_t count = 0;
    std::uint32_t error = 0;
    EXPECT_TRUE(ReadGammaFile(platform, platform.Scratch("curve.gmm").c_str(), table, &count, &error));
    EXPECT_EQ(count, entries);
    return std::array<int, 4>{table[0], table[1], table[2], table[3]};
  };
  std::string file = header;
  for (int i = 0; i < 300; ++i) file += std::to_string(i) + "\r\n";
  read(file, 256);
  Table identity;
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(table, identity);
  for (const char* line : {"300", "-1", "", "\t200", "12 34", "abc"}) {
    const int judge = static_cast<int>(std::strtol(line, nullptr, 10) & 0xFF);
    EXPECT_EQ(read(header + line + "\n", 1), (std::array{judge, 0xAA, 0xAA, 0xAA})) << line;
  }
  EXPECT_EQ(read(header + "; first\n10\n;20\n30\n ;40\n", 3), (std::array{10, 30, 0, 0xAA}));
  EXPECT_EQ(read(header + "9" + std::string(510, ' ') + "77\n5", 3), (std::array{9, 77, 5, 0xAA}));
  EXPECT_EQ(read("5\n6\n7\n", 1), (std::array{7, 0xAA, 0xAA, 0xAA}));
  for (const std::string& content : {std::string("only one line"), std::string()}) {
    EXPECT_EQ(read(content, 0), (std::array{0xAA, 0xAA, 0xAA, 0xAA}));
  }
  table.fill(0x55);
  std::uint32_t error = 0;
  std::size_t entries = 7;
  EXPECT_FALSE(ReadGammaFile(platform, platform.Scratch("absent.gmm").c_str(), table, &entries, &error));
  EXPECT_EQ(std::tuple(error, entries, table[0]), std::tuple(kErrorFileNotFound, 0u, 0x55));
}

// A cancelled chooser and an unopenable file leave the dialog ready; without a
// scanner the download fails with 2 and the file's values stay in the table
// (and in the next dialog, whose read fails too).
TEST(GammaDialog, ChooserFileAndFailedDownload) {
  DialogTestContext t;
  HeadlessSurface& s = t.Open<GammaDialog>(DialogTemplate::kGamma).surface;
  auto ready = [&] { return s[kIdOkButton].enabled && s[kIdCancelButton].enabled && !s.ended; };
  EXPECT_EQ(std::tuple(s.title, s[kIdOkButton].text, s[gamma::kCurve].items, s[gamma::kCurve].selection),
            std::tuple(Msg(160), Msg(166), std::vector{Msg(162)}, 0));
  EXPECT_FALSE(s[gamma::kFromFile].enabled || s[gamma::kToFile].enabled);
  t.context.dialogs.gammaTable.fill(9);
  s.Click(kIdOkButton);
  EXPECT_EQ(std::tuple(s.chooserCalls, s.chooserFilter, t.platform.boxes.size()),
            std::tuple(1, Msg(303) + "|*.gmm|" + Msg(304) + "|*.*|", 0u));
  EXPECT_TRUE(ready());
  s.nextChosenFile = t.platform.Scratch("missing.gmm");
  s.Click(kIdOkButton);
  char expected[512] = {};
  t.platform.ErrorText(kErrorFileNotFound, expected, sizeof expected);
  EXPECT_TRUE(t.LastBox(1, expected, "") && ready());
  EXPECT_EQ(t.context.dialogs.gammaTable[0], 9);
  s.nextChosenFile = t.platform.Scratch("curve.gmm");
  WriteFileBytes(*s.nextChosenFile, "header\nheader\n7\n8\n3\n");
  s.Click(kIdOkButton);
  EXPECT_TRUE(t.context.dialogs.gammaTable[1] == 8 && t.LastBox(2, Msg(202)) && ready());
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, s.result), std::tuple(true, 0));
  t.Open<GammaDialog>(DialogTemplate::kGamma).surface.NotifyList(gamma::kCurve);
  EXPECT_EQ(t.context.dialogs.gammaTable[2], 3);
}

}  // namespace
}  // namespace tarvo
