#include "scan/Parameters.h"

#include <array>
#include <cstring>

#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"

namespace tarvo {
namespace {

using namespace wire;

// ---- accepted-value tables, each ended by kTableEnd ------------------------------

constexpr std::int32_t kResolutions[] = {200, 300, 600, kTableEnd};
constexpr std::int32_t kFileTypes[] = {1, 2, 4, 8, kTableEnd};
constexpr std::int32_t kCompressions[] = {0, 3, 4, 5, kTableEnd};
constexpr std::int32_t kImageTypes[] = {1, 4, 10, 9, kTableEnd};
constexpr std::int32_t kSeparatorLatch[] = {0, kTableEnd};
constexpr std::int32_t kKeyStart[] = {0, 1, kTableEnd};
constexpr std::int32_t kJobSeparator[] = {0, 5, kTableEnd};
constexpr std::int32_t kGrayDepths[] = {2, 4, 8, kTableEnd};
constexpr std::int32_t kOneBit[] = {1, kTableEnd};
// Count-up and reset timings: (value, code) and (code, value) pairs.
constexpr std::int32_t kTimingValueToCode[] = {0, 0, 5, 1, 6, 2, 7, 3, 3, 4, 4, 5, kTableEnd, 0};
constexpr std::int32_t kTimingCodeToValue[] = {0, 0, 1, 5, 2, 6, 3, 7, 4, 3, 5, 4, kTableEnd, 0};

constexpr bool InTable(const std::int32_t* table, std::int32_t value) {
  for (const std::int32_t* p = table; *p != kTableEnd; ++p) {
    if (*p == value) return true;
  }
  return false;
}

// The second member of the pair whose first member is `key`.
constexpr bool LookupPair(const std::int32_t* pairs, std::int32_t key, std::int32_t& out) {
  for (const std::int32_t* p = pairs; *p != kTableEnd; p += 2) {
    if (p[0] == key) {
      out = p[1];
      return true;
    }
  }
  return false;
}

// ---- what a set accepts -------------------------------------------------------------

enum class Accept : std::uint8_t {
  kAny,
  kRange,         // lo..hi, signed, inclusive
  kTable,         // a value of `table`
  kTimingValue,   // a value of the timing value-to-code table
  kBitsForType,   // bits per pixel allowed by the current image type
  kPointer,       // a non-null address
  kText63,        // a non-null address of a text of at most 63 characters
};

struct Check {
  Accept kind = Accept::kAny;
  std::int32_t lo = 0;
  std::int32_t hi = 0;
  const std::int32_t* table = nullptr;
};

constexpr Check Any() { return {}; }
constexpr Check Range(std::int32_t lo, std::int32_t hi) { return {Accept::kRange, lo, hi, nullptr}; }
constexpr Check Table(const std::int32_t* t) { return {Accept::kTable, 0, 0, t}; }
constexpr Check Of(Accept kind) { return {kind, 0, 0, nullptr}; }

using FieldPtr = std::int32_t ScanSettings::*;
using StoreFn = void (*)(DriverContext&, std::int32_t value);
using PointerStoreFn = Result (*)(DriverContext&, std::uintptr_t address);
using RunFn = Result (*)(DriverContext&, std::int32_t id, std::int32_t value);
using GetFn = Result (*)(DriverContext&, std::int32_t id, void* cell);

struct Row {
  ParameterInfo info;
  Check check;
  StoreFn store = nullptr;               // int cells: what is stored
  PointerStoreFn storePointer = nullptr; // pointer cells: store and send in one
  RunFn run = nullptr;                   // what is sent afterwards
  GetFn get = nullptr;                   // what a get writes
};

// ---- stores -------------------------------------------------------------------------

template <FieldPtr F>
void StoreValue(DriverContext& c, std::int32_t v) {
  c.settings.*F = v;
}
template <FieldPtr F>
void StoreFlag(DriverContext& c, std::int32_t v) {
  c.settings.*F = v != 0 ? 1 : 0;
}
void StoreScanLength(DriverContext& c, std::int32_t v) { c.settings.scanLength = v / 32 * 32; }
void StoreResolution(DriverContext& c, std::int32_t v) {
  c.settings.xResolution = v;
  c.settings.yResolution = v;
}
void StoreNothing(DriverContext&, std::int32_t) {}
void StoreContinuous(DriverContext& c, std::int32_t v) {
  (void)ReadScanModePage(c);  // the scanner's other page 0x32 bits first
  c.settings.continuousFeed = v != 0 ? 1 : 0;
}
void StoreImageType(DriverContext& c, std::int32_t v) {
  ScanSettings& s = c.settings;
  s.imageType = v;
  s.textMode = v == 9 ? 1 : 0;
  if (v == 4) {
    if (s.bitsPerPixel == 1) s.bitsPerPixel = 2;  // other depths stay
  } else {
    s.bitsPerPixel = 1;
  }
}

// Addon page fields, edited in the mirror.
std::size_t AddonByte(std::size_t pageByte) { return PageOffset(pageByte); }
template <std::size_t PageByte>
void StoreAddonByte(DriverContext& c, std::int32_t v) {
  c.addonPage[AddonByte(PageByte)] = static_cast<std::uint8_t>(v);
}
template <std::size_t PageByte>
void StoreAddonFlagByte(DriverContext& c, std::int32_t v) {
  c.addonPage[AddonByte(PageByte)] = v != 0 ? 1 : 0;
}
template <std::size_t PageByte>
void StoreAddonWord(DriverContext& c, std::int32_t v) {
  PutBe16(c.addonPage, AddonByte(PageByte), static_cast<std::uint32_t>(v));
}
void StoreCounterOn(DriverContext& c, std::int32_t v) {
  const std::size_t at = AddonByte(kAdFlags);
  if (v != 0) {
    SetBits(c.addonPage, at, kAdCounterOn, true);
  } else {
    SetBits(c.addonPage, at, kAdCounterOn | kAdCounterBit7, false);
  }
}
void StoreColor(DriverContext& c, std::int32_t v) {
  PutField(c.addonPage, AddonByte(kAdFlags), kAdColorMask, static_cast<std::uint32_t>(v));
}
void StoreStyle(DriverContext& c, std::int32_t v) {
  PutField(c.addonPage, AddonByte(kAdFlags), kAdStyleMask, static_cast<std::uint32_t>(v));
}
template <std::size_t PageByte>
void StoreTiming(DriverContext& c, std::int32_t v) {
  std::int32_t code = 0;
  LookupPair(kTimingValueToCode, v, code);  // accepted values are in the table
  c.addonPage[AddonByte(PageByte)] = static_cast<std::uint8_t>(code);
}

Result StoreDocName(DriverContext& c, std::uintptr_t address) {
  c.settings.docName = reinterpret_cast<const char*>(address);  // the host's text, not copied
  return Result::Ok;
}
Result StoreAddonText(DriverContext& c, std::uintptr_t address) {
  const char* text = reinterpret_cast<const char*>(address);
  const std::size_t at = AddonByte(kAdText);
  std::memset(c.addonPage.data() + at, 0, kAdTextLength);
  std::memcpy(c.addonPage.data() + at, text, ::strnlen(text, kAdTextLength - 1));
  return PushAddonPage(c);
}
Result SendGamma(DriverContext& c, std::uintptr_t address) {
  Result r = SendGammaTable(c, 1, reinterpret_cast<const std::uint8_t*>(address));
  return r == Result::InvalidCdbField ? Result::UnknownParameter : r;
}
Result SendDevicePage37(DriverContext& c, std::uintptr_t address) {
  const auto* values = reinterpret_cast<const std::int32_t*>(address);
  const std::int32_t pair[2] = {values[0], values[1]};
  return PushDevicePage37(c, pair);
}

// ---- what is sent afterwards ----------------------------------------------------------

Result RunWindow(DriverContext& c, std::int32_t, std::int32_t) { return PushWindow(c); }
Result RunScanMode(DriverContext& c, std::int32_t, std::int32_t) { return PushScanModePage(c); }
Result RunImage(DriverContext& c, std::int32_t, std::int32_t) { return PushImagePage(c); }
Result RunAddon(DriverContext& c, std::int32_t, std::int32_t) { return PushAddonPage(c); }
Result RunFunctionKey(DriverContext& c, std::int32_t id, std::int32_t code) {
  return FromCode(DefineFunctionKey(c, static_cast<std::uint8_t>(id - 109),
                                    static_cast<std::uint32_t>(code)));
}

// ---- what a get writes ------------------------------------------------------------------

void Write32(void* cell, std::int32_t v) { std::memcpy(cell, &v, sizeof v); }

template <FieldPtr F>
Result GetValue(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, c.settings.*F);
  return Result::Ok;
}
template <std::int32_t Constant>
Result GetConstant(DriverContext&, std::int32_t, void* cell) {
  Write32(cell, Constant);
  return Result::Ok;
}
Result GetContinuous(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, c.settings.continuousFeed != 0 ? 1 : 0);
  return Result::Ok;
}
Result GetSeparatorDetected(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, c.state.separatorDetected);
  return Result::Ok;
}
Result GetDocName(DriverContext& c, std::int32_t, void* cell) {
  const auto address = reinterpret_cast<std::uintptr_t>(c.settings.docName);
  std::memcpy(cell, &address, sizeof address);
  return Result::Ok;
}
Result GetAddonText(DriverContext& c, std::int32_t, void* cell) {
  std::uintptr_t address = 0;
  std::memcpy(&address, cell, sizeof address);
  if (address == 0) return Result::InvalidValue;
  std::memcpy(reinterpret_cast<void*>(address), c.addonPage.data() + AddonByte(kAdText),
              kAdTextLength);
  return Result::Ok;
}
template <std::size_t PageByte>
Result GetAddonByte(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, c.addonPage[AddonByte(PageByte)]);
  return Result::Ok;
}
template <std::size_t PageByte>
Result GetAddonWord(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, static_cast<std::int32_t>(GetBe16(c.addonPage, AddonByte(PageByte))));
  return Result::Ok;
}
template <std::uint8_t Mask>
Result GetAddonFlags(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, static_cast<std::int32_t>(GetField(c.addonPage, AddonByte(kAdFlags), Mask)));
  return Result::Ok;
}
template <std::size_t PageByte>
Result GetTiming(DriverContext& c, std::int32_t, void* cell) {
  std::int32_t value = 0;
  if (!LookupPair(kTimingCodeToValue, c.addonPage[AddonByte(PageByte)], value)) {
    return Result::InvalidValue;
  }
  Write32(cell, value);
  return Result::Ok;
}
Result GetGamma(DriverContext& c, std::int32_t, void* cell) {
  std::uintptr_t address = 0;
  std::memcpy(&address, cell, sizeof address);
  if (address == 0) return Result::InvalidValue;
  Result r = ReadGammaTable(c, 1, reinterpret_cast<std::uint8_t*>(address));
  return r == Result::InvalidCdbField ? Result::UnknownParameter : r;
}
Result GetFunctionKey(DriverContext& c, std::int32_t id, void* cell) {
  std::uint32_t code = 0;
  std::memcpy(&code, cell, sizeof code);  // unchanged when the key has no function
  Result r = ReadFunctionKey(c, id - 109, &code);
  if (r == Result::Ok) std::memcpy(cell, &code, sizeof code);
  return r;
}
template <std::uint32_t DriverState::*F>
Result GetCounter(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, static_cast<std::int32_t>(c.state.*F));
  return Result::Ok;
}
Result GetBatchCapable(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, c.state.scannerCaps.batchCapable ? 1 : 0);
  return Result::Ok;
}

