// The open document and the names: TsdMakeTiff, documents grown page by page
// with the page-adding operation, finishing and closing, the file size, and
// every file judged by libtiff.
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
};

// ---- TsdMakeTiff ------------------------------------------------------------------

TEST_F(DocumentsTest, MakeTiffWritesALetterPageThatLibtiffReads) {
  const Bytes image = TestRaster(1700, 2200, 3);
  const std::string path = Path("letter.tif");
  ASSERT_EQ(MakeTiff(context, path.c_str(), image.data(), 1700, 2200, 300, 200), Result::Ok);

  // 213 x 2200 = 468,600 image bytes at offset 8, the directory at 468,608.
  const std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.substr(0, 4), std::string("II*\0", 4));
  EXPECT_EQ(Le32(bytes, 4), 468608u);
  EXPECT_EQ(bytes.substr(8, 468600), std::string(image.begin(), image.end()));
  EXPECT_EQ(Le16(bytes, 468608), 13u);
  EXPECT_EQ(Le32(bytes, 468608 + 2 + 12 * 13), 0u) << "the directory's next link";
  EXPECT_EQ(bytes.size(), 468608u + 178u);
  EXPECT_EQ(context.state.pageImageBytes, 468600u);
  EXPECT_EQ(context.state.docLinkPos, 468608u + 158u);
  EXPECT_EQ(context.state.docDataPos, 468608u + 178u);
  EXPECT_EQ(context.state.docFile, kInvalidFile) << "TsdMakeTiff opens no document";

  const LibtiffFile tif = ReadWithLibtiff(path);
  ASSERT_TRUE(tif.opened) << tif.errors;
  EXPECT_TRUE(tif.errors.empty()) << tif.errors;
  ASSERT_EQ(tif.pages.size(), 1u);
  const LibtiffPage& page = tif.pages[0];
  // Uncoded, white is zero, 1 bit, inches; no document name.
  EXPECT_EQ(std::tuple(page.width, page.length, page.compression, page.photometric,
                       page.bitsPerSample, page.resolutionUnit, page.documentName),
            std::tuple(1700u, 2200u, 1, 0, 1, 2, ""));
  EXPECT_FLOAT_EQ(page.xResolution, 300.0f);
  EXPECT_FLOAT_EQ(page.yResolution, 200.0f);
  EXPECT_TRUE(page.pixels == image) << "pixels differ";
}

TEST_F(DocumentsTest, MakeTiffWidthsThatAreNotWholeBytes) {
  for (std::int32_t width : {1, 7, 9, 15, 17}) {
    const Bytes image = TestRaster(static_cast<std::uint32_t>(width), 5, 1);
    const std::string path = Path("narrow.tif");
    ASSERT_EQ(MakeTiff(context, path.c_str(), image.data(), width, 5, 200, 200), Result::Ok);
    EXPECT_EQ(Le32(ReadFileBytes(path), 4), 8 + static_cast<std::uint32_t>(width + 7) / 8 * 5);
    const LibtiffFile tif = ReadWithLibtiff(path);
    ASSERT_EQ(tif.pages.size(), 1u) << tif.errors;
    EXPECT_TRUE(tif.pages[0].pixels == image) << "width " << width;
  }
}

TEST_F(DocumentsTest, MakeTiffRefusesImpossibleImages) {
  const Bytes image(16, 0);
  const std::string path = Path("none.tif");
  struct Case {
    const std::uint8_t* data;
    std::int32_t width, length;
  };
  for (const Case& c : {Case{image.data(), 0, 5}, Case{image.data(), 8, -1}, Case{nullptr, 8, 1},
                        Case{image.data(), 0x7FFFFFFF, 0x7FFFFFFF}}) {
    EXPECT_EQ(MakeTiff(context, path.c_str(), c.data, c.width, c.length, 200, 200),
              Result::FileError)
        << c.width << "x" << c.length;
  }
  EXPECT_FALSE(FileExists(path));
}

