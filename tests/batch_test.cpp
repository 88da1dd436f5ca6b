// Batches against the in-process simulator: libtiff, libjpeg and libpng judge the files,
// the simulator's own rendering (turned by a plain reference turn) the page rasters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Bus.h"
#include "scan/Batch.h"
#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/PagePipeline.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Transport.h"
#include "tiff_support.h"
#ifdef TARVO_KLXJPEG
#include "image/ExternalCodecs.h"
#include "support/ImageRead.h"
#endif

namespace tarvo {
namespace {

using test::Bytes;

std::int32_t TSD_CALL CancelAtOnce() { return 1; }

// A turn counterclockwise: destination (x, y) is source (W - 1 - y, x).
Bytes ReferenceTurn(const Bytes& src, std::uint32_t width, std::uint32_t rows) {
  const std::size_t srcStride = (width + 7) / 8, dstStride = (rows + 7) / 8;
  Bytes dst(dstStride * width, 0);
  for (std::uint32_t y = 0; y < width; ++y) {
    for (std::uint32_t x = 0; x < rows; ++x) {
      const std::uint32_t sx = width - 1 - y;
      if ((src[x * srcStride + sx / 8] >> (7 - sx % 8)) & 1) dst[y * dstStride + x / 8] |= 0x80 >> (x % 8);
    }
  }
  return dst;
}

// Rows of `width` pixels compared without the fill bits after the last pixel.
bool SameRaster(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t width, std::uint32_t rows) {
  const std::size_t stride = (width + 7) / 8;
  const auto lastMask = static_cast<std::uint8_t>(0xFF << ((8 - width % 8) % 8));
  for (std::size_t r = 0; r < rows; ++r) {
    const std::uint8_t *ra = a + r * stride, *rb = b + r * stride;
    if (std::memcmp(ra, rb, stride - 1) != 0 || ((ra[stride - 1] ^ rb[stride - 1]) & lastMask) != 0) return false;
  }
  return true;
}

// Finds the sibling libraries in the build tree under their Windows names.
class BatchPlatform : public test::FaultPlatform {
#ifdef TARVO_KLXJPEG
 public:
  bool noCodecs = false;
  LibraryHandle LibraryLoad(const char* name) override {
    if (noCodecs) return nullptr;
    if (std::string(name) == kJpegLibraryName) return FaultPlatform::LibraryLoad(TARVO_KLXJPEG);
    if (std::string(name) == kCoderLibraryName) return FaultPlatform::LibraryLoad(TARVO_RAVEZEVA);
    return FaultPlatform::LibraryLoad(name);
  }
#endif
};

class BatchTest : public ::testing::Test {
 protected:
  BatchTest() : page_(8u << 20) { Reset(); }
  void Reset() {  // a fresh driver and scanner
    context_.emplace(platform_);
    bus_.emplace();
    scanner_ = &bus_->AddScanner(0, 0);
    SetProvider(context_->transport, &*bus_);
  }
  // Probes and sets a small 200 dpi window on the sheet: line art as Group 4 TIFF unless told.
  void Prepare(std::int32_t rotate, std::int32_t compression = 3, std::int32_t imageType = 1, std::int32_t bits = 1,
               std::int32_t fileType = 1, std::int32_t width = 1000) {
    ASSERT_EQ(Probe(context_->Link()), Result::Ok);
    for (auto [id, value] : {std::pair{PAR_RESOLUTION, 200}, {PAR_SCAN_WIDTH, width}, {PAR_SCAN_LENGTH, 1400},
                             {PAR_SIDE_OFFSET, 2325 - width}, {PAR_IMAGE_TYPE, imageType}, {PAR_BITS_PER_PIXEL, bits},
                             {PAR_FILE_TYPE, fileType}, {PAR_COMPRESSION, compression}, {PAR_ROTATE, rotate}}) {
      Set(id, value);
    }
  }
  void Set(std::int32_t id, std::int32_t value) { ASSERT_EQ(ParSet(*context_, id, &value), Result::Ok) << id; }
  std::int32_t Get(std::int32_t id) {
    std::int32_t value = 0;
    EXPECT_EQ(ParGet(*context_, id, &value), Result::Ok);
    return value;
  }
  void AddPages(std::uint32_t count, std::uint64_t seed) {
    pages_.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
      sim::Page page;
      ASSERT_TRUE(sim::MakeSyntheticPage(sim::SyntheticPlan{seed, i, 200, 2100, 2970}, page));
      pages_.push_back(page);
      scanner_->AddPage(std::move(page));
    }
  }
  void Condition(std::size_t i, std::uint8_t separatorStatus, bool flagged = false) {
    sim::PageConditions c;
    std::tie(c.separatorStatus, c.flagged) = std::tuple(separatorStatus, flagged);
    ASSERT_TRUE(scanner_->SetConditions(i, c));
  }
  // The scanner's rows of bilevel page `i` with the current window, as the simulator renders them,
  // without their fill bytes.
  Bytes ScannerRaster(std::size_t i, std::uint32_t& width, std::uint32_t& rows) {
    sim::Page page = pages_[i];
    page.Materialize();
    page.TurnForFeed();
    const sim::ImageJob job = scanner_->PlanImage(page);
    Bytes rowsData(job.totalBytes);
    sim::Rt650::RenderImage(page, job, 0, rowsData);
    std::tie(width, rows) = std::tuple(job.width, job.rows);
    const std::size_t stride = (width + 7) / 8;
    Bytes raster(stride * rows);
    for (std::size_t r = 0; r < rows; ++r) std::memcpy(&raster[r * stride], &rowsData[r * job.rowBytes], stride);
    return raster;
  }
  // libtiff reads the pages of `path`, 200 dpi, pixel for pixel; the text entries come with Group 4 only.
  void ExpectDocument(const std::string& path, const std::vector<Bytes>& expected, int compression) {
    const test::LibtiffFile file = test::ReadWithLibtiff(path);
    ASSERT_EQ(file.pages.size(), expected.size()) << file.errors;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const test::LibtiffPage& p = file.pages[i];
      EXPECT_EQ(std::tuple(p.compression, p.software, p.xResolution), std::tuple(compression, compression == 4 ? "Roradiv Ver.1.111" : "", 200.0f));
      EXPECT_TRUE(SameRaster(p.pixels.data(), expected[i].data(), p.width, p.length)) << i;
    }
  }
  Result Start(const std::string& path, std::uint32_t position = 0) {
    return StartScan(*context_, path.empty() ? nullptr : path.c_str(), &position, nullptr);
  }
  Result ReadOne(CancelFunction cancel = nullptr) { return ReadPage(*context_, nullptr, page_.data(), cancel); }
  std::string Doc(const std::string& name) { return platform_.Scratch(name); }