// ---- the table ---------------------------------------------------------------------------

using S = ScanSettings;

constexpr ParameterInfo Info(std::int32_t id, const char* name, bool set, bool get,
                             bool pointer = false) {
  return {id, name, set, get, pointer};
}

// Keys 1..10: the function code is sent at once and read back from the scanner.
constexpr Row FunctionKeyRow(std::int32_t key, const char* name) {
  return {Info(109 + key, name, true, true), Any(), &StoreNothing, nullptr, &RunFunctionKey,
          &GetFunctionKey};
}

constexpr Row kRows[] = {
    // clang-format off
    {Info(1, "PAR_SCAN_LENGTH", true, true), Any(), &StoreScanLength, nullptr, &RunWindow, &GetValue<&S::scanLength>},
    {Info(2, "PAR_SCAN_WIDTH", true, true), Any(), &StoreValue<&S::scanWidth>, nullptr, &RunWindow, &GetValue<&S::scanWidth>},
    {Info(3, "PAR_SEPARATOR_LATCH", true, true), Table(kSeparatorLatch), &StoreNothing, nullptr, nullptr, &GetValue<&S::separatorLatch>},
    {Info(5, "PAR_BRIGHTNESS", true, true), Range(0, 255), &StoreValue<&S::brightness>, nullptr, &RunWindow, &GetValue<&S::brightness>},
    {Info(6, "PAR_RESOLUTION", true, true), Table(kResolutions), &StoreResolution, nullptr, &RunWindow, &GetValue<&S::xResolution>},
    {Info(7, "PAR_Y_RESOLUTION", true, true), Table(kResolutions), &StoreResolution, nullptr, &RunWindow, &GetValue<&S::yResolution>},
    {Info(8, "PAR_COMPRESSION", true, true), Table(kCompressions), &StoreValue<&S::compression>, nullptr, &RunWindow, &GetValue<&S::compression>},
    {Info(10, "PAR_SEPARATOR_B", false, true), Any(), nullptr, nullptr, nullptr, &GetValue<&S::separatorModeB>},
    {Info(11, "PAR_JOB_SEPARATOR", true, true), Table(kJobSeparator), &StoreValue<&S::separatorModeA>, nullptr, nullptr, &GetValue<&S::separatorModeA>},
    {Info(12, "PAR_AUTO_SIZE", true, true), Any(), &StoreFlag<&S::autoSize>, nullptr, &RunScanMode, &GetValue<&S::autoSize>},
    {Info(13, "PAR_SEPARATOR_DETECTED", false, true), Any(), nullptr, nullptr, nullptr, &GetSeparatorDetected},
    {Info(14, "PAR_KEY_START", true, true), Table(kKeyStart), &StoreValue<&S::keyStart>, nullptr, &RunScanMode, &GetValue<&S::keyStart>},
    {Info(15, "PAR_DOC_NAME", true, true, true), Any(), nullptr, &StoreDocName, nullptr, &GetDocName},
    {Info(16, "PAR_USER_16", true, true), Any(), &StoreValue<&S::user16>, nullptr, nullptr, &GetValue<&S::user16>},
    {Info(17, "PAR_CONTINUOUS", true, true), Any(), &StoreContinuous, nullptr, &RunScanMode, &GetContinuous},
    {Info(18, "PAR_USER_18", true, true), Any(), &StoreValue<&S::user18>, nullptr, nullptr, &GetValue<&S::user18>},
    {Info(19, "PAR_FILE_TYPE", true, true), Table(kFileTypes), &StoreValue<&S::fileType>, nullptr, nullptr, &GetValue<&S::fileType>},
    {Info(20, "PAR_BITS_PER_PIXEL", true, true), Of(Accept::kBitsForType), &StoreValue<&S::bitsPerPixel>, nullptr, &RunWindow, &GetValue<&S::bitsPerPixel>},
    {Info(21, "PAR_CONTRAST", true, true), Range(0, 255), &StoreValue<&S::contrast>, nullptr, &RunWindow, &GetValue<&S::contrast>},
    {Info(22, "PAR_IMAGE_TYPE", true, true), Table(kImageTypes), &StoreImageType, nullptr, &RunWindow, &GetValue<&S::imageType>},
    {Info(32, "PAR_MARGIN_SCAN", true, true), Any(), &StoreFlag<&S::marginScan>, nullptr, &RunScanMode, &GetValue<&S::marginScan>},
    {Info(33, "PAR_MARGIN_AMOUNT", true, true), Range(-10, 10), &StoreValue<&S::marginAmount>, nullptr, &RunScanMode, &GetValue<&S::marginAmount>},
    {Info(39, "PAR_FRAME_AREA", true, true), Range(0, 3), &StoreValue<&S::frameArea>, nullptr, &RunWindow, &GetValue<&S::frameArea>},
    {Info(40, "PAR_TOP_OFFSET", true, true), Any(), &StoreValue<&S::topOffset>, nullptr, &RunWindow, &GetValue<&S::topOffset>},
    {Info(41, "PAR_SIDE_OFFSET", true, true), Any(), &StoreValue<&S::sideOffset>, nullptr, &RunWindow, &GetValue<&S::sideOffset>},
    {Info(49, "PAR_TEXT_MODE", true, true), Any(), &StoreFlag<&S::textMode>, nullptr, nullptr, &GetValue<&S::textMode>},
    {Info(53, "PAR_EDGE_EMPHASIS", true, true), Range(1, 5), &StoreValue<&S::edgeEmphasis>, nullptr, &RunImage, &GetValue<&S::edgeEmphasis>},
    {Info(56, "PAR_NOTCH_ERASE", true, true), Any(), &StoreFlag<&S::notchErase>, nullptr, &RunImage, &GetValue<&S::notchErase>},
    {Info(57, "PAR_THIN_LINE", true, true), Any(), &StoreFlag<&S::thinLine>, nullptr, &RunImage, &GetValue<&S::thinLine>},
    {Info(58, "PAR_AE", true, true), Range(1, 17), &StoreValue<&S::aeLevel>, nullptr, &RunImage, &GetValue<&S::aeLevel>},
    {Info(59, "PAR_USER_GRC", true, true), Any(), &StoreFlag<&S::userGrc>, nullptr, &RunWindow, &GetValue<&S::userGrc>},
    {Info(61, "PAR_ADDON", true, true), Any(), &StoreFlag<&S::addonOn>, nullptr, &RunAddon, &GetValue<&S::addonOn>},
    {Info(62, "PAR_ADDON_TEXT", true, true, true), Of(Accept::kText63), nullptr, &StoreAddonText, nullptr, &GetAddonText},
    {Info(63, "PAR_ADDON_TIMING", true, true), Range(0, 1), &StoreAddonByte<kAdPrintTiming>, nullptr, &RunAddon, &GetAddonByte<kAdPrintTiming>},
    {Info(64, "PAR_ADDON_X", true, true), Range(0, 500), &StoreAddonWord<kAdX>, nullptr, &RunAddon, &GetAddonWord<kAdX>},
    {Info(65, "PAR_ADDON_Y", true, true), Range(0, 300), &StoreAddonWord<kAdY>, nullptr, &RunAddon, &GetAddonWord<kAdY>},
    {Info(66, "PAR_ADDON_COUNTER_ON", true, true), Any(), &StoreCounterOn, nullptr, &RunAddon, &GetAddonFlags<kAdCounterOn>},
    {Info(67, "PAR_ADDON_COLOR", true, true), Range(0, 2), &StoreColor, nullptr, &RunAddon, &GetAddonFlags<kAdColorMask>},
    {Info(68, "PAR_ADDON_STYLE", true, true), Range(0, 3), &StoreStyle, nullptr, &RunAddon, &GetAddonFlags<kAdStyleMask>},
    {Info(69, "PAR_ADDON_FLAG", true, true), Any(), &StoreAddonFlagByte<kAdFlag>, nullptr, &RunAddon, &GetAddonByte<kAdFlag>},
    {Info(70, "PAR_COUNTUP_TIMING", true, true), Of(Accept::kTimingValue), &StoreTiming<kAdCountUpTiming>, nullptr, &RunAddon, &GetTiming<kAdCountUpTiming>},
    {Info(71, "PAR_COUNTUP_AMOUNT", true, true), Range(0, 255), &StoreAddonByte<kAdCountUpAmount>, nullptr, &RunAddon, &GetAddonByte<kAdCountUpAmount>},
    {Info(72, "PAR_RESET_TIMING", true, true), Of(Accept::kTimingValue), &StoreTiming<kAdResetTiming>, nullptr, &RunAddon, &GetTiming<kAdResetTiming>},
    {Info(73, "PAR_RESET_VALUE", true, true), Range(0, 255), &StoreAddonByte<kAdResetValue>, nullptr, &RunAddon, &GetAddonByte<kAdResetValue>},
    {Info(99, "PAR_POLARITY", true, true), Range(0, 2), &StoreValue<&S::polarity>, nullptr, nullptr, &GetValue<&S::polarity>},
    {Info(100, "PAR_GAMMA", true, true, true), Of(Accept::kPointer), nullptr, &SendGamma, nullptr, &GetGamma},
    {Info(104, "PAR_DEVICE_PAGE_37", true, false, true), Of(Accept::kPointer), nullptr, &SendDevicePage37, nullptr, nullptr},
    {Info(105, "PAR_MAX_WIDTH", false, true), Any(), nullptr, nullptr, nullptr, &GetConstant<kMaxScanWidth300>},
    {Info(106, "PAR_MAX_LENGTH", false, true), Any(), nullptr, nullptr, nullptr, &GetConstant<kMaxScanLength300>},
    {Info(107, "PAR_BASE_RESOLUTION", false, true), Any(), nullptr, nullptr, nullptr, &GetConstant<kBaseResolution>},
    {Info(108, "PAR_INVERT", true, true), Any(), &StoreFlag<&S::invertData>, nullptr, nullptr, &GetValue<&S::invertData>},
    {Info(109, "PAR_JPEG_QUALITY", true, true), Range(1, 100), &StoreValue<&S::jpegQuality>, nullptr, nullptr, &GetValue<&S::jpegQuality>},
    FunctionKeyRow(1, "PAR_FKEY_1"), FunctionKeyRow(2, "PAR_FKEY_2"), FunctionKeyRow(3, "PAR_FKEY_3"),
    FunctionKeyRow(4, "PAR_FKEY_4"), FunctionKeyRow(5, "PAR_FKEY_5"), FunctionKeyRow(6, "PAR_FKEY_6"),
    FunctionKeyRow(7, "PAR_FKEY_7"), FunctionKeyRow(8, "PAR_FKEY_8"), FunctionKeyRow(9, "PAR_FKEY_9"),
    FunctionKeyRow(10, "PAR_FKEY_10"),
    {Info(120, "PAR_GRC_MODE", true, true), Range(0, 2), &StoreValue<&S::grcMode>, nullptr, &RunImage, &GetValue<&S::grcMode>},
    {Info(121, "PAR_BATCH_MODE", true, true), Range(1, 3), &StoreValue<&S::batchMode>, nullptr, &RunScanMode, &GetValue<&S::batchMode>},
    {Info(122, "PAR_COUNTER_1", false, true), Any(), nullptr, nullptr, nullptr, &GetCounter<&DriverState::counter1>},
    {Info(123, "PAR_COUNTER_2", false, true), Any(), nullptr, nullptr, nullptr, &GetCounter<&DriverState::counter2>},
    {Info(124, "PAR_COUNTER_3", false, true), Any(), nullptr, nullptr, nullptr, &GetCounter<&DriverState::counter3>},
    {Info(125, "PAR_ROTATE", true, true), Any(), &StoreFlag<&S::rotate>, nullptr, nullptr, &GetValue<&S::rotate>},
    {Info(126, "PAR_PAGE_LENGTH", false, true), Any(), nullptr, nullptr, nullptr, &GetValue<&S::pageLength>},
    {Info(127, "PAR_PAGE_WIDTH", false, true), Any(), nullptr, nullptr, nullptr, &GetValue<&S::pageWidth>},
    {Info(128, "PAR_SEPARATOR_SENSE", true, true), Range(0, 2), &StoreValue<&S::separatorSense>, nullptr, nullptr, &GetValue<&S::separatorSense>},
    {Info(129, "PAR_BATCH_CAPABLE", false, true), Any(), nullptr, nullptr, nullptr, &GetBatchCapable},
    {Info(130, "PAR_BACKGROUND_ERASE", true, true), Any(), &StoreFlag<&S::backgroundErase>, nullptr, &RunImage, &GetValue<&S::backgroundErase>},
    // clang-format on
};

