#include "scan/Batch.h"

#include <array>
#include <cctype>
#include <cstring>

#include "scan/PagePipeline.h"
#include "core/Diagnostics.h"
#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "core/GuardedFile.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Commands.h"
#include "tiff/TiffChain.h"

namespace tarvo {
namespace {

using namespace wire;

// Call-site numbers of the batch's log entries and guarded file operations.
constexpr int kSitePageExistTestUnitReady = 685;
constexpr int kSitePageExistLoad = 687;
constexpr int kSiteOpenForAdd = 2487;
constexpr int kSiteCloseAfterWalk = 2489;
constexpr int kSiteSeekEnd = 2497;
constexpr int kSiteCloseNoScanner = 2506;
constexpr int kSiteCloseTestUnitReady = 2512;
constexpr int kSiteTestUnitReady = 2513;
constexpr int kSiteCloseModeSelect = 2577;
constexpr int kSiteModeSelect = 2578;
constexpr int kSiteClosePush = 2581;
constexpr int kSiteCloseScan = 2592;
constexpr int kSiteScan = 2593;
constexpr int kSiteCreate = 2601;
constexpr int kSiteHeader = 2604;
constexpr int kSiteCloseForgotten = 2610;
constexpr int kSiteContCloseScan = 2644;
constexpr int kSiteContScan = 2647;
constexpr int kSiteSeparator = 3323;
constexpr int kSiteStatusPage = 3369;
constexpr int kSiteNewSeekLink = 3484;
constexpr int kSiteNewWriteLink = 3488;
constexpr int kSiteNewClose = 3492;
constexpr int kSiteNewCreate = 3499;
constexpr int kSiteNewHeader = 3502;
constexpr int kSiteCloseSize = 3516;
constexpr int kSiteSize = 3519;
constexpr int kSiteClosePipeline = 3543;
constexpr int kSiteStopBatch = 3632;

constexpr std::uint32_t kLinkHintDistance = 1024;
constexpr std::uint8_t kScanWindowZero = 0;

constexpr const char* kGeometryHosts[] = {"Pagewell.exe", "Rtscan65.exe"};

struct OutputRow {
  bool gray;             // image type 4 (else 1, 9 or 10)
  std::int32_t fileType;
  std::int32_t compression[2];  // accepted codes; -1 where only one is
};

// The valid output combinations; bilevel rows need 1 bit per pixel, gray
// rows anything but 1.
constexpr OutputRow kOutputRows[] = {
    // clang-format off
    {false, kFileTiffDocument, {kCompressionNone, kCompressionG4}},
    {false, kFileCoder, {kCompressionCoder, -1}},
    {false, kFileBmp, {kCompressionNone, -1}},
    {true, kFileJpeg, {kCompressionJpeg, -1}},
    {true, kFileCoder, {kCompressionCoder, -1}},
    {true, kFileBmp, {kCompressionNone, -1}},
    // clang-format on
};

std::uint8_t Target(const DriverContext& c) { return c.state.scanner.scannerTarget; }

// Closes the open document without finishing it; docFile becomes none.
// False when the close failed.
bool CloseDocumentFile(GroundContext& g, OpenDocument& doc, int site) {
  const FileHandle file = doc.docFile;
  doc.docFile = kInvalidFile;
  return GuardedCloseHandle(g, file, site, kModuleScan) != 0;
}

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) {
      return false;
    }
  }
  return *a == *b;
}

std::int32_t GetParameter(DriverContext& c, std::int32_t id) {
  std::int32_t value = 0;
  (void)ParGet(c, id, &value);
  return value;
}