  BatchPlatform platform_;
  std::optional<DriverContext> context_;
  std::optional<sim::Bus> bus_;
  sim::Rt650* scanner_ = nullptr;
  std::vector<sim::Page> pages_;
  std::vector<std::uint8_t> page_;
};

TEST_F(BatchTest, Group4BatchTurnedAndUnturnedMatchesTheScannerPixelForPixel) {
  for (auto [rotate, transfer] : {std::pair{0, 65536u}, {1, 4096u}}) {
    SCOPED_TRACE(rotate);
    Prepare(rotate);
    AddPages(3, 40 + transfer);
    const std::string path = Doc("g4-" + std::to_string(rotate) + ".tif");
    ASSERT_EQ(Start(path), Result::Ok);
    context_->state.scanner.maxTransferSize = transfer;
    std::vector<Bytes> expected;
    for (std::size_t i = 0; i < 3; ++i) {
      std::uint32_t width = 0, rows = 0;
      Bytes raster = ScannerRaster(i, width, rows);
      ASSERT_EQ(ReadOne(), Result::Ok) << i;
      if (rotate == 0) {
        raster = ReferenceTurn(raster, width, rows);
        std::swap(width, rows);
      }
      EXPECT_EQ(std::tuple(context_->settings.pageLength, context_->settings.pageWidth),
                std::tuple(std::int32_t(width), std::int32_t(rows)));
      EXPECT_TRUE(SameRaster(page_.data(), raster.data(), width, rows)) << i;
      EXPECT_NE(std::count(raster.begin(), raster.end(), 0), static_cast<long>(raster.size()));  // has marks
      expected.push_back(raster);
    }
    EXPECT_EQ(ReadOne(), Result::NoPaper);
    EXPECT_EQ(context_->state.document.docFile, kInvalidFile);
    ExpectDocument(path, expected, 4);
  }
}

