#include "Scanner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/Bytes.h"

namespace tarvo::sim {

using namespace tarvo::wire;

// ---- sense data and data-in helpers ----------------------------------------------------

std::array<std::uint8_t, kSenseLength> Sense::Bytes() const {
  std::array<std::uint8_t, kSenseLength> out{};
  out[kSenseResponse] = kSenseCurrent;
  PutField(out, kSenseKeyByte, kSenseKeyMask, key);
  SetBits(out, kSenseKeyByte, kSenseIli, ili);
  PutBe32(out, kSenseInformation, information);
  out[kSenseAdditionalLength] = kSenseLength - 8;
  out[kSenseAsc] = asc;
  out[kSenseAscq] = ascq;
  return out;
}

void Exchange::ReturnData(std::span<const std::uint8_t> bytes, std::size_t allocation) {
  const std::size_t n = std::min({bytes.size(), allocation, data.size()});
  if (n > 0) std::memcpy(data.data(), bytes.data(), n);
  transferred = n;
}

namespace {

void PutPadded(ByteSpan out, std::size_t at, std::size_t length, const std::string& text) {
  for (std::size_t i = 0; i < length; ++i) {
    out[at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

// Supported-pages page 0x00: 0 device type, 1 page 0, 3 count, then the page codes.
constexpr std::array<std::uint8_t, 6> kSupportedPages{
    kDeviceTypeScanner, kSupportedPagesPage, 0x00, 0x02, kSupportedPagesPage, kVendorPageCode};

// Ordered dither thresholds for halftone, 4 x 4 Bayer matrix scaled to 0..255.
constexpr std::array<std::array<std::uint8_t, 4>, 4> kBayer{{
    {8, 136, 40, 168},
    {200, 72, 232, 104},
    {56, 184, 24, 152},
    {248, 120, 216, 88},
}};

constexpr std::uint32_t kMaxSide = 60000;  // pixels of a delivered row or rows of a page

// Default scan mode pages (page bytes from the page code on).
std::vector<std::uint8_t> ShortPage(std::uint8_t code) {
  std::vector<std::uint8_t> page(kShortPageLength + 2, 0);
  page[kPageCodeByte] = code;
  page[kPageLengthByte] = kShortPageLength;
  return page;
}

}  // namespace

std::array<std::uint8_t, kInquiryScanLength> StandardInquiry(const Identity& identity) {
  std::array<std::uint8_t, kInquiryScanLength> out{};
  out[kInqDeviceType] = identity.peripheralType;
  out[kInqVersion] = 2;
  out[kInqResponseFormat] = 2;
  out[kInqAdditionalLength] = kInquiryScanLength - 5;
  PutPadded(out, kInqVendor, kInqVendorLength, identity.vendor);
  PutPadded(out, kInqProduct, kInqProductLength, identity.product);
  PutPadded(out, kInqRevision, kInqRevisionLength, identity.revision);
  return out;
}

void OtherDevice::Execute(Exchange& x) {
  const std::uint8_t opcode = x.cdb[kCdbOpcode];
  if (opcode == kOpInquiry) {
    if ((x.cdb[kInquiryEvpd] & kEvpdBit) != 0) return x.Check(kSenseInvalidCdbField);
    return x.ReturnData(StandardInquiry(identity_), x.cdb[kCdb6Length]);
  }
  if (opcode != kOpTestUnitReady) x.Check(kSenseInvalidOpcode);
}

// ---- the scanner -------------------------------------------------------------------------

const std::array<Rt650::Command, 17> Rt650::kCommands{{
    {kOpTestUnitReady, &Rt650::TestUnitReady},
    {kOpRequestSense, &Rt650::RequestSense},
    {kOpInquiry, &Rt650::Inquiry},
    {kOpModeSelect, &Rt650::ModeSelect},
    {kOpReserveUnit, &Rt650::ReserveRelease},
    {kOpReleaseUnit, &Rt650::ReserveRelease},
    {kOpScan, &Rt650::Scan},
    {kOpSetWindow, &Rt650::SetWindow},
    {kOpGetWindow, &Rt650::GetWindow},
    {kOpRead, &Rt650::Read},
    {kOpSend, &Rt650::Send},
    {kOpObjectPosition, &Rt650::ObjectPosition},
    {kOpGetScanMode, &Rt650::GetScanMode},
    {kOpDefineScanMode, &Rt650::DefineScanMode},
    {kOpStopBatch, &Rt650::StopBatch},
    {kOpDefineFunctionKey, &Rt650::DefineFunctionKey},
    {kOpGetFunctionKey, &Rt650::GetFunctionKey},
}};

Rt650::Rt650(ScannerInfo info) : info_(std::move(info)) {
  // Power-on window: 300 dpi line art over an A4 sheet fed long edge first
  // (3488 x 2480 pixels in 1/1200 inch), centred in the scan area as the
  // standard frame area places it.
  PutBe16(window_, kWinDescLength, kWindowDescriptorLength);
  PutBe16(window_, kWinXResolution, 300);
  PutBe16(window_, kWinYResolution, 300);
  PutBe32(window_, kWinUpperLeftY, (5136 - 2480) / 2 * 4);
  PutBe32(window_, kWinWidth, 3488 * 4);
  PutBe32(window_, kWinLength, 2480 * 4);
  window_[kWinThreshold] = 128;
  window_[kWinBitsPerPixel] = 1;

  auto scanMode = ShortPage(kPageScanMode);
  scanMode[kSmFeedByte] = kSmContinuousFeed;
  scanMode[kSmBatchMode] = 1;
  pages_[kPageScanMode] = scanMode;
  auto image = ShortPage(kPageImage);
  image[kImEdgeEmphasis] = 1;
  image[kImAeLevel] = 9;
  pages_[kPageImage] = image;
  pages_[kPageDevice37] = ShortPage(kPageDevice37);
  std::vector<std::uint8_t> addon(kAddonPageLength + 2, 0);
  addon[kPageCodeByte] = kPageAddon;
  addon[kPageLengthByte] = kAddonPageLength;
  addon[kAdCountUpAmount] = 1;
  pages_[kPageAddon] = addon;
}

void Rt650::AddPage(Page page) {
  hopper_.push_back(std::move(page));
  ++pagesAdded_;
}

bool Rt650::AddSyntheticPages(std::uint32_t count, std::uint64_t seed, std::uint32_t dpi,
                              std::uint32_t widthMm10, std::uint32_t lengthMm10, Feed feed) {
  for (std::uint32_t i = 0; i < count; ++i) {
    Page page;
    if (!MakeSyntheticPage(SyntheticPlan{seed, i, dpi, widthMm10, lengthMm10}, page)) return false;
    page.feed = feed;
    AddPage(std::move(page));
  }
  return true;
}

bool Rt650::SetConditions(std::size_t index, const PageConditions& conditions) {
  const std::size_t gone = pagesAdded_ - hopper_.size();
  if (index < gone || index - gone >= hopper_.size()) return false;
  hopper_[index - gone].conditions = conditions;
  return true;
}

std::vector<std::uint8_t> Rt650::ScanModeData(std::uint8_t page) const {
  std::vector<std::uint8_t> data(kScanModeHeaderLength, 0);
  if (page == kPageStatus) {
    auto status = ShortPage(kPageStatus);
    SetBits(status, kStPaperByte, kStPaperPresent, current_.has_value() || !hopper_.empty());
    SetBits(status, kStReadyByte, kStPageReady, current_.has_value());
    data.insert(data.end(), status.begin(), status.end());
    return data;
  }
  const auto it = pages_.find(page);
  if (it == pages_.end()) return {};
  data.insert(data.end(), it->second.begin(), it->second.end());
  return data;
}

std::array<std::uint8_t, kGammaLength> Rt650::Gamma(std::uint16_t qualifier) const {
  const auto it = gamma_.find(qualifier);
  if (it != gamma_.end()) return it->second;
  std::array<std::uint8_t, kGammaLength> identity{};
  for (std::size_t i = 0; i < identity.size(); ++i) identity[i] = static_cast<std::uint8_t>(i);
  return identity;
}

std::array<std::uint8_t, 4> Rt650::FunctionKey(std::uint8_t key) const {
  if (key < 1 || key > keys_.size()) return {};
  return keys_[key - 1u];
}

bool Rt650::AddonOn() const { return TestBits(pages_.at(kPageScanMode), kSmFeedByte, kSmAddonOn); }
bool Rt650::ContinuousFeed() const {
  return TestBits(pages_.at(kPageScanMode), kSmFeedByte, kSmContinuousFeed);
}

// ---- dispatch ---------------------------------------------------------------------------------

void Rt650::Execute(Exchange& x) {
  const std::uint8_t opcode = x.cdb[kCdbOpcode];
  SettlePage(x.cdb[kCdbOpcode] == kOpRead ? x.cdb[kCdb10DataType] : 0xFF);
  if (opcode != kOpRequestSense) lastSense_ = Sense{};
  if (!FireFault(x)) {
    const auto it = std::find_if(kCommands.begin(), kCommands.end(),
                                 [&](const Command& c) { return c.opcode == opcode; });
    if (it == kCommands.end()) {
      x.Check(kSenseInvalidOpcode);
    } else {
      (this->*(it->handler))(x);
    }
  }
  if (x.targetStatus == aspi::kTargetCheckCondition) lastSense_ = x.sense;
}

// A page whose image transfer has begun leaves the scanner at the first
// command that is not an image READ; the next sheet then feeds when the batch
// runs in continuous feed. `readType` is the READ data type, 0xFF otherwise.
void Rt650::SettlePage(std::uint8_t readType) {
  if (!current_ || !current_->started || readType == kDataImage) return;
  EjectCurrent();
  if (scanning_ && ContinuousFeed()) {
    FeedNext();
  } else {
    scanning_ = false;
  }
}

bool Rt650::FireFault(Exchange& x) {
  const FaultRule* fired = nullptr;
  for (FaultRule& rule : faults_) {
    if (rule.opcode != x.cdb[kCdbOpcode]) continue;
    if (rule.dataType >= 0 && (x.cdb.size() <= 2 || x.cdb[2] != rule.dataType)) continue;
    ++rule.seen;
    if (fired == nullptr && rule.seen >= rule.occurrence &&
        rule.seen - rule.occurrence <= rule.repeat) {
      fired = &rule;
    }
  }
  if (fired == nullptr) return false;
  switch (fired->kind) {
    case FaultKind::kSense:
      x.Check(fired->sense);
      // A jam takes the sheet out of the paper path and stops the feeder.
      if (fired->sense.key == kSenseJam.key && fired->sense.asc == kSenseJam.asc && current_) {
        delivered_[current_->delivered].jammed = true;
        EjectCurrent();
        scanning_ = false;
      }
      break;
    case FaultKind::kBusy:
      x.targetStatus = aspi::kTargetBusy;
      break;
    case FaultKind::kHostAdapter:
      x.srbStatus = aspi::kSsErr;
      x.hostAdapterStatus = fired->value;
      break;
    case FaultKind::kSrbStatus:
      x.srbStatus = fired->value;
      break;
  }
  return true;
}

bool Rt650::FeedNext() {
  if (hopper_.empty()) return false;
  Current cur{std::move(hopper_.front()), delivered_.size(), false, {}};
  hopper_.pop_front();
  cur.page.Materialize();
  ++counters_[0];
  ++counters_[1];
  if (!keepHistory_) {
    delivered_.clear();  // no sheet is in the scanner: nothing refers to them
    cur.delivered = 0;
  }
  DeliveredPage record;
  record.origin = cur.page.synthetic ? SyntheticOrigin(cur.page.plan) : cur.page.origin;
  if (AddonOn()) {
    auto& addon = pages_[kPageAddon];
    std::string text;
    for (std::size_t i = 0; i < kAdTextLength && addon[kAdText + i] != 0; ++i) {
      const char c = static_cast<char>(addon[kAdText + i]);
      text.push_back(c >= ' ' && c < 0x7F ? c : '?');
    }
    const bool counterOn = TestBits(addon, kAdFlags, kAdCounterOn);
    if (counterOn) {
      char number[16];
      std::snprintf(number, sizeof number, "%s%u", text.empty() ? "" : " ", counters_[2]);
      text += number;
      counters_[2] += addon[kAdCountUpAmount];
    }
    if (!text.empty()) {
      StampText(cur.page.raster, cur.page.dpi, GetBe16(addon, kAdX), GetBe16(addon, kAdY), text);
    }
    record.imprint = text;
  }
  cur.page.TurnForFeed();
  record.turned = cur.page.turned;
  delivered_.push_back(record);
  current_ = std::move(cur);
  return true;
}

void Rt650::EjectCurrent() {
  if (!current_) return;
  current_->page.Release();
  current_.reset();
}

// ---- commands --------------------------------------------------------------------------------

void Rt650::TestUnitReady(Exchange&) {}

void Rt650::RequestSense(Exchange& x) {
  x.ReturnData(lastSense_.Bytes(), x.cdb[kCdb6Length]);
  lastSense_ = Sense{};
}

void Rt650::ReserveRelease(Exchange&) {}

void Rt650::Inquiry(Exchange& x) {
  const std::size_t allocation = x.cdb[kCdb6Length];
  const std::uint8_t page = x.cdb[kInquiryPageCode];
  if ((x.cdb[kInquiryEvpd] & kEvpdBit) == 0) {
    if (page != 0) return x.Check(kSenseInvalidCdbField);
    return x.ReturnData(StandardInquiry(info_.identity), allocation);
  }
  if (page == kSupportedPagesPage) return x.ReturnData(kSupportedPages, allocation);
  if (page != kVendorPageCode) return x.Check(kSenseInvalidCdbField);
  std::array<std::uint8_t, kVendorPageLength> vpd{};
  vpd[0] = info_.identity.peripheralType;
  vpd[kVpdPageCode] = kVendorPageCode;
  vpd[kVpdPageLength] = kVendorPageLength - 4;
  PutBe32(vpd, kVpCapability, info_.capability);
  vpd[kVpFlags] = info_.vendorFlags;
  x.ReturnData(vpd, allocation);
}

void Rt650::ModeSelect(Exchange& x) {
  const std::size_t length = std::min<std::size_t>(x.cdb[kCdb6Length], x.data.size());
  if (length < kModeSelectLength) return x.Check(kSenseParameterLength);
  x.transferred = length;
  const ConstByteSpan d = x.data;
  if (d[kMuPageCode] != kMeasurementUnitsPage || d[kMuPageLength] != kMeasurementUnitsPageLength ||
      GetBe16(d, kMuDivisor) == 0) {
    return x.Check(kSenseInvalidParameter);
  }
  divisor_ = GetBe16(d, kMuDivisor);
}

void Rt650::Scan(Exchange& x) {
  x.transferred = std::min<std::size_t>(x.cdb[kCdb6Length], x.data.size());
  if (!batchOpen_) {
    counters_[1] = 0;
    batchOpen_ = true;
  }
  scanning_ = true;
  if (!current_ && !FeedNext()) {
    scanning_ = false;
    x.Check(kSenseNoPaper);
  }
}

void Rt650::StopBatch(Exchange&) {
  scanning_ = false;
  batchOpen_ = false;
}

void Rt650::SetWindow(Exchange& x) {
  const std::size_t length =
      std::min<std::size_t>(GetBe24(x.cdb, kCdb10TransferLength), x.data.size());
  if (length < kWindowDataLength) return x.Check(kSenseParameterLength);
  x.transferred = length;
  const ConstByteSpan w = x.data.first(kWindowDataLength);
  const std::uint32_t xres = GetBe16(w, kWinXResolution);
  const std::uint32_t yres = GetBe16(w, kWinYResolution);
  const std::uint8_t composition = w[kWinComposition];
  const std::uint8_t bits = w[kWinBitsPerPixel];
  const bool depthOk =
      composition == kCompositionGray ? (bits == 2 || bits == 4 || bits == 8) : bits == 1;
  if (GetBe16(w, kWinDescLength) < kWindowDescriptorLength || xres < 50 || xres > 1200 ||
      yres < 50 || yres > 1200 || composition > kCompositionGray || !depthOk) {
    return x.Check(kSenseInvalidParameter);
  }
  std::copy(w.begin(), w.end(), window_.begin());
}

void Rt650::GetWindow(Exchange& x) { x.ReturnData(window_, GetBe24(x.cdb, kCdb10TransferLength)); }

void Rt650::Read(Exchange& x) {
  const std::uint8_t type = x.cdb[kCdb10DataType];
  const std::size_t length = GetBe24(x.cdb, kCdb10TransferLength);
  const std::uint16_t qualifier = static_cast<std::uint16_t>(GetBe16(x.cdb, kCdb10Qualifier));
  switch (type) {
    case kDataImage:
      return ReadImage(x, length);
    case kDataGamma:
      return x.ReturnData(Gamma(qualifier), length);
    case kDataDetectedSize: {
      std::array<std::uint8_t, kDetectedSizeLength> size{};
      if (current_) {
        const Page& p = current_->page;
        PutBe32(size, kDetectedWidth,
                static_cast<std::uint32_t>(std::uint64_t{p.width} * divisor_ / p.dpi));
        PutBe32(size, kDetectedLength,
                static_cast<std::uint32_t>(std::uint64_t{p.height} * divisor_ / p.dpi));
      }
      return x.ReturnData(size, length);
    }
    case kDataSeparatorStatus: {
      const std::array<std::uint8_t, 1> status{current_ ? current_->page.conditions.separatorStatus
                                                        : std::uint8_t{0}};
      return x.ReturnData(status, length);
    }
    case kDataCounters: {
      std::array<std::uint8_t, kCountersLength> counters{};
      PutBe32(counters, kCounter1, counters_[0]);
      PutBe32(counters, kCounter2, counters_[1]);
      PutBe32(counters, kCounter3, counters_[2]);
      return x.ReturnData(counters, length);
    }
    case kDataStatus: {
      std::array<std::uint8_t, kStatusLength> status{};
      SetBits(status, kStatusFlagByte, kStatusFlagBit,
              current_ && current_->page.conditions.flagged);
      return x.ReturnData(status, length);
    }
    default:
      return x.Check(kSenseInvalidCdbField);
  }
}

void Rt650::ReadImage(Exchange& x, std::size_t length) {
  if (!current_) return x.Check(kSenseNoPaper);
  Current& cur = *current_;
  DeliveredPage& record = delivered_[cur.delivered];
  if (!cur.started) {
    cur.started = true;
    cur.job = PlanImage(cur.page);
    record.width = cur.job.width;
    record.rows = cur.job.rows;
    record.composition = cur.job.composition;
    record.bitsPerPixel = cur.job.bitsPerPixel;
    record.rowBytes = cur.job.rowBytes;
    record.totalBytes = cur.job.totalBytes;
  }
  const std::size_t wanted = std::min(length, x.data.size());
  const std::size_t remaining = cur.job.totalBytes - record.bytesSent;
  if (cur.page.conditions.jam) {
    const std::size_t jamAt = cur.job.totalBytes / 2;
    if (record.bytesSent + wanted > jamAt) {
      const std::size_t give = jamAt - std::min(jamAt, record.bytesSent);
      RenderImage(cur.page, cur.job, record.bytesSent, x.data.first(give));
      record.bytesSent += give;
      record.jammed = true;
      x.transferred = give;
      x.Check(kSenseJam);
      EjectCurrent();
      scanning_ = false;
      return;
    }
  }
  const std::size_t give = std::min(wanted, remaining);
  RenderImage(cur.page, cur.job, record.bytesSent, x.data.first(give));
  record.bytesSent += give;
  x.transferred = give;
  if (give < length) {
    Sense shortTransfer{kKeyNoSense, 0, 0, true, static_cast<std::uint32_t>(length - give)};
    x.Check(shortTransfer);
  }
}

void Rt650::Send(Exchange& x) {
  const std::size_t length =
      std::min<std::size_t>(GetBe24(x.cdb, kCdb10TransferLength), x.data.size());
  if (x.cdb[kCdb10DataType] != kDataGamma) return x.Check(kSenseInvalidCdbField);
  if (length < kGammaLength) return x.Check(kSenseParameterLength);
  std::array<std::uint8_t, kGammaLength> table{};
  std::copy_n(x.data.begin(), kGammaLength, table.begin());
  gamma_[static_cast<std::uint16_t>(GetBe16(x.cdb, kCdb10Qualifier))] = table;
  x.transferred = kGammaLength;
}

void Rt650::ObjectPosition(Exchange& x) {
  switch (x.cdb[kObjectPositionType]) {
    case kObjectUnload:
      EjectCurrent();
      scanning_ = false;
      return;
    case kObjectLoad:
      if (!current_ && !FeedNext()) x.Check(kSenseNoPaper);
      return;
    default:
      return x.Check(kSenseInvalidCdbField);
  }
}

void Rt650::GetScanMode(Exchange& x) {
  const std::vector<std::uint8_t> data = ScanModeData(x.cdb[kGetScanModePage]);
  if (data.empty()) return x.Check(kSenseInvalidCdbField);
  x.ReturnData(data, x.cdb[kCdb6Length]);
}

void Rt650::DefineScanMode(Exchange& x) {
  const std::size_t length = std::min<std::size_t>(x.cdb[kCdb6Length], x.data.size());
  if (length < kPageStart + 2) return x.Check(kSenseParameterLength);
  x.transferred = length;
  const std::uint8_t code = x.data[PageOffset(kPageCodeByte)];
  const auto it = pages_.find(code);
  if (it == pages_.end()) return x.Check(kSenseInvalidParameter);
  std::vector<std::uint8_t>& page = it->second;
  if (x.data[PageOffset(kPageLengthByte)] != page.size() - 2 || length < kPageStart + page.size()) {
    return x.Check(kSenseParameterLength);
  }
  std::copy_n(x.data.begin() + kPageStart, page.size(), page.begin());
}

void Rt650::DefineFunctionKey(Exchange& x) {
  const std::size_t length = std::min<std::size_t>(x.cdb[kCdb6Length], x.data.size());
  if (length < kFunctionKeyBlockLength) return x.Check(kSenseParameterLength);
  x.transferred = length;
  const std::uint8_t key = x.data[kFkKeyNumber];
  if (key < 1 || key > keys_.size()) return x.Check(kSenseInvalidParameter);
  std::copy_n(x.data.begin() + 1, 4, keys_[key - 1u].begin());
}

void Rt650::GetFunctionKey(Exchange& x) {
  const std::uint8_t key = x.cdb[kFunctionKeyNumber];
  if (key < 1 || key > keys_.size()) return x.Check(kSenseInvalidCdbField);
  std::array<std::uint8_t, kFunctionKeyBlockLength> block{};
  block[kFkKeyNumber] = key;
  std::copy(keys_[key - 1u].begin(), keys_[key - 1u].end(), block.begin() + 1);
  x.ReturnData(block, x.cdb[kCdb6Length]);
}

// ---- image delivery
// ---------------------------------------------------------------------------------

// Where the sheet lies in the window's coordinates (1/1200 inch at the scan
// start's divisor): centred across the 3488-pixel scan width; along the feed,
// by the window's frame area: 0 (standard) centred in the 5136-pixel scan
// length, 1 its leading edge at 0, 2 and 3 its trailing edge at the middle.
// These are the places where the Settings dialog's windows find the sheet.
SheetPlace Rt650::PlaceSheet(const Page& page) const {
  const std::int64_t div = divisor_;
  const std::int64_t across = std::int64_t{3488} * div / 300;
  const std::int64_t along = std::int64_t{5136} * div / 300;
  SheetPlace place;
  place.width = std::int64_t{page.width} * div / page.dpi;
  place.length = std::int64_t{page.height} * div / page.dpi;
  if (sheetsAtCorner_) return place;
  place.left = (across - place.width) / 2;
  switch (window_[kWinVendorFlags] & kWinFrameAreaMask) {
    case 0:
      place.top = (along - place.length) / 2;
      break;
    case 1:
      place.top = 0;
      break;
    default:
      place.top = along / 2 - place.length;
      break;
  }
  return place;
}

ImageJob Rt650::PlanImage(const Page& page) const {
  ImageJob job;
  const ConstByteSpan w = window_;
  const std::int64_t xres = GetBe16(w, kWinXResolution);
  const std::int64_t yres = GetBe16(w, kWinYResolution);
  const std::int64_t div = divisor_;
  const SheetPlace sheet = PlaceSheet(page);
  auto signed32 = [&](std::size_t at) {
    return static_cast<std::int64_t>(static_cast<std::int32_t>(GetBe32(w, at)));
  };
  std::int64_t left = signed32(kWinUpperLeftX);
  std::int64_t top = signed32(kWinUpperLeftY);
  std::int64_t width = std::max<std::int64_t>(0, signed32(kWinWidth));
  std::int64_t length = std::max<std::int64_t>(0, signed32(kWinLength));
  const auto& scanMode = pages_.at(kPageScanMode);
  if (TestBits(scanMode, kSmFeedByte, kSmAutoSize) ||
      TestBits(scanMode, kSmMarginByte, kSmMarginScan)) {
    left = sheet.left;
    top = sheet.top;
    width = sheet.width;
    length = sheet.length;
  }
  const std::int64_t maxSide = kMaxSide;
  job.width = static_cast<std::uint32_t>(std::min(width * xres / div, maxSide));
  job.rows = static_cast<std::uint32_t>(std::min(length * yres / div, maxSide));
  job.composition = w[kWinComposition];
  job.bitsPerPixel = job.composition == kCompositionGray ? w[kWinBitsPerPixel] : 1;
  job.threshold = w[kWinThreshold] != 0 ? w[kWinThreshold] : 128;
  job.rowBytes = (job.bitsPerPixel * job.width + 31) / 32 * 4;
  job.totalBytes = std::size_t{job.rowBytes} * job.rows;
  // Source pixel of output pixel i: (origin - sheet edge + i / res) inch at the
  // page's dpi; off the sheet it reads white.
  auto map = [&](std::vector<std::uint32_t>& out, std::uint32_t count, std::int64_t origin,
                 std::int64_t res, std::uint32_t limit) {
    out.resize(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::int64_t at = origin * res + std::int64_t{i} * div;  // x res
      const std::int64_t s = at >= 0 ? at * page.dpi / (div * res) : -1;
      out[i] = s >= 0 && s < limit ? static_cast<std::uint32_t>(s) : ImageJob::kOutside;
    }
  };
  if (xres > 0 && yres > 0) {
    map(job.sourceX, job.width, left - sheet.left, xres, page.width);
    map(job.sourceY, job.rows, top - sheet.top, yres, page.height);
  } else {
    job.sourceX.assign(job.width, ImageJob::kOutside);
    job.sourceY.assign(job.rows, ImageJob::kOutside);
  }
  const auto firstInside = std::find_if(job.sourceX.begin(), job.sourceX.end(),
                                        [](std::uint32_t v) { return v != ImageJob::kOutside; });
  job.insideFrom = static_cast<std::uint32_t>(firstInside - job.sourceX.begin());
  job.insideWidth = static_cast<std::uint32_t>(
      std::find(firstInside, job.sourceX.end(), ImageJob::kOutside) - job.sourceX.begin());
  job.direct = job.width > 0 && job.insideFrom == 0 && job.insideWidth == job.width &&
               job.sourceX.back() - job.sourceX.front() == job.width - 1;
  return job;
}

namespace {

// One scanner row: pixels packed most significant bit first, padded with 0.
// The row's gray values are gathered first (columns beyond the sheet are
// white; the source columns rise with x, so those are a prefix and a suffix), then packed.
void RenderRow(const Page& page, const ImageJob& job, std::uint32_t y, std::uint8_t* out,
               std::vector<std::uint8_t>& gray) {
  std::memset(out, 0, job.rowBytes);
  const std::uint32_t sy = job.sourceY[y];
  const std::uint8_t* g = nullptr;
  if (sy != ImageJob::kOutside && job.direct) {
    g = page.raster.Row(sy) + job.sourceX[0];  // same resolution, wholly on the sheet
  } else {
    gray.assign(job.width, 255);
    if (sy != ImageJob::kOutside) {
      const std::uint8_t* src = page.raster.Row(sy);
      const std::uint32_t* sx = job.sourceX.data();
      for (std::uint32_t x = job.insideFrom; x < job.insideWidth; ++x) gray[x] = src[sx[x]];
    }
    g = gray.data();
  }
  if (job.composition == kCompositionGray) {
    const unsigned bits = job.bitsPerPixel;
    if (bits == 8) {
      std::memcpy(out, g, job.width);
      return;
    }
    const unsigned shift = 8 - bits;
    const unsigned perByte = 8 / bits;
    for (std::uint32_t x = 0; x < job.width; ++x) {
      const unsigned slot = x % perByte;
      out[x / perByte] = static_cast<std::uint8_t>(out[x / perByte] |
                                                   ((g[x] >> shift) << (8 - bits * (slot + 1))));
    }
    return;
  }
  // Line art against the threshold, halftone against a 4 x 4 ordered dither.
  std::array<std::uint8_t, 8> limit{};
  for (std::size_t i = 0; i < limit.size(); ++i) {
    limit[i] = job.composition == kCompositionHalftone ? kBayer[y & 3][i & 3] : job.threshold;
  }
  const std::uint32_t whole = job.width / 8;
  for (std::uint32_t i = 0; i < whole; ++i) {
    const std::uint8_t* p = g + std::size_t{i} * 8;
    unsigned byte = 0;
    for (unsigned b = 0; b < 8; ++b) byte |= static_cast<unsigned>(p[b] < limit[b]) << (7 - b);
    out[i] = static_cast<std::uint8_t>(byte);
  }
  for (std::uint32_t x = whole * 8; x < job.width; ++x) {
    if (g[x] < limit[x & 7])
      out[x / 8] = static_cast<std::uint8_t>(out[x / 8] | (0x80u >> (x & 7)));
  }
}

}  // namespace

void Rt650::RenderImage(const Page& page, const ImageJob& job, std::size_t from, ByteSpan out) {
  if (out.empty() || job.rowBytes == 0) return;
  std::vector<std::uint8_t> scratch;
  std::vector<std::uint8_t> gray;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::size_t at = from + done;
    const auto row = static_cast<std::uint32_t>(at / job.rowBytes);
    const std::size_t inRow = at % job.rowBytes;
    const std::size_t take = std::min<std::size_t>(job.rowBytes - inRow, out.size() - done);
    if (inRow == 0 && take == job.rowBytes) {
      RenderRow(page, job, row, out.data() + done, gray);
    } else {
      scratch.resize(job.rowBytes);
      RenderRow(page, job, row, scratch.data(), gray);
      std::memcpy(out.data() + done, scratch.data() + inRow, take);
    }
    done += take;
  }
}

}  // namespace tarvo::sim
