#include "Options.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "tarvoscn_params.h"

namespace tarvo::sanebackend {
namespace {

constexpr double kMmPerInch = 25.4;

struct ModeRow {
  const char* name;
  int imageType;
  bool gray;
};
constexpr ModeRow kModes[] = {
    {SANE_VALUE_SCAN_MODE_LINEART, TSD_IMAGE_LINEART, false},
    {SANE_VALUE_SCAN_MODE_HALFTONE, TSD_IMAGE_HALFTONE, false},
    {"Text", TSD_IMAGE_LINEART_TEXT, false},  // line art with the scanner's text mode
    {SANE_VALUE_SCAN_MODE_GRAY, TSD_IMAGE_GRAY, true},
};

constexpr SANE_Word kResolutions[] = {3, 200, 300, 600};
constexpr SANE_String_Const kSources[] = {"ADF", nullptr};
constexpr SANE_Range kByteRange = {0, 255, 1};
constexpr std::size_t kMaxWords = 64;  // bounds a value list read from the table

SANE_Fixed MmFromPixels(int pixels, int resolution) {
  return SANE_FIX(pixels * kMmPerInch / resolution);
}
int PixelsFromMm(SANE_Fixed mm, int resolution) {
  return static_cast<int>(std::lround(SANE_UNFIX(mm) * resolution / kMmPerInch));
}

SANE_Option_Descriptor Group(const char* title) {
  SANE_Option_Descriptor d{};
  d.name = "";
  d.title = title;
  d.desc = "";
  d.type = SANE_TYPE_GROUP;
  d.cap = 0;
  d.constraint_type = SANE_CONSTRAINT_NONE;
  return d;
}

SANE_Option_Descriptor Option(const char* name, const char* title, const char* desc,
                              SANE_Value_Type type, SANE_Unit unit, SANE_Int size) {
  SANE_Option_Descriptor d{};
  d.name = name;
  d.title = title;
  d.desc = desc;
  d.type = type;
  d.unit = unit;
  d.size = size;
  d.cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
  d.constraint_type = SANE_CONSTRAINT_NONE;
  return d;
}

SANE_Int InfoOf(const DeviceOption& o) { return o.info; }

}  // namespace

SANE_Status ConstrainValue(const SANE_Option_Descriptor& option, void* value, SANE_Int* info) {
  const SANE_Int words = option.size / static_cast<SANE_Int>(sizeof(SANE_Word));
  switch (option.constraint_type) {
    case SANE_CONSTRAINT_RANGE: {
      const SANE_Range& r = *option.constraint.range;
      auto* w = static_cast<SANE_Word*>(value);
      for (SANE_Int i = 0; i < words; ++i) {
        SANE_Word v = std::clamp(w[i], r.min, r.max);
        if (r.quant > 0) v = r.min + (v - r.min + r.quant / 2) / r.quant * r.quant;
        if (v > r.max) v = r.max;
        if (v != w[i] && info != nullptr) *info |= SANE_INFO_INEXACT;
        w[i] = v;
      }
      return SANE_STATUS_GOOD;
    }
    case SANE_CONSTRAINT_WORD_LIST: {
      const SANE_Word* list = option.constraint.word_list;
      auto* w = static_cast<SANE_Word*>(value);
      SANE_Word best = list[1];
      for (SANE_Int i = 1; i <= list[0]; ++i) {
        if (std::llabs(static_cast<long long>(list[i]) - *w) <
            std::llabs(static_cast<long long>(best) - *w)) {
          best = list[i];
        }
      }
      if (best != *w && info != nullptr) *info |= SANE_INFO_INEXACT;
      *w = best;
      return SANE_STATUS_GOOD;
    }
    case SANE_CONSTRAINT_STRING_LIST: {
      const char* text = static_cast<const char*>(value);
      for (const SANE_String_Const* s = option.constraint.string_list; *s != nullptr; ++s) {
        if (std::strcmp(*s, text) == 0) return SANE_STATUS_GOOD;
      }
      return SANE_STATUS_INVAL;
    }
    case SANE_CONSTRAINT_NONE:
      if (option.type == SANE_TYPE_BOOL) {
        const SANE_Word w = *static_cast<SANE_Word*>(value);
        return w == SANE_FALSE || w == SANE_TRUE ? SANE_STATUS_GOOD : SANE_STATUS_INVAL;
      }
      if (option.type == SANE_TYPE_STRING) {
        return std::memchr(value, '\0', static_cast<std::size_t>(option.size)) != nullptr
                   ? SANE_STATUS_GOOD
                   : SANE_STATUS_INVAL;
      }
      return SANE_STATUS_GOOD;
  }
  return SANE_STATUS_INVAL;
}

OptionSet::OptionSet(Driver& driver) : driver_(driver) {
  const Window w = driver_.CurrentWindow();
  resolution_ = w.resolution;
  tlX_ = MmFromPixels(w.top, w.resolution);
  brX_ = MmFromPixels(w.top + w.length, w.resolution);
  tlY_ = MmFromPixels(w.side, w.resolution);
  brY_ = MmFromPixels(w.side + w.width, w.resolution);
  xRange_ = {0, MmFromPixels(kAreaLength300, kBaseResolution), 0};
  yRange_ = {0, MmFromPixels(kAreaWidth300, kBaseResolution), 0};
  tlX_ = std::clamp(tlX_, xRange_.min, xRange_.max);
  brX_ = std::clamp(brX_, xRange_.min, xRange_.max);
  tlY_ = std::clamp(tlY_, yRange_.min, yRange_.max);
  brY_ = std::clamp(brY_, yRange_.min, yRange_.max);
  pageWidth_ = brX_;
  pageHeight_ = brY_;
  for (int i = 0; i < 256; ++i) gamma_[i] = static_cast<std::uint8_t>(i);

  for (const ModeRow& m : kModes) {
    if (!m.gray || driver_.GrayAvailable()) modes_.push_back(m.name);
  }
  modes_.push_back(nullptr);

  SANE_Option_Descriptor count =
      Option(SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS, SANE_DESC_NUM_OPTIONS, SANE_TYPE_INT,
             SANE_UNIT_NONE, sizeof(SANE_Word));
  count.cap = SANE_CAP_SOFT_DETECT;
  Add(count, Binding::kNone);

  Add(Group(SANE_TITLE_STANDARD), Binding::kNone);
  SANE_Option_Descriptor mode =
      Option(SANE_NAME_SCAN_MODE, SANE_TITLE_SCAN_MODE,
             "Lineart and Text: black and white at the brightness threshold (Text with the "
             "scanner's text mode); Halftone: black and white dithered; Gray: 8 bits a pixel",
             SANE_TYPE_STRING, SANE_UNIT_NONE, 16);
  mode.constraint_type = SANE_CONSTRAINT_STRING_LIST;
  mode.constraint.string_list = modes_.data();
  Add(mode, Binding::kMode);

  SANE_Option_Descriptor res =
      Option(SANE_NAME_SCAN_RESOLUTION, SANE_TITLE_SCAN_RESOLUTION, SANE_DESC_SCAN_RESOLUTION,
             SANE_TYPE_INT, SANE_UNIT_DPI, sizeof(SANE_Word));
  res.constraint_type = SANE_CONSTRAINT_WORD_LIST;
  res.constraint.word_list = kResolutions;
  Add(res, Binding::kResolution);

  SANE_Option_Descriptor source =
      Option(SANE_NAME_SCAN_SOURCE, SANE_TITLE_SCAN_SOURCE,
             "The RT650 scans from its sheet feeder only", SANE_TYPE_STRING, SANE_UNIT_NONE, 4);
  source.constraint_type = SANE_CONSTRAINT_STRING_LIST;
  source.constraint.string_list = kSources;
  Add(source, Binding::kSource);

  const std::vector<DeviceOption> rows = DeviceOptions();
  auto addRows = [&](bool standard) {
    const char* group = SANE_TITLE_STANDARD;
    for (const DeviceOption& o : rows) {
      if ((std::strcmp(o.group, SANE_TITLE_STANDARD) == 0) != standard) continue;
      if (std::strcmp(group, o.group) != 0) {
        group = o.group;
        Add(Group(group), Binding::kNone);
      }
      AddParameter(o);
    }
  };
  addRows(true);

  Add(Group(SANE_TITLE_GEOMETRY), Binding::kNone);
  struct GeometryRow {
    const char* name;
    const char* title;
    const char* desc;
    Binding binding;
    const SANE_Range* range;
  };
  const GeometryRow geometry[] = {
      {SANE_NAME_SCAN_TL_X, SANE_TITLE_SCAN_TL_X,
       "Left edge of the scan area on the upright page (along the feed)", Binding::kTlX, &xRange_},
      {SANE_NAME_SCAN_TL_Y, SANE_TITLE_SCAN_TL_Y,
       "Top edge of the scan area on the upright page (across the feed)", Binding::kTlY, &yRange_},
      {SANE_NAME_SCAN_BR_X, SANE_TITLE_SCAN_BR_X, SANE_DESC_SCAN_BR_X, Binding::kBrX, &xRange_},
      {SANE_NAME_SCAN_BR_Y, SANE_TITLE_SCAN_BR_Y, SANE_DESC_SCAN_BR_Y, Binding::kBrY, &yRange_},
      {SANE_NAME_PAGE_WIDTH, SANE_TITLE_PAGE_WIDTH,
       "Width of the upright sheet; setting it makes the scan area the sheet's width from the "
       "left edge",
       Binding::kPageWidth, &xRange_},
      {SANE_NAME_PAGE_HEIGHT, SANE_TITLE_PAGE_HEIGHT,
       "Height of the upright sheet; setting it makes the scan area the sheet's height from the "
       "top edge",
       Binding::kPageHeight, &yRange_},
  };
  for (const GeometryRow& g : geometry) {
    SANE_Option_Descriptor d =
        Option(g.name, g.title, g.desc, SANE_TYPE_FIXED, SANE_UNIT_MM, sizeof(SANE_Word));
    d.constraint_type = SANE_CONSTRAINT_RANGE;
    d.constraint.range = g.range;
    Add(d, g.binding);
  }

  Add(Group(SANE_TITLE_ENHANCEMENT), Binding::kNone);
  Add(Option(SANE_NAME_CUSTOM_GAMMA, SANE_TITLE_CUSTOM_GAMMA, SANE_DESC_CUSTOM_GAMMA,
             SANE_TYPE_BOOL, SANE_UNIT_NONE, sizeof(SANE_Word)),
      Binding::kCustomGamma);
  SANE_Option_Descriptor gamma =
      Option(SANE_NAME_GAMMA_VECTOR, SANE_TITLE_GAMMA_VECTOR, SANE_DESC_GAMMA_VECTOR,
             SANE_TYPE_INT, SANE_UNIT_NONE, 256 * sizeof(SANE_Word));
  gamma.constraint_type = SANE_CONSTRAINT_RANGE;
  gamma.constraint.range = &kByteRange;
  gamma.cap |= SANE_CAP_INACTIVE;
  Add(gamma, Binding::kGammaTable);

  addRows(false);

  // Constraints point into the lists once they have stopped growing.
  ranges_.reserve(slots_.size());
  std::size_t list = 0;
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    const DeviceOption& o = slots_[i].device;
    if (slots_[i].binding != Binding::kParameter || descriptors_[i].type != SANE_TYPE_INT) continue;
    if (o.values != nullptr) {
      descriptors_[i].constraint.word_list = wordLists_[list++].data();
    } else {
      ranges_.push_back({o.min, o.max, 1});
      descriptors_[i].constraint.range = &ranges_.back();
    }
  }
  descriptors_[0].size = sizeof(SANE_Word);
}

