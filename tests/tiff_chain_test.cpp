// Reading and patching existing documents: the chain walk, the offset shifts,
// joining two documents and renaming one, judged by libtiff.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "tiff/TiffChain.h"
#include "tiff/TiffUtilities.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

std::vector<PagePlan> Pages(std::uint32_t count, std::uint32_t seed, const char* docName) {
  static const char* const kPageNames[] = {"first page", "two", "3rd", "the fourth page"};
  std::vector<PagePlan> pages;
  for (std::uint32_t i = 0; i < count; ++i) {
    pages.push_back({90 + 13 * i, 40 + 7 * i, i % 3 == 1 ? 0u : 3u, i % 2 == 0 ? 300u : 200u,
                     docName, kPageNames[i % 4], seed + i});
  }
  return pages;
}

class ChainTest : public ::testing::Test {
 protected:
  FaultPlatform platform;
  DriverContext context{platform};

  std::string Document(const char* name, const std::vector<PagePlan>& pages) {
    const std::string path = platform.Scratch(name);
    EXPECT_EQ(WriteDocument(context, path, pages), Result::Ok);
    return path;
  }
  FileHandle Open(const std::string& path) { return OpenExisting(platform, path); }
};

// The IFD offsets of a file, read by hand from its bytes.
std::vector<std::uint32_t> IfdOffsets(const std::string& bytes) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t at = Le32(bytes, 4); at != 0 && out.size() < 100;
       at = Le32(bytes, at + 2 + 12 * Le16(bytes, at))) {
    out.push_back(at);
  }
  return out;
}

// ---- WalkTiffChain ----------------------------------------------------------------------

TEST_F(ChainTest, WalkFindsEveryLink) {
  const std::string path = Document("three.tif", Pages(3, 1, "walk"));
  const std::string bytes = ReadFileBytes(path);
  const std::vector<std::uint32_t> ifds = IfdOffsets(bytes);
  ASSERT_EQ(ifds.size(), 3u);
  const auto linkAfter = [&](std::uint32_t ifd) { return ifd + 2 + 12 * Le16(bytes, ifd); };
  const std::uint32_t size = static_cast<std::uint32_t>(bytes.size());

  struct Case {
    std::uint32_t index;
    int result;
    std::uint32_t pages, value, position;  // the index afterwards, the link and its place
  };
  const std::uint32_t kKept = 0xABCD;  // what index 0 leaves untouched
  const std::vector<Case> cases{
      {kWalkToEnd, 0, 3, 0, linkAfter(ifds[2])},
      {0, 0, 0, kKept, kKept},
      {1, 0, 1, ifds[0], 4},
      {2, 0, 2, ifds[1], linkAfter(ifds[0])},
      {3, 0, 3, ifds[2], linkAfter(ifds[1])},
      {4, 0, 4, 0, linkAfter(ifds[2])},  // one more than the pages
      {5, 1, 5, kKept, kKept},           // beyond that
  };
  for (const Case& c : cases) {
    FileHandle file = Open(path);
    std::uint32_t index = c.index, value = kKept, position = kKept, end = 0;
    EXPECT_EQ(WalkTiffChain(context, file, index, value, position, end), c.result) << c.index;
    if (c.result == 0) {
      EXPECT_EQ(std::tuple(index, value, position, end),
                std::tuple(c.pages, c.value, c.position, size))
          << c.index;
      EXPECT_EQ(platform.FileSeek(file, 0, kFileCurrent), size) << "left at the end";
    }
    platform.FileClose(file);
  }
}

