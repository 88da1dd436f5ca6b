#include "ui/SettingsDialog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scan/DriverContext.h"
#include "scan/Info.h"
#include "scan/ModeOperations.h"
#include "scan/Probe.h"
#include "tarvoscn.h"
#include "ui/DialogExports.h"

namespace tarvo {
namespace {

constexpr Caption kCaptions[] = {
    {kDialogTitle, 1},
    {kIdOkButton, 11},
    {kIdCancelButton, 12},
    {setting::kDetail, 2},
    {setting::kImageTypeLabel, 3},
    {setting::kResolutionLabel, 4},
    {setting::kPageSizeLabel, 5},
    {setting::kFrameAreaLabel, 13},
    {setting::kBrightnessLabel, 6},
    {setting::kAutomatic, 10},
    {setting::kContrastAutomatic, 10},
};
constexpr std::uint32_t kContrastLabel = 7;
constexpr std::uint32_t kContrastLevelLabel = 301;  // firmware revision 2000 or more
constexpr std::int32_t kContrastLevelRevision = 2000;

// Page-size list: entry index = pageSizeIndex = row of kPageSizes.
constexpr std::uint32_t kPageSizeMessages[] = {30, 197, 31, 196, 198, 32, 33, 34,
                                               35, 37,  39, 40, 41,  42, 49};
static_assert(std::size(kPageSizeMessages) == kPageSizes.size());
// Frame-area list: entry index = parameter 39.
constexpr std::uint32_t kFrameAreaMessages[] = {14, 15, 16, 17};

constexpr int kBrightnessTicks[] = {1, 255, 128};
constexpr int kContrastTicks[] = {1, 128, 255};
constexpr std::int32_t kAutomaticBrightness = 128;  // shown while automatic
constexpr std::int32_t kNoNearPageSize = 20000;

std::int32_t Get(DriverContext& context, std::int32_t id) { return GetParameter(context, id); }
// Only the final push counts: the results of the sets are not examined.
void Set(DriverContext& context, std::int32_t id, std::int32_t value) {
  (void)SetParameter(context, id, value);
}

std::size_t ImageTypeCount(const DriverContext& context) {
  return context.state.scanner.scannerCaps.value != 0 ? kImageTypeChoices.size()
                                                      : kBilevelImageTypes;
}

const ImageTypeChoice* SelectedImageType(DialogSurface& surface) {
  const int entry = surface.ListSelection(setting::kImageType);
  if (entry < 0 || static_cast<std::size_t>(entry) >= kImageTypeChoices.size()) return nullptr;
  return &kImageTypeChoices[static_cast<std::size_t>(entry)];
}

void ShowVersion(DialogSurface& surface, DriverContext& context) {
  char name[260] = {};
  char version[64] = {};
  (void)GetDriverName(context, name, version);
  char line[sizeof name + sizeof version + 1];
  std::snprintf(line, sizeof line, "%s %s", name, version);
  surface.SetText(setting::kVersion, line);
}

// The reads of TsdGetModeFromScanner without the addon page, the first one
// twice; results ignored.
void RefreshWithoutAddon(DriverContext& context) {
  (void)ReadScanModePage(context.Link());
  (void)ReadScanModePage(context.Link());
  (void)ReadImagePage(context.Link());
  (void)ReadStatusBytes(context.Link());
  (void)ReadWindow(context.Link());
}

int ResolutionEntry(std::int32_t resolution) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", static_cast<int>(resolution));
  for (int i = static_cast<int>(kResolutionEntries.size()) - 1; i >= 1; --i) {
    if (std::strcmp(kResolutionEntries[static_cast<std::size_t>(i)], text) == 0) return i;
  }
  return 0;
}

int FrameAreaEntry(std::int32_t frameArea) {
  return frameArea == 0 || frameArea == 1 || frameArea == 2 ? frameArea : 3;
}

}  // namespace