void OptionSet::AddParameter(const DeviceOption& o) {
  SANE_Int size = sizeof(SANE_Word);
  if (o.type == SANE_TYPE_STRING) size = o.max + 1;
  SANE_Option_Descriptor d = Option(o.name, o.title, o.description, o.type, o.unit, size);
  if (std::strcmp(o.group, SANE_TITLE_STANDARD) != 0) d.cap |= SANE_CAP_ADVANCED;
  Binding binding = o.type == SANE_TYPE_STRING ? Binding::kText : Binding::kParameter;
  if (o.sensor) {
    d.cap = SANE_CAP_SOFT_DETECT | SANE_CAP_HARD_SELECT | SANE_CAP_ADVANCED;
    binding = Binding::kSensor;
  } else if (o.type == SANE_TYPE_INT && o.values != nullptr) {
    std::vector<SANE_Word> list{0};
    for (const std::int32_t* v = o.values; *v != TSD_TABLE_END && list.size() < kMaxWords; ++v) {
      list.push_back(*v);
    }
    list[0] = static_cast<SANE_Word>(list.size() - 1);
    wordLists_.push_back(std::move(list));
    d.constraint_type = SANE_CONSTRAINT_WORD_LIST;
  } else if (o.type == SANE_TYPE_INT) {
    d.constraint_type = SANE_CONSTRAINT_RANGE;
  }
  Add(d, binding, &o);
}

