// TsdMakeTiff, documents grown page by page, closing, names and size; libtiff judges every file.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

class DocumentsTest : public ::testing::Test {
 protected:
  FaultPlatform platform;
  DriverContext context{platform};
  std::string Path(const char* name) { return platform.Scratch(name); }
  std::string Log() { return ReadFileBytes(platform.RootFile("scan.log")); }
};

TEST_F(DocumentsTest, MakeTiffWritesPagesThatLibtiffReads) {
  const Bytes image = TestRaster(1700, 2200, 3);
  const std::string path = Path("letter.tif");
  ASSERT_EQ(MakeTiff(context, path.c_str(), image.data(), 1700, 2200, 300, 200), Result::Ok);
  // 213 x 2200 = 468,600 image bytes at offset 8, the directory of 13 entries at 468,608.
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(std::tuple(bytes.substr(0, 4), Le32(bytes, 4), Le16(bytes, 468608), Le32(bytes, 468608 + 2 + 12 * 13), bytes.size()),
            std::tuple(std::string("II*\0", 4), 468608u, 13u, 0u, 468608u + 178u));
  EXPECT_EQ(bytes.substr(8, 468600), std::string(image.begin(), image.end()));
  const LibtiffFile tif = ReadWithLibtiff(path);
  ASSERT_EQ(tif.pages.size(), 1u) << tif.errors;
  const LibtiffPage& page = tif.pages[0];
  // Uncoded, white is zero, 1 bit, inches; no document name.
  EXPECT_EQ(std::tuple(tif.errors, page.width, page.length, page.compression, page.photometric, page.bitsPerSample,
                       page.resolutionUnit, page.documentName, page.xResolution, page.yResolution),
            std::tuple("", 1700u, 2200u, 1, 0, 1, 2, "", 300.0f, 200.0f));
  EXPECT_TRUE(page.pixels == image);
  // Impossible images are refused before any file is made.
  const std::string none = Path("none.tif");
  for (auto [data, width, length] : {std::tuple{image.data(), 0, 5}, {image.data(), 8, -1}, {nullptr, 8, 1},
                                     {image.data(), 0x7FFFFFFF, 0x7FFFFFFF}}) {
    EXPECT_EQ(MakeTiff(context, none.c_str(), data, width, length, 200, 200), Result::FileError) << width;
  }
  EXPECT_FALSE(FileExists(none));
  EXPECT_EQ(MakeTiff(context, Path("missing-folder/x.tif").c_str(), image.data(), 8, 8, 200, 200), Result::FileError);
  EXPECT_NE(Log().find("returned from line 2341 of Scan"), std::string::npos) << Log();
}

// Without a document: close gives 0, the size 4 with its box. With one the size follows it; one without pages ends
// with a zero link. A failing finish (the move or the write of the link) or close: 4, and the handle given up.
TEST_F(DocumentsTest, CloseAndSizeWithAndWithoutADocumentAndCloseFailures) {
  EXPECT_EQ(CloseDocument(context, context.state.document), Result::Ok);
  std::uint32_t size = 5;
  EXPECT_EQ(std::tuple(GetDocumentFileSize(context, context.state.document, &size), size), std::tuple(Result::FileError, 0xFFFFFFFFu));
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(std::tuple(platform.boxes[0].caption, platform.boxes[0].text.find("returned at line 3640 Scan") != std::string::npos),
            std::tuple("GetFileSize", true));
  const std::string path = Path("close.tif");
  ASSERT_EQ(CreateDocument(context, context.state.document, path.c_str(), 1, 2), Result::Ok);
  EXPECT_EQ(std::tuple(GetDocumentFileSize(context, context.state.document, &size), size), std::tuple(Result::Ok, 8u));
  EXPECT_EQ(CloseDocument(context, context.state.document), Result::Ok);
  EXPECT_EQ(ReadFileBytes(path), std::string("II*\0\0\0\0\0", 8));
  const PagePlan page{50, 20, 3, 300, "doc", "page", 1};
  for (auto [write, seek, close, site] : {std::tuple{0u, 1u, 0u, "line 2655 of Scan"}, {1u, 0u, 0u, "line 2658 of Scan"},
                                          {0u, 0u, 1u, "line 2401 of Scan"}}) {
    ASSERT_EQ(CreateDocument(context, context.state.document, path.c_str(), 1, 2), Result::Ok);
    ASSERT_EQ(AddTestPage(context, page), Result::Ok);
    platform.Arm(write, 0, seek);
    platform.failClose = close;
    EXPECT_EQ(CloseDocument(context, context.state.document), Result::FileError);
    EXPECT_TRUE(platform.failed && context.state.document.docFile == kInvalidFile && Released(platform, path)) << site;
    EXPECT_NE(Log().find(site), std::string::npos) << site;
    ExpectLibtiffPages(path, {page});  // linked when it was added
  }
}

// Names of 300 bytes (cut to 255), and none after names: libtiff finds none.
const std::string kLong = std::string(254, 'n') + "LX" + std::string(44, 'p');
const std::vector<PagePlan> kMixedPages = {
    {200, 120, 3, 300, "Annual report 2026", "cover", 1}, {123, 77, 0, 200, "Annual report 2026", "Page", 2},
    {64, 64, 3, 600, kLong.c_str(), kLong.c_str(), 3}, {301, 33, 3, 300, nullptr, nullptr, 4}};

// A write or seek failing anywhere while a document grows: 4, and a TIFF file of the complete pages; in TsdMakeTiff:
// 4 and the file released.
TEST_F(DocumentsTest, FaultsAtEveryStepLeaveTheCompletePagesReadable) {
  const std::string path = Path("faults.tif");
  const Bytes image = TestRaster(41, 10, 2);  // rows that are not whole bytes
  for (int kind = 0; kind < 4; ++kind) {  // document writes, seeks; TsdMakeTiff writes, seeks
    const bool make = kind >= 2;
    for (std::uint32_t n = 1;; ++n) {
      kind % 2 == 0 ? platform.Arm(n, 0, 0) : platform.Arm(0, 0, n);
      const Result r = make ? MakeTiff(context, path.c_str(), image.data(), 41, 10, 200, 200)
                            : WriteDocument(context, path, kMixedPages);
      if (context.state.document.docFile != kInvalidFile) {  // whatever failed, the handle is given up
        platform.FileClose(context.state.document.docFile);
        context.state.document.docFile = kInvalidFile;
      }
      if (!platform.failed) {
        ASSERT_EQ(r, Result::Ok);
        ASSERT_GT(n, 3u);
        EXPECT_TRUE(!make || ReadWithLibtiff(path).pages.at(0).pixels == image);
        if (!make) ExpectLibtiffPages(path, kMixedPages);
        break;
      }
      ASSERT_EQ(r, Result::FileError) << kind << " " << n;
      if (make) {
        EXPECT_TRUE(Released(platform, path)) << "the file stayed open after fault " << n;
        continue;
      }
      const LibtiffFile tif = ReadWithLibtiff(path);
      if (!tif.opened) {  // no whole header, or no page linked yet
        const std::string bytes = ReadFileBytes(path);
        EXPECT_TRUE(bytes.size() < 8 || Le32(bytes, 4) == 0) << n;
        continue;
      }
      ASSERT_LE(tif.pages.size(), kMixedPages.size());
      for (std::size_t i = 0; i < tif.pages.size(); ++i) {
        EXPECT_TRUE(tif.pages[i].pixels == RasterOf(kMixedPages[i])) << "fault " << n << " page " << i;
      }
    }
  }
}

}  // namespace
}  // namespace tarvo::test
