// The directory writer: the IFD block byte for byte, assembled here by hand,
// the sizes and order of its writes, and a failing write.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "tiff/TiffWriter.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

constexpr std::uint32_t kStrip = 8;
const std::string kSoftware("Roradiv Ver.1.111\0", 18);

std::string Long(std::uint32_t v) { return Le(v, 4); }
std::string Short(std::uint32_t v) { return Le(v, 2) + std::string(2, '\0'); }
std::string E(std::uint32_t tag, std::uint32_t type, std::uint32_t count, const std::string& v) {
  return Le(tag, 2) + Le(type, 2) + Le(count, 4) + v;
}
// Entries of a 1700 x 2200 page: up to FillOrder, and StripOffsets to YResolution.
std::string Head(std::uint32_t compression) {
  return E(254, 4, 1, Long(0)) + E(256, 4, 1, Long(1700)) + E(257, 4, 1, Long(2200)) +
         E(258, 3, 1, Short(1)) + E(259, 3, 1, Short(compression)) + E(262, 3, 1, Short(0)) +
         E(266, 3, 1, Short(1));
}
std::string Middle(std::uint32_t stripBytes, std::uint32_t resolutionAt) {
  return E(273, 4, 1, Long(kStrip)) + E(277, 3, 1, Short(1)) + E(279, 4, 1, Long(stripBytes)) +
         E(282, 5, 1, Long(resolutionAt)) + E(283, 5, 1, Long(resolutionAt + 8));
}
std::string Group4Tail(std::uint32_t softwareAt) {
  return E(293, 4, 1, Long(0)) + E(296, 3, 1, Short(2)) + E(305, 2, 18, Long(softwareAt));
}

struct Case {
  const char* name;
  std::uint32_t compression, stripBytes;
  const char *documentName, *pageName, *software;
  std::uint32_t blockLength;
  std::string (*entries)(std::uint32_t ifd);
  std::string texts;  // after the resolution values
  std::vector<std::uint32_t> writeSizes;
};

const Case kCases[] = {
    // Names of 3 and 1 characters stand in their entries; 16 entries.
    {"Group4InlineTexts", 3, 101, "abc", "x", "Roradiv Ver.1.111", 244,
     [](std::uint32_t o) {
       return Head(4) + E(269, 2, 4, std::string("abc\0", 4)) + Middle(101, o + 210) +
              E(285, 2, 2, std::string("x\0\0\0", 4)) + Group4Tail(o + 226);
     },
     kSoftware, {226, 18}},
    // A name of 4 characters goes to the text area with one fill byte.
    {"Group4LongNameWithFill", 3, 64, "abcd", nullptr, "Roradiv Ver.1.111", 238,
     [](std::uint32_t o) {
       return Head(4) + E(269, 2, 5, Long(o + 214)) + Middle(64, o + 198) + Group4Tail(o + 220);
     },
     std::string("abcd\0\0", 6) + kSoftware, {214, 5, 1, 18}},
    // Uncoded: 13 entries and no text entries, yet the texts follow the
    // resolution values and count in the block.
    {"UncodedWithTexts", 0, 468600, "Document One", "Page", "Roradiv Ver.1.111", 216,
     [](std::uint32_t o) { return Head(1) + Middle(468600, o + 162) + E(296, 3, 1, Short(2)); },
     std::string("Document One\0\0Page\0\0", 20) + kSoftware, {178, 13, 1, 5, 1, 18}},
};

class RecordingPlatform : public FaultPlatform {
 public:
  std::vector<std::uint32_t> sizes;  // of the writes to `watched` (not the log's)
  FileHandle watched = kInvalidFile;
  bool FileWrite(FileHandle f, const void* b, std::uint32_t n, std::uint32_t* done) override {
    if (f == watched) sizes.push_back(n);
    return FaultPlatform::FileWrite(f, b, n, done);
  }
};

class WriterTest : public ::testing::TestWithParam<Case> {
 protected:
  RecordingPlatform platform;
  DriverContext context{platform};
  const std::string path = platform.Scratch("page.tif");

  // Writes the block of the page at 300 x 200 dpi at its IFD offset in a new file.
  Result Write(const Case& c, std::uint32_t& link, std::uint32_t& block) {
    const std::uint32_t ifd = kStrip + c.stripBytes;
    const PageDescription page{.width = 1700, .length = 2200, .stripBytes = c.stripBytes,
                               .compression = static_cast<Compression>(c.compression), .xResolution = 300,
                               .yResolution = 200, .stripOffset = kStrip, .ifdOffset = ifd,
                               .pageName = c.pageName, .software = c.software,
                               .documentName = c.documentName};
    WriteFileBytes(path, "");
    const FileHandle file = OpenExisting(platform, path);
    EXPECT_EQ(platform.FileSeek(file, static_cast<std::int32_t>(ifd), kFileBegin), ifd);
    platform.sizes.clear();
    platform.watched = file;
    const Result r = WriteTiffIfd(context, file, page, link, block);
    platform.FileClose(file);
    return r;
  }
};

TEST_P(WriterTest, WritesTheBlockByteForByteAndStopsAtAFailingWrite) {
  const Case& c = GetParam();
  std::uint32_t link = 0, block = 0;
  ASSERT_EQ(Write(c, link, block), Result::Ok);
  const std::uint32_t ifd = kStrip + c.stripBytes;
  const std::string entries = c.entries(ifd);
  EXPECT_EQ(link, 2 + entries.size());
  EXPECT_EQ(block, c.blockLength);
  const std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), ifd + c.blockLength);
  EXPECT_EQ(bytes.substr(ifd), Le(static_cast<std::uint32_t>(entries.size() / 12), 2) + entries +
                                   Long(0) + Long(300) + Long(1) + Long(200) + Long(1) + c.texts);
  EXPECT_EQ(platform.sizes, c.writeSizes);
  // A failing write ends the call with -1.
  for (std::uint32_t n = 1; n <= c.writeSizes.size(); ++n) {
    platform.Arm(n, 0, 0);
    EXPECT_EQ(Write(c, link, block), Result::FileError) << "write " << n;
    EXPECT_EQ(platform.sizes.size(), n) << "no write after the failing one";
  }
  const std::string log = ReadFileBytes(platform.RootFile("scan.log"));
  EXPECT_NE(log.find("WriteFile 112 returned from line 4110 of Tiff"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Pages, WriterTest, ::testing::ValuesIn(kCases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tarvo::test
