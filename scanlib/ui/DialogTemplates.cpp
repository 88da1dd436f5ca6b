#include "ui/DialogTemplates.h"

namespace tarvo {
namespace {

using K = ControlKind;

constexpr ControlForm kSetting[] = {
    {kIdOkButton, K::kButton},
    {kIdCancelButton, K::kButton},
    {setting::kDetail, K::kButton},
    {setting::kImageTypeLabel, K::kLabel},
    {setting::kImageType, K::kList},
    {setting::kResolutionLabel, K::kLabel},
    {setting::kResolution, K::kList},
    {setting::kPageSizeLabel, K::kLabel},
    {setting::kPageSize, K::kList},
    {setting::kFrameAreaLabel, K::kLabel},
    {setting::kFrameArea, K::kList},
    {setting::kBrightnessLabel, K::kLabel},
    {setting::kAutomatic, K::kCheckBox},
    {setting::kBrightnessTrackbar, K::kTrackbar},
    {setting::kBrightnessEdit, K::kEdit},
    {setting::kBrightnessUpDown, K::kUpDown},
    {setting::kContrastLabel, K::kLabel},
    {setting::kContrastAutomatic, K::kCheckBox, true},
    {setting::kContrastTrackbar, K::kTrackbar},
    {setting::kContrastEdit, K::kEdit},
    {setting::kContrastUpDown, K::kUpDown},
    {setting::kVersion, K::kLabel},
};

// DETAILS and DETAILS_US differ only in the size and place of the buttons.
constexpr ControlForm kDetails[] = {
    {kIdOkButton, K::kButton},
    {kIdCancelButton, K::kButton},
    {details::kDefaults, K::kButton},
    {details::kAddon, K::kButton},
    {details::kGamma, K::kButton},
    {details::kFunctionKey, K::kButton},
    {details::kPolarityLabel, K::kLabel},
    {details::kPolarity, K::kList},
    {details::kBatchModeLabel, K::kLabel},
    {details::kBatchMode, K::kList},
    {details::kRotate, K::kCheckBox},
    {details::kAutoSize, K::kCheckBox},
    {details::kAddonOn, K::kCheckBox},
    {details::kKeyStart, K::kCheckBox},
    {details::kMarginLabel, K::kLabel},
    {details::kMarginScan, K::kCheckBox},
    {details::kMarginTrackbar, K::kTrackbar},
    {details::kMarginEdit, K::kEdit},
    {details::kMarginUpDown, K::kUpDown},
    {details::kAeLabel, K::kLabel},
    {details::kAeTrackbar, K::kTrackbar},
    {details::kAeEdit, K::kEdit},
    {details::kAeUpDown, K::kUpDown},
    {details::kEdgeLabel, K::kLabel},
    {details::kEdgeTrackbar, K::kTrackbar},
    {details::kEdgeEdit, K::kEdit},
    {details::kEdgeUpDown, K::kUpDown},
    {details::kOtherFilterLabel, K::kLabel},
    {details::kBackgroundErase, K::kCheckBox},
    {details::kNotchErase, K::kCheckBox},
    {details::kThinLine, K::kCheckBox},
    {details::kUserGrc, K::kCheckBox},
};

constexpr ControlForm kGamma[] = {
    {kIdOkButton, K::kButton},
    {kIdCancelButton, K::kButton},
    {gamma::kCurveLabel, K::kLabel},
    {gamma::kCurve, K::kList},
    {gamma::kFromFile, K::kButton, true},
    {gamma::kToFile, K::kButton, true},
};

constexpr ControlForm kImprinter[] = {
    {kIdOkButton, K::kButton},
    {kIdCancelButton, K::kButton},
    {addon::kTextLabel, K::kLabel},
    {addon::kText, K::kEdit},
    {addon::kXLabel, K::kLabel},
    {addon::kXEdit, K::kEdit},
    {addon::kXUpDown, K::kUpDown},
    {addon::kYLabel, K::kLabel},
    {addon::kYEdit, K::kEdit},
    {addon::kYUpDown, K::kUpDown},
    {addon::kTimingLabel, K::kLabel},
    {addon::kTiming, K::kList},
    {addon::kColorLabel, K::kLabel},
    {addon::kColor, K::kList},
    {addon::kCounterOn, K::kCheckBox},
    {addon::kCounterLabel, K::kLabel},
    {addon::kCountUpTimingLabel, K::kLabel},
    {addon::kCountUpTiming, K::kList},
    {addon::kCountUpAmountLabel, K::kLabel},
    {addon::kCountUpAmountEdit, K::kEdit},
    {addon::kCountUpAmountUpDown, K::kUpDown},
    {addon::kResetTimingLabel, K::kLabel},
    {addon::kResetTiming, K::kList},
    {addon::kResetValueLabel, K::kLabel},
    {addon::kResetValueEdit, K::kEdit},
    {addon::kResetValueUpDown, K::kUpDown},
};

constexpr ControlForm kFunction[] = {
    {kIdOkButton, K::kButton},
    {kIdCancelButton, K::kButton},
    {fkey::kKeyLabel, K::kLabel},
    {fkey::kKey, K::kList},
    {fkey::kFunctionLabel, K::kLabel},
    {fkey::kFunction, K::kList},
    {fkey::kSaveSetting, K::kCheckBox, true},
};

constexpr ControlForm kStartScan[] = {
    {kIdOkButton, K::kButton},
    {kIdCancelButton, K::kButton},
    {startscan::kFileName, K::kEdit},
    {startscan::kJobSeparator, K::kList},
};

struct TemplateRow {
  DialogTemplate which;
  const char* name;
  std::span<const ControlForm> controls;
};

constexpr TemplateRow kTemplates[] = {
    {DialogTemplate::kSetting, "SETTING", kSetting},
    {DialogTemplate::kDetails, "DETAILS", kDetails},
    {DialogTemplate::kDetailsUs, "DETAILS_US", kDetails},
    {DialogTemplate::kGamma, "GAMMA", kGamma},
    {DialogTemplate::kImprinter, "IMPRINTER", kImprinter},
    {DialogTemplate::kFunction, "FUNCTION", kFunction},
    {DialogTemplate::kStartScan, "STARTSCAN", kStartScan},
};

const TemplateRow* FindTemplate(DialogTemplate which) {
  for (const TemplateRow& row : kTemplates) {
    if (row.which == which) return &row;
  }
  return nullptr;
}

}  // namespace

const char* TemplateName(DialogTemplate which) {
  const TemplateRow* row = FindTemplate(which);
  return row != nullptr ? row->name : "";
}

std::span<const ControlForm> TemplateControls(DialogTemplate which) {
  const TemplateRow* row = FindTemplate(which);
  return row != nullptr ? row->controls : std::span<const ControlForm>{};
}

const ControlForm* FindControl(DialogTemplate which, int id) {
  for (const ControlForm& form : TemplateControls(which)) {
    if (form.id == id) return &form;
  }
  return nullptr;
}

}  // namespace tarvo