void OptionSet::Add(const SANE_Option_Descriptor& descriptor, Binding binding,
                    const DeviceOption* device) {
  descriptors_.push_back(descriptor);
  Slot slot{binding};
  if (device != nullptr) slot.device = *device;
  slots_.push_back(slot);
}

const SANE_Option_Descriptor* OptionSet::Descriptor(SANE_Int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return &descriptors_[static_cast<std::size_t>(index)];
}

Window OptionSet::PixelWindow() const {
  Window w = driver_.CurrentWindow();
  w.resolution = resolution_;
  const int left = PixelsFromMm(std::min(tlX_, brX_), resolution_);
  const int right = PixelsFromMm(std::max(tlX_, brX_), resolution_);
  const int top = PixelsFromMm(std::min(tlY_, brY_), resolution_);
  const int bottom = PixelsFromMm(std::max(tlY_, brY_), resolution_);
  w.top = left;
  w.length = right - left;
  w.side = top;
  w.width = bottom - top;
  return w;
}

SANE_Status OptionSet::PushWindow() { return driver_.SetWindow(PixelWindow()); }

SANE_Parameters OptionSet::Estimate() const {
  const Window w = driver_.CurrentWindow();
  SANE_Parameters p{};
  p.format = SANE_FRAME_GRAY;
  p.last_frame = SANE_TRUE;
  p.pixels_per_line = w.length;  // the quarter turn: the feed runs across the upright page
  p.lines = w.autoSize || w.marginScan ? -1 : w.width;
  p.depth = w.imageType == TSD_IMAGE_GRAY ? 8 : 1;
  p.bytes_per_line = w.imageType == TSD_IMAGE_GRAY ? w.length : (w.length + 7) / 8;
  return p;
}

