// Gamma files: two header lines, comments, one entry a line, low 8 bits,
// at most 256 entries, lines of at most 511 characters.
#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "support/TestPlatform.h"
#include "ui/GammaDialog.h"

namespace tarvo {
namespace {

using test::TestPlatform;
using test::WriteFileBytes;
using Table = std::array<std::uint8_t, kGammaEntries>;

class GammaFileTest : public ::testing::Test {
 protected:
  // Reads `content` as a gamma file into a table that starts as 0xAA.
  std::size_t Read(const std::string& content) {
    const std::string name = platform.Scratch("curve.gmm");
    WriteFileBytes(name, content);
    table.fill(0xAA);
    std::size_t entries = 0;
    std::uint32_t error = 0;
    EXPECT_TRUE(ReadGammaFile(platform, name.c_str(), table, &entries, &error));
    return entries;
  }

  TestPlatform platform;
  Table table{};
};

std::string Header() { return "GAMMA\r\nversion 1\r\n"; }

TEST_F(GammaFileTest, IdentityCurve) {
  std::string file = Header();
  for (int i = 0; i < 256; ++i) file += std::to_string(i) + "\r\n";
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
    EXPECT_EQ(Read(Header() + c.line + "\n"), 1u) << c.line;
    EXPECT_EQ(table[0], c.value) << c.line;
    EXPECT_EQ(table[1], 0xAA) << c.line;
  }
}

TEST_F(GammaFileTest, CommentsAreSkippedAndNotCounted) {
  EXPECT_EQ(Read(Header() + "; first\n10\n;20\n30\n ;40\n"), 3u);
  EXPECT_EQ(table[0], 10);
  EXPECT_EQ(table[1], 30);
  EXPECT_EQ(table[2], 0);  // " ;40" is not a comment: no digits, 0
  EXPECT_EQ(table[3], 0xAA);
}

TEST_F(GammaFileTest, HeaderLinesAreNeverValues) {
  EXPECT_EQ(Read("5\n6\n7\n"), 1u);
  EXPECT_EQ(table[0], 7);
  EXPECT_EQ(Read(Header()), 0u);  // only the header: the table stays
  Table untouched;
  untouched.fill(0xAA);
  EXPECT_EQ(table, untouched);
  EXPECT_EQ(Read("only one line"), 0u);
  EXPECT_EQ(Read(""), 0u);
  EXPECT_EQ(table[0], 0xAA);
}

TEST_F(GammaFileTest, AtMost256EntriesAreUsed) {
  std::string file = Header();
  for (int i = 0; i < 300; ++i) file += std::to_string(1000 + i) + "\n";
  EXPECT_EQ(Read(file), 256u);
  EXPECT_EQ(table[0], (1000 & 0xFF));
  EXPECT_EQ(table[255], ((1000 + 255) & 0xFF));
}

TEST_F(GammaFileTest, LongLinesAreReadAsSeveral) {
  // 511 characters, then the rest of the line counts as a second entry.
  const std::string longLine = "9" + std::string(510, ' ') + "77\n";
  EXPECT_EQ(Read(Header() + longLine + "5\n"), 3u);
  EXPECT_EQ(table[0], 9);
  EXPECT_EQ(table[1], 77);
  EXPECT_EQ(table[2], 5);
}

TEST_F(GammaFileTest, ShortFileChangesOnlyTheLeadingEntries) {
  EXPECT_EQ(Read(Header() + "1\n2\n3"), 3u);  // no line end after the last
  EXPECT_EQ(table[2], 3);
  EXPECT_EQ(table[3], 0xAA);
}

TEST_F(GammaFileTest, MissingFileGivesTheSystemError) {
  Table before;
  before.fill(0x55);
  table = before;
  std::uint32_t error = 0;
  std::size_t entries = 7;
  EXPECT_FALSE(ReadGammaFile(platform, platform.Scratch("absent.gmm").c_str(), table, &entries,
                             &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_EQ(entries, 0u);
  EXPECT_EQ(table, before);
}

}  // namespace
}  // namespace tarvo