// A document without pages walks to link 1 (the header's); files that are
// not little-endian TIFF are refused.
TEST_F(ChainTest, WalkOfADocumentWithoutPagesAndOfOtherFiles) {
  const std::string empty("II*\0\0\0\0\0", 8);
  struct Case {
    std::string bytes;
    std::uint32_t index;
    int result;
  };
  for (const Case& c : {Case{empty, kWalkToEnd, 0}, Case{empty, 1, 0}, Case{empty, 2, 1},
                        Case{std::string("MM\0*\0\0\0\x08", 8), kWalkToEnd, 1},
                        Case{std::string("II+\0\0\0\0\0", 8), kWalkToEnd, 1},
                        Case{"II*", kWalkToEnd, 1}, Case{"", kWalkToEnd, 1}}) {
    const std::string path = platform.Scratch("other.tif");
    WriteFileBytes(path, c.bytes);
    const FileHandle file = Open(path);
    std::uint32_t index = c.index, value = 9, position = 9, end = 0;
    EXPECT_EQ(WalkTiffChain(context, file, index, value, position, end), c.result)
        << c.bytes.size() << " bytes, link " << c.index;
    if (c.index == kWalkToEnd && c.result == 0) {
      EXPECT_EQ(std::tuple(index, position, value, end), std::tuple(0u, 4u, 0u, 8u));
    }
    platform.FileClose(file);
  }
}

// ---- ShiftIfdEntries ------------------------------------------------------------------------

TEST_F(ChainTest, ShiftMovesOnlyOffsets) {
  struct Row {
    std::uint16_t tag, type;
    std::uint32_t count, value, shifted;
  };
  const std::vector<Row> rows{
      {256, 4, 1, 500, 500},          // ImageWidth: a number
      {269, 2, 4, 0x00636261, 0x00636261},  // "abc": the text itself
      {269, 2, 5, 1200, 2200},        // a longer text: its offset
      {273, 4, 1, 8, 1008},           // StripOffsets
      {279, 4, 1, 77, 77},            // StripByteCounts
      {282, 5, 1, 300, 1300},         // RATIONAL: the value's offset
      {305, 2, 18, 0xFFFFFFF0u, 0xFFFFFFF0u + 1000u},
  };
  std::string bytes(10, 'x');
  for (const Row& r : rows) bytes += Le(r.tag, 2) + Le(r.type, 2) + Le(r.count, 4) + Le(r.value, 4);
  bytes += "tail";
  const std::string path = platform.Scratch("entries.bin");
  WriteFileBytes(path, bytes);
  FileHandle file = Open(path);
  ASSERT_EQ(platform.FileSeek(file, 10, kFileBegin), 10u);
  EXPECT_EQ(ShiftIfdEntries(context, file, static_cast<std::uint32_t>(rows.size()), 1000), 0);
  platform.FileClose(file);
  const std::string after = ReadFileBytes(path);
  ASSERT_EQ(after.size(), bytes.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::size_t at = 10 + 12 * i;
    EXPECT_EQ(after.substr(at, 8), bytes.substr(at, 8)) << "tag, type and count stay";
    EXPECT_EQ(Le32(after, at + 8), rows[i].shifted) << "entry " << i;
  }
  EXPECT_EQ(after.substr(0, 10), bytes.substr(0, 10));
  EXPECT_EQ(after.substr(after.size() - 4), "tail");
}

// ---- ConcatTiff ------------------------------------------------------------------------------

struct JoinCase {
  std::uint32_t destinationPages, sourcePages;
};

void PrintTo(const JoinCase& c, std::ostream* os) { *os << c.sourcePages << " pages into " << c.destinationPages; }

class ConcatTest : public ChainTest, public ::testing::WithParamInterface<JoinCase> {};