// Every write and seek of TsdMakeTiff failing in turn gives 4 and leaves the
// file closed (it can be opened without sharing again); so does a file that
// cannot be created.
TEST_F(DocumentsTest, MakeTiffFailuresGiveFourAndReleaseTheFile) {
  const Bytes image = TestRaster(40, 10, 2);
  const std::string path = Path("fail.tif");
  struct Fault {
    std::uint32_t write;
    std::uint32_t seek;
  };
  // Writes: header, image, IFD block, directory offset, zero link.
  // Seeks: offset 4, data position, link.
  for (const Fault f : {Fault{1, 0}, Fault{2, 0}, Fault{3, 0}, Fault{4, 0}, Fault{5, 0},
                        Fault{0, 1}, Fault{0, 2}, Fault{0, 3}}) {
    platform.Arm(f.write, 0, f.seek);
    EXPECT_EQ(MakeTiff(context, path.c_str(), image.data(), 40, 10, 200, 200), Result::FileError)
        << "write " << f.write << " seek " << f.seek;
    EXPECT_TRUE(platform.failed);
    EXPECT_TRUE(Released(platform, path)) << "the file stayed open";
  }
  platform.Arm(6, 0, 4);
  EXPECT_EQ(MakeTiff(context, path.c_str(), image.data(), 40, 10, 200, 200), Result::Ok);
  EXPECT_FALSE(platform.failed);
  // A file that cannot be created is logged at its call site.
  platform.Arm(0, 0, 0);
  EXPECT_EQ(MakeTiff(context, Path("missing-folder/x.tif").c_str(), image.data(), 8, 8, 200, 200),
            Result::FileError);
  const std::string log = ReadFileBytes(platform.RootFile("scan.log"));
  EXPECT_NE(log.find("returned from line 2341 of Scan"), std::string::npos) << log;
}

// ---- names ---------------------------------------------------------------------------

TEST_F(DocumentsTest, NamesAreCopiedAndCutTo255Bytes) {
  std::string longName(300, 'n');
  longName[254] = 'L';
  SetDocumentName(context, longName.c_str());
  ASSERT_NE(context.settings.docName, nullptr);
  EXPECT_EQ(std::string(context.settings.docName), longName.substr(0, 255));
  longName[0] = 'X';  // the host's text may change afterwards
  EXPECT_EQ(context.settings.docName[0], 'n');

  SetPageName(context, "page one");
  EXPECT_STREQ(context.settings.pageName, "page one");
  std::string kept = longName.substr(0, 255);
  kept[0] = 'n';  // the copy made before the host changed its text
  EXPECT_STREQ(context.settings.docName, kept.c_str());
  SetDocumentName(context, nullptr);
  SetPageName(context, nullptr);
  EXPECT_EQ(context.settings.docName, nullptr);
  EXPECT_EQ(context.settings.pageName, nullptr);
}

// ---- close and size ----------------------------------------------------------------

TEST_F(DocumentsTest, CloseAndSizeWithAndWithoutADocument) {
  // Without one: close gives 0, the size 4 with its box.
  EXPECT_EQ(CloseDocument(context), Result::Ok);
  std::uint32_t size = 5;
  EXPECT_EQ(GetDocumentFileSize(context, &size), Result::FileError);
  EXPECT_EQ(size, 0xFFFFFFFFu);
  ASSERT_EQ(platform.boxes.size(), 1u) << "shown whatever the message switch says";
  EXPECT_EQ(platform.boxes[0].caption, "GetFileSize");
  EXPECT_NE(platform.boxes[0].text.find("returned at line 3640 Scan"), std::string::npos);

  // With a document open the size follows it.
  const std::string path = Path("size.tif");
  ASSERT_EQ(CreateDocument(context, path.c_str(), 1, 2), Result::Ok);
  EXPECT_EQ(GetDocumentFileSize(context, &size), Result::Ok);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(CloseDocument(context), Result::Ok);
  EXPECT_EQ(context.state.docFile, kInvalidFile);
  // A document without pages: the header's link finished with 0.
  EXPECT_EQ(ReadFileBytes(path), std::string("II*\0\0\0\0\0", 8));
}

