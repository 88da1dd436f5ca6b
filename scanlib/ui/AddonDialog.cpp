#include "ui/AddonDialog.h"

#include <cstring>

#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scsi/Wire.h"
#include "tarvoscn.h"

namespace tarvo {
namespace {

constexpr Caption kCaptions[] = {
    {kDialogTitle, 277},
    {kIdOkButton, 11},
    {kIdCancelButton, 12},
    {addon::kTextLabel, 94},
    {addon::kXLabel, 106},
    {addon::kYLabel, 107},
    {addon::kTimingLabel, 108},
    {addon::kColorLabel, 109},
    {addon::kCounterOn, 111},
    {addon::kCounterLabel, 95},
    {addon::kCountUpTimingLabel, 97},
    {addon::kCountUpAmountLabel, 98},
    {addon::kResetTimingLabel, 99},
    {addon::kResetValueLabel, 100},
};
constexpr std::uint32_t kPrintTimings[] = {117, 118};
constexpr std::uint32_t kColors[] = {119, 120, 121};
constexpr std::uint32_t kTimingMessages[] = {270, 271, 272, 273, 274, 275};

constexpr const SliderGroup* kGroups[] = {&kAddonX, &kAddonY, &kAddonCountUpAmount,
                                          &kAddonResetValue};

// Fills the controls from the getters; stops at a timing without entry.
void Fill(DialogSurface& surface, DriverContext& context) {
  char text[wire::kAdTextLength + 1] = {};
  auto address = reinterpret_cast<std::uintptr_t>(text);
  (void)ParGet(context, PAR_ADDON_TEXT, &address);
  text[wire::kAdTextLength] = '\0';
  surface.SetText(addon::kText, text);

  surface.ListSelect(addon::kTiming, GetParameter(context, PAR_ADDON_TIMING, kNoSelection));
  kAddonX.Show(surface, GetParameter(context, PAR_ADDON_X, 0));
  kAddonY.Show(surface, GetParameter(context, PAR_ADDON_Y, 0));
  surface.SetChecked(addon::kCounterOn, GetParameter(context, PAR_ADDON_COUNTER_ON, 0) > 0);
  surface.ListSelect(addon::kColor, GetParameter(context, PAR_ADDON_COLOR, kNoSelection));

  const int countUp = TimingIndex(GetParameter(context, PAR_COUNTUP_TIMING, -1));
  if (countUp == kNoSelection) return;
  surface.ListSelect(addon::kCountUpTiming, countUp);
  kAddonCountUpAmount.Show(surface, GetParameter(context, PAR_COUNTUP_AMOUNT, 0));

  const int reset = TimingIndex(GetParameter(context, PAR_RESET_TIMING, -1));
  if (reset == kNoSelection) return;
  surface.ListSelect(addon::kResetTiming, reset);
  kAddonResetValue.Show(surface, GetParameter(context, PAR_RESET_VALUE, 0));
}

}  // namespace

int TimingIndex(std::int32_t value) {
  for (std::size_t i = 0; i < std::size(kTimingChoices); ++i) {
    if (kTimingChoices[i].value == value) return static_cast<int>(i);
  }
  return kNoSelection;
}

bool TimingValue(int index, std::int32_t& value) {
  if (index < 0 || static_cast<std::size_t>(index) >= std::size(kTimingChoices)) return false;
  value = kTimingChoices[static_cast<std::size_t>(index)].value;
  return true;
}

void AddonDialog::OnInit(DialogSurface& surface) {
  SetCaptions(surface, context_, kCaptions);
  FillList(surface, context_, addon::kTiming, kPrintTimings);
  FillList(surface, context_, addon::kColor, kColors);
  FillList(surface, context_, addon::kCountUpTiming, kTimingMessages);
  FillList(surface, context_, addon::kResetTiming, kTimingMessages);
  for (const SliderGroup* group : kGroups) group->SetRanges(surface, {});

  const Result read = ReadAddonPage(context_.Link());
  if (read != Result::Ok) {
    ShowDriverErrorBox(context_, ToCode(read));
    surface.End(0);
    return;
  }
  Fill(surface, context_);
}

void AddonDialog::OnEvent(DialogSurface& surface, const DialogEvent& event) {
  for (const SliderGroup* group : kGroups) {
    std::int32_t shown = 0;  // the dialog keeps no values of its own
    if (group->OnEvent(surface, event, shown)) return;
  }
  if (event.kind != EventKind::kClicked) return;
  if (event.control == kIdOkButton) {
    Accept(surface);
  } else if (event.control == kIdCancelButton) {
    surface.End(0);
  }
}

void AddonDialog::Accept(DialogSurface& surface) {
  auto failed = [&](Result r) {
    if (r == Result::Ok) return false;
    ShowDriverErrorBox(context_, ToCode(r));
    return true;
  };

  char text[kAddonTextChars + 1] = {};
  surface.GetText(addon::kText, text, sizeof text);
  const auto address = reinterpret_cast<std::uintptr_t>(text);
  if (failed(ParSet(context_, PAR_ADDON_TEXT, &address))) return;
  if (failed(SetParameter(context_, PAR_ADDON_X,
                    ReadEditNumber(surface, addon::kXEdit, kAddonPositionChars)))) {
    return;
  }
  if (failed(SetParameter(context_, PAR_ADDON_Y,
                    ReadEditNumber(surface, addon::kYEdit, kAddonPositionChars)))) {
    return;
  }
  (void)SetParameter(context_, PAR_ADDON_TIMING, surface.ListSelection(addon::kTiming));
  (void)SetParameter(context_, PAR_ADDON_COUNTER_ON, surface.IsChecked(addon::kCounterOn) ? 1 : 0);
  (void)SetParameter(context_, PAR_ADDON_COLOR, surface.ListSelection(addon::kColor));

  std::int32_t timing = 0;
  if (!TimingValue(surface.ListSelection(addon::kCountUpTiming), timing)) return;
  (void)SetParameter(context_, PAR_COUNTUP_TIMING, timing);
  if (failed(SetParameter(context_, PAR_COUNTUP_AMOUNT,
                    ReadEditNumber(surface, addon::kCountUpAmountEdit, kAddonPositionChars)))) {
    return;
  }
  if (!TimingValue(surface.ListSelection(addon::kResetTiming), timing)) return;
  (void)SetParameter(context_, PAR_RESET_TIMING, timing);
  if (failed(SetParameter(context_, PAR_RESET_VALUE,
                    ReadEditNumber(surface, addon::kResetValueEdit, kAddonPositionChars)))) {
    return;
  }

  const Result sent = PushAddonPage(context_.Link());
  if (sent != Result::Ok) {
    ShowDriverErrorBox(context_, ToCode(sent));
    if (sent != Result::ScannerFailure) return;
  }
  surface.End(0);
}

}  // namespace tarvo