// The window of the hosts that keep their own geometry: the page size that
// matches the window, centred across the feed, placed along it by the frame
// area.
void ApplyHostGeometry(DriverContext& c) {
  const std::int32_t resolution = GetParameter(c, PAR_RESOLUTION);
  const std::size_t column = resolution == 200 ? 0 : resolution == 300 ? 1 : 2;
  ScanSettings& s = c.settings;
  for (std::size_t i = 0; i < kPageSizes.size(); ++i) {
    const PageSize& size = kPageSizes[i];
    if (size.length[column] != s.scanLength || size.width[column] != s.scanWidth) continue;
    s.pageSizeIndex = static_cast<std::int32_t>(i);
    const WindowOffsets offsets = FrameOffsets(GetParameter(c, PAR_FRAME_AREA), size, column,
                                               s.xResolution, s.topOffset);
    s.topOffset = offsets.top;
    s.sideOffset = offsets.side;
    return;
  }
}

// Opens `name` for append or insert and walks its chain to the page position.
Result OpenForAdding(DriverContext& c, const char* name, std::uint32_t* position,
                     std::uint32_t* linkHint) {
  const FileHandle file =
      GuardedCreateFile(c, name, kGenericRead | kGenericWrite, kShareNone, nullptr, kOpenAlways,
                        kAttributeNormal | kFlagRandomAccess, kInvalidFile, kSiteOpenForAdd,
                        kModuleScan);
  if (file == kInvalidFile) return Result::FileError;
  std::uint32_t page = *position;
  std::uint32_t linkValue = 0;
  std::uint32_t linkPosition = 0;
  std::uint32_t end = 0;
  if (WalkTiffChain(c, file, page, linkValue, linkPosition, end) != Result::Ok) {
    (void)GuardedCloseHandle(c, file, kSiteCloseAfterWalk, kModuleScan);
    return Result::FileError;
  }
  if (*position == kAppendPages) *position = page;
  *linkHint = linkPosition > kLinkHintDistance ? linkPosition - kLinkHintDistance : 0;
  const std::uint32_t at = GuardedSetFilePointer(c, file, 0, kFileEnd, kSiteSeekEnd, kModuleScan);
  if (at == kInvalidFilePosition) {
    (void)GuardedCloseHandle(c, file, kSiteCloseAfterWalk, kModuleScan);
    return Result::FileError;
  }
  c.state.document.docFile = file;
  c.state.document.docLinkValue = linkValue;
  c.state.document.docLinkPos = linkPosition;
  c.state.document.docIfdPos = at;
  c.state.document.docDataPos = at;
  return Result::Ok;
}

// Finishes the open document (its last link gets docLinkValue) and closes it.
Result FinishAndCloseForNewDocument(GroundContext& g, OpenDocument& doc) {
  if (!doc.IsOpen()) return Result::Ok;
  if (GuardedSetFilePointer(g, doc.docFile, static_cast<std::int32_t>(doc.docLinkPos), kFileBegin,
                            kSiteNewSeekLink, kModuleScan) == kInvalidFilePosition) {
    return Result::FileError;
  }
  std::array<std::uint8_t, 4> link{};
  PutLe32(link, 0, doc.docLinkValue);
  std::uint32_t written = 0;
  if (GuardedWriteFile(g, doc.docFile, link.data(), 4, &written, nullptr, kSiteNewWriteLink,
                       kModuleScan) == 0) {
    (void)CloseDocumentFile(g, doc, kSiteNewClose);
    return Result::FileError;
  }
  return CloseDocumentFile(g, doc, kSiteNewClose) ? Result::Ok : Result::FileError;
}

std::int32_t TSD_CALL NeverCancel() { return 0; }

}  // namespace

bool HostHasOwnGeometry(const char* hostFileName) {
  if (hostFileName == nullptr) return false;
  for (const char* host : kGeometryHosts) {
    if (EqualsNoCase(hostFileName, host)) return true;
  }
  return false;
}