TEST_P(ConcatTest, JoinedDocumentHoldsBothInOrder) {
  const JoinCase c = GetParam();
  const std::vector<PagePlan> first = Pages(c.destinationPages, 10, "Destination document");
  const std::vector<PagePlan> second = Pages(c.sourcePages, 20, "src");
  const std::string destination = Document("destination.tif", first);
  const std::string source = Document("source.tif", second);
  const std::string before = ReadFileBytes(destination);
  const std::string sourceBytes = ReadFileBytes(source);

  ASSERT_EQ(ConcatTiff(context, destination.c_str(), source.c_str()), kConcatDone);

  const std::string after = ReadFileBytes(destination);
  ASSERT_EQ(after.size(), before.size() + sourceBytes.size());
  EXPECT_EQ(ReadFileBytes(source), sourceBytes) << "the source is not changed";
  // The destination's own IFDs are not moved.
  const std::vector<std::uint32_t> ifds = IfdOffsets(after);
  ASSERT_EQ(ifds.size(), c.destinationPages + c.sourcePages);
  for (std::size_t i = 0; i < ifds.size(); ++i) {
    EXPECT_EQ(ifds[i] < before.size(), i < c.destinationPages) << i;
  }
  std::vector<PagePlan> all = first;
  all.insert(all.end(), second.begin(), second.end());
  if (all.empty()) {
    EXPECT_EQ(Le32(after, 4), 0u);
  } else {
    ExpectLibtiffPages(destination, all);
  }
}

INSTANTIATE_TEST_SUITE_P(PageCounts, ConcatTest,
                         ::testing::Values(JoinCase{0, 0}, JoinCase{0, 1}, JoinCase{0, 3},
                                           JoinCase{1, 0}, JoinCase{1, 1}, JoinCase{1, 3},
                                           JoinCase{3, 0}, JoinCase{3, 1}, JoinCase{4, 4}));

TEST_F(ChainTest, ConcatRefusals) {
  const std::string document = Document("doc.tif", Pages(2, 40, "doc"));
  const std::string other = platform.Scratch("other.bin");
  WriteFileBytes(other, "MM\0*this is not a little-endian TIFF file");
  const std::string missing = platform.Scratch("missing.tif");
  const std::string documentBytes = ReadFileBytes(document);
  const std::string otherBytes = ReadFileBytes(other);

  // A file joined to itself, a destination that is not TIFF, missing files.
  for (auto [into, from] : {std::pair{document, document}, {other, document}, {missing, document},
                            {document, missing}}) {
    EXPECT_EQ(ConcatTiff(context, into.c_str(), from.c_str()), kConcatUnusable) << into << from;
  }
  EXPECT_EQ(ReadFileBytes(document), documentBytes);
  EXPECT_EQ(ReadFileBytes(other), otherBytes);
  EXPECT_FALSE(FileExists(missing));

  // Open elsewhere without sharing: cannot be opened.
  FileHandle held = Open(document);
  EXPECT_EQ(ConcatTiff(context, document.c_str(), other.c_str()), kConcatUnusable);
  platform.FileClose(held);
  EXPECT_EQ(ReadFileBytes(document), documentBytes);
}

TEST_F(ChainTest, ConcatAppendsASourceThatIsNotTiffWithoutLinks) {
  const std::vector<PagePlan> pages = Pages(2, 50, "doc");
  const std::string document = Document("doc.tif", pages);
  const std::string other = platform.Scratch("notes.txt");
  WriteFileBytes(other, "plain text, not an image");
  const std::string before = ReadFileBytes(document);
  EXPECT_EQ(ConcatTiff(context, document.c_str(), other.c_str()), kConcatDone);
  EXPECT_EQ(ReadFileBytes(document), before + "plain text, not an image");
  ExpectLibtiffPages(document, pages);
}

TEST_F(ChainTest, ConcatCopyFailuresGiveMinusOne) {
  const std::string source = Document("source.tif", Pages(2, 60, "s"));
  const std::string destinationPath = platform.Scratch("destination.tif");
  const std::vector<PagePlan> first = Pages(1, 70, "d");
  for (std::uint32_t n = 1;; ++n) {
    ASSERT_EQ(WriteDocument(context, destinationPath, first), Result::Ok);
    platform.Arm(n, 0, 0);
    const std::int32_t r = ConcatTiff(context, destinationPath.c_str(), source.c_str());
    if (!platform.failed) {
      ASSERT_EQ(r, kConcatDone);
      ASSERT_GT(n, 3u);
      break;
    }
    EXPECT_EQ(r, kConcatCopyFailed) << "write " << n;
    EXPECT_TRUE(Released(platform, destinationPath) && Released(platform, source)) << n;
  }
}

