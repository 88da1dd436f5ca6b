// The directory writer: exact bytes of the IFD block for the entry sets and
// text placements, the order of its writes, and a failing write.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "tiff/TiffWriter.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

struct Entry {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint32_t count;
  std::string value;  // the four value bytes
};

std::string Long(std::uint32_t v) { return Le(v, 4); }
std::string Short(std::uint32_t v) { return Le(v, 2) + std::string(2, '\0'); }
std::string Inline(const std::string& text) {
  return text + std::string(4 - text.size(), '\0');
}

// The block as the layout describes it, assembled by hand.
std::string Block(const std::vector<Entry>& entries, std::uint32_t xres, std::uint32_t yres,
                  const std::string& texts) {
  std::string out = Le(static_cast<std::uint32_t>(entries.size()), 2);
  for (const Entry& e : entries) out += Le(e.tag, 2) + Le(e.type, 2) + Le(e.count, 4) + e.value;
  out += Long(0) + Long(xres) + Long(1) + Long(yres) + Long(1);
  return out + texts;
}

constexpr std::uint32_t kStrip = 8;
const std::string kSoftware("Roradiv Ver.1.111\0", 18);

struct Case {
  const char* name;
  std::uint32_t compression;
  std::uint32_t stripBytes;
  const char* documentName;
  const char* pageName;
  const char* software;
  std::uint32_t blockLength;
  std::vector<Entry> (*entries)(std::uint32_t ifd);
  std::string texts;
  std::vector<std::uint32_t> writeSizes;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// The common entries up to FillOrder and from StripOffsets to YResolution.
std::vector<Entry> Head(std::uint32_t compression) {
  return {{254, 4, 1, Long(0)},           {256, 4, 1, Long(1700)}, {257, 4, 1, Long(2200)},
          {258, 3, 1, Short(1)},          {259, 3, 1, Short(compression)},
          {262, 3, 1, Short(0)},          {266, 3, 1, Short(1)}};
}
std::vector<Entry> Middle(std::uint32_t stripBytes, std::uint32_t resolutionAt) {
  return {{273, 4, 1, Long(kStrip)},
          {277, 3, 1, Short(1)},
          {279, 4, 1, Long(stripBytes)},
          {282, 5, 1, Long(resolutionAt)},
          {283, 5, 1, Long(resolutionAt + 8)}};
}
template <typename... Parts>
std::vector<Entry> Join(Parts... parts) {
  std::vector<Entry> out;
  (out.insert(out.end(), parts.begin(), parts.end()), ...);
  return out;
}

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases{
      // 15 entries: the software text at O + 202, a block of 220 bytes.
      {"Group4SoftwareOnly", 3, 100, nullptr, nullptr, "Roradiv Ver.1.111", 220,
       [](std::uint32_t o) {
         return Join(Head(4), Middle(100, o + 186),
                     std::vector<Entry>{{293, 4, 1, Long(0)},
                                        {296, 3, 1, Short(2)},
                                        {305, 2, 18, Long(o + 202)}});
       },
       kSoftware, {202, 18}},
      // A name of 3 characters and a 1-character page name stand in their
      // entries; StripOffsets after the name stays intact.
      {"Group4InlineTexts", 3, 101, "abc", "x", "Roradiv Ver.1.111", 244,
       [](std::uint32_t o) {
         return Join(Head(4), std::vector<Entry>{{269, 2, 4, "abc" + std::string(1, '\0')}},
                     Middle(101, o + 210),
                     std::vector<Entry>{{285, 2, 2, Inline("x")},
                                        {293, 4, 1, Long(0)},
                                        {296, 3, 1, Short(2)},
                                        {305, 2, 18, Long(o + 226)}});
       },
       kSoftware, {226, 18}},
      // A name of 4 characters goes to the text area with one fill byte.
      {"Group4LongNameWithFill", 3, 64, "abcd", nullptr, "Roradiv Ver.1.111", 238,
       [](std::uint32_t o) {
         return Join(Head(4), std::vector<Entry>{{269, 2, 5, Long(o + 214)}},
                     Middle(64, o + 198),
                     std::vector<Entry>{{293, 4, 1, Long(0)},
                                        {296, 3, 1, Short(2)},
                                        {305, 2, 18, Long(o + 220)}});
       },
       std::string("abcd\0\0", 6) + kSoftware, {214, 5, 1, 18}},
      // Uncoded: 13 entries and no text entries, yet the texts follow the
      // resolution values and count in the block.
      {"UncodedWithTexts", 0, 468600, "Document One", "Page", "Roradiv Ver.1.111", 216,
       [](std::uint32_t o) {
         return Join(Head(1), Middle(468600, o + 162),
                     std::vector<Entry>{{296, 3, 1, Short(2)}});
       },
       std::string("Document One\0\0Page\0\0", 20) + kSoftware, {178, 13, 1, 5, 1, 18}},
      {"UncodedNoTexts", 0, 7, nullptr, nullptr, nullptr, 178,
       [](std::uint32_t o) {
         return Join(Head(1), Middle(7, o + 162), std::vector<Entry>{{296, 3, 1, Short(2)}});
       },
       "", {178}},
  };
  return cases;
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

class WriterTest : public ::testing::TestWithParam<Case> {
 protected:
  RecordingPlatform platform;
  DriverContext context{platform};