constexpr std::int32_t kFirstId = 1;
constexpr std::int32_t kLastId = 130;

struct InfoTable {
  std::array<ParameterInfo, sizeof kRows / sizeof kRows[0]> infos;
};

const Row* FindRow(std::int32_t id) {
  if (id < kFirstId || id > kLastId) return nullptr;
  for (const Row& row : kRows) {
    if (row.info.id == id) return &row;
  }
  return nullptr;
}

bool Accepts(const DriverContext& c, const Check& check, std::int32_t value) {
  switch (check.kind) {
    case Accept::kAny: return true;
    case Accept::kRange: return value >= check.lo && value <= check.hi;
    case Accept::kTable: return InTable(check.table, value);
    case Accept::kTimingValue: {
      std::int32_t code = 0;
      return LookupPair(kTimingValueToCode, value, code);
    }
    case Accept::kBitsForType: {
      const std::int32_t type = c.settings.imageType;
      if (type == 1 || type == 9 || type == 10) return InTable(kOneBit, value);
      if (type == 4) return InTable(kGrayDepths, value);
      return false;
    }
    case Accept::kPointer:
    case Accept::kText63: return false;  // pointer cells are checked apart
  }
  return false;
}

bool AcceptsAddress(const Check& check, std::uintptr_t address) {
  if (check.kind == Accept::kAny) return true;  // kept, never read: none is "no name"
  if (address == 0) return false;
  if (check.kind == Accept::kText63) {
    const char* text = reinterpret_cast<const char*>(address);
    return ::strnlen(text, kAdTextLength) < kAdTextLength;
  }
  return true;
}

}  // namespace

