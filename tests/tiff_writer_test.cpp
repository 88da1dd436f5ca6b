// The directory writer: the IFD block byte for byte, assembled here by hand,
// the sizes and order of its writes, and a failing write.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "tiff/TiffWriter.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

std::string Long(std::uint32_t v) { return Le(v, 4); }
std::string Short(std::uint32_t v) { return Le(v, 2) + std::string(2, '\0'); }
std::string E(std::uint32_t tag, std::uint32_t type, std::uint32_t count, const std::string& v) {
  return Le(tag, 2) + Le(type, 2) + Le(count, 4) + v;
}
// Entries of a 1700 x 2200 page: up to FillOrder, and StripOffsets (8) to YResolution.
std::string Head(std::uint32_t compression) {
  return E(254, 4, 1, Long(0)) + E(256, 4, 1, Long(1700)) + E(257, 4, 1, Long(2200)) + E(258, 3, 1, Short(1)) +
         E(259, 3, 1, Short(compression)) + E(262, 3, 1, Short(0)) + E(266, 3, 1, Short(1));
}
std::string Middle(std::uint32_t stripBytes, std::uint32_t resolutionAt) {
  return E(273, 4, 1, Long(8)) + E(277, 3, 1, Short(1)) + E(279, 4, 1, Long(stripBytes)) +
         E(282, 5, 1, Long(resolutionAt)) + E(283, 5, 1, Long(resolutionAt + 8));
}

class RecordingPlatform : public FaultPlatform {
 public:
  std::vector<std::uint32_t> sizes;  // of the writes to `watched` (not the log's)
  FileHandle watched = kInvalidFile;
  bool FileWrite(FileHandle f, const void* b, std::uint32_t n, std::uint32_t* done) override {
    if (f == watched) sizes.push_back(n);
    return FaultPlatform::FileWrite(f, b, n, done);
  }
};

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
  RecordingPlatform platform;
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
      platform.sizes.clear();
      platform.watched = file;
      const int r = WriteTiffIfd(context, file, page, link, block);
      platform.FileClose(file);
      return r;
    };
    ASSERT_EQ(write(), 0);
    EXPECT_EQ(link, 2 + c.entries.size());
    EXPECT_EQ(block, std::accumulate(c.writeSizes.begin(), c.writeSizes.end(), 0u));
    EXPECT_EQ(ReadFileBytes(path).substr(ifd), Le(static_cast<std::uint32_t>(c.entries.size() / 12), 2) + c.entries +
                                                    Long(0) + Long(300) + Long(1) + Long(200) + Long(1) + c.texts);
    EXPECT_EQ(platform.sizes, c.writeSizes);
    for (std::uint32_t n = 1; n <= c.writeSizes.size(); ++n) {  // no write after a failing one
      platform.Arm(n, 0, 0);
      EXPECT_EQ(write(), -1) << "write " << n;
      EXPECT_EQ(platform.sizes.size(), n);
    }
  }
  const std::string log = ReadFileBytes(platform.RootFile("scan.log"));
  EXPECT_NE(log.find("WriteFile 112 returned from line 4110 of Tiff"), std::string::npos) << log;
}

}  // namespace
}  // namespace tarvo::test