// ---- ChangeDocname ------------------------------------------------------------------------

TEST_F(ChainTest, RenameReplacesTheFirstPagesName) {
  const std::vector<PagePlan> pages = Pages(2, 80, "Old document name");
  const std::string path = Document("named.tif", pages);
  const std::string before = ReadFileBytes(path);
  const std::uint32_t entries = Le16(before, Le32(before, 4));
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "New name"), 0);
  const std::string after = ReadFileBytes(path);
  // The copy: count, entries, next link, then the 9-byte name, no fill.
  ASSERT_EQ(after.size(), before.size() + 2 + 12 * entries + 4 + 9);
  EXPECT_EQ(after.substr(0, before.size()).substr(8), before.substr(8)) << "nothing moved";
  EXPECT_EQ(Le32(after, 4), before.size()) << "the header points at the copy";
  EXPECT_EQ(Le16(after, before.size()), entries);
  EXPECT_EQ(after.substr(after.size() - 9), std::string("New name\0", 9));
  std::vector<PagePlan> expected = pages;
  expected[0].documentName = "New name";
  ExpectLibtiffPages(path, expected);
}

TEST_F(ChainTest, RenameInsertsTheEntryBeforeStripOffsets) {
  const Bytes image = TestRaster(100, 20, 4);
  const std::string path = platform.Scratch("uncoded.tif");
  ASSERT_EQ(MakeTiff(context, path.c_str(), image.data(), 100, 20, 300, 300), Result::Ok);
  const std::string before = ReadFileBytes(path);
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "abc"), 0);  // L = 4: in the entry
  const std::string after = ReadFileBytes(path);
  const std::uint32_t ifd = Le32(after, 4);
  EXPECT_EQ(ifd, before.size());
  ASSERT_EQ(after.size(), before.size() + 2 + 12 * 14 + 4);
  EXPECT_EQ(Le16(after, ifd), 14u);
  EXPECT_EQ(Le16(after, ifd + 2 + 12 * 7), 269u);
  EXPECT_EQ(after.substr(ifd + 2 + 12 * 7 + 2, 10), std::string("\2\0\4\0\0\0abc\0", 10));
  EXPECT_EQ(Le16(after, ifd + 2 + 12 * 8), 273u);
  const LibtiffFile tif = ReadWithLibtiff(path);
  ASSERT_EQ(tif.pages.size(), 1u) << tif.errors;
  EXPECT_EQ(tif.pages[0].documentName, "abc");
  EXPECT_TRUE(tif.pages[0].pixels == image);

  // L = 5: the name follows the new IFD; renaming again keeps the last name.
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "abcd"), 0);
  const std::string third = ReadFileBytes(path);
  ASSERT_EQ(third.size(), after.size() + 2 + 12 * 14 + 4 + 5);
  EXPECT_EQ(Le32(third, 4), after.size());
  EXPECT_EQ(Le32(third, after.size() + 2 + 12 * 7 + 8), after.size() + 2 + 12 * 14 + 4);
  const LibtiffFile again = ReadWithLibtiff(path);
  ASSERT_EQ(again.pages.size(), 1u) << again.errors;
  EXPECT_EQ(again.pages[0].documentName, "abcd");
}

