// Reading and patching existing documents: the chain walk, joining two
// documents (which shifts the appended entries) and renaming one, judged by
// libtiff.
#include <gtest/gtest.h>

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

// Mixed pages; names inline (up to 3 characters) or out of line (4 and more).
std::vector<PagePlan> Pages(std::uint32_t count, std::uint32_t seed, const char* docName) {
  static const char* const kPageNames[] = {"first page", "two", "four", "the fourth page"};
  std::vector<PagePlan> pages;
  for (std::uint32_t i = 0; i < count; ++i) {
    pages.push_back({90 + 13 * i, 40 + 7 * i, i % 3 == 1 ? 0u : 3u, i % 2 == 0 ? 300u : 200u,
                     docName, kPageNames[i % 4], seed + i});
  }
  return pages;
}

// The IFD offsets of a file, read by hand from its bytes.
std::vector<std::uint32_t> IfdOffsets(const std::string& bytes) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t at = Le32(bytes, 4); at != 0 && out.size() < 100; at = Le32(bytes, at + 2 + 12 * Le16(bytes, at))) {
    out.push_back(at);
  }
  return out;
}

std::string Entry(std::uint32_t tag, std::uint32_t type, std::uint32_t count, std::uint32_t value) {
  return Le(tag, 2) + Le(type, 2) + Le(count, 4) + Le(value, 4);
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
  std::string File(const char* name, const std::string& bytes) {
    WriteFileBytes(platform.Scratch(name), bytes);
    return platform.Scratch(name);
  }
  // The walk to link `index`: result, index afterwards, link value, its
  // position, the end position and where the file was left.
  auto Walk(const std::string& path, std::uint32_t index) {
    const FileHandle file = OpenExisting(platform, path);
    std::uint32_t value = 0xABCD, position = 0xABCD, end = 0;
    const int r = WalkTiffChain(context, file, index, value, position, end);
    const std::uint32_t left = platform.FileSeek(file, 0, kFileCurrent);
    platform.FileClose(file);
    return std::tuple(r, index, value, position, end, left);
  }
};

TEST_F(ChainTest, WalkFindsEveryLink) {
  const std::string path = Document("three.tif", Pages(3, 1, "walk"));
  const std::string bytes = ReadFileBytes(path);
  const std::vector<std::uint32_t> ifds = IfdOffsets(bytes);
  ASSERT_EQ(ifds.size(), 3u);
  const auto size = static_cast<std::uint32_t>(bytes.size());
  std::vector<std::uint32_t> links{4};  // link k + 1 follows page k
  for (const std::uint32_t ifd : ifds) links.push_back(ifd + 2 + 12 * Le16(bytes, ifd));
  // Index 0 leaves value and position alone; 4 is the link after the last page.
  EXPECT_EQ(Walk(path, kWalkToEnd), std::tuple(0, 3u, 0u, links[3], size, size));
  EXPECT_EQ(Walk(path, 0), std::tuple(0, 0u, 0xABCDu, 0xABCDu, size, size));
  for (std::uint32_t k = 1; k <= 4; ++k) {
    EXPECT_EQ(Walk(path, k), std::tuple(0, k, k <= 3 ? ifds[k - 1] : 0u, links[k - 1], size, size));
  }
  EXPECT_EQ(std::get<0>(Walk(path, 5)), 1);
  // A document without pages has only the header's link; other files are refused.
  const std::string empty = File("empty.tif", std::string("II*\0\0\0\0\0", 8));
  EXPECT_EQ(Walk(empty, kWalkToEnd), std::tuple(0, 0u, 0u, 4u, 8u, 8u));
  EXPECT_EQ(std::get<0>(Walk(empty, 1)), 0);
  EXPECT_EQ(std::get<0>(Walk(empty, 2)), 1);
  for (const char* other : {"MM\0*\0\0\0\x08", "II+\0\0\0\0\0"}) {
    EXPECT_EQ(std::get<0>(Walk(File("other.tif", std::string(other, 8)), kWalkToEnd)), 1);
  }
}