Result ValidateOutputSettings(const ScanSettings& s) {
  const bool bilevel = s.imageType == kImageLineArt || s.imageType == kImageLineArtText ||
                       s.imageType == kImageHalftone;
  const bool gray = s.imageType == kImageGray;
  if (bilevel && s.bitsPerPixel != 1) return Result::InvalidValue;
  if (gray && s.bitsPerPixel == 1) return Result::InvalidValue;
  if (!bilevel && !gray) return Result::InvalidValue;
  for (const OutputRow& row : kOutputRows) {
    if (row.gray == gray && row.fileType == s.fileType &&
        (row.compression[0] == s.compression || row.compression[1] == s.compression)) {
      return Result::Ok;
    }
  }
  return Result::InvalidValue;
}

Result StartScan(DriverContext& c, const char* name, std::uint32_t* position,
                 std::uint32_t* linkHint) {
  if (!c.state.scanner.probed) return Result::ScannerFailure;
  std::uint32_t scratchPosition = 0;
  std::uint32_t scratchHint = 0;
  if (position == nullptr) position = &scratchPosition;
  if (linkHint == nullptr) linkHint = &scratchHint;
  const std::uint32_t p = *position;
  *linkHint = 0;
  if (ValidateOutputSettings(c.settings) != Result::Ok) return Result::InvalidValue;

  // A document still open is not carried into the new batch. Without a name
  // it is forgotten as it is, not closed: its handle stays with the file. A
  // named batch gives the old handle back before it opens its own.
  if (name == nullptr) {
    c.state.document.docFile = kInvalidFile;
  } else if (c.state.document.docFile != kInvalidFile) {
    (void)CloseDocumentFile(c, c.state.document, kSiteCloseForgotten);
  }
  const bool adding = name != nullptr && p != 0;
  if (adding) {
    if (Result r = OpenForAdding(c, name, position, linkHint); r != Result::Ok) return r;
  }
  auto failAfterOpen = [&](int closeSite, Result r) {
    if (adding) (void)CloseDocumentFile(c, c.state.document, closeSite);
    return r;
  };

  c.state.scanner.scannerTarget = FindScanner(c.Link());
  if (c.state.scanner.scannerTarget == kNoTarget) {
    return failAfterOpen(kSiteCloseNoScanner, Result::ScannerFailure);
  }
  (void)Execute(c, Target(c), CmdTestUnitReady());
  if (const ScsiOutcome o = Execute(c, Target(c), CmdTestUnitReady()); o.result != 0) {
    return failAfterOpen(kSiteCloseTestUnitReady, CheckScsi(c, o, kSiteTestUnitReady));
  }
  std::array<std::uint8_t, kInquiryScanLength> inquiry{};
  (void)Execute(c, Target(c), CmdInquiry(inquiry, static_cast<std::uint8_t>(inquiry.size())));

  char host[512];
  HostSection(c, host, sizeof host);
  if (HostHasOwnGeometry(host)) ApplyHostGeometry(c);

  if (const ScsiOutcome o =
          Execute(c, Target(c), CmdSetMeasurementUnit(static_cast<std::uint16_t>(kUnitsPerInch)));
      o.result != 0) {
    return failAfterOpen(kSiteCloseModeSelect, CheckScsi(c, o, kSiteModeSelect));
  }
  if (Result r = PushScanMode(c.Link()); r != Result::Ok) return failAfterOpen(kSiteClosePush, r);
  if (const ScsiOutcome o = Execute(c, Target(c), CmdScan(kScanWindowZero)); o.result != 0) {
    return failAfterOpen(kSiteCloseScan, CheckScsi(c, o, kSiteScan));
  }
  if (name != nullptr && p == 0 && c.settings.fileType == kFileTiffDocument) {
    return CreateDocument(c, c.state.document, name, kSiteCreate, kSiteHeader);
  }
  return Result::Ok;
}

Result ContinueScan(DriverContext& c) {
  const ScsiOutcome o = Execute(c, Target(c), CmdScan(kScanWindowZero));
  if (o.result == 0) return Result::Ok;
  if (!CloseDocumentFile(c, c.state.document, kSiteContCloseScan)) return Result::FileError;
  return CheckScsi(c, o, kSiteContScan);
}

