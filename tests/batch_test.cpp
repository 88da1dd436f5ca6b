// Batches end to end against the in-process simulator: start, pages, the
// page pipeline, the documents they grow, and the conditions a page can meet.
// libtiff judges every document; the simulator's own rendering of each page,
// turned by a plain reference turn, judges the page rasters.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "Bus.h"
#include "scan/PagePipeline.h"
#include "scan/Batch.h"
#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Transport.h"
#include "tiff_support.h"

namespace tarvo {
namespace {

using test::Bytes;

constexpr std::size_t kPageBufferBytes = 8u << 20;

std::int32_t TSD_CALL CancelAtOnce() { return 1; }

// A turn counterclockwise, one pixel at a time: destination (x, y) is source
// (W - 1 - y, x).
Bytes ReferenceTurn(const Bytes& src, std::uint32_t width, std::uint32_t rows) {
  const std::size_t srcStride = (width + 7) / 8;
  const std::size_t dstStride = (rows + 7) / 8;
  Bytes dst(dstStride * width, 0);
  for (std::uint32_t y = 0; y < width; ++y) {
    for (std::uint32_t x = 0; x < rows; ++x) {
      const std::uint32_t sx = width - 1 - y;
      const bool black = (src[x * srcStride + sx / 8] >> (7 - sx % 8)) & 1;
      if (black) dst[y * dstStride + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
  }
  return dst;
}

// Rows of `width` pixels compared without the fill bits after the last pixel.
bool SameRaster(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t width,
                std::uint32_t rows) {
  const std::size_t stride = (width + 7) / 8;
  const std::uint8_t lastMask = static_cast<std::uint8_t>(0xFF << ((8 - width % 8) % 8));
  for (std::uint32_t r = 0; r < rows; ++r) {
    const std::uint8_t* ra = a + r * stride;
    const std::uint8_t* rb = b + r * stride;
    if (stride > 1 && std::memcmp(ra, rb, stride - 1) != 0) return false;
    if (stride > 0 && ((ra[stride - 1] ^ rb[stride - 1]) & lastMask) != 0) return false;
  }
  return true;
}

class BatchTest : public ::testing::Test {
 protected:
  BatchTest() : page_(kPageBufferBytes) {
    scanner_ = &bus_.AddScanner(0, 0);
    SetProvider(context_.transport, &bus_);
  }

  // Probes and sets a small 200 dpi line-art window with the given output.
  void Prepare(std::int32_t fileType, std::int32_t compression, std::int32_t rotate) {
    ASSERT_EQ(Probe(context_), Result::Ok);
    Set(PAR_RESOLUTION, 200);
    Set(PAR_SCAN_WIDTH, 1000);
    Set(PAR_SCAN_LENGTH, 1400);
    Set(PAR_SIDE_OFFSET, 2325 - 1000);  // upper left X 0: the window lies on the sheet
    Set(PAR_IMAGE_TYPE, 1);
    Set(PAR_FILE_TYPE, fileType);
    Set(PAR_COMPRESSION, compression);
    Set(PAR_ROTATE, rotate);
  }
  void Set(std::int32_t id, std::int32_t value) {
    ASSERT_EQ(ParSet(context_, id, &value), Result::Ok) << "parameter " << id;
  }
  std::int32_t Get(std::int32_t id) {
    std::int32_t value = 0;
    EXPECT_EQ(ParGet(context_, id, &value), Result::Ok);
    return value;
  }
  // The synthetic pages the scanner will get, kept to render them again.
  void AddPages(std::uint32_t count, std::uint64_t seed) {
    for (std::uint32_t i = 0; i < count; ++i) {
      sim::Page page;
      ASSERT_TRUE(sim::MakeSyntheticPage(sim::SyntheticPlan{seed, i, 200, 2100, 2970}, page));
      pages_.push_back(page);
      scanner_->AddPage(std::move(page));
    }
  }
  // The bilevel raster the scanner delivers for page `i` with the current window.
  Bytes ScannerRaster(std::size_t i, std::uint32_t& width, std::uint32_t& rows) {
    sim::Page page = pages_[i];
    page.Materialize();
    page.TurnForFeed();
    const sim::ImageJob job = scanner_->PlanImage(page);
    Bytes rowsData(job.totalBytes);
    sim::Rt650::RenderImage(page, job, 0, rowsData);
    width = job.width;
    rows = job.rows;
    const std::size_t stride = (width + 7) / 8;
    Bytes raster(stride * rows);
    for (std::uint32_t r = 0; r < rows; ++r) {
      std::memcpy(raster.data() + r * stride, rowsData.data() + r * job.rowBytes, stride);
    }
    return raster;
  }
  // Starts a batch into `path` (empty: no document) at position 0.
  void Start(const std::string& path) {
    std::uint32_t position = 0;
    ASSERT_EQ(StartScan(context_, path.empty() ? nullptr : path.c_str(), &position, nullptr),
              Result::Ok);
  }
  Result ReadOne(const char* name = nullptr, CancelFunction cancel = nullptr) {
    return ReadPage(context_, name, page_.data(), cancel);
  }
  std::string Doc(const std::string& name) { return platform_.Scratch(name); }

  test::FaultPlatform platform_;
  DriverContext context_{platform_};
  sim::Bus bus_;
  sim::Rt650* scanner_ = nullptr;
  std::vector<sim::Page> pages_;
  std::vector<std::uint8_t> page_;
};

TEST_F(BatchTest, Group4BatchTurnedAndUnturnedMatchesTheScannerPixelForPixel) {
  struct Case {
    std::int32_t rotate;
    std::uint32_t transfer;  // bytes of one image READ
  };
  for (Case c : {Case{0, 16384}, Case{1, 32768}, Case{1, 4096}, Case{0, 65536}}) {
    const std::int32_t rotate = c.rotate;
    SCOPED_TRACE(std::to_string(rotate) + " " + std::to_string(c.transfer));
    pages_.clear();
    Prepare(1, 3, rotate);
    AddPages(3, 40 + c.transfer);
    const std::string path = Doc("g4-" + std::to_string(rotate) + "-" +
                                 std::to_string(c.transfer) + ".tif");
    Start(path);
    context_.state.maxTransferSize = c.transfer;
    std::vector<Bytes> expected;
    for (std::size_t i = 0; i < 3; ++i) {
      std::uint32_t width = 0;
      std::uint32_t rows = 0;
      Bytes raster = ScannerRaster(i, width, rows);
      ASSERT_EQ(ReadOne(), Result::Ok) << "page " << i;
      if (rotate == 0) {
        raster = ReferenceTurn(raster, width, rows);
        std::swap(width, rows);
      }
      EXPECT_EQ(context_.settings.pageLength, static_cast<std::int32_t>(width));
      EXPECT_EQ(context_.settings.pageWidth, static_cast<std::int32_t>(rows));
      EXPECT_TRUE(SameRaster(page_.data(), raster.data(), width, rows)) << "page " << i;
      // The window lies on the sheet: the page has marks to compare.
      EXPECT_NE(std::count(raster.begin(), raster.end(), 0), static_cast<long>(raster.size()));
      expected.push_back(raster);
      // After every page the document is a whole TIFF of its complete pages.
      EXPECT_EQ(test::ReadWithLibtiff(path).pages.size(), i + 1);
    }
    EXPECT_EQ(ReadOne(), Result::NoPaper);
    EXPECT_EQ(context_.state.docFile, kInvalidFile);

    const test::LibtiffFile file = test::ReadWithLibtiff(path);
    ASSERT_TRUE(file.opened) << file.errors;
    ASSERT_EQ(file.pages.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      const test::LibtiffPage& p = file.pages[i];
      EXPECT_EQ(p.compression, 4);  // CCITT T.6
      EXPECT_EQ(p.software, "Roradiv Ver.1.111");
      EXPECT_FLOAT_EQ(p.xResolution, 200.0f);
      EXPECT_TRUE(SameRaster(p.pixels.data(), expected[i].data(), p.width, p.length)) << i;
    }
  }
}

TEST_F(BatchTest, UncodedPagesAndAppendingAndInserting) {
  Prepare(1, 0, 1);
  AddPages(5, 7);
  const std::string path = Doc("doc.tif");
  std::uint32_t position = 0;
  ASSERT_EQ(StartScan(context_, path.c_str(), &position, nullptr), Result::Ok);
  std::vector<Bytes> rasters;
  std::uint32_t width = 0;
  std::uint32_t rows = 0;
  for (int i = 0; i < 2; ++i) {
    rasters.push_back(ScannerRaster(static_cast<std::size_t>(i), width, rows));
    ASSERT_EQ(ReadOne(), Result::Ok);
  }
  ASSERT_EQ(CloseDocument(context_), Result::Ok);
  ASSERT_EQ(StopScan(context_), Result::Ok);

  // Append two pages: the position comes back as the page count.
  position = kAppendPages;
  std::uint32_t hint = 99;
  ASSERT_EQ(StartScan(context_, path.c_str(), &position, &hint), Result::Ok);
  EXPECT_EQ(position, 2u);
  for (int i = 2; i < 4; ++i) {
    rasters.push_back(ScannerRaster(static_cast<std::size_t>(i), width, rows));
    ASSERT_EQ(ReadOne(), Result::Ok);
  }
  ASSERT_EQ(CloseDocument(context_), Result::Ok);

  // Insert one page in front of page 1.
  position = 1;
  ASSERT_EQ(StartScan(context_, path.c_str(), &position, &hint), Result::Ok);
  rasters.insert(rasters.begin(), ScannerRaster(4, width, rows));
  ASSERT_EQ(ReadOne(), Result::Ok);
  ASSERT_EQ(CloseDocument(context_), Result::Ok);

  const test::LibtiffFile file = test::ReadWithLibtiff(path);
  ASSERT_TRUE(file.opened) << file.errors;
  ASSERT_EQ(file.pages.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(file.pages[i].compression, 1);
    EXPECT_TRUE(SameRaster(file.pages[i].pixels.data(), rasters[i].data(), width, rows)) << i;
  }

  // A position past the page count + 1 fails and closes the file.
  position = 7;
  EXPECT_EQ(StartScan(context_, path.c_str(), &position, &hint), Result::FileError);
  EXPECT_EQ(context_.state.docFile, kInvalidFile);
}

TEST_F(BatchTest, OutputCombinationsAreCheckedBeforeAnyCommand) {
  ASSERT_EQ(Probe(context_), Result::Ok);
  struct Case {
    std::int32_t imageType, bits, fileType, compression;
    bool valid;
  };
  const Case cases[] = {
      {1, 1, 1, 3, true},  {9, 1, 1, 0, true},  {10, 1, 4, 5, true}, {1, 1, 8, 0, true},
      {4, 8, 2, 4, true},  {4, 2, 4, 5, true},  {4, 4, 8, 0, true},  {4, 8, 1, 3, false},
      {1, 1, 1, 4, false}, {1, 1, 2, 4, false}, {4, 1, 2, 4, false}, {1, 8, 1, 3, false},
      {1, 1, 8, 3, false}, {4, 8, 8, 4, false},
  };
  for (const Case& c : cases) {
    ScanSettings s;
    s.imageType = c.imageType;
    s.bitsPerPixel = c.bits;
    s.fileType = c.fileType;
    s.compression = c.compression;
    EXPECT_EQ(ValidateOutputSettings(s) == Result::Ok, c.valid)
        << c.imageType << "/" << c.bits << "/" << c.fileType << "/" << c.compression;
  }
  context_.settings.imageType = 4;
  context_.settings.bitsPerPixel = 8;
  context_.settings.fileType = 1;
  const std::size_t before = bus_.Records().size();
  std::uint32_t position = 0;
  EXPECT_EQ(StartScan(context_, Doc("x.tif").c_str(), &position, nullptr), Result::InvalidValue);
  EXPECT_EQ(bus_.Records().size(), before);
  EXPECT_FALSE(test::FileExists(Doc("x.tif")));

  DriverContext unprobed(platform_);
  EXPECT_EQ(StartScan(unprobed, nullptr, &position, nullptr), Result::ScannerFailure);
}

TEST_F(BatchTest, CancelEjectsFinishesTheDocumentAndSendsNoPoll) {
  Prepare(1, 3, 1);
  AddPages(2, 3);
  const std::string path = Doc("cancel.tif");
  Start(path);
  ASSERT_EQ(ReadOne(), Result::Ok);
  const std::size_t before = bus_.Records().size();
  EXPECT_EQ(ReadOne(nullptr, &CancelAtOnce), Result::Aborted);
  const auto& records = bus_.Records();
  ASSERT_EQ(records.size(), before + 1);
  EXPECT_EQ(records.back().cdb[0], wire::kOpObjectPosition);
  EXPECT_EQ(context_.state.docFile, kInvalidFile);
  EXPECT_EQ(test::ReadWithLibtiff(path).pages.size(), 1u);
}

TEST_F(BatchTest, ABatchWithoutANameForgetsTheOpenDocumentWithoutClosingIt) {
  Prepare(1, 3, 1);
  AddPages(2, 3);
  Start(Doc("open.tif"));
  ASSERT_EQ(ReadOne(), Result::Ok);
  const FileHandle open = context_.state.docFile;
  Start("");
  EXPECT_EQ(context_.state.docFile, kInvalidFile);
  EXPECT_TRUE(platform_.FileClose(open)) << "the forgotten handle was closed";
}

TEST_F(BatchTest, SeparatorSheetsAndFlaggedPages) {
  Prepare(1, 3, 1);
  AddPages(3, 11);
  sim::PageConditions separator;
  separator.separatorStatus = 0x83;
  ASSERT_TRUE(scanner_->SetConditions(0, separator));
  sim::PageConditions flagged;
  flagged.flagged = true;
  ASSERT_TRUE(scanner_->SetConditions(2, flagged));
  Set(PAR_JOB_SEPARATOR, 5);
  const std::string path = Doc("sep.tif");
  Start(path);

  // The separator sheet: no image, parameter 13 reads 1.
  EXPECT_EQ(ReadOne(), Result::Ok);
  EXPECT_EQ(Get(PAR_SEPARATOR_DETECTED), 1);
  ASSERT_EQ(scanner_->Delivered().size(), 1u);
  EXPECT_EQ(scanner_->Delivered()[0].bytesSent, 0u);
  // The next call takes the sheet's image without waiting.
  EXPECT_EQ(ReadOne(), Result::Ok);
  EXPECT_EQ(Get(PAR_SEPARATOR_DETECTED), 0);
  EXPECT_EQ(ReadOne(), Result::Ok);  // page 1
  // Page 2 is flagged: 19 once, the document finished; the next call transfers it.
  EXPECT_EQ(ReadOne(), Result::PageFlagged);
  EXPECT_EQ(context_.state.docFile, kInvalidFile);
  EXPECT_EQ(ReadOne(), Result::Ok);
  EXPECT_EQ(test::ReadWithLibtiff(path).pages.size(), 2u);
}

TEST(SeparatorSense, WhichStatusBitsCount) {
  struct Case {
    std::int32_t sense;
    std::uint8_t status;
    std::int32_t detected;
  };
  for (Case c : {Case{0, 0x83, 1}, Case{0, 0x81, 0}, Case{0, 0x02, 0}, Case{1, 0x81, 1},
                 Case{1, 0x82, 0}, Case{2, 0x81, 1}, Case{2, 0x82, 1}, Case{2, 0x03, 0}}) {
    test::TestPlatform platform;
    DriverContext context(platform);
    sim::Bus bus;
    sim::Rt650& scanner = bus.AddScanner(0, 0);
    SetProvider(context.transport, &bus);
    ASSERT_EQ(Probe(context), Result::Ok);
    ASSERT_TRUE(scanner.AddSyntheticPages(1, 3, 200));
    sim::PageConditions conditions;
    conditions.separatorStatus = c.status;
    ASSERT_TRUE(scanner.SetConditions(0, conditions));
    context.settings.separatorSense = c.sense;
    std::uint32_t position = 0;
    ASSERT_EQ(StartScan(context, nullptr, &position, nullptr), Result::Ok);
    ASSERT_EQ(WaitForPage(context, nullptr).wait, PageWait::kReady);
    ASSERT_EQ(ReadSeparatorStatus(context), Result::Ok);
    EXPECT_EQ(context.state.separatorDetected, c.detected) << c.sense << " " << int(c.status);
  }
}

TEST_F(BatchTest, JamMidPageKeepsTheCompletePagesAndClosesTheDocument) {
  Prepare(1, 3, 0);
  AddPages(3, 5);
  sim::PageConditions jam;
  jam.jam = true;
  ASSERT_TRUE(scanner_->SetConditions(1, jam));
  const std::string path = Doc("jam.tif");
  Start(path);
  ASSERT_EQ(ReadOne(), Result::Ok);
  EXPECT_EQ(ReadOne(), Result::PaperJam);
  EXPECT_EQ(context_.state.docFile, kInvalidFile);
  const test::LibtiffFile file = test::ReadWithLibtiff(path);
  ASSERT_TRUE(file.opened) << file.errors;
  EXPECT_EQ(file.pages.size(), 1u);
}

// A failure at each command of the page loop, of each kind: the batch stops
// with a result code, and the document holds exactly the pages reported
// stored before it.
TEST_F(BatchTest, AFailureAtAnyCommandOfThePageLoopLosesNoStoredPage) {
  struct Command {
    std::uint8_t opcode;
    int dataType;  // READ data type or GET SCAN MODE page
  };
  const Command commands[] = {
      {wire::kOpGetScanMode, wire::kPageStatus}, {wire::kOpRead, wire::kDataStatus},
      {wire::kOpRead, wire::kDataSeparatorStatus}, {wire::kOpGetScanMode, wire::kPageAddon},
      {wire::kOpRead, wire::kDataDetectedSize}, {wire::kOpRead, wire::kDataCounters},
      {wire::kOpRead, wire::kDataImage},
  };
  struct Kind {
    sim::FaultKind kind;
    sim::Sense sense;
    std::uint8_t value;
  };
  const Kind kinds[] = {
      {sim::FaultKind::kSense, sim::kSenseNotReady, 0},
      {sim::FaultKind::kSense, sim::kSenseInvalidCdbField, 0},
      {sim::FaultKind::kSense, sim::kSenseUnitAttention, 0},
      {sim::FaultKind::kHostAdapter, {}, aspi::kHaStatSelectionTimeout},
      {sim::FaultKind::kSrbStatus, {}, aspi::kSsAborted},
  };
  int round = 0;
  for (const Command& command : commands) {
    for (const Kind& kind : kinds) {
      for (std::uint32_t occurrence : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << "opcode " << int(command.opcode) << " type "
                                        << command.dataType << " kind " << int(kind.kind)
                                        << " occurrence " << occurrence);
        pages_.clear();
        Prepare(1, 3, round % 2);
        Set(PAR_AUTO_SIZE, 1);
        Set(PAR_JOB_SEPARATOR, 5);
        AddPages(3, 60 + static_cast<std::uint64_t>(round));
        const std::string path = Doc("matrix-" + std::to_string(round++) + ".tif");
        Start(path);
        scanner_->AddFault(sim::FaultRule{command.opcode, command.dataType, occurrence, 0,
                                          kind.kind, kind.sense, kind.value});
        int stored = 0;
        Result r = Result::Ok;
        for (int call = 0; call < 6 && r == Result::Ok; ++call) {
          r = ReadOne();
          if (r == Result::Ok) ++stored;
        }
        EXPECT_NE(r, Result::Ok);
        (void)CloseDocument(context_);
        EXPECT_EQ(context_.state.docFile, kInvalidFile);
        if (stored > 0) {
          const test::LibtiffFile file = test::ReadWithLibtiff(path);
          EXPECT_TRUE(file.opened) << file.errors;
          EXPECT_EQ(file.pages.size(), static_cast<std::size_t>(stored));
        }
        // Empty the scanner for the next round.
        while (scanner_->HopperCount() > 0 || scanner_->PageInScanner()) {
          (void)ContinueScan(context_);
          if (ReadOne() != Result::Ok && scanner_->HopperCount() == 0) break;
        }
        (void)CloseDocument(context_);
      }
    }
  }
}

TEST_F(BatchTest, CountersAndAutoSizeTurnedAndUnturned) {
  for (std::int32_t rotate : {0, 1}) {
    SCOPED_TRACE(rotate);
    Prepare(1, 3, rotate);
    Set(PAR_AUTO_SIZE, 1);
    scanner_->SetCounters({100, 7, 4000});
    // A Letter sheet at 200 dpi, fed long edge first (2200 across, 1700 along),
    // detected by the scanner; the turn makes it an upright 1700 x 2200 page.
    sim::Page page;
    ASSERT_TRUE(sim::MakeSyntheticPage(sim::SyntheticPlan{5, 0, 200, 2159, 2794}, page));
    scanner_->AddPage(std::move(page));
    Start("");
    ASSERT_EQ(ReadOne(), Result::Ok);
    const std::array<std::uint32_t, 3> counters = scanner_->Counters();
    EXPECT_EQ(static_cast<std::uint32_t>(Get(PAR_COUNTER_1)), counters[0]);
    EXPECT_EQ(static_cast<std::uint32_t>(Get(PAR_COUNTER_2)), counters[1]);
    EXPECT_EQ(static_cast<std::uint32_t>(Get(PAR_COUNTER_3)), counters[2]);
    EXPECT_GT(counters[0], 100u);
    // pageLength is the stored page's width in both cases.
    EXPECT_NEAR(Get(PAR_PAGE_LENGTH), rotate == 0 ? 1700 : 2200, 2);
    EXPECT_NEAR(Get(PAR_PAGE_WIDTH), rotate == 0 ? 2200 : 1700, 2);
    (void)StopScan(context_);
  }
}

// A real short write: a child process whose files may not grow past a
// chosen size (SIGXFSZ ignored, so writes come back short, then fail with
// EFBIG) scans until the disk "fills"; rewrites inside the file still work.
// The document then holds exactly the pages the child reported stored.
TEST_F(BatchTest, AFileSizeLimitCutsTheBatchWithoutLosingStoredPages) {
  for (rlim_t limit : {rlim_t{4000}, rlim_t{60000}, rlim_t{150000}}) {
    SCOPED_TRACE(limit);
    pages_.clear();
    Prepare(1, 3, 0);
    AddPages(4, 31);
    const std::string path = Doc("limit-" + std::to_string(limit) + ".tif");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      struct rlimit rl {limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &rl);
      std::uint32_t position = 0;
      Result r = StartScan(context_, path.c_str(), &position, nullptr);
      int stored = 0;
      while (r == Result::Ok) {
        r = ReadOne();
        if (r == Result::Ok) ++stored;
      }
      (void)CloseDocument(context_);
      // Exit status: stored pages, and 100 more when the batch ended on a file error.
      ::_exit(stored + (r == Result::FileError ? 100 : 0));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const int code = WEXITSTATUS(status);
    const int stored = code % 100;
    if (limit < 150000) {
      EXPECT_GE(code, 100) << "the limit was not reached";
    }
    if (stored > 0) {
      const test::LibtiffFile file = test::ReadWithLibtiff(path);
      EXPECT_TRUE(file.opened) << file.errors;
      EXPECT_EQ(file.pages.size(), static_cast<std::size_t>(stored));
    }
  }
}

TEST_F(BatchTest, ScanOnePageRestoresContinuousFeed) {
  Prepare(1, 3, 1);
  AddPages(2, 23);
  ASSERT_EQ(context_.settings.continuousFeed, 1);
  std::uint32_t position = 0;
  const std::string path = Doc("one.tif");
  ASSERT_EQ(ScanOnePage(context_, path.c_str(), &position, page_.data()), Result::Ok);
  EXPECT_EQ(context_.settings.continuousFeed, 1);
  EXPECT_EQ(context_.state.docFile, kInvalidFile);
  EXPECT_EQ(test::ReadWithLibtiff(path).pages.size(), 1u);
  EXPECT_EQ(scanner_->ScanModeData(0x32)[wire::PageOffset(wire::kSmFeedByte)] &
                wire::kSmContinuousFeed,
            wire::kSmContinuousFeed);

  context_.state.probed = 0;  // a failing start restores it as well
  EXPECT_EQ(ScanOnePage(context_, path.c_str(), &position, page_.data()),
            Result::ScannerFailure);
  EXPECT_EQ(context_.settings.continuousFeed, 1);
}

TEST_F(BatchTest, HostsWithTheirOwnGeometryGetTheWindowFromThePageSizeTable) {
  EXPECT_TRUE(HostHasOwnGeometry("Pagewell.exe"));
  EXPECT_TRUE(HostHasOwnGeometry("rtscan65.exe"));
  EXPECT_FALSE(HostHasOwnGeometry("Pagewell.exe2"));
  EXPECT_FALSE(HostHasOwnGeometry("TestHost.exe"));

  platform_.hostPath = "C:\\Apps\\PAGEWELL.EXE";  // names compare without case
  ASSERT_EQ(Probe(context_), Result::Ok);
  Set(PAR_RESOLUTION, 300);
  Set(PAR_FRAME_AREA, 0);
  // A length the parameter would round to 32 rows: set in the record and pushed.
  context_.settings.scanLength = 2480;
  context_.settings.scanWidth = 3488;
  context_.settings.sideOffset = 40;
  ASSERT_EQ(PushWindow(context_), Result::Ok);
  AddPages(1, 1);
  Start("");
  EXPECT_EQ(context_.settings.pageSizeIndex, 6);
  EXPECT_EQ(context_.settings.topOffset, (5136 - 2480) / 2);
  EXPECT_EQ(context_.settings.sideOffset, 0);
}

TEST(PagePipelineRows, GrayExpansionAndInversion) {
  const std::uint8_t four[] = {0xF0, 0x5A};
  std::uint8_t out[4] = {};
  ExpandGrayRow(out, four, 4, 4);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{255, 0, 85, 170}));
  const std::uint8_t two[] = {0xE4};  // 3 2 1 0
  ExpandGrayRow(out, two, 4, 2);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 4), (std::vector<std::uint8_t>{255, 170, 85, 0}));
  std::uint8_t same[3] = {1, 2, 3};
  ExpandGrayRow(out, same, 3, 8);
  EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{1, 2, 3}));
  std::uint8_t untouched[2] = {7, 7};
  ExpandGrayRow(untouched, same, 2, 3);
  EXPECT_EQ(untouched[0], 7);
  std::uint8_t bytes[3] = {0, 255, 0x0F};
  InvertBytes(bytes, 3);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 3), (std::vector<std::uint8_t>{255, 0, 0xF0}));
  EXPECT_EQ(ScannerRowBytes(1000, 1), 128u);
  EXPECT_EQ(ScannerRowBytes(1001, 4), 504u);
}

}  // namespace
}  // namespace tarvo