TEST_F(BatchTest, UncodedPagesAndAppendingAndInserting) {
  Prepare(1, 0);
  AddPages(5, 7);
  const std::string path = Doc("doc.tif");
  std::vector<Bytes> rasters;
  std::uint32_t width = 0, rows = 0;
  // Two pages, two appended (the position comes back as the page count), one in front of page 1.
  for (auto [start, count] : {std::pair{0u, 2}, {kAppendPages, 2}, {1u, 1}}) {
    std::uint32_t position = start;
    ASSERT_EQ(StartScan(*context_, path.c_str(), &position, nullptr), Result::Ok);
    EXPECT_EQ(position, start == kAppendPages ? 2u : start);
    for (int n = 0; n < count; ++n) {
      rasters.insert(start == 1 ? rasters.begin() : rasters.end(), ScannerRaster(rasters.size(), width, rows));
      ASSERT_EQ(ReadOne(), Result::Ok);
    }
    ASSERT_EQ(CloseDocument(*context_, context_->state.document), Result::Ok);
  }
  ExpectDocument(path, rasters, 1);
  // A position past the page count + 1 fails and closes the file.
  EXPECT_EQ(Start(path, 7), Result::FileError);
  EXPECT_EQ(context_->state.document.docFile, kInvalidFile);
}

TEST_F(BatchTest, OutputCombinationsAreCheckedBeforeAnyCommand) {
  // Image type, bits, file type, compression.
  for (auto [type, bits, file, coding, valid] : {std::tuple{10, 1, 4, 5, true}, {4, 4, 8, 0, true}, {1, 1, 2, 4, false},
                                                  {1, 8, 1, 3, false}, {4, 8, 8, 4, false}}) {
    ScanSettings s;
    std::tie(s.imageType, s.bitsPerPixel, s.fileType, s.compression) = std::tuple(type, bits, file, coding);
    EXPECT_EQ(ValidateOutputSettings(s) == Result::Ok, valid) << type << "/" << bits << "/" << file;
  }
  EXPECT_EQ(Start(""), Result::ScannerFailure);  // not probed
  ASSERT_EQ(Probe(context_->Link()), Result::Ok);
  std::tie(context_->settings.imageType, context_->settings.bitsPerPixel, context_->settings.fileType) = std::tuple(4, 8, 1);
  const std::size_t before = bus_->Records().size();
  EXPECT_EQ(Start(Doc("x.tif")), Result::InvalidValue);
  EXPECT_EQ(bus_->Records().size(), before);
  EXPECT_FALSE(test::FileExists(Doc("x.tif")));
}

TEST_F(BatchTest, CancelEjectsFinishesTheDocumentAndSendsNoPoll) {
  Prepare(1);
  AddPages(6, 3);
  const std::string path = Doc("cancel.tif");
  ASSERT_EQ(Start(path), Result::Ok);
  ASSERT_EQ(ReadOne(), Result::Ok);
  const std::size_t before = bus_->Records().size();
  EXPECT_EQ(ReadOne(&CancelAtOnce), Result::Aborted);
  ASSERT_EQ(bus_->Records().size(), before + 1);
  EXPECT_EQ(bus_->Records().back().cdb[0], wire::kOpObjectPosition);
  EXPECT_EQ(context_->state.document.docFile, kInvalidFile);
  EXPECT_EQ(test::ReadWithLibtiff(path).pages.size(), 1u);
  // A named batch gives back the handle of a document still open; one without a name forgets it unclosed.
  for (const char* name : {"old.tif", "open.tif"}) {
    ASSERT_EQ(Start(Doc(name)), Result::Ok);
    ASSERT_EQ(ReadOne(), Result::Ok);
  }
  EXPECT_TRUE(test::Released(platform_, Doc("old.tif")));
  const FileHandle open = context_->state.document.docFile;
  ASSERT_EQ(Start(""), Result::Ok);
  EXPECT_EQ(context_->state.document.docFile, kInvalidFile);
  EXPECT_TRUE(platform_.FileClose(open)) << "the forgotten handle was closed";
  // Scanning one page, and failing to start one, leave continuous feed on.
  std::uint32_t position = 0;
  ASSERT_EQ(ScanOnePage(*context_, Doc("one.tif").c_str(), &position, page_.data()), Result::Ok);
  EXPECT_EQ(test::ReadWithLibtiff(Doc("one.tif")).pages.size(), 1u);
  EXPECT_NE(scanner_->ScanModeData(0x32)[wire::PageOffset(wire::kSmFeedByte)] & wire::kSmContinuousFeed, 0);
  context_->state.scanner.probed = 0;
  EXPECT_EQ(ScanOnePage(*context_, Doc("one.tif").c_str(), &position, page_.data()), Result::ScannerFailure);
  EXPECT_EQ(context_->settings.continuousFeed, 1);
}