int ImageTypeEntry(std::int32_t imageType, std::int32_t bitsPerPixel, std::size_t entries) {
  int entry = kNoSelection;
  switch (imageType) {
    case 1: entry = 0; break;
    case 9: entry = 1; break;
    case 10: entry = 2; break;
    case kImageGray: entry = bitsPerPixel == 4 ? 4 : bitsPerPixel == 8 ? 5 : 3; break;
    default: break;
  }
  return entry != kNoSelection && static_cast<std::size_t>(entry) < entries ? entry : kNoSelection;
}

int NearestPageSize(int column, std::int32_t length, std::int32_t width) {
  const auto col = static_cast<std::size_t>(column);
  int best = 0;
  std::int32_t bestSum = kNoNearPageSize;
  for (std::size_t i = 0; i < kPageSizes.size(); ++i) {
    const std::int32_t sum =
        std::abs(kPageSizes[i].length[col] - length) + std::abs(kPageSizes[i].width[col] - width);
    if (sum < bestSum) {
      bestSum = sum;
      best = static_cast<int>(i);
    }
  }
  return best;
}

void SettingsDialog::OnInit(DialogSurface& surface) {
  ScanSettings& s = context_.settings;
  SetCaptions(surface, context_, kCaptions);
  std::int32_t revision = 0;
  (void)GetFirmwareRevision(context_.Link(), &revision);
  surface.SetText(setting::kContrastLabel,
                  LookupMessage(context_, revision >= kContrastLevelRevision ? kContrastLevelLabel
                                                                             : kContrastLabel));
  const std::size_t imageTypes = ImageTypeCount(context_);
  for (std::size_t i = 0; i < imageTypes; ++i) {
    surface.ListAdd(setting::kImageType, LookupMessage(context_, kImageTypeChoices[i].message));
  }
  FillList(surface, context_, setting::kPageSize, kPageSizeMessages);
  FillList(surface, context_, setting::kFrameArea, kFrameAreaMessages);

  ShowVersion(surface, context_);
  RefreshWithoutAddon(context_);

  surface.ListSelect(setting::kImageType, ImageTypeEntry(s.imageType, s.bitsPerPixel, imageTypes));

  for (const char* entry : kResolutionEntries) surface.ListAdd(setting::kResolution, entry);
  const int resolution = ResolutionEntry(s.xResolution);
  surface.ListSelect(setting::kResolution, resolution);

  // Brightness: 0 is automatic, shown disabled at 128.
  std::int32_t brightness = Get(context_, PAR_BRIGHTNESS);
  kBrightnessGroup.SetRanges(surface, kBrightnessTicks);
  if (s.imageType == kImageGray) {
    surface.SetChecked(setting::kAutomatic, false);
    surface.Enable(setting::kAutomatic, false);
  } else {
    surface.SetChecked(setting::kAutomatic, brightness == 0);
  }
  kBrightnessGroup.Enable(surface, brightness != 0);
  if (brightness == 0) brightness = kAutomaticBrightness;
  brightness_ = kBrightnessGroup.Clamp(brightness);
  kBrightnessGroup.Show(surface, brightness_);

  // Contrast: 0 shows as 1, the lower end of the range.
  kContrastGroup.SetRanges(surface, kContrastTicks);
  kContrastGroup.Enable(surface, !surface.IsChecked(setting::kAutomatic));
  contrast_ = kContrastGroup.Clamp(Get(context_, PAR_CONTRAST));
  kContrastGroup.Show(surface, contrast_);

  const int pageSize = NearestPageSize(resolution, s.scanLength, s.scanWidth);
  surface.ListSelect(setting::kPageSize, pageSize);
  s.pageSizeIndex = pageSize;

  surface.ListSelect(setting::kFrameArea, FrameAreaEntry(Get(context_, PAR_FRAME_AREA)));
}

