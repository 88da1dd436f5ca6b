// The TIFF room: the IFD block byte for byte; the chain walk, joining and renaming
// documents, judged by libtiff; hostile files (cut at every length, broken
// chains), on which every operation fails in bounded time keeping the bench's properties.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "scan/Documents.h"
#include "tiff/TiffChain.h"
#include "tiff/TiffIo.h"
#include "tiff/TiffUtilities.h"
#include "tiff/TiffWriter.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

std::string Long(std::uint32_t v) { return Le(v, 4); }
std::string Short(std::uint32_t v) { return Le(v, 2) + std::string(2, '\0'); }
std::string E(int tag, int type, int count, const std::string& v) { return Le(tag, 2) + Le(type, 2) + Le(count, 4) + v; }
// Entries of a 1700 x 2200 page: up to FillOrder, and StripOffsets (8) to YResolution.
std::string Head(std::uint32_t compression) {
  return E(254, 4, 1, Long(0)) + E(256, 4, 1, Long(1700)) + E(257, 4, 1, Long(2200)) + E(258, 3, 1, Short(1)) +
         E(259, 3, 1, Short(compression)) + E(262, 3, 1, Short(0)) + E(266, 3, 1, Short(1));
}
std::string Middle(std::uint32_t stripBytes, std::uint32_t resolutionAt) {
  return E(273, 4, 1, Long(8)) + E(277, 3, 1, Short(1)) + E(279, 4, 1, Long(stripBytes)) +
         E(282, 5, 1, Long(resolutionAt)) + E(283, 5, 1, Long(resolutionAt + 8));
}