// The destination's IFDs stay, the source's come after them, and libtiff reads
// all pages in order (the appended offsets moved).
TEST_F(ChainTest, JoinedDocumentHoldsBothInOrder) {
  for (const auto& [intoPages, fromPages] : {std::pair(0u, 3u), {1u, 0u}, {3u, 2u}}) {
    std::vector<PagePlan> all = Pages(intoPages, 10, "Destination document");
    const std::vector<PagePlan> second = Pages(fromPages, 20, "src");
    const std::string destination = Document("destination.tif", all), source = Document("source.tif", second);
    const std::string before = ReadFileBytes(destination), sourceBytes = ReadFileBytes(source);
    ASSERT_EQ(ConcatTiff(context, destination.c_str(), source.c_str()), kConcatDone);
    const std::string after = ReadFileBytes(destination);
    EXPECT_EQ(ReadFileBytes(source), sourceBytes);
    ASSERT_EQ(after.size(), before.size() + sourceBytes.size());
    const std::vector<std::uint32_t> ifds = IfdOffsets(after);
    ASSERT_EQ(ifds.size(), intoPages + fromPages);
    for (std::size_t i = 0; i < ifds.size(); ++i) EXPECT_EQ(ifds[i] < before.size(), i < intoPages);
    all.insert(all.end(), second.begin(), second.end());
    ExpectLibtiffPages(destination, all);
  }
}

TEST_F(ChainTest, ConcatCopyFailuresGiveMinusOne) {
  const std::string source = Document("source.tif", Pages(2, 60, "s"));
  const std::string destination = platform.Scratch("destination.tif");
  for (std::uint32_t n = 1;; ++n) {
    ASSERT_EQ(WriteDocument(context, destination, Pages(1, 70, "d")), Result::Ok);
    platform.Arm(n, 0, 0);
    const std::int32_t r = ConcatTiff(context, destination.c_str(), source.c_str());
    if (!platform.failed) {
      ASSERT_EQ(r, kConcatDone);
      ASSERT_GT(n, 3u);
      break;
    }
    EXPECT_EQ(r, kConcatCopyFailed) << "write " << n;
    EXPECT_TRUE(Released(platform, destination) && Released(platform, source)) << n;
  }
}

// The first page's IFD is copied to the end with the new name after it and the
// header points at the copy; nothing else moves. Any read or write failing:
// result 1, the old chain (the header is written last), and the file closed.
TEST_F(ChainTest, RenameCopiesTheFirstIfdAndFailuresLeaveTheOldChain) {
  const std::vector<PagePlan> pages = Pages(2, 100, "before");
  std::vector<PagePlan> renamed = pages;
  renamed[0].documentName = "after the change";
  for (const bool reads : {false, true}) {
    platform.Arm(0, 0, 0);
    const std::string path = Document("doc.tif", pages);
    for (std::uint32_t n = 1;; ++n) {
      const std::string before = ReadFileBytes(path);
      platform.Arm(reads ? 0 : n, reads ? n : 0, 0);
      const std::int32_t r = ChangeDocname(context, path.c_str(), "after the change");
      if (!platform.failed) {
        ASSERT_EQ(r, 0);
        const std::string after = ReadFileBytes(path);
        EXPECT_EQ(after.size(), before.size() + 2 + 12 * Le16(before, Le32(before, 4)) + 4 + 17);
        EXPECT_TRUE(Le32(after, 4) == before.size() && after.substr(8, before.size() - 8) == before.substr(8));
        break;
      }
      EXPECT_EQ(r, 1) << (reads ? "read " : "write ") << n;
      ExpectLibtiffPages(path, pages);
      EXPECT_TRUE(Released(platform, path));
    }
    ExpectLibtiffPages(path, renamed);
  }
}