Result StopScan(DriverContext& c) {
  return CheckScsi(c, Execute(c, Target(c), CmdStopBatch()), kSiteStopBatch);
}

Result PageExist(DriverContext& c) {
  if (Result r =
          CheckScsi(c, Execute(c, Target(c), CmdTestUnitReady()), kSitePageExistTestUnitReady);
      r != Result::Ok) {
    return r;
  }
  return CheckScsi(c, Execute(c, Target(c), CmdLoadObject()), kSitePageExistLoad);
}

PageWaitOutcome WaitForPage(DriverContext& c, CancelFunction cancel) {
  // No timeout: the scanner, a quit message or the host's cancel ends the wait.
  for (;;) {
    const PumpResult pump = c.platform.PumpOneMessage();
    if (pump == PumpResult::kQuit) {
      (void)Execute(c, Target(c), CmdUnloadObject());
      return {PageWait::kQuit, Result::Ok};
    }
    if (pump == PumpResult::kDispatched) {
      c.platform.SleepFor(0);
      continue;
    }
    if (cancel != nullptr && cancel() != 0) {
      (void)Execute(c, Target(c), CmdUnloadObject());
      return {PageWait::kResult, Result::Aborted};
    }
    ShortPage status{};
    if (Result r = CheckScsi(c, Execute(c, Target(c), CmdGetStatusPage(status)), kSiteStatusPage);
        r != Result::Ok) {
      return {PageWait::kResult, r};
    }
    if (TestBits(status, PageOffset(kStReadyByte), kStPageReady)) return {PageWait::kReady, Result::Ok};
    if (!TestBits(status, PageOffset(kStPaperByte), kStPaperPresent)) {
      return {PageWait::kResult, Result::NoPaper};
    }
    c.platform.SleepFor(0);
  }
}

Result ReadSeparatorStatus(DriverContext& c) {
  std::array<std::uint8_t, kSeparatorStatusLength> status{};
  if (Result r =
          CheckScsi(c, Execute(c, Target(c), CmdReadSeparatorStatus(status)), kSiteSeparator);
      r != Result::Ok) {
    return r;
  }
  const std::uint8_t b = status[0];
  const bool pair1 = (b & kSeparatorMark) != 0 && (b & kSeparatorBit1) != 0;
  const bool pair0 = (b & kSeparatorMark) != 0 && (b & kSeparatorBit0) != 0;
  const std::int32_t sense = c.settings.separatorSense;
  const bool detected = sense == 0 ? pair1 : sense == 1 ? pair0 : sense == 2 && (pair0 || pair1);
  c.state.page.separatorDetected = detected ? 1 : 0;
  return Result::Ok;
}

