// The adapter between the SANE backend and the driver's own layers: the only
// file of the backend that includes the driver's rooms.
#include "Device.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/posix/PosixPlatform.h"
#include "scan/Batch.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"
#include "scsi/Wire.h"
#include "tarvoscn.h"

namespace tarvo::sanebackend {
namespace {

constexpr char kVendor[] = "TARVO";
constexpr char kProduct[] = "RT650";
constexpr std::size_t kMatchLength = 5;
constexpr int kLastTarget = 6;  // target 7 is the host adapter's own

// Driver result codes and the SANE status each becomes.
struct StatusRow {
  Result result;
  SANE_Status status;
};
constexpr StatusRow kStatusRows[] = {
    {Result::Ok, SANE_STATUS_GOOD},
    {Result::UnknownParameter, SANE_STATUS_UNSUPPORTED},
    {Result::InvalidValue, SANE_STATUS_INVAL},
    {Result::NoPaper, SANE_STATUS_NO_DOCS},
    {Result::PaperJam, SANE_STATUS_JAMMED},
    {Result::MediumErrorQ1, SANE_STATUS_JAMMED},  // paper feed error: a double feed or misfeed
    {Result::NotReadyManual, SANE_STATUS_COVER_OPEN},
    {Result::NotReady, SANE_STATUS_DEVICE_BUSY},
    {Result::Aborted, SANE_STATUS_CANCELLED},
    {Result::ResourceFailure, SANE_STATUS_NO_MEM},
    {Result::ParamListLength, SANE_STATUS_INVAL},
    {Result::InvalidOpcode, SANE_STATUS_UNSUPPORTED},
    {Result::InvalidCdbField, SANE_STATUS_INVAL},
    {Result::InvalidParamField, SANE_STATUS_INVAL},
};

SANE_Status ToStatus(Result r) {
  for (const StatusRow& row : kStatusRows) {
    if (row.result == r) return row.status;
  }
  return SANE_STATUS_IO_ERROR;  // transport, hardware, sequence and file failures
}

std::string Trimmed(const std::uint8_t* bytes, std::size_t length) {
  std::string text(reinterpret_cast<const char*>(bytes), length);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
  return text;
}

// The page raster: the larger orientation of the scan area at the current
// resolution, one byte a pixel, with room for the pipeline's padding.
std::size_t RasterBytes(int resolution) {
  const std::size_t side =
      static_cast<std::size_t>(kAreaLength300 + 64) * static_cast<std::size_t>(resolution) /
          kBaseResolution +
      8;
  return side * side;
}

class DriverAdapter final : public Driver {
 public:
  explicit DriverAdapter(const DriverConfig& config)
      : platform_(Options(config)), context_(platform_), adapters_(config.adapters) {
    DriverLoad(context_, nullptr);
    context_.settings.rotate = 0;  // SANE pages are upright: always the quarter turn
  }
  ~DriverAdapter() override {
    EndBatch();
    DriverUnload(context_);
  }

  std::vector<ScannerEntry> FindScanners() override {
    std::vector<ScannerEntry> found;
    const int count = AspiAdapterCount(context_);
    for (int adapter = 0; adapter < count; ++adapter) {
      if (!Searched(adapter)) continue;
      for (int target = 0; target <= kLastTarget; ++target) {
        std::array<std::uint8_t, wire::kInquiryScanLength> inquiry{};
        SenseBuffer sense;
        (void)InquiryAt(context_, static_cast<std::uint8_t>(adapter),
                        static_cast<std::uint8_t>(target), sense.bytes, inquiry,
                        static_cast<std::uint8_t>(inquiry.size()));
        if (std::memcmp(&inquiry[wire::kInqVendor], kVendor, kMatchLength) != 0 ||
            std::memcmp(&inquiry[wire::kInqProduct], kProduct, kMatchLength) != 0) {
          continue;
        }
        found.push_back({adapter, target,
                         Trimmed(&inquiry[wire::kInqVendor], wire::kInqVendorLength),
                         Trimmed(&inquiry[wire::kInqProduct], wire::kInqProductLength),
                         Trimmed(&inquiry[wire::kInqRevision], wire::kInqRevisionLength)});
      }
    }
    return found;
  }

  SANE_Status Open(const ScannerEntry& entry) override {
    if (Result r = Probe(context_.Link()); r != Result::Ok) return ToStatus(r);
    if (context_.state.scanner.scannerAdapter != static_cast<std::uint32_t>(entry.adapter) ||
        context_.state.scanner.scannerTarget != entry.target) {
      return SANE_STATUS_UNSUPPORTED;
    }
    context_.settings.rotate = 0;
    return SANE_STATUS_GOOD;
  }

  bool GrayAvailable() const override { return context_.state.scanner.scannerCaps.value != 0; }

  Window CurrentWindow() const override {
    const ScanSettings& s = context_.settings;
    return {s.xResolution, s.scanLength,     s.scanWidth,         s.topOffset,
            s.sideOffset,  s.imageType,      s.autoSize != 0,     s.marginScan != 0};
  }

  SANE_Status SetWindow(const Window& w) override {
    std::int32_t resolution = w.resolution;
    if (Result r = ParSet(context_, PAR_RESOLUTION, &resolution); r != Result::Ok) return ToStatus(r);
    ScanSettings& s = context_.settings;
    s.scanLength = w.length;
    s.scanWidth = w.width;
    s.topOffset = w.top;
    s.sideOffset = w.side;
    return ToStatus(PushWindow(context_.Link()));
  }