  // Writes the block of a 1700 x 2200 page at 300 x 200 dpi at the page's
  // IFD offset of a new file; returns the result.
  int WriteAt(const Case& c, const std::string& path, std::uint32_t& link, std::uint32_t& block) {
    const std::uint32_t ifd = kStrip + c.stripBytes;
    const PageDescription page{.width = 1700, .length = 2200, .stripBytes = c.stripBytes,
                               .compression = c.compression, .xResolution = 300,
                               .yResolution = 200, .stripOffset = kStrip, .ifdOffset = ifd,
                               .pageName = c.pageName, .software = c.software,
                               .documentName = c.documentName};
    WriteFileBytes(path, "");
    const FileHandle file = OpenExisting(platform, path);
    EXPECT_EQ(platform.FileSeek(file, static_cast<std::int32_t>(ifd), kFileBegin), ifd);
    platform.sizes.clear();
    platform.watched = file;
    const int r = WriteTiffIfd(context, file, page, link, block);
    platform.FileClose(file);
    return r;
  }
};

TEST_P(WriterTest, WritesTheBlockByteForByte) {
  const Case& c = GetParam();
  const std::string path = platform.Scratch("page.tif");
  std::uint32_t link = 0, block = 0;
  ASSERT_EQ(WriteAt(c, path, link, block), 0);
  const std::uint32_t ifd = kStrip + c.stripBytes;
  const std::vector<Entry> entries = c.entries(ifd);
  EXPECT_EQ(link, 2 + 12 * entries.size());
  EXPECT_EQ(block, c.blockLength);
  const std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), ifd + c.blockLength);
  EXPECT_EQ(bytes.substr(ifd), Block(entries, 300, 200, c.texts));
  // The fixed part in one write, then each long text, then its fill byte.
  EXPECT_EQ(platform.sizes, c.writeSizes);
}

TEST_P(WriterTest, AFailingWriteEndsTheCallWithMinusOne) {
  const Case& c = GetParam();
  for (std::uint32_t n = 1; n <= c.writeSizes.size(); ++n) {
    platform.Arm(n, 0, 0);
    std::uint32_t link = 77, block = 77;
    EXPECT_EQ(WriteAt(c, platform.Scratch("page.tif"), link, block), -1) << "write " << n;
    EXPECT_EQ(platform.sizes.size(), n) << "no write after the failing one";
  }
  // The guarded write logged the first failure under the writer's module.
  const std::string log = ReadFileBytes(platform.RootFile("scan.log"));
  EXPECT_NE(log.find("WriteFile 112 returned from line 4110 of Tiff"), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(Pages, WriterTest, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace tarvo::test
