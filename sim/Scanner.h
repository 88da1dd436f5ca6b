// The simulated RT650: its settings as the driver leaves them (measurement
// unit, window, scan mode pages, gamma tables, function keys), the feeder
// with its pages, the counters, the image delivery and the fault script.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Device.h"
#include "Page.h"

namespace tarvo::sim {

// What the scanner is, fixed for its lifetime.
struct ScannerInfo {
  Identity identity;                // vendor "TARVO", product "RT650", revision "2.10"
  std::uint32_t capability = 1;     // vendor page 0xF0 bytes 34..37
  std::uint8_t vendorFlags = 0xA0;  // vendor page 0xF0 byte 39 (bit 7 batch, bit 5 keys)
};

// What the scripted fault does.
enum class FaultKind : std::uint8_t {
  kSense,        // CHECK CONDITION with `sense`
  kBusy,         // target status 8
  kHostAdapter,  // SRB status SS_ERR with host adapter status `value`
  kSrbStatus,    // SRB status `value`, no SCSI answer
};

// A fault for the `occurrence`-th command (counted from 1) with `opcode`
// (and, when dataType >= 0, that READ/SEND data type or GET SCAN MODE page).
// It fires once; `repeat` further matching commands fail the same way.
struct FaultRule {
  std::uint8_t opcode = 0;
  int dataType = -1;
  std::uint32_t occurrence = 1;
  std::uint32_t repeat = 0;
  FaultKind kind = FaultKind::kSense;
  Sense sense;
  std::uint8_t value = 0;
  // state
  std::uint32_t seen = 0;
};

// The scanner's view of one page that went through it.
struct DeliveredPage {
  std::string origin;
  std::uint32_t width = 0;  // pixels a row
  std::uint32_t rows = 0;
  std::uint8_t composition = 0;
  std::uint8_t bitsPerPixel = 1;
  std::uint32_t rowBytes = 0;
  std::size_t totalBytes = 0;
  std::size_t bytesSent = 0;
  std::string imprint;  // text stamped by the imprinter, empty when off
  bool turned = false;  // fed so that the raster is the upright page turned clockwise
  bool jammed = false;
};

// The sheet in the scanner's coordinates, in divisor units.
struct SheetPlace {
  std::int64_t left = 0;
  std::int64_t top = 0;
  std::int64_t width = 0;
  std::int64_t length = 0;
};

// The area, size and format of the image of the page in the scanner.
struct ImageJob {
  std::uint32_t width = 0;
  std::uint32_t rows = 0;
  std::uint8_t composition = 0;
  std::uint8_t bitsPerPixel = 1;
  std::uint8_t threshold = 128;
  std::uint32_t rowBytes = 0;
  std::size_t totalBytes = 0;
  std::vector<std::uint32_t> sourceX;  // per output column: source column, or kOutside
  std::uint32_t insideFrom = 0;        // first column on the sheet
  std::uint32_t insideWidth = 0;       // end of the columns on the sheet
  bool direct = false;                 // sourceX is consecutive columns of the sheet
  std::vector<std::uint32_t> sourceY;  // per output row
  static constexpr std::uint32_t kOutside = 0xFFFFFFFFu;
};

class Rt650 final : public Device {
 public:
  explicit Rt650(ScannerInfo info = {});

  void Execute(Exchange& exchange) override;

  // ---- setting up -------------------------------------------------------------
  ScannerInfo& Info() { return info_; }
  void AddPage(Page page);
  // `count` synthetic pages from `seed` at `dpi` (200, 300 or 600); false for another dpi.
  bool AddSyntheticPages(std::uint32_t count, std::uint64_t seed, std::uint32_t dpi,
                         std::uint32_t widthMm10 = 2100, std::uint32_t lengthMm10 = 2970,
                         Feed feed = Feed::kAuto);
  // Conditions of the page that is `index`-th (0-based) among the pages added so far;
  // false when there is no such page in the hopper.
  bool SetConditions(std::size_t index, const PageConditions& conditions);
  void AddFault(const FaultRule& rule) { faults_.push_back(rule); }
  void SetCounters(const std::array<std::uint32_t, 3>& counters) { counters_ = counters; }
  // Rigs that address the sheet's pixels directly lay every sheet against the
  // scan area's corner (left side at X 0, leading edge at Y 0), whatever the
  // frame area; the scanner itself centres them (`PlaceSheet`).
  void PlaceSheetsAtCorner(bool atCorner) { sheetsAtCorner_ = atCorner; }
  // Off: `Delivered()` holds only the sheet in the scanner (or the last one).
  void KeepHistory(bool keep) { keepHistory_ = keep; }