void SettingsDialog::OnEvent(DialogSurface& surface, const DialogEvent& event) {
  if (kBrightnessGroup.OnEvent(surface, event, brightness_) ||
      kContrastGroup.OnEvent(surface, event, contrast_)) {
    return;
  }
  if (event.kind == EventKind::kListClosedUp && event.control == setting::kImageType) {
    ImageTypeClosedUp(surface);
    return;
  }
  if (event.kind != EventKind::kClicked) return;
  switch (event.control) {
    case setting::kAutomatic: {
      const bool manual = !surface.IsChecked(setting::kAutomatic);
      kBrightnessGroup.Enable(surface, manual);
      kContrastGroup.Enable(surface, manual);
      break;
    }
    case setting::kDetail: {
      const ImageTypeChoice* choice = SelectedImageType(surface);
      context_.settings.dialogImageType =
          choice != nullptr ? choice->imageType : context_.settings.imageType;
      (void)RunDetailsDialog(context_, runner_, context_.state.moduleHandle, surface.Window());
      break;
    }
    case kIdOkButton:
      Accept(surface);
      break;
    case kIdCancelButton:
      surface.End(0);
      break;
    default:
      break;
  }
}

void SettingsDialog::ImageTypeClosedUp(DialogSurface& surface) {
  const ImageTypeChoice* choice = SelectedImageType(surface);
  if (choice != nullptr && choice->imageType == kImageGray) {
    surface.SetChecked(setting::kAutomatic, false);
    surface.Enable(setting::kAutomatic, false);
    kBrightnessGroup.Enable(surface, true);
    kContrastGroup.Enable(surface, true);
  } else {
    surface.Enable(setting::kAutomatic, true);
  }
}

void SettingsDialog::Accept(DialogSurface& surface) {
  const ImageTypeChoice* choice = SelectedImageType(surface);
  const int resolutionEntry = surface.ListSelection(setting::kResolution);
  const int pageSize = surface.ListSelection(setting::kPageSize);
  if (choice == nullptr || resolutionEntry < 0 ||
      static_cast<std::size_t>(resolutionEntry) >= kResolutionEntries.size() || pageSize < 0 ||
      static_cast<std::size_t>(pageSize) >= kPageSizes.size()) {
    return;  // nothing is written without a choice in each list
  }

  ScanSettings& s = context_.settings;
  s.imageType = choice->imageType;
  s.bitsPerPixel = choice->bitsPerPixel;
  Set(context_, PAR_TEXT_MODE, choice == &kImageTypeChoices[1] ? 1 : 0);
  if (ErasesNoBackground(s.imageType)) s.backgroundErase = 0;
  s.pageSizeIndex = pageSize;

  char text[16] = {};
  surface.ListText(setting::kResolution, resolutionEntry, text, sizeof text);
  const std::int32_t resolution = ParseDecimal(text);
  s.xResolution = resolution;
  s.yResolution = resolution;
  const PageSize& page = kPageSizes[static_cast<std::size_t>(pageSize)];
  const auto column = static_cast<std::size_t>(resolutionEntry);
  s.scanLength = page.length[column];
  s.scanWidth = page.width[column];

  Set(context_, PAR_BRIGHTNESS,
      surface.IsChecked(setting::kAutomatic) ? 0 : kBrightnessGroup.ReadEdit(surface));
  Set(context_, PAR_CONTRAST,
      surface.IsChecked(setting::kContrastAutomatic) ? 0 : kContrastGroup.ReadEdit(surface));

  const int frameEntry = surface.ListSelection(setting::kFrameArea);
  const std::int32_t frameArea = frameEntry >= 1 && frameEntry <= 3 ? frameEntry : 0;
  Set(context_, PAR_FRAME_AREA, frameArea);

  const WindowOffsets offsets = FrameOffsets(frameArea, page, column, resolution, 0);
  s.topOffset = offsets.top;
  s.sideOffset = offsets.side;

  const Result pushed = PushScanMode(context_.Link());
  if (pushed == Result::Ok) {
    surface.End(0);
  } else {
    ShowDriverErrorBox(context_, ToCode(pushed));  // the dialog stays open
  }
}

}  // namespace tarvo
