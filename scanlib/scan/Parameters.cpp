#include "scan/Parameters.h"

#include <array>
#include <cstring>

#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "tarvoscn_params.h"

namespace tarvo {
namespace {

using namespace wire;

// Count-up and reset timings: (value, code) and (code, value) pairs.
constexpr std::int32_t kTimingValueToCode[] = {0, 0, 5, 1, 6, 2, 7, 3, 3, 4, 4, 5, kTableEnd, 0};
constexpr std::int32_t kTimingCodeToValue[] = {0, 0, 1, 5, 2, 6, 3, 7, 4, 3, 5, 4, kTableEnd, 0};
constexpr std::int32_t kGrayDepths[] = {2, 4, 8, kTableEnd};
constexpr std::int32_t kOneBit[] = {1, kTableEnd};

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

using FieldPtr = std::int32_t ScanSettings::*;
using StoreFn = void (*)(DriverContext&, std::int32_t value);
using PointerStoreFn = Result (*)(DriverContext&, std::uintptr_t address);
using GetFn = Result (*)(DriverContext&, std::int32_t id, void* cell);

// The image page settings store and read their field through their row of
// kImagePageFields: a flag stores 1 for any non-zero value.
void StoreWireField(DriverContext& c, const WireField& f, std::int32_t v) {
  c.settings.*f.field = f.coding == WireCoding::kFlag ? (v != 0 ? 1 : 0) : v;
}

// What the library does for one ID; what it accepts, its name, its
// directions and what a set sends are the ID's row of tsdParamTable.
struct Row {
  std::int32_t id;
  StoreFn store = nullptr;                // int cells: what is stored
  PointerStoreFn storePointer = nullptr;  // pointer cells: what is stored
  GetFn get = nullptr;                    // what a get writes
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
  (void)ReadScanModePage(c.Link());  // the scanner's other page 0x32 bits first
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
  return Result::Ok;
}
Result StoreNoData(DriverContext&, std::uintptr_t) { return Result::Ok; }  // sent, not kept

// ---- what is sent afterwards: the row's push ----------------------------------------------

Result Push(DriverContext& c, const TsdParamDesc& desc, std::int32_t value,
            std::uintptr_t address) {
  switch (desc.push) {
    case TSD_PUSH_WINDOW:
      return PushWindow(c.Link());
    case TSD_PUSH_PAGE_32:
      return PushScanModePage(c.Link());
    case TSD_PUSH_PAGE_36:
      return PushImagePage(c.Link());
    case TSD_PUSH_ADDON_PAGE_34:
      return PushAddonPage(c.Link());
    case TSD_PUSH_FUNCTION_KEY:
      return FromCode(DefineFunctionKey(c.Link(),
                                        static_cast<std::uint8_t>(desc.id - PAR_FKEY_1 + 1),
                                        static_cast<std::uint32_t>(value)));
    case TSD_PUSH_GAMMA: {
      Result r = SendGammaTable(c.Link(), 1, reinterpret_cast<const std::uint8_t*>(address));
      return r == Result::InvalidCdbField ? Result::UnknownParameter : r;
    }
    case TSD_PUSH_PAGE_37: {
      const auto* values = reinterpret_cast<const std::int32_t*>(address);
      const std::int32_t pair[2] = {values[0], values[1]};
      return PushDevicePage37(c.Link(), pair);
    }
    default: return Result::Ok;
  }
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
  Write32(cell, c.state.page.separatorDetected);
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
  Result r = ReadGammaTable(c.Link(), 1, reinterpret_cast<std::uint8_t*>(address));
  return r == Result::InvalidCdbField ? Result::UnknownParameter : r;
}
Result GetFunctionKey(DriverContext& c, std::int32_t id, void* cell) {
  std::uint32_t code = 0;
  std::memcpy(&code, cell, sizeof code);  // unchanged when the key has no function
  Result r = ReadFunctionKey(c.Link(), id - 109, &code);
  if (r == Result::Ok) std::memcpy(cell, &code, sizeof code);
  return r;
}
template <std::uint32_t PageProgress::*F>
Result GetCounter(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, static_cast<std::int32_t>(c.state.page.*F));
  return Result::Ok;
}
Result GetBatchCapable(DriverContext& c, std::int32_t, void* cell) {
  Write32(cell, c.state.scanner.scannerCaps.batchCapable ? 1 : 0);
  return Result::Ok;
}

// ---- the table ---------------------------------------------------------------------------

using S = ScanSettings;


// Keys 1..10: the function code is sent at once and read back from the scanner.
constexpr Row FunctionKeyRow(std::int32_t key) {
  return {109 + key, &StoreNothing, nullptr, &GetFunctionKey};
}

constexpr Row kRows[] = {
    // clang-format off
    {1, &StoreScanLength, nullptr, &GetValue<&S::scanLength>},
    {2, &StoreValue<&S::scanWidth>, nullptr, &GetValue<&S::scanWidth>},
    {3, &StoreNothing, nullptr, &GetValue<&S::separatorLatch>},
    {5, &StoreValue<&S::brightness>, nullptr, &GetValue<&S::brightness>},
    {6, &StoreResolution, nullptr, &GetValue<&S::xResolution>},
    {7, &StoreResolution, nullptr, &GetValue<&S::yResolution>},
    {8, &StoreValue<&S::compression>, nullptr, &GetValue<&S::compression>},
    {10, nullptr, nullptr, &GetValue<&S::separatorModeB>},
    {11, &StoreValue<&S::separatorModeA>, nullptr, &GetValue<&S::separatorModeA>},
    {12, &StoreFlag<&S::autoSize>, nullptr, &GetValue<&S::autoSize>},
    {13, nullptr, nullptr, &GetSeparatorDetected},
    {14, &StoreValue<&S::keyStart>, nullptr, &GetValue<&S::keyStart>},
    {15, nullptr, &StoreDocName, &GetDocName},
    {16, &StoreValue<&S::user16>, nullptr, &GetValue<&S::user16>},
    {17, &StoreContinuous, nullptr, &GetContinuous},
    {18, &StoreValue<&S::user18>, nullptr, &GetValue<&S::user18>},
    {19, &StoreValue<&S::fileType>, nullptr, &GetValue<&S::fileType>},
    {20, &StoreValue<&S::bitsPerPixel>, nullptr, &GetValue<&S::bitsPerPixel>},
    {21, &StoreValue<&S::contrast>, nullptr, &GetValue<&S::contrast>},
    {22, &StoreImageType, nullptr, &GetValue<&S::imageType>},
    {32, &StoreFlag<&S::marginScan>, nullptr, &GetValue<&S::marginScan>},
    {33, &StoreValue<&S::marginAmount>, nullptr, &GetValue<&S::marginAmount>},
    {39, &StoreValue<&S::frameArea>, nullptr, &GetValue<&S::frameArea>},
    {40, &StoreValue<&S::topOffset>, nullptr, &GetValue<&S::topOffset>},
    {41, &StoreValue<&S::sideOffset>, nullptr, &GetValue<&S::sideOffset>},
    {59, &StoreFlag<&S::userGrc>, nullptr, &GetValue<&S::userGrc>},
    {61, &StoreFlag<&S::addonOn>, nullptr, &GetValue<&S::addonOn>},
    {62, nullptr, &StoreAddonText, &GetAddonText},
    {63, &StoreAddonByte<kAdPrintTiming>, nullptr, &GetAddonByte<kAdPrintTiming>},
    {64, &StoreAddonWord<kAdX>, nullptr, &GetAddonWord<kAdX>},
    {65, &StoreAddonWord<kAdY>, nullptr, &GetAddonWord<kAdY>},
    {66, &StoreCounterOn, nullptr, &GetAddonFlags<kAdCounterOn>},
    {67, &StoreColor, nullptr, &GetAddonFlags<kAdColorMask>},
    {68, &StoreStyle, nullptr, &GetAddonFlags<kAdStyleMask>},
    {69, &StoreAddonFlagByte<kAdFlag>, nullptr, &GetAddonByte<kAdFlag>},
    {70, &StoreTiming<kAdCountUpTiming>, nullptr, &GetTiming<kAdCountUpTiming>},
    {71, &StoreAddonByte<kAdCountUpAmount>, nullptr, &GetAddonByte<kAdCountUpAmount>},
    {72, &StoreTiming<kAdResetTiming>, nullptr, &GetTiming<kAdResetTiming>},
    {73, &StoreAddonByte<kAdResetValue>, nullptr, &GetAddonByte<kAdResetValue>},
    {100, nullptr, &StoreNoData, &GetGamma},
    {104, nullptr, &StoreNoData, nullptr},
    {105, nullptr, nullptr, &GetConstant<kMaxScanWidth300>},
    {106, nullptr, nullptr, &GetConstant<kMaxScanLength300>},
    {107, nullptr, nullptr, &GetConstant<kBaseResolution>},
    {108, &StoreFlag<&S::invertData>, nullptr, &GetValue<&S::invertData>},
    {109, &StoreValue<&S::jpegQuality>, nullptr, &GetValue<&S::jpegQuality>},
    FunctionKeyRow(1), FunctionKeyRow(2), FunctionKeyRow(3),
    FunctionKeyRow(4), FunctionKeyRow(5), FunctionKeyRow(6),
    FunctionKeyRow(7), FunctionKeyRow(8), FunctionKeyRow(9),
    FunctionKeyRow(10),
    {121, &StoreValue<&S::batchMode>, nullptr, &GetValue<&S::batchMode>},
    {122, nullptr, nullptr, &GetCounter<&PageProgress::counter1>},
    {123, nullptr, nullptr, &GetCounter<&PageProgress::counter2>},
    {124, nullptr, nullptr, &GetCounter<&PageProgress::counter3>},
    {125, &StoreFlag<&S::rotate>, nullptr, &GetValue<&S::rotate>},
    {126, nullptr, nullptr, &GetValue<&S::pageLength>},
    {127, nullptr, nullptr, &GetValue<&S::pageWidth>},
    {128, &StoreValue<&S::separatorSense>, nullptr, &GetValue<&S::separatorSense>},
    {129, nullptr, nullptr, &GetBatchCapable},
    // clang-format on
};

static_assert(std::size(kRows) + std::size(kImagePageFields) == TSD_PARAM_COUNT,
              "one row of behaviour per described ID");

constexpr std::int32_t kFirstId = 1;
constexpr std::int32_t kLastId = 130;

// An ID's description and behaviour, found by the ID.
struct Entry {
  const TsdParamDesc* desc = nullptr;
  const Row* row = nullptr;
  const WireField* field = nullptr;  // an image page setting
  ParameterInfo info{};
};

struct Index {
  std::array<Entry, kLastId + 1> byId{};
  std::array<ParameterInfo, TSD_PARAM_COUNT> infos{};
};

const Index& TheIndex() {
  static const Index index = [] {
    Index x{};
    for (std::size_t i = 0; i < TSD_PARAM_COUNT; ++i) {
      const TsdParamDesc& d = tsdParamTable[i];
      const bool pointer = d.type == TSD_PARAM_TEXT || d.type == TSD_PARAM_BLOCK;
      x.infos[i] = {d.id, d.name, (d.access & TSD_PARAM_SETTABLE) != 0,
                    (d.access & TSD_PARAM_GETTABLE) != 0, pointer};
      Entry& e = x.byId[static_cast<std::size_t>(d.id)];
      e.desc = &d;
      e.info = x.infos[i];
    }
    for (const Row& row : kRows) x.byId[static_cast<std::size_t>(row.id)].row = &row;
    for (const WireField& f : kImagePageFields) x.byId[static_cast<std::size_t>(f.id)].field = &f;
    return x;
  }();
  return index;
}

const Entry* FindEntry(std::int32_t id) {
  if (id < kFirstId || id > kLastId) return nullptr;
  const Entry& e = TheIndex().byId[static_cast<std::size_t>(id)];
  return e.desc != nullptr && (e.row != nullptr || e.field != nullptr) ? &e : nullptr;
}

bool Listed(const std::int32_t* values, std::int32_t value) {
  return values != nullptr && InTable(values, value);
}

bool Accepts(const DriverContext& c, const TsdParamDesc& d, std::int32_t value) {
  if ((d.access & TSD_PARAM_ANY_VALUE) != 0) return true;
  if ((d.access & TSD_PARAM_DEPENDS) != 0) {  // bits per pixel by the image type
    const std::int32_t type = c.settings.imageType;
    if (type == kImageLineArt || type == kImageLineArtText || type == kImageHalftone) {
      return InTable(kOneBit, value);
    }
    if (type == kImageGray) return InTable(kGrayDepths, value);
    return false;
  }
  if (d.type == TSD_PARAM_CHOICE) return Listed(d.values, value);
  return value >= d.min && value <= d.max;
}

bool AcceptsAddress(const TsdParamDesc& d, std::uintptr_t address) {
  if ((d.access & TSD_PARAM_ANY_VALUE) != 0) return true;  // kept, never read: none is "no name"
  if (address == 0) return false;
  if (d.type == TSD_PARAM_TEXT) {
    const char* text = reinterpret_cast<const char*>(address);
    const auto longest = static_cast<std::size_t>(d.max);
    return ::strnlen(text, longest + 1) <= longest;
  }
  return true;
}

}  // namespace