TEST_F(ChainTest, RenameAppendsTheEntryWhenNoTagReachesDocumentName) {
  // One page whose IFD holds only ImageWidth and ImageLength.
  std::string bytes("II*\0\x10\0\0\0pixels!!", 16);
  bytes += std::string("\2\0", 2) + std::string("\0\1\4\0\1\0\0\0\x40\0\0\0", 12) +
           std::string("\1\1\4\0\1\0\0\0\x20\0\0\0", 12) + std::string(4, '\0');
  const std::string path = platform.Scratch("bare.tif");
  WriteFileBytes(path, bytes);
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "Long enough"), 0);
  const std::string after = ReadFileBytes(path);
  const std::uint32_t e = static_cast<std::uint32_t>(bytes.size());
  ASSERT_EQ(after.size(), e + 2 + 36 + 4 + 12);
  EXPECT_EQ(Le32(after, 4), e);
  EXPECT_EQ(Le16(after, e), 3u);
  EXPECT_EQ(after.substr(e + 2, 24), bytes.substr(18, 24)) << "old entries first";
  EXPECT_EQ(Le16(after, e + 26), 269u);
  EXPECT_EQ(Le32(after, e + 30), 12u);
  EXPECT_EQ(Le32(after, e + 34), e + 42) << "the name right after the next link";
  EXPECT_EQ(Le32(after, e + 38), 0u);
  EXPECT_EQ(after.substr(e + 42), std::string("Long enough\0", 12));
}

// 65535 entries below 269: the new entry would make a count of 65536.
TEST_F(ChainTest, RenameRefusesAFullIfdThatNeedsTheEntry) {
  std::string bytes("II*\0\x08\0\0\0\xFF\xFF", 10);
  for (int i = 0; i < 0xFFFF; ++i) bytes += std::string("\0\1\4\0\1\0\0\0\x10\0\0\0", 12);
  bytes += std::string(4, '\0');
  const std::string path = platform.Scratch("full.tif");
  WriteFileBytes(path, bytes);
  EXPECT_EQ(ChangeDocname(context, path.c_str(), "name"), 1);
  const std::string after = ReadFileBytes(path);
  EXPECT_EQ(after.substr(0, bytes.size()), bytes) << "the chain is as it was";
}

TEST_F(ChainTest, RenameRefusals) {
  const std::string notTiff = platform.Scratch("not.tif");
  WriteFileBytes(notTiff, "MM\0*\0\0\0\x08 big-endian");
  const std::string empty = platform.Scratch("empty.tif");
  WriteFileBytes(empty, std::string("II*\0\0\0\0\0", 8));
  for (const std::string& path : {notTiff, empty}) {
    const std::string before = ReadFileBytes(path);
    EXPECT_EQ(ChangeDocname(context, path.c_str(), "name"), 1) << path;
    EXPECT_EQ(ReadFileBytes(path), before);
  }
  EXPECT_EQ(ChangeDocname(context, platform.Scratch("missing.tif").c_str(), "name"), 1);
  const std::string document = Document("doc.tif", Pages(1, 90, "doc"));
  EXPECT_EQ(ChangeDocname(context, document.c_str(), nullptr), 1);
  FileHandle held = Open(document);
  EXPECT_EQ(ChangeDocname(context, document.c_str(), "held"), 1);
  platform.FileClose(held);
}

// Any read or write failing: result 1, the chain as it was (the header is
// written last), and the file closed.
TEST_F(ChainTest, RenameFailuresLeaveTheOldChain) {
  const std::vector<PagePlan> pages = Pages(2, 100, "before");
  for (int kind = 0; kind < 2; ++kind) {
    platform.Arm(0, 0, 0);
    const std::string path = Document("doc.tif", pages);
    for (std::uint32_t n = 1;; ++n) {
      kind == 0 ? platform.Arm(n, 0, 0) : platform.Arm(0, n, 0);
      const std::int32_t r = ChangeDocname(context, path.c_str(), "after the change");
      if (!platform.failed) {
        ASSERT_EQ(r, 0);
        break;
      }
      EXPECT_EQ(r, 1) << (kind == 0 ? "write " : "read ") << n;
      ExpectLibtiffPages(path, pages);
      EXPECT_TRUE(Released(platform, path)) << "the file stayed open";
    }
    std::vector<PagePlan> renamed = pages;
    renamed[0].documentName = "after the change";
    ExpectLibtiffPages(path, renamed);
  }
}

}  // namespace
}  // namespace tarvo::test