// Mixed pages; names inline (up to 3 characters) or out of line (4 and more).
std::vector<PagePlan> Pages(std::uint32_t count, std::uint32_t seed, const char* docName) {
  static const char* const kPageNames[] = {"first page", "two", "four", "the fourth page"};
  std::vector<PagePlan> pages;
  for (std::uint32_t i = 0; i < count; ++i) {
    pages.push_back({90 + 13 * i, 40 + 7 * i, i % 3 == 1 ? 0u : 3u, i % 2 == 0 ? 300u : 200u, docName, kPageNames[i % 4], seed + i});
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

// A header and `count` IFDs without entries, 6 bytes each from offset 8; the
// last links to IFD `loopTo` (none: 0 ends the chain).
std::string EmptyIfdChain(std::uint32_t count, int loopTo = -1) {
  std::string bytes = std::string("II*\0", 4) + Le(count == 0 ? 0 : 8, 4);
  for (std::uint32_t i = 0; i < count; ++i) bytes += Le(0, 2) + Le(i + 1 < count ? 14 + 6 * i : loopTo < 0 ? 0 : 8 + 6 * loopTo, 4);
  return bytes;
}

std::string Patched(std::string bytes, std::size_t at, std::uint32_t value, int size) {
  PutLe(bytes, at, value, size);
  return bytes;
}

TEST(WriterTest, WritesTheBlockByteForByteAndStopsAtAFailingWrite) {
  struct Case {
    Compression compression;
    std::uint32_t stripBytes;
    const char *documentName, *pageName;
    std::string entries, texts;  // the texts follow the resolution values
    std::vector<std::uint32_t> writeSizes;
  };
  const std::string software("Roradiv Ver.1.111\0", 18);
  const std::uint32_t g4 = 8 + 101, uncoded = 8 + 468600;  // where the blocks go
  const Case cases[] = {
      // Group 4: a name of 3 characters stands in its entry, one of 4 goes to the text area with a fill byte.
      {kCompressionG4, 101, "abc", "abcd",
       Head(4) + E(269, 2, 4, std::string("abc\0", 4)) + Middle(101, g4 + 210) + E(285, 2, 5, Long(g4 + 226)) +
           E(293, 4, 1, Long(0)) + E(296, 3, 1, Short(2)) + E(305, 2, 18, Long(g4 + 232)),
       std::string("abcd\0\0", 6) + software, {226, 5, 1, 18}},
      // Uncoded: no text entries, yet the texts follow the resolution values and count in the block.
      {kCompressionNone, 468600, "Document One", "Page", Head(1) + Middle(468600, uncoded + 162) + E(296, 3, 1, Short(2)),
       std::string("Document One\0\0Page\0\0", 20) + software, {178, 13, 1, 5, 1, 18}},
  };
  FaultPlatform platform;
  DriverContext context{platform};
  const std::string path = platform.Scratch("page.tif");
  for (const Case& c : cases) {
    const std::uint32_t ifd = 8 + c.stripBytes;
    std::uint32_t link = 0, block = 0;
    const auto write = [&] {  // the block of the page at 300 x 200 dpi, at its place in a new file
      const PageDescription page{.width = 1700, .length = 2200, .stripBytes = c.stripBytes, .compression = c.compression,
                                 .xResolution = 300, .yResolution = 200, .stripOffset = 8, .ifdOffset = ifd,
                                 .pageName = c.pageName, .software = kSoftwareName, .documentName = c.documentName};
      WriteFileBytes(path, "");
      const FileHandle file = OpenExisting(platform, path);
      EXPECT_EQ(platform.FileSeek(file, static_cast<std::int32_t>(ifd), kFileBegin), ifd);
      platform.watchedWrites.clear();
      platform.watched = file;
      const Result r = WriteTiffIfd(context, file, page, link, block);
      platform.FileClose(file);
      return r;
    };
    ASSERT_EQ(write(), Result::Ok);
    EXPECT_EQ(link, 2 + c.entries.size());
    EXPECT_EQ(block, std::accumulate(c.writeSizes.begin(), c.writeSizes.end(), 0u));
    EXPECT_EQ(ReadFileBytes(path).substr(ifd), Le(static_cast<std::uint32_t>(c.entries.size() / 12), 2) + c.entries +
                                                    Long(0) + Long(300) + Long(1) + Long(200) + Long(1) + c.texts);
    EXPECT_EQ(platform.watchedWrites, c.writeSizes);
    for (std::uint32_t n = 1; n <= c.writeSizes.size(); ++n) {  // no write after a failing one
      platform.Arm(n, 0, 0);
      EXPECT_EQ(write(), Result::FileError) << "write " << n;
      EXPECT_EQ(platform.watchedWrites.size(), n);
    }
  }
  const std::string log = ReadFileBytes(platform.RootFile("scan.log"));
  EXPECT_NE(log.find("WriteFile 112 returned from line 4110 of Tiff"), std::string::npos) << log;
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
    const int r = static_cast<int>(ToCode(WalkTiffChain(context, file, index, value, position, end)));
    const std::uint32_t left = platform.FileSeek(file, 0, kFileCurrent);
    platform.FileClose(file);
    return std::tuple(r, index, value, position, end, left);
  }
};

// The destination's IFDs stay, the source's come after them, and libtiff reads
// all pages in order (the appended offsets moved). The walk to link k gives IFD k
// (0 after the last page) and the link's place; index 0 leaves both alone.
TEST_F(ChainTest, JoinedDocumentHoldsBothInOrder) {
  for (const auto& [intoPages, fromPages] : {std::pair(0u, 3u), {1u, 0u}, {3u, 2u}}) {
    std::vector<PagePlan> all = Pages(intoPages, 10, "Destination document");
    const std::vector<PagePlan> second = Pages(fromPages, 20, "src");
    const std::string destination = Document("destination.tif", all), source = Document("source.tif", second);
    const std::string before = ReadFileBytes(destination), sourceBytes = ReadFileBytes(source);
    ASSERT_EQ(ConcatTiff(context, destination.c_str(), source.c_str()), Result::Ok);
    const std::string after = ReadFileBytes(destination);
    ASSERT_TRUE(ReadFileBytes(source) == sourceBytes && after.size() == before.size() + sourceBytes.size());
    const std::vector<std::uint32_t> ifds = IfdOffsets(after);
    ASSERT_EQ(ifds.size(), intoPages + fromPages);
    for (std::size_t i = 0; i < ifds.size(); ++i) EXPECT_EQ(ifds[i] < before.size(), i < intoPages);
    const auto size = static_cast<std::uint32_t>(after.size()), last = static_cast<std::uint32_t>(ifds.size());
    for (std::uint32_t k = 1; k <= last + 1; ++k) {
      const std::uint32_t place = k == 1 ? 4 : ifds[k - 2] + 2 + 12 * Le16(after, ifds[k - 2]);
      EXPECT_EQ(Walk(destination, k), std::tuple(0, k, k <= last ? ifds[k - 1] : 0u, place, size, size));
      EXPECT_TRUE(k <= last || Walk(destination, kWalkToEnd) == std::tuple(0, last, 0u, place, size, size));
    }
    EXPECT_EQ(Walk(destination, 0), std::tuple(0, 0u, 0xABCDu, 0xABCDu, size, size));
    EXPECT_EQ(std::get<0>(Walk(destination, last + 2)), 1);
    all.insert(all.end(), second.begin(), second.end());
    ExpectLibtiffPages(destination, all);
  }
}

// Any write of a join, or read or write of a rename, failing: 4 (join) or 1 (rename) and both files closed; a
// refused rename leaves the old chain (the header is written last). A rename copies the first page's IFD to the
// end with the new name after it and points the header at the copy; nothing else moves.
TEST_F(ChainTest, FailuresReleaseTheFilesAndARefusedRenameLeavesTheOldChain) {
  const std::vector<PagePlan> pages = Pages(2, 100, "before");
  std::vector<PagePlan> renamed = pages;
  renamed[0].documentName = "after the change";
  const std::string source = Document("source.tif", Pages(2, 60, "s")), path = platform.Scratch("doc.tif");
  for (const int kind : {0, 1, 2}) {  // join writes, rename writes, rename reads
    for (std::uint32_t n = 1;; ++n) {
      platform.Arm(0, 0, 0);
      ASSERT_EQ(WriteDocument(context, path, kind == 0 ? Pages(1, 70, "d") : pages), Result::Ok);
      const std::string before = ReadFileBytes(path);
      platform.Arm(kind < 2 ? n : 0, kind == 2 ? n : 0, 0);
      const Result r = kind == 0 ? ConcatTiff(context, path.c_str(), source.c_str())
                                 : ChangeDocname(context, path.c_str(), "after the change");
      EXPECT_TRUE(Released(platform, path) && Released(platform, source)) << kind << " " << n;
      if (!platform.failed) {
        ASSERT_TRUE(r == Result::Ok && n > 2) << ToCode(r);
        const std::string after = ReadFileBytes(path);
        if (kind > 0) {
          EXPECT_EQ(after.size(), before.size() + 2 + 12 * Le16(before, Le32(before, 4)) + 4 + 17);
          EXPECT_TRUE(Le32(after, 4) == before.size() && after.substr(8, before.size() - 8) == before.substr(8));
          ExpectLibtiffPages(path, renamed);
        }
        break;
      }
      EXPECT_EQ(r, kind == 0 ? Result::FileError : Result::TiffUnusable) << kind << " " << n;
      if (kind > 0) ExpectLibtiffPages(path, pages);
    }
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
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "abc"), Result::Ok);
  const std::string after = ReadFileBytes(path);
  const std::uint32_t ifd = Le32(after, 4);
  ASSERT_EQ(std::tuple(ifd, after.size(), Le16(after, ifd)),
            std::tuple(before.size(), before.size() + 2 + 12 * 14 + 4, 14u));
  EXPECT_EQ(after.substr(ifd + 2 + 12 * 7, 14), std::string("\x0D\1\2\0\4\0\0\0abc\0\x11\1", 14));
  const LibtiffFile tif = ReadWithLibtiff(path);
  ASSERT_EQ(tif.pages.size(), 1u) << tif.errors;
  EXPECT_TRUE(tif.pages[0].documentName == "abc" && tif.pages[0].pixels == image);
  // One IFD at 16 with only ImageWidth and ImageLength; the copy goes to 46.
  const std::string bare = Le(2, 2) + E(256, 4, 1, Long(64)) + E(257, 4, 1, Long(32)) + Le(0, 4);
  WriteFileBytes(path, std::string("II*\0\x10\0\0\0pixels!!", 16) + bare);
  ASSERT_EQ(ChangeDocname(context, path.c_str(), "Long enough"), Result::Ok);
  EXPECT_EQ(ReadFileBytes(path), std::string("II*\0\x2E\0\0\0pixels!!", 16) + bare + Le(3, 2) + bare.substr(2, 24) +
                                     E(269, 2, 12, Long(46 + 42)) + Le(0, 4) + std::string("Long enough\0", 12));
}