TEST_F(BatchTest, SeparatorSheetsAndFlaggedPages) {
  Prepare(1);
  AddPages(3, 11);
  Condition(0, 0x83);
  Condition(2, 0, true);
  Set(PAR_JOB_SEPARATOR, 5);
  const std::string path = Doc("sep.tif");
  ASSERT_EQ(Start(path), Result::Ok);
  // The separator sheet: no image, the parameter reads 1; the next call takes its image without waiting.
  EXPECT_EQ(ReadOne(), Result::Ok);
  EXPECT_EQ(Get(PAR_SEPARATOR_DETECTED), 1);
  ASSERT_EQ(scanner_->Delivered().size(), 1u);
  EXPECT_EQ(scanner_->Delivered()[0].bytesSent, 0u);
  EXPECT_EQ(ReadOne(), Result::Ok);
  EXPECT_EQ(Get(PAR_SEPARATOR_DETECTED), 0);
  EXPECT_EQ(ReadOne(), Result::Ok);
  // The flagged page: reported once, the document finished; the next call transfers it.
  EXPECT_EQ(ReadOne(), Result::PageFlagged);
  EXPECT_EQ(context_->state.document.docFile, kInvalidFile);
  EXPECT_EQ(ReadOne(), Result::Ok);
  EXPECT_EQ(test::ReadWithLibtiff(path).pages.size(), 2u);
}

TEST_F(BatchTest, SeparatorSenseChoosesTheStatusBitsThatCount) {
  for (auto [sense, status, detected] : {std::tuple{0, 0x82, 1}, {0, 0x81, 0}, {0, 0x02, 0}, {1, 0x81, 1}, {1, 0x82, 0},
                                         {2, 0x81, 1}, {2, 0x82, 1}, {2, 0x03, 0}}) {
    Reset();
    ASSERT_EQ(Probe(context_->Link()), Result::Ok);
    ASSERT_TRUE(scanner_->AddSyntheticPages(1, 3, 200));
    Condition(0, static_cast<std::uint8_t>(status));
    context_->settings.separatorSense = sense;
    ASSERT_EQ(Start(""), Result::Ok);
    ASSERT_EQ(WaitForPage(*context_, nullptr).wait, PageWait::kReady);
    ASSERT_EQ(ReadSeparatorStatus(*context_), Result::Ok);
    EXPECT_EQ(context_->state.page.separatorDetected, detected) << sense << " " << status;
  }
}

// One failure at each command of the page loop: the batch stops, the document holds the pages stored.
TEST_F(BatchTest, AFailureAtAnyCommandOfThePageLoopLosesNoStoredPage) {
  const std::pair<std::uint8_t, int> commands[] = {  // opcode, READ data type or GET SCAN MODE page
      {wire::kOpGetScanMode, wire::kPageStatus},   {wire::kOpRead, wire::kDataStatus},
      {wire::kOpRead, wire::kDataSeparatorStatus}, {wire::kOpGetScanMode, wire::kPageAddon},
      {wire::kOpRead, wire::kDataDetectedSize},    {wire::kOpRead, wire::kDataCounters},
      {wire::kOpRead, wire::kDataImage}};
  const std::tuple<sim::FaultKind, sim::Sense, std::uint8_t> kinds[] = {
      {sim::FaultKind::kSense, sim::kSenseNotReady, 0}, {sim::FaultKind::kSense, sim::kSenseInvalidCdbField, 0},
      {sim::FaultKind::kSense, sim::kSenseUnitAttention, 0}, {sim::FaultKind::kHostAdapter, {}, aspi::kHaStatSelectionTimeout},
      {sim::FaultKind::kSrbStatus, {}, aspi::kSsAborted}};
  for (int round = 0; round < 14; ++round, Reset()) {  // each command failing at the first page and at the second
    const auto [opcode, type] = commands[round % 7];
    const auto [kind, sense, value] = kinds[round % 5];
    Prepare(round % 2);
    AddPages(3, 60 + static_cast<std::uint64_t>(round));
    Set(PAR_AUTO_SIZE, 1);
    Set(PAR_JOB_SEPARATOR, 5);
    const std::string path = Doc("matrix-" + std::to_string(round) + ".tif");
    ASSERT_EQ(Start(path), Result::Ok);
    scanner_->AddFault(sim::FaultRule{opcode, type, 1u + round / 7, 0, kind, sense, value});
    int stored = 0;
    Result r = Result::Ok;
    for (int call = 0; call < 6 && r == Result::Ok; ++call) stored += (r = ReadOne()) == Result::Ok;
    EXPECT_NE(r, Result::Ok);
    (void)CloseDocument(*context_, context_->state.document);
    EXPECT_EQ(test::ReadWithLibtiff(path).pages.size(), static_cast<std::size_t>(stored)) << round;
  }
}