SANE_Status OptionSet::Get(SANE_Int index, void* value) {
  if (index < 0 || index >= Count() || value == nullptr) return SANE_STATUS_INVAL;
  const SANE_Option_Descriptor& d = descriptors_[static_cast<std::size_t>(index)];
  if (d.type == SANE_TYPE_GROUP || (d.cap & SANE_CAP_INACTIVE) != 0) return SANE_STATUS_INVAL;
  auto* word = static_cast<SANE_Word*>(value);
  const Slot& slot = slots_[static_cast<std::size_t>(index)];
  switch (slot.binding) {
    case Binding::kNone:
      *word = Count();
      return SANE_STATUS_GOOD;
    case Binding::kMode:
      for (const ModeRow& m : kModes) {
        if (m.imageType == driver_.CurrentWindow().imageType) {
          std::strcpy(static_cast<char*>(value), m.name);
          return SANE_STATUS_GOOD;
        }
      }
      std::strcpy(static_cast<char*>(value), kModes[0].name);
      return SANE_STATUS_GOOD;
    case Binding::kResolution: *word = resolution_; return SANE_STATUS_GOOD;
    case Binding::kSource: std::strcpy(static_cast<char*>(value), kSources[0]); return SANE_STATUS_GOOD;
    case Binding::kTlX: *word = tlX_; return SANE_STATUS_GOOD;
    case Binding::kTlY: *word = tlY_; return SANE_STATUS_GOOD;
    case Binding::kBrX: *word = brX_; return SANE_STATUS_GOOD;
    case Binding::kBrY: *word = brY_; return SANE_STATUS_GOOD;
    case Binding::kPageWidth: *word = pageWidth_; return SANE_STATUS_GOOD;
    case Binding::kPageHeight: *word = pageHeight_; return SANE_STATUS_GOOD;
    case Binding::kCustomGamma: *word = customGamma_; return SANE_STATUS_GOOD;
    case Binding::kGammaTable:
      for (int i = 0; i < 256; ++i) word[i] = gamma_[i];
      return SANE_STATUS_GOOD;
    case Binding::kParameter:
    case Binding::kSensor: {
      std::int32_t v = 0;
      if (SANE_Status st = driver_.GetParameter(slot.device.id, &v); st != SANE_STATUS_GOOD) return st;
      *word = d.type == SANE_TYPE_BOOL ? (v != 0 ? SANE_TRUE : SANE_FALSE) : v;
      return SANE_STATUS_GOOD;
    }
    case Binding::kText:
      return driver_.GetText(slot.device.id, static_cast<char*>(value), static_cast<std::size_t>(d.size));
  }
  return SANE_STATUS_INVAL;
}