// Joined to itself, a file that is not little-endian TIFF, a document without
// pages, missing files, a file someone holds, an IFD whose count would pass
// 65535: refused and left alone.
TEST_F(ChainTest, ConcatAndRenameRefusals) {
  const std::string document = Document("doc.tif", Pages(2, 40, "doc"));
  const std::string other = File("other.bin", std::string("MM\0*\0\0\0\x08 big-endian", 19));
  const std::string empty = File("empty.tif", std::string("II*\0\0\0\0\0", 8));
  std::string full = std::string("II*\0\x08\0\0\0", 8) + Le(0xFFFF, 2);  // entries below 269
  for (int i = 0; i < 0xFFFF; ++i) full += E(256, 4, 1, Long(16));
  full += Le(0, 4);
  // Full, with a name behind a later tag: in tag order the name would be a new entry, so nothing is written.
  const std::string named = Patched(Patched(full, 10, 270, 2), 10 + 12 * 0xFFFE, 269, 2), namedPath = File("named.tif", named);
  EXPECT_EQ(ChangeDocname(context, namedPath.c_str(), "name"), Result::TiffUnusable);
  EXPECT_TRUE(ReadFileBytes(namedPath) == named) << "a refused rename wrote something";
  const std::string missing = platform.Scratch("missing.tif"), fullPath = File("full.tif", full);
  const std::string documentBytes = ReadFileBytes(document), otherBytes = ReadFileBytes(other);
  for (auto [into, from] : {std::pair{document, document}, {other, document}, {missing, document}, {document, missing}}) {
    EXPECT_EQ(ConcatTiff(context, into.c_str(), from.c_str()), Result::TiffUnusable) << into << from;
  }
  for (const std::string& path : {other, empty, missing, fullPath}) {
    EXPECT_EQ(ChangeDocname(context, path.c_str(), "name"), Result::TiffUnusable) << path;
  }
  EXPECT_EQ(ChangeDocname(context, document.c_str(), nullptr), Result::TiffUnusable);
  const FileHandle held = OpenExisting(platform, document);
  EXPECT_EQ(ConcatTiff(context, document.c_str(), other.c_str()), Result::TiffUnusable);
  EXPECT_EQ(ChangeDocname(context, document.c_str(), "held"), Result::TiffUnusable);
  platform.FileClose(held);
  EXPECT_FALSE(FileExists(missing));
  EXPECT_TRUE(ReadFileBytes(document) == documentBytes && ReadFileBytes(other) == otherBytes &&
              ReadFileBytes(empty) == std::string("II*\0\0\0\0\0", 8) &&
              ReadFileBytes(fullPath) == full);
}