std::span<const ParameterInfo> Parameters() { return TheIndex().infos; }

const ParameterInfo* FindParameter(std::int32_t id) {
  const Entry* e = FindEntry(id);
  return e != nullptr ? &e->info : nullptr;
}

Result ParSet(DriverContext& context, std::int32_t id, const void* cell) {
  const Entry* e = FindEntry(id);
  if (e == nullptr || !e->info.settable) return Result::UnknownParameter;
  if (cell == nullptr) return Result::InvalidValue;
  const TsdParamDesc& desc = *e->desc;

  if (e->info.pointerCell) {
    std::uintptr_t address = 0;
    std::memcpy(&address, cell, sizeof address);
    if (!AcceptsAddress(desc, address)) return Result::InvalidValue;
    const Result stored = e->row->storePointer(context, address);
    if (stored != Result::Ok) return stored;
    return Push(context, desc, 0, address);
  }

  std::int32_t value = 0;
  std::memcpy(&value, cell, sizeof value);
  if (!Accepts(context, desc, value)) return Result::InvalidValue;
  if (e->field != nullptr) {
    StoreWireField(context, *e->field, value);
  } else if (e->row->store != nullptr) {
    e->row->store(context, value);
  }
  return Push(context, desc, value, 0);
}

Result ParGet(DriverContext& context, std::int32_t id, void* cell) {
  (void)RefreshFromScanner(context.Link());  // with no scanner the cached values are returned
  const Entry* e = FindEntry(id);
  if (e == nullptr || !e->info.readable) return Result::UnknownParameter;
  if (cell == nullptr) return Result::InvalidValue;
  if (e->field != nullptr) {
    Write32(cell, context.settings.*e->field->field);
    return Result::Ok;
  }
  return e->row->get(context, id, cell);
}

}  // namespace tarvo