Result ReadPage(DriverContext& c, const char* name, std::uint8_t* pageBuffer,
                CancelFunction cancel) {
  ScanSettings& s = c.settings;
  if (c.state.page.separatorDetected != 0) {
    c.state.page.separatorDetected = 0;  // the page after the separator: no wait
  } else {
    const PageWaitOutcome wait = WaitForPage(c, cancel);
    if (wait.wait != PageWait::kReady) {
      (void)CloseDocument(c, c.state.document);
      return wait.wait == PageWait::kQuit ? Result::Ok : wait.result;
    }
    std::array<std::uint8_t, kStatusLength> status{};
    const std::uint16_t statusResult = Execute(c, Target(c), CmdReadStatus(status)).result;
    if (statusResult == 0 && TestBits(status, kStatusFlagByte, kStatusFlagBit) &&
        !c.state.page.statusBitReported) {
      (void)CloseDocument(c, c.state.document);
      c.state.page.statusBitReported = true;
      return Result::PageFlagged;
    }
    c.state.page.statusBitReported = false;
    if (s.separatorModeA != 0) {
      if (Result r = ReadSeparatorStatus(c); r != Result::Ok) {
        (void)CloseDocument(c, c.state.document);
        return r;
      }
      if (c.state.page.separatorDetected == 1 && (s.separatorModeA & 4) != 0) return Result::Ok;
    }
  }

  (void)ReadAddonPage(c.Link());
  s.pageLength = s.scanLength;
  s.pageWidth = s.scanWidth;

  if (s.imageType != kImageGray && s.imageType != 8 && name != nullptr &&
      s.fileType == kFileTiffDocument) {
    if (Result r = FinishAndCloseForNewDocument(c, c.state.document); r != Result::Ok) return r;
    if (Result r = CreateDocument(c, c.state.document, name, kSiteNewCreate, kSiteNewHeader);
        r != Result::Ok) {
      return r;
    }
  }

  if (s.autoSize != 0 || s.marginScan != 0) {
    std::array<std::uint8_t, kDetectedSizeLength> size{};
    if (const ScsiOutcome o = Execute(c, Target(c), CmdReadDetectedSize(size)); o.result != 0) {
      if (!CloseDocumentFile(c, c.state.document, kSiteCloseSize)) return Result::FileError;
      return CheckScsi(c, o, kSiteSize);
    }
    s.pageLength = Mul32(static_cast<std::int32_t>(GetBe32(size, kDetectedLength)), s.xResolution) /
                   kUnitsPerInch;
    s.pageWidth = Mul32(static_cast<std::int32_t>(GetBe32(size, kDetectedWidth)), s.xResolution) /
                  kUnitsPerInch;
  }
  std::array<std::uint8_t, kCountersLength> counters{};
  if (Execute(c, Target(c), CmdReadCounters(counters)).result == 0) {
    c.state.page.counter1 = GetBe32(counters, kCounter1);
    c.state.page.counter2 = GetBe32(counters, kCounter2);
    c.state.page.counter3 = GetBe32(counters, kCounter3);
  }
  std::array<std::uint8_t, kStatusLength> status{};
  (void)Execute(c, Target(c), CmdReadStatus(status));

  const PageJob job{.scsi = c,
                    .scanner = c.state.scanner,
                    .settings = c.settings,
                    .coderBuffers = *c.coderBuffers,
                    .document = c.state.document,
                    .page = c.state.page};
  if (Result r = ProcessPageImage(job, pageBuffer, s.pageWidth, s.pageLength, name);
      r != Result::Ok) {
    if (r != Result::FileError && !CloseDocumentFile(c, c.state.document, kSiteClosePipeline)) {
      return Result::FileError;
    }
    return r;
  }
  if (s.rotate != 0) std::swap(s.pageLength, s.pageWidth);
  c.state.document.docIfdPos = c.state.document.docDataPos + c.state.page.pageImageBytes;
  if (s.fileType != kFileTiffDocument) return Result::Ok;
  return AddPageToDocument(c, c.state.document,
                           DescribeDocumentPage(s, c.state.document, c.state.page.pageImageBytes));
}

Result ScanOnePage(DriverContext& c, const char* name, std::uint32_t* position,
                   std::uint8_t* pageBuffer) {
  const std::int32_t saved = c.settings.continuousFeed;
  auto restore = [&](Result r) {
    std::int32_t value = saved;
    (void)ParSet(c, PAR_CONTINUOUS, &value);
    return r;
  };
  c.settings.continuousFeed = 0;
  (void)PushScanModePage(c.Link());  // the scanner feeds a single sheet
  std::uint32_t scratch = 0;
  if (Result r = StartScan(c, name, position, &scratch); r != Result::Ok) return restore(r);
  const bool document = c.settings.fileType == kFileTiffDocument;
  if (Result r = ReadPage(c, document ? nullptr : name, pageBuffer, &NeverCancel);
      r != Result::Ok) {
    return restore(r);
  }
  if (document) (void)CloseDocument(c, c.state.document);
  return restore(Result::Ok);
}

}  // namespace tarvo