// TsdCloseFile: a failing finish (the move or the write of the link) or a
// failing close gives 4, and the handle is given up in every case.
TEST_F(DocumentsTest, CloseFailuresGiveFourAndForgetTheDocument) {
  const std::string path = Path("close.tif");
  const PagePlan page{50, 20, 3, 300, "doc", "page", 1};
  struct Fault {
    const char* what;
    std::uint32_t write, seek, close;
  };
  for (const Fault f : {Fault{"move to the link", 0, 1, 0}, Fault{"write the link", 1, 0, 0},
                        Fault{"close", 0, 0, 1}}) {
    ASSERT_EQ(CreateDocument(context, path.c_str(), 1, 2), Result::Ok);
    ASSERT_EQ(AddTestPage(context, page), Result::Ok);
    platform.Arm(f.write, 0, f.seek);
    platform.failClose = f.close;
    EXPECT_EQ(CloseDocument(context), Result::FileError) << f.what;
    EXPECT_TRUE(platform.failed) << f.what;
    EXPECT_EQ(context.state.docFile, kInvalidFile) << f.what;
    EXPECT_TRUE(Released(platform, path)) << f.what << ": the file stayed open";
    // The page was linked when it was added: the document stays readable.
    ExpectLibtiffPages(path, {page});
    platform.Arm(0, 0, 0);
  }
  const std::string log = ReadFileBytes(platform.RootFile("scan.log"));
  for (const char* site : {"line 2655 of Scan", "line 2658 of Scan", "line 2401 of Scan"}) {
    EXPECT_NE(log.find(site), std::string::npos) << site;
  }
}

// ---- documents grown page by page -----------------------------------------------------

std::vector<PagePlan> MixedPages() {
  return {
      {200, 120, 3, 300, "Annual report 2026", "cover", 1},
      {123, 77, 0, 200, "Annual report 2026", "Page", 2},
      {64, 64, 3, 600, "abc", "x", 3},
      {301, 33, 3, 300, nullptr, nullptr, 4},
  };
}

TEST_F(DocumentsTest, TheDocumentIsCompleteAfterEveryPage) {
  const std::string path = Path("growing.tif");
  std::vector<PagePlan> pages = MixedPages();
  ASSERT_EQ(CreateDocument(context, path.c_str(), 1, 2), Result::Ok);
  std::vector<PagePlan> done;
  for (const PagePlan& plan : pages) {
    ASSERT_EQ(AddTestPage(context, plan), Result::Ok);
    EXPECT_EQ(context.state.docDataPos, ReadFileBytes(path).size()) << "the next data position";
    done.push_back(plan);
    // The new page's next link holds 0: readable as it stands (shared read).
    ExpectLibtiffPages(path, done);
  }
  ASSERT_EQ(CloseDocument(context), Result::Ok);
  ExpectLibtiffPages(path, pages);
}

// A write or seek failing anywhere while a document grows: the operation
// gives 4, and the file stays a TIFF file of its complete pages.
TEST_F(DocumentsTest, FaultsAtEveryStepLeaveTheCompletePagesReadable) {
  const std::vector<PagePlan> pages = MixedPages();
  const std::string path = Path("faults.tif");
  for (int kind = 0; kind < 2; ++kind) {
    for (std::uint32_t n = 1;; ++n) {
      kind == 0 ? platform.Arm(n, 0, 0) : platform.Arm(0, 0, n);
      const Result r = WriteDocument(context, path, pages);
      // Whatever failed, the handle is given up.
      if (context.state.docFile != kInvalidFile) {
        platform.FileClose(context.state.docFile);
        context.state.docFile = kInvalidFile;
      }
      if (!platform.failed) {
        ASSERT_EQ(r, Result::Ok);
        ExpectLibtiffPages(path, pages);
        break;
      }
      ASSERT_EQ(r, Result::FileError) << (kind == 0 ? "write " : "seek ") << n;
      if (!FileExists(path)) continue;
      const LibtiffFile tif = ReadWithLibtiff(path);
      if (!tif.opened) {
        // libtiff opens no file without pages: no whole header, or no page
        // linked yet.
        const std::string bytes = ReadFileBytes(path);
        EXPECT_TRUE(bytes.size() < 8 || Le32(bytes, 4) == 0) << n;
        continue;
      }
      ASSERT_LE(tif.pages.size(), pages.size());
      for (std::size_t i = 0; i < tif.pages.size(); ++i) {
        EXPECT_TRUE(tif.pages[i].pixels == RasterOf(pages[i])) << "fault " << n << " page " << i;
      }
    }
  }
}

}  // namespace
}  // namespace tarvo::test