TEST_F(BatchTest, CountersAndAutoSizeTurnedAndUnturned) {
  for (std::int32_t rotate : {0, 1}) {
    SCOPED_TRACE(rotate);
    Reset();
    Prepare(rotate);
    Set(PAR_AUTO_SIZE, 1);
    scanner_->SetCounters({100, 7, 4000});
    // A Letter sheet fed long edge first (2200 across); turned, an upright 1700 x 2200 page.
    sim::Page page;
    ASSERT_TRUE(sim::MakeSyntheticPage(sim::SyntheticPlan{5, 0, 200, 2159, 2794}, page));
    scanner_->AddPage(std::move(page));
    ASSERT_EQ(Start(""), Result::Ok);
    ASSERT_EQ(ReadOne(), Result::Ok);
    EXPECT_GT(scanner_->Counters()[0], 100u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(std::uint32_t(Get(PAR_COUNTER_1 + i)), scanner_->Counters()[i]) << i;
    EXPECT_NEAR(Get(PAR_PAGE_LENGTH), rotate == 0 ? 1700 : 2200, 2);
    EXPECT_NEAR(Get(PAR_PAGE_WIDTH), rotate == 0 ? 2200 : 1700, 2);
  }
}

TEST_F(BatchTest, HostsWithTheirOwnGeometryGetTheWindowFromThePageSizeTable) {
  EXPECT_FALSE(HostHasOwnGeometry("Pagewell.exe2"));
  platform_.hostPath = "C:\\Apps\\PAGEWELL.EXE";  // names compare without case
  ASSERT_EQ(Probe(context_->Link()), Result::Ok);
  Set(PAR_RESOLUTION, 300);
  Set(PAR_FRAME_AREA, 0);
  // A length the parameter would round to 32 rows: set in the record and pushed.
  std::tie(context_->settings.scanLength, context_->settings.scanWidth, context_->settings.sideOffset) = std::tuple(2480, 3488, 40);
  ASSERT_EQ(PushWindow(context_->Link()), Result::Ok);
  AddPages(1, 1);
  ASSERT_EQ(Start(""), Result::Ok);
  EXPECT_EQ(std::tuple(context_->settings.pageSizeIndex, context_->settings.topOffset, context_->settings.sideOffset),
            std::tuple(6, (5136 - 2480) / 2, 0));
}

TEST(PagePipelineRows, GrayLevelsWidenToEightBits) {
  const std::uint8_t packed[] = {0xE4, 0xF1};  // two bits: 3 2 1 0; four bits: 15 1
  std::uint8_t out[4] = {};
  ExpandGrayRow(out, packed, 4, 2);
  EXPECT_EQ(Bytes(out, out + 4), (Bytes{255, 170, 85, 0}));
  ExpandGrayRow(out, packed + 1, 2, 4);
  EXPECT_EQ(Bytes(out, out + 2), (Bytes{255, 17}));
}

#ifdef TARVO_KLXJPEG
// Pages outside TIFF documents, 803 pixels wide (not a multiple of 8), turned: the width is cut to whole bytes.
TEST_F(BatchTest, GrayJpegAndBilevelPngHaveTheWidthCutToWholeBytes) {
  for (auto [type, bits, fileType, coding, name] : {std::tuple{4, 8, 2, 4, "page.jpg"}, {1, 1, 4, 5, "page.png"}}) {
    Prepare(1, coding, type, bits, fileType, 803);
    AddPages(1, 77);
    ASSERT_EQ(Start(""), Result::Ok);
    ASSERT_EQ(ReadPage(*context_, Doc(name).c_str(), page_.data(), nullptr), Result::Ok);
    const test::Gray g = type == 4 ? test::ReadJpegGray(Doc(name)) : test::ReadPngGray(Doc(name));
    EXPECT_EQ(std::tuple(g.width, g.height), std::tuple(800u, unsigned(context_->settings.pageWidth))) << name;
  }
  EXPECT_EQ(test::ReadJpegGray(Doc("page.jpg")).header, (std::vector<unsigned>{1, 1, 200, 200}));
  EXPECT_EQ(test::ReadFileBytes(Doc("page.png")).at(24), 1) << "bit depth";
  platform_.noCodecs = true;  // without the sibling library the page fails and the batch goes on
  ASSERT_TRUE(scanner_->AddSyntheticPages(2, 5, 200));
  EXPECT_EQ(ReadPage(*context_, Doc("x.png").c_str(), page_.data(), nullptr), Result::FileError);
  std::tie(context_->settings.fileType, context_->settings.compression) = std::tuple(8, 0);
  EXPECT_EQ(ReadPage(*context_, Doc("x.bmp").c_str(), page_.data(), nullptr), Result::Ok);
}
#endif

}  // namespace
}  // namespace tarvo
