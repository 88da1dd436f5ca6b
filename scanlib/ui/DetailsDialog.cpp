#include "ui/DetailsDialog.h"

#include <cstring>

#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "tarvoscn.h"
#include "ui/DialogExports.h"

namespace tarvo {
namespace {

constexpr Caption kCaptions[] = {
    {kDialogTitle, 92},
    {kIdOkButton, 11},
    {kIdCancelButton, 12},
    {details::kDefaults, 91},
    {details::kAddon, 276},
    {details::kGamma, 88},
    {details::kFunctionKey, 90},
    {details::kPolarityLabel, 278},
    {details::kBatchModeLabel, 265},
    {details::kRotate, 264},
    {details::kAutoSize, 51},
    {details::kAddonOn, 56},
    {details::kKeyStart, 66},
    {details::kMarginLabel, 59},
    {details::kMarginScan, 60},
    {details::kAeLabel, 79},
    {details::kEdgeLabel, 80},
    {details::kOtherFilterLabel, 78},
    {details::kBackgroundErase, 50},
    {details::kNotchErase, 83},
    {details::kThinLine, 84},
    {details::kUserGrc, 85},
};
// Negative film, positive film, automatic: entry index = parameter 99.
constexpr std::uint32_t kPolarities[] = {257, 258, 10};
// Batch scan modes: parameter 121 = entry index + 1.
constexpr std::uint32_t kBatchModes[] = {267, 268, 269};

constexpr int kMarginTicks[] = {-10, 0, 10};
constexpr int kAeTicks[] = {1, 9, 17};
constexpr int kEdgeTicks[] = {1, 2, 3, 4, 5};

// "&Defaults", set through the parameters in this order.
struct ParameterValue {
  std::int32_t id;
  std::int32_t value;
};
constexpr ParameterValue kDefaults[] = {
    {PAR_POLARITY, 0},     {PAR_KEY_START, 0},      {PAR_BATCH_MODE, 1},  {PAR_AUTO_SIZE, 0},
    {PAR_NOTCH_ERASE, 0},  {PAR_THIN_LINE, 0},      {PAR_USER_GRC, 0},    {PAR_INVERT, 0},
    {PAR_ADDON, 0},        {PAR_MARGIN_SCAN, 0},    {PAR_BACKGROUND_ERASE, 0},
    {PAR_MARGIN_AMOUNT, 10}, {PAR_GRC_MODE, 0},     {PAR_AE, 9},          {PAR_EDGE_EMPHASIS, 3},
};

std::int32_t Get(DriverContext& context, std::int32_t id) { return GetParameter(context, id); }
// Failures of the sets are not reported here.
void Set(DriverContext& context, std::int32_t id, std::int32_t value) {
  (void)SetParameter(context, id, value);
}

}  // namespace

DialogTemplate DetailsTemplate(const char* languageName) {
  return languageName != nullptr && std::strcmp(languageName, "Japanese") == 0
             ? DialogTemplate::kDetails
             : DialogTemplate::kDetailsUs;
}

void DetailsDialog::OnInit(DialogSurface& surface) {
  SetCaptions(surface, context_, kCaptions);
  FillList(surface, context_, details::kPolarity, kPolarities);
  FillList(surface, context_, details::kBatchMode, kBatchModes);
  Load(surface);
  const ScanSettings& s = context_.settings;
  savedMargin_ = s.marginAmount;
  savedAe_ = s.aeLevel;
  savedEdge_ = s.edgeEmphasis;
}

void DetailsDialog::Load(DialogSurface& surface) {
  ScanSettings& s = context_.settings;
  surface.SetChecked(details::kRotate, Get(context_, PAR_ROTATE) > 0);

  std::int32_t polarity = Get(context_, PAR_POLARITY);
  if (polarity < 0 || polarity > 2) polarity = 0;
  surface.ListSelect(details::kPolarity, polarity);

  if (Get(context_, PAR_BATCH_CAPABLE) != 0) {
    std::int32_t mode = Get(context_, PAR_BATCH_MODE);
    if (mode < 1 || mode > 3) mode = 1;
    surface.ListSelect(details::kBatchMode, mode - 1);
  } else {
    surface.ListSelect(details::kBatchMode, kNoSelection);
    surface.Enable(details::kBatchMode, false);
  }

  surface.SetChecked(details::kAutoSize, Get(context_, PAR_AUTO_SIZE) > 0);
  surface.SetChecked(details::kAddonOn, Get(context_, PAR_ADDON) > 0);
  surface.SetChecked(details::kKeyStart, Get(context_, PAR_KEY_START) == 1);
  surface.SetChecked(details::kMarginScan, Get(context_, PAR_MARGIN_SCAN) > 0);
  kMarginGroup.Enable(surface, surface.IsChecked(details::kMarginScan));

  kMarginGroup.SetRanges(surface, kMarginTicks);
  kMarginGroup.Show(surface, s.marginAmount);

  if (ErasesNoBackground(s.dialogImageType)) {
    surface.SetChecked(details::kBackgroundErase, false);
    surface.Enable(details::kBackgroundErase, false);
  } else {
    surface.Enable(details::kBackgroundErase, true);
    surface.SetChecked(details::kBackgroundErase, s.backgroundErase > 0);
  }
  surface.SetChecked(details::kNotchErase, s.notchErase > 0);
  surface.SetChecked(details::kThinLine, s.thinLine > 0);
  surface.SetChecked(details::kUserGrc, s.userGrc > 0);

  kEdgeGroup.SetRanges(surface, kEdgeTicks);
  kEdgeGroup.Show(surface, s.edgeEmphasis);
  kAeGroup.SetRanges(surface, kAeTicks);
  kAeGroup.Show(surface, s.aeLevel);
}

void DetailsDialog::OnEvent(DialogSurface& surface, const DialogEvent& event) {
  ScanSettings& s = context_.settings;
  if (kMarginGroup.OnEvent(surface, event, s.marginAmount) ||
      kAeGroup.OnEvent(surface, event, s.aeLevel) ||
      kEdgeGroup.OnEvent(surface, event, s.edgeEmphasis)) {
    return;
  }
  if (event.kind != EventKind::kClicked) return;
  void* const instance = context_.dialogs.instance;
  switch (event.control) {
    case details::kMarginScan:
      kMarginGroup.Enable(surface, surface.IsChecked(details::kMarginScan));
      break;
    case details::kAddon:
      (void)RunAddonDialog(context_, runner_, instance, surface.Window());
      break;
    case details::kGamma:
      (void)RunGammaDialog(context_, runner_, instance, surface.Window());
      break;
    case details::kFunctionKey:
      (void)RunFunctionKeyDialog(context_, runner_, instance, surface.Window());
      break;
    case details::kDefaults:
      Defaults(surface);
      break;
    case kIdOkButton:
      Accept(surface);
      break;
    case kIdCancelButton:
      s.marginAmount = savedMargin_;
      s.aeLevel = savedAe_;
      s.edgeEmphasis = savedEdge_;
      surface.End(0);
      break;
    default:
      break;
  }
}

void DetailsDialog::Defaults(DialogSurface& surface) {
  for (const ParameterValue& d : kDefaults) Set(context_, d.id, d.value);
  context_.settings.rotate = 0;
  Load(surface);
}

void DetailsDialog::Accept(DialogSurface& surface) {
  ScanSettings& s = context_.settings;
  Set(context_, PAR_POLARITY, surface.ListSelection(details::kPolarity));
  // Without a selection this gives 0, which the parameter refuses.
  Set(context_, PAR_BATCH_MODE, surface.ListSelection(details::kBatchMode) + 1);
  Set(context_, PAR_SEPARATOR_SENSE, 0);
  s.autoSize = CheckedValue(surface, details::kAutoSize);
  Set(context_, PAR_ADDON, CheckedValue(surface, details::kAddonOn));
  Set(context_, PAR_KEY_START, CheckedValue(surface, details::kKeyStart));
  Set(context_, PAR_MARGIN_SCAN, CheckedValue(surface, details::kMarginScan));
  s.marginAmount = kMarginGroup.ReadEdit(surface);
  s.edgeEmphasis = kEdgeGroup.ReadEdit(surface);
  s.aeLevel = kAeGroup.ReadEdit(surface);
  Set(context_, PAR_GRC_MODE, 0);
  s.backgroundErase = CheckedValue(surface, details::kBackgroundErase);
  s.notchErase = CheckedValue(surface, details::kNotchErase);
  s.thinLine = CheckedValue(surface, details::kThinLine);
  s.userGrc = CheckedValue(surface, details::kUserGrc);
  s.rotate = CheckedValue(surface, details::kRotate);
  (void)PushAllModes(context_.Link());  // not reported
  surface.End(0);
}

}  // namespace tarvo