// A page without a name gets the entry in tag order, before StripOffsets; a
// name of 3 characters stands in it. Without any tag from 269 on, the entry
// goes after the last.
TEST_F(ChainTest, RenameAddsTheEntryInTagOrder) {
  const Bytes image = TestRaster(100, 20, 4);
  const std::string path = platform.Scratch("uncoded.tif");
  ASSERT_EQ(MakeTiff(context, path.c_str(), image.data(), 100, 20, 300, 300), Result::Ok);
  const std::string before = ReadFileBytes(path);
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "abc"), 0);
  const std::string after = ReadFileBytes(path);
  const std::uint32_t ifd = Le32(after, 4);
  ASSERT_EQ(std::tuple(ifd, after.size(), Le16(after, ifd)),
            std::tuple(before.size(), before.size() + 2 + 12 * 14 + 4, 14u));
  EXPECT_EQ(after.substr(ifd + 2 + 12 * 7, 14), std::string("\x0D\1\2\0\4\0\0\0abc\0\x11\1", 14));
  const LibtiffFile tif = ReadWithLibtiff(path);
  ASSERT_EQ(tif.pages.size(), 1u) << tif.errors;
  EXPECT_TRUE(tif.pages[0].documentName == "abc" && tif.pages[0].pixels == image);
  // One IFD at 16 with only ImageWidth and ImageLength; the copy goes to 46.
  const std::string bare = Le(2, 2) + Entry(256, 4, 1, 64) + Entry(257, 4, 1, 32) + Le(0, 4);
  WriteFileBytes(path, std::string("II*\0\x10\0\0\0pixels!!", 16) + bare);
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "Long enough"), 0);
  EXPECT_EQ(ReadFileBytes(path), std::string("II*\0\x2E\0\0\0pixels!!", 16) + bare + Le(3, 2) + bare.substr(2, 24) +
                                     Entry(269, 2, 12, 46 + 42) + Le(0, 4) + std::string("Long enough\0", 12));
}

// Joined to itself, a file that is not little-endian TIFF, a document without
// pages, missing files, a file someone holds, an IFD whose count would pass
// 65535: refused and left alone.
TEST_F(ChainTest, ConcatAndRenameRefusals) {
  const std::string document = Document("doc.tif", Pages(2, 40, "doc"));
  const std::string other = File("other.bin", std::string("MM\0*\0\0\0\x08 big-endian", 19));
  const std::string empty = File("empty.tif", std::string("II*\0\0\0\0\0", 8));
  std::string full = std::string("II*\0\x08\0\0\0", 8) + Le(0xFFFF, 2);  // entries below 269
  for (int i = 0; i < 0xFFFF; ++i) full += Entry(256, 4, 1, 16);
  full += Le(0, 4);
  const std::string missing = platform.Scratch("missing.tif"), fullPath = File("full.tif", full);
  const std::string documentBytes = ReadFileBytes(document), otherBytes = ReadFileBytes(other);
  for (auto [into, from] : {std::pair{document, document}, {other, document}, {missing, document}, {document, missing}}) {
    EXPECT_EQ(ConcatTiff(context, into.c_str(), from.c_str()), kConcatUnusable) << into << from;
  }
  for (const std::string& path : {other, empty, missing, fullPath}) {
    EXPECT_EQ(ChangeDocname(context, path.c_str(), "name"), 1) << path;
  }
  EXPECT_EQ(ChangeDocname(context, document.c_str(), nullptr), 1);
  const FileHandle held = OpenExisting(platform, document);
  EXPECT_EQ(ConcatTiff(context, document.c_str(), other.c_str()), kConcatUnusable);
  EXPECT_EQ(ChangeDocname(context, document.c_str(), "held"), 1);
  platform.FileClose(held);
  EXPECT_FALSE(FileExists(missing));
  EXPECT_TRUE(ReadFileBytes(document) == documentBytes && ReadFileBytes(other) == otherBytes &&
              ReadFileBytes(empty) == std::string("II*\0\0\0\0\0", 8) &&
              ReadFileBytes(fullPath).substr(0, full.size()) == full);
}

}  // namespace
}  // namespace tarvo::test