std::span<const ParameterInfo> Parameters() {
  static const InfoTable table = [] {
    InfoTable t{};
    for (std::size_t i = 0; i < t.infos.size(); ++i) t.infos[i] = kRows[i].info;
    return t;
  }();
  return table.infos;
}

const ParameterInfo* FindParameter(std::int32_t id) {
  const Row* row = FindRow(id);
  return row != nullptr ? &row->info : nullptr;
}

Result ParSet(DriverContext& context, std::int32_t id, const void* cell) {
  const Row* row = FindRow(id);
  if (row == nullptr || !row->info.settable) return Result::UnknownParameter;
  if (cell == nullptr) return Result::InvalidValue;

  if (row->info.pointerCell) {
    std::uintptr_t address = 0;
    std::memcpy(&address, cell, sizeof address);
    if (!AcceptsAddress(row->check, address)) return Result::InvalidValue;
    return row->storePointer(context, address);
  }

  std::int32_t value = 0;
  std::memcpy(&value, cell, sizeof value);
  if (!Accepts(context, row->check, value)) return Result::InvalidValue;
  if (row->store != nullptr) row->store(context, value);
  return row->run != nullptr ? row->run(context, id, value) : Result::Ok;
}

Result ParGet(DriverContext& context, std::int32_t id, void* cell) {
  (void)RefreshFromScanner(context);  // with no scanner the cached values are returned
  const Row* row = FindRow(id);
  if (row == nullptr || !row->info.readable) return Result::UnknownParameter;
  if (cell == nullptr) return Result::InvalidValue;
  return row->get(context, id, cell);
}

}  // namespace tarvo