class HostileTest : public ChainTest {
 protected:
  HostileBench bench{platform, context};
  int Walk(const std::string& bytes, std::uint32_t index = kWalkToEnd) {
    return std::get<0>(ChainTest::Walk(File("walk.tif", bytes), index));
  }
};

// Broken chains: the walk to the end fails, the walk to link 2 (-1: not checked) still succeeds where its part of
// the chain is sound; a document cut at every length: the walk succeeds exactly when the second page's link is whole.
TEST_F(HostileTest, BrokenChainsAreRefused) {
  std::string headerSelf = Patched(std::string("II*\0\x04\0\0\0", 8), 4 + 2 + 12 * 4, 4, 4);
  headerSelf.resize(64, '\0');  // the header links to itself, and that "IFD" back
  // IFD A at 8 links to B at 10, whose count is the low half of A's link.
  const std::string overlap = Patched(Patched(EmptyIfdChain(1), 10, 10, 4), 132, 0, 4);
  const std::string good = EmptyIfdChain(2);
  const auto size = static_cast<std::uint32_t>(good.size());
  std::vector<std::tuple<std::string, std::string, int, int>> cases{
      {"SelfLoop", EmptyIfdChain(1, 0), 1, 0}, {"TwoCycle", EmptyIfdChain(2, 0), 1, 0},
      {"LongTailShortCycle", EmptyIfdChain(500, 497), 1, 0}, {"LongCycle", EmptyIfdChain(3000, 0), 1, 0},
      {"HeaderSelf", headerSelf, 1, 1}, {"Overlap", overlap, 1, 0},
      {"FirstIfdPastEnd", Patched(good, 4, 0xFFFFFFF0u, 4), 1, -1}, {"FirstIfdJustPastEnd", Patched(good, 4, size, 4), 1, -1},
      {"FirstIfdAtTheSeekLimit", Patched(good, 4, 0x7FFFFFFFu, 4), 1, -1}, {"NotVersion42", Patched(good, 2, 43, 2), 1, -1},
      {"IfdWithoutRoomForItsLink", Patched(good, 4, size - 5, 4), 1, -1},
      {"HugeEntryCount", Patched(good, 8, 0xFFFF, 2), 1, -1}, {"CountOneTooMany", Patched(good, 14, 1, 2), 1, -1},
      {"NextLinkPastEnd", Patched(good, 10, 0x10000000u, 4), 1, -1}, {"BigEndian", Patched(good, 0, 0x4D4D, 2), 1, -1},
  };
  const std::string whole = ReadFileBytes(Document("whole.tif", {{60, 20, 3, 300, "Truncated document", "page one", 1},
                                                                 {45, 30, 3, 200, "Truncated document", "page two", 2}}));
  const std::uint32_t second = IfdOffsets(whole).at(1), chainEnd = second + 2 + 12 * Le16(whole, second) + 4;
  for (std::size_t n = 0; n < whole.size(); ++n) cases.emplace_back("cut " + std::to_string(n), whole.substr(0, n), n < chainEnd, -1);
  for (const auto& [name, bytes, walkFails, twoLinks] : cases) {
    EXPECT_EQ(Walk(bytes), walkFails) << name;
    EXPECT_TRUE(twoLinks < 0 || Walk(bytes, 2) == twoLinks) << name << ": link 2";
    EXPECT_EQ(bench.Exercise(bytes), "") << name;
  }
  EXPECT_EQ(Walk(overlap, 3), 1) << "the walked part overlaps";
  EXPECT_EQ(Walk(EmptyIfdChain(tiff::kMaxChainPages)), 0);
  EXPECT_EQ(Walk(EmptyIfdChain(tiff::kMaxChainPages + 1)), 1);
}

}  // namespace
}  // namespace tarvo::test