void OptionSet::SetActive(Binding binding, bool active) {
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    if (slots_[i].binding != binding) continue;
    if (active) {
      descriptors_[i].cap &= ~SANE_CAP_INACTIVE;
    } else {
      descriptors_[i].cap |= SANE_CAP_INACTIVE;
    }
  }
}

SANE_Status OptionSet::Set(SANE_Int index, void* value, SANE_Int* info) {
  if (index < 0 || index >= Count() || value == nullptr) return SANE_STATUS_INVAL;
  const SANE_Option_Descriptor& d = descriptors_[static_cast<std::size_t>(index)];
  if (d.type == SANE_TYPE_GROUP || !SANE_OPTION_IS_SETTABLE(d.cap) || !SANE_OPTION_IS_ACTIVE(d.cap)) {
    return SANE_STATUS_INVAL;
  }
  if (SANE_Status st = ConstrainValue(d, value, info); st != SANE_STATUS_GOOD) return st;
  auto* word = static_cast<SANE_Word*>(value);
  const Slot& slot = slots_[static_cast<std::size_t>(index)];
  auto reload = [info](SANE_Int what) {
    if (info != nullptr) *info |= what;
  };
  switch (slot.binding) {
    case Binding::kNone:
    case Binding::kSensor:
      return SANE_STATUS_INVAL;
    case Binding::kMode:
      for (const ModeRow& m : kModes) {
        if (std::strcmp(m.name, static_cast<const char*>(value)) != 0) continue;
        reload(SANE_INFO_RELOAD_PARAMS);
        return driver_.SetImageType(m.imageType);
      }
      return SANE_STATUS_INVAL;
    case Binding::kResolution:
      resolution_ = *word;
      reload(SANE_INFO_RELOAD_PARAMS);
      return PushWindow();
    case Binding::kSource:
      return SANE_STATUS_GOOD;
    case Binding::kTlX: tlX_ = *word; break;
    case Binding::kTlY: tlY_ = *word; break;
    case Binding::kBrX: brX_ = *word; break;
    case Binding::kBrY: brY_ = *word; break;
    case Binding::kPageWidth:
      pageWidth_ = *word;
      tlX_ = 0;
      brX_ = pageWidth_;
      reload(SANE_INFO_RELOAD_OPTIONS);
      break;
    case Binding::kPageHeight:
      pageHeight_ = *word;
      tlY_ = 0;
      brY_ = pageHeight_;
      reload(SANE_INFO_RELOAD_OPTIONS);
      break;
    case Binding::kCustomGamma:
      if (*word != customGamma_) reload(SANE_INFO_RELOAD_OPTIONS);
      customGamma_ = *word;
      SetActive(Binding::kGammaTable, customGamma_ != 0);
      return SANE_STATUS_GOOD;
    case Binding::kGammaTable:
      for (int i = 0; i < 256; ++i) gamma_[i] = static_cast<std::uint8_t>(word[i]);
      return SANE_STATUS_GOOD;
    case Binding::kParameter: {
      if (SANE_Status st = driver_.SetParameter(slot.device.id, *word); st != SANE_STATUS_GOOD) {
        return st;
      }
      reload(InfoOf(slot.device));
      return SANE_STATUS_GOOD;
    }
    case Binding::kText:
      return driver_.SetText(slot.device.id, static_cast<const char*>(value));
  }
  reload(SANE_INFO_RELOAD_PARAMS);
  return PushWindow();
}

SANE_Status OptionSet::SetAuto(SANE_Int index, SANE_Int* info) {
  (void)info;
  if (index < 0 || index >= Count()) return SANE_STATUS_INVAL;
  return SANE_STATUS_INVAL;  // no option has an automatic setting
}

}  // namespace tarvo::sanebackend
