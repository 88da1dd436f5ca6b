#include "scan/ModePages.h"

#include <cstring>

namespace tarvo {
namespace {

using namespace wire;

constexpr std::int32_t kFallbackResolution = 300;

constexpr std::int32_t Sub32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// Pixels of the scanner's full width at resolution xr, truncated.
constexpr std::int32_t MaxWidthPixels(std::int32_t xr) {
  return Div32(Mul32(xr, kMaxScanWidth300), kBaseResolution);
}

constexpr std::int32_t Signed32(std::uint32_t v) { return static_cast<std::int32_t>(v); }

// Image composition and bits per pixel of an image type.
struct Composition {
  std::uint8_t composition;
  std::uint8_t bitsPerPixel;  // 0: the record's bitsPerPixel
};

Composition CompositionFor(std::int32_t imageType) {
  switch (imageType & 0xFF) {
    case 10: return {kCompositionHalftone, 1};
    case 4: return {kCompositionGray, 0};
    default: return {kCompositionLineArt, 1};  // 1 and 9
  }
}

void PutShortPageHeader(ShortPage& page, std::uint8_t code) {
  page[PageOffset(kPageCodeByte)] = code;
  page[PageOffset(kPageLengthByte)] = kShortPageLength;
}

// The order in which a read function-key block is searched for its bit.
const FunctionBit* FunctionBitFor(std::uint32_t code) {
  for (const FunctionBit& bit : kFunctionBits) {
    if (bit.code == code) return &bit;
  }
  return nullptr;
}

}  // namespace

WindowParams WindowParamsFrom(const ScanSettings& s) {
  const std::int32_t xr = s.xResolution & 0xFFFF;
  const std::int32_t yr = s.yResolution & 0xFFFF;
  WindowParams w;
  w.upperLeftY = Div32(Mul32(s.topOffset, kUnitsPerInch), yr);
  w.width = Div32(Mul32(s.scanWidth, kUnitsPerInch), xr);
  w.length = Div32(Mul32(s.scanLength, kUnitsPerInch), yr);
  w.upperLeftX =
      Div32(Mul32(Sub32(Sub32(MaxWidthPixels(xr), s.sideOffset), s.scanWidth), kUnitsPerInch), xr);
  w.xResolution = static_cast<std::uint16_t>(xr);
  w.yResolution = static_cast<std::uint16_t>(yr);
  w.brightness = static_cast<std::uint8_t>(s.brightness);
  w.imageType = static_cast<std::uint8_t>(s.imageType);
  w.rif = 0;
  w.userGrc = s.userGrc;
  w.frameArea = s.frameArea;
  return w;
}

WindowData BuildWindowData(const ScanSettings& s) {
  const WindowParams w = WindowParamsFrom(s);
  WindowData d{};
  PutBe16(d, kWinDescLength, kWindowDescriptorLength);
  d[kWinId] = 0;
  PutBe16(d, kWinXResolution, w.xResolution);
  PutBe16(d, kWinYResolution, w.yResolution);
  PutBe32(d, kWinUpperLeftX, static_cast<std::uint32_t>(w.upperLeftX));
  PutBe32(d, kWinUpperLeftY, static_cast<std::uint32_t>(w.upperLeftY));
  PutBe32(d, kWinWidth, static_cast<std::uint32_t>(w.width));
  PutBe32(d, kWinLength, static_cast<std::uint32_t>(w.length));
  d[kWinBrightness] = w.brightness;
  d[kWinThreshold] = w.brightness;
  d[kWinContrast] = static_cast<std::uint8_t>(s.contrast);
  const Composition c = CompositionFor(w.imageType);
  d[kWinComposition] = c.composition;
  d[kWinBitsPerPixel] = c.bitsPerPixel != 0 ? c.bitsPerPixel
                                            : static_cast<std::uint8_t>(s.bitsPerPixel);
  d[kWinRifLineFill] = w.rif != 0 ? 0x80 : 0x00;
  SetBits(d, kWinVendorFlags, kWinUserGrcBit, w.userGrc != 0);
  PutField(d, kWinVendorFlags, kWinFrameAreaMask, static_cast<std::uint32_t>(w.frameArea));
  return d;
}

void ApplyWindowData(ScanSettings& s, ConstByteSpan d) {
  if (d[kWinId] != 0) {
    s.frameArea = static_cast<std::int32_t>(GetField(d, kWinVendorFlags, kWinFrameAreaMask));
    return;
  }
  std::int32_t xr = static_cast<std::int32_t>(GetBe16(d, kWinXResolution));
  if (xr == 0) xr = kFallbackResolution;
  s.xResolution = xr;
  s.yResolution = xr;
  const std::uint8_t composition = d[kWinComposition];
  s.brightness = composition == kCompositionLineArt ? d[kWinThreshold] : d[kWinBrightness];
  s.contrast = d[kWinContrast];
  s.imageType = composition == kCompositionHalftone ? 10 : composition == kCompositionGray ? 4 : 1;
  if (s.imageType == kImageLineArt && s.textMode != 0) s.imageType = kImageLineArtText;
  s.bitsPerPixel = s.imageType == kImageGray ? d[kWinBitsPerPixel] : 1;
  s.userGrc = TestBits(d, kWinVendorFlags, kWinUserGrcBit) ? 1 : 0;
  auto toPixels = [xr](std::uint32_t v) {
    return Div32(Mul32(Signed32(v), xr), kUnitsPerInch);
  };
  s.scanWidth = toPixels(GetBe32(d, kWinWidth));
  s.scanLength = toPixels(GetBe32(d, kWinLength));
  s.topOffset = toPixels(GetBe32(d, kWinUpperLeftY));
  s.sideOffset = Sub32(Sub32(MaxWidthPixels(xr), toPixels(GetBe32(d, kWinUpperLeftX))), s.scanWidth);
  s.frameArea = static_cast<std::int32_t>(GetField(d, kWinVendorFlags, kWinFrameAreaMask));
}

ShortPage BuildScanModePage(const ScanSettings& s) {
  ShortPage p{};
  PutShortPageHeader(p, kPageScanMode);
  const std::size_t feed = PageOffset(kSmFeedByte);
  SetBits(p, feed, kSmFlag7, s.scanModeFlag7 != 0);
  SetBits(p, feed, kSmContinuousFeed, s.continuousFeed != 0);
  SetBits(p, feed, kSmAutoSize, s.autoSize != 0);
  SetBits(p, feed, kSmAddonOn, s.addonOn != 0);
  const std::size_t sep = PageOffset(kSmSeparatorByte);
  SetBits(p, sep, kSmSeparatorAOn, s.separatorModeA != 0);
  SetBits(p, sep, kSmSeparatorAScan, (s.separatorModeA & 2) != 0);
  SetBits(p, sep, kSmSeparatorAContinue, (s.separatorModeA & 4) != 0);
  SetBits(p, sep, kSmSeparatorBOn, s.separatorModeB != 0);
  SetBits(p, sep, kSmSeparatorBScan, (s.separatorModeB & 2) != 0);
  SetBits(p, sep, kSmSeparatorBContinue, (s.separatorModeB & 4) != 0);
  const std::size_t margin = PageOffset(kSmMarginByte);
  SetBits(p, margin, kSmMarginScan, s.marginScan != 0);
  SetBits(p, margin, kSmKeyStart, s.keyStart == 1);
  p[PageOffset(kSmMarginAmount)] = static_cast<std::uint8_t>(s.marginAmount);
  p[PageOffset(kSmBatchMode)] = static_cast<std::uint8_t>(s.batchMode);
  return p;
}

void ApplyScanModePage(ScanSettings& s, ConstByteSpan p) {
  const std::size_t feed = PageOffset(kSmFeedByte);
  s.scanModeFlag7 = TestBits(p, feed, kSmFlag7) ? 1 : 0;
  s.continuousFeed = TestBits(p, feed, kSmContinuousFeed) ? 1 : 0;
  s.autoSize = TestBits(p, feed, kSmAutoSize) ? 1 : 0;
  s.addonOn = TestBits(p, feed, kSmAddonOn) ? 1 : 0;
  const std::size_t margin = PageOffset(kSmMarginByte);
  s.marginScan = TestBits(p, margin, kSmMarginScan) ? 1 : 0;
  s.keyStart = TestBits(p, margin, kSmKeyStart) ? 1 : 0;
  s.marginAmount = static_cast<std::int8_t>(p[PageOffset(kSmMarginAmount)]);
  s.batchMode = p[PageOffset(kSmBatchMode)];
}

void PutWireField(ByteSpan p, const WireField& f, std::int32_t value) {
  const std::size_t at = PageOffset(f.pageByte);
  switch (f.coding) {
    case WireCoding::kByte: p[at] = static_cast<std::uint8_t>(value); break;
    case WireCoding::kFlag: SetBits(p, at, f.mask, value != 0); break;
    case WireCoding::kField: PutField(p, at, f.mask, static_cast<std::uint32_t>(value)); break;
    case WireCoding::kOneOfBits: {
      std::int32_t n = 0;
      for (std::uint8_t bit = 1; bit != 0; bit = static_cast<std::uint8_t>(bit << 1)) {
        if ((f.mask & bit) != 0) SetBits(p, at, bit, value == ++n);
      }
      break;
    }
  }
}

std::int32_t GetWireField(ConstByteSpan p, const WireField& f) {
  const std::size_t at = PageOffset(f.pageByte);
  switch (f.coding) {
    case WireCoding::kByte: return p[at];
    case WireCoding::kFlag: return TestBits(p, at, f.mask) ? 1 : 0;
    case WireCoding::kField:
    case WireCoding::kOneOfBits: return static_cast<std::int32_t>(GetField(p, at, f.mask));
  }
  return 0;
}

ShortPage BuildImagePage(const ScanSettings& s) {
  ShortPage p{};
  PutShortPageHeader(p, kPageImage);
  for (const WireField& f : kImagePageFields) PutWireField(p, f, s.*f.field);
  return p;
}

void ApplyImagePage(ScanSettings& s, ConstByteSpan p) {
  for (const WireField& f : kImagePageFields) s.*f.field = GetWireField(p, f);
}

ShortPage BuildDevicePage37(std::int32_t first, std::int32_t second) {
  ShortPage p{};
  PutShortPageHeader(p, kPageDevice37);
  p[PageOffset(kD37First)] = static_cast<std::uint8_t>(first);
  p[PageOffset(kD37Second)] = static_cast<std::uint8_t>(second);
  return p;
}

void PrepareAddonPageForSend(AddonPageData& page) {
  std::memset(page.data(), 0, kScanModeHeaderLength);
  page[PageOffset(kPageCodeByte)] = kPageAddon;
  page[PageOffset(kPageLengthByte)] = kAddonPageLength;
  constexpr std::size_t kZeroedTail = 6;
  std::memset(page.data() + page.size() - kZeroedTail, 0, kZeroedTail);
}

std::optional<FunctionKeyBlock> BuildFunctionKeyBlock(std::uint8_t key, std::uint32_t code) {
  const FunctionBit* bit = FunctionBitFor(code);
  if (bit == nullptr) return std::nullopt;
  FunctionKeyBlock block{};
  block[kFkKeyNumber] = key;
  SetBits(block, bit->byte, bit->mask, true);
  return block;
}

std::optional<std::uint32_t> FunctionCodeFromBlock(ConstByteSpan block) {
  for (const FunctionBit& bit : kFunctionReadingOrder) {
    if (TestBits(block, bit.byte, bit.mask)) return bit.code;
  }
  return std::nullopt;
}

}  // namespace tarvo