  // ---- inspecting ----------------------------------------------------------------
  const std::array<std::uint8_t, wire::kWindowDataLength>& Window() const { return window_; }
  std::uint32_t MeasurementDivisor() const { return divisor_; }
  // The 20-byte (0x34: 90-byte) data of GET SCAN MODE for `page`; empty when unknown.
  std::vector<std::uint8_t> ScanModeData(std::uint8_t page) const;
  std::array<std::uint8_t, wire::kGammaLength> Gamma(std::uint16_t qualifier) const;
  // Bytes 1..4 of the function-key block of `key` (1..10).
  std::array<std::uint8_t, 4> FunctionKey(std::uint8_t key) const;
  const std::array<std::uint32_t, 3>& Counters() const { return counters_; }
  std::size_t HopperCount() const { return hopper_.size(); }
  bool PageInScanner() const { return current_.has_value(); }
  bool Scanning() const { return scanning_; }
  const std::vector<DeliveredPage>& Delivered() const { return delivered_; }
  // The image the current (or next) page would be delivered with.
  ImageJob PlanImage(const Page& page) const;
  SheetPlace PlaceSheet(const Page& page) const;

  // Writes the bytes [from, from + out.size()) of the page's delivered image.
  static void RenderImage(const Page& page, const ImageJob& job, std::size_t from, ByteSpan out);

 private:
  struct Current {
    Page page;
    std::size_t delivered = 0;  // index into delivered_
    bool started = false;       // image transfer has begun
    ImageJob job;
  };
  struct Command {
    std::uint8_t opcode;
    void (Rt650::*handler)(Exchange&);
  };
  static const std::array<Command, 17> kCommands;

  bool FireFault(Exchange& exchange);
  void SettlePage(std::uint8_t opcode);
  bool FeedNext();
  void EjectCurrent();
  bool AddonOn() const;
  bool ContinuousFeed() const;

  void TestUnitReady(Exchange& x);
  void Inquiry(Exchange& x);
  void ModeSelect(Exchange& x);
  void Scan(Exchange& x);
  void SetWindow(Exchange& x);
  void GetWindow(Exchange& x);
  void Read(Exchange& x);
  void Send(Exchange& x);
  void ObjectPosition(Exchange& x);
  void GetScanMode(Exchange& x);
  void DefineScanMode(Exchange& x);
  void StopBatch(Exchange& x);
  void DefineFunctionKey(Exchange& x);
  void GetFunctionKey(Exchange& x);
  void RequestSense(Exchange& x);
  void ReserveRelease(Exchange& x);
  void ReadImage(Exchange& x, std::size_t length);

  ScannerInfo info_;
  std::uint32_t divisor_ = 1200;
  std::array<std::uint8_t, wire::kWindowDataLength> window_{};
  std::map<std::uint8_t, std::vector<std::uint8_t>>
      pages_;  // page code -> page bytes (from byte 0)
  std::map<std::uint16_t, std::array<std::uint8_t, wire::kGammaLength>> gamma_;
  std::array<std::array<std::uint8_t, 4>, 10> keys_{};
  std::array<std::uint32_t, 3> counters_{};
  std::deque<Page> hopper_;
  std::size_t pagesAdded_ = 0;
  std::optional<Current> current_;
  bool scanning_ = false;
  bool sheetsAtCorner_ = false;
  bool keepHistory_ = true;
  bool batchOpen_ = false;  // counter 2 restarts at the first SCAN after STOP BATCH
  Sense lastSense_;
  std::vector<DeliveredPage> delivered_;
  std::vector<FaultRule> faults_;
};

}  // namespace tarvo::sim