  SANE_Status SetImageType(int imageType) override {
    std::int32_t type = imageType;
    if (Result r = ParSet(context_, PAR_IMAGE_TYPE, &type); r != Result::Ok) return ToStatus(r);
    if (type != 4) return SANE_STATUS_GOOD;
    std::int32_t bits = 8;
    return ToStatus(ParSet(context_, PAR_BITS_PER_PIXEL, &bits));
  }

  SANE_Status GetParameter(std::int32_t id, std::int32_t* value) override {
    return ToStatus(ParGet(context_, id, value));
  }
  SANE_Status SetParameter(std::int32_t id, std::int32_t value) override {
    return ToStatus(ParSet(context_, id, &value));
  }
  SANE_Status GetText(std::int32_t id, char* text, std::size_t size) override {
    std::array<char, 64> field{};
    std::uintptr_t cell = reinterpret_cast<std::uintptr_t>(field.data());
    if (Result r = ParGet(context_, id, &cell); r != Result::Ok) return ToStatus(r);
    field.back() = '\0';
    std::strncpy(text, field.data(), size - 1);
    text[size - 1] = '\0';
    return SANE_STATUS_GOOD;
  }
  SANE_Status SetText(std::int32_t id, const char* text) override {
    std::uintptr_t cell = reinterpret_cast<std::uintptr_t>(text);
    return ToStatus(ParSet(context_, id, &cell));
  }
  SANE_Status SendGamma(const std::uint8_t (&table)[256]) override {
    std::uintptr_t cell = reinterpret_cast<std::uintptr_t>(&table[0]);
    return ToStatus(ParSet(context_, PAR_GAMMA, &cell));
  }

  SANE_Status StartBatch() override {
    ScanSettings& s = context_.settings;
    // The pipeline only fills the page buffer: an external file without a name.
    s.fileType = TSD_FILE_BMP;
    s.compression = TSD_COMPRESSION_NONE;
    s.rotate = 0;
    s.bitsPerPixel = s.imageType == TSD_IMAGE_GRAY ? 8 : 1;
    const std::size_t bytes = RasterBytes(s.xResolution);
    if (bytes != rasterBytes_) {
      raster_.reset(new (std::nothrow) std::uint8_t[bytes]);
      rasterBytes_ = raster_ ? bytes : 0;
      if (!raster_) return SANE_STATUS_NO_MEM;
    }
    std::uint32_t position = 0;
    std::uint32_t linkHint = 0;
    if (Result r = StartScan(context_, nullptr, &position, &linkHint); r != Result::Ok) {
      return ToStatus(r);
    }
    scanning_ = true;
    return SANE_STATUS_GOOD;
  }

  SANE_Status NextPage(Page& page, std::int32_t (*cancelled)()) override {
    if (!scanning_) return SANE_STATUS_INVAL;
    ScanSettings& s = context_.settings;
    bool separator = false;
    Result r = Result::Ok;
    // A flagged page is read by the next call; a detected separator sheet
    // answers without an image and comes with the next call as well. Both
    // happen at most once a sheet, so two rounds suffice.
    for (int round = 0; round < 3; ++round) {
      r = ReadPage(context_, nullptr, raster_.get(), cancelled);
      if (r == Result::PageFlagged) continue;
      if (r == Result::Ok && context_.state.page.separatorDetected != 0) {
        separator = true;
        continue;
      }
      break;
    }
    if (r != Result::Ok) {
      scanning_ = false;
      if (r != Result::NoPaper && r != Result::Aborted) (void)StopScan(context_);
      return ToStatus(r);
    }
    page.raster = raster_.get();
    page.width = s.pageLength;  // after the turn: the stored page's width
    page.height = s.pageWidth;
    page.gray = s.imageType == TSD_IMAGE_GRAY;
    page.stride = page.gray ? (page.width + 7) / 8 * 8 : (page.width + 7) / 8;
    page.separator = separator;
    return SANE_STATUS_GOOD;
  }

  void EndBatch() override {
    if (!scanning_) return;
    scanning_ = false;
    (void)StopScan(context_);
  }

 private:
  static PosixPlatformOptions Options(const DriverConfig& config) {
    PosixPlatformOptions options = PosixOptionsFromEnvironment();
    if (!config.aspiLibrary.empty()) options.aspiLibrary = config.aspiLibrary;
    if (!config.simulatorConfig.empty()) {
      ::setenv("RT650SIM_CONFIG", config.simulatorConfig.c_str(), 1);
    }
    return options;
  }

  bool Searched(int adapter) const {
    if (adapters_.empty()) return true;
    for (int a : adapters_) {
      if (a == adapter) return true;
    }
    return false;
  }

  PosixPlatform platform_;
  DriverContext context_;
  std::vector<int> adapters_;
  std::unique_ptr<std::uint8_t[]> raster_;
  std::size_t rasterBytes_ = 0;
  bool scanning_ = false;
};

}  // namespace

std::unique_ptr<Driver> Driver::Create(const DriverConfig& config) {
  return std::unique_ptr<Driver>(new (std::nothrow) DriverAdapter(config));
}

}  // namespace tarvo::sanebackend
