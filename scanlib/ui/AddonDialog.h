// The Addon dialog (template IMPRINTER): the imprinter's text, position,
// print timing, colour and counter, kept in the scanner's addon page 0x34.
// The page is read when the dialog opens and every field is written through
// the addon parameters on OK, after which the page is sent once more.
#pragma once

#include <cstdint>

#include "ui/DialogCommon.h"
#include "ui/DialogTemplates.h"

namespace tarvo {

struct DriverContext;

// Count-up and reset timing lists: list index -> message, parameter value.
struct TimingChoice {
  std::uint32_t message;
  std::int32_t value;
};
inline constexpr TimingChoice kTimingChoices[] = {
    {270, 0}, {271, 5}, {272, 6}, {273, 7}, {274, 3}, {275, 4},
};
// The list index of a timing value, or kNoSelection.
int TimingIndex(std::int32_t value);
// The timing value of a list index; false when the index has no entry.
bool TimingValue(int index, std::int32_t& value);

inline constexpr std::size_t kAddonTextChars = 63;
inline constexpr std::size_t kAddonPositionChars = 38;  // x and y read on OK

class AddonDialog final : public DialogController {
 public:
  explicit AddonDialog(DriverContext& context) : context_(context) {}

  void OnInit(DialogSurface& surface) override;
  void OnEvent(DialogSurface& surface, const DialogEvent& event) override;

 private:
  void Accept(DialogSurface& surface);

  DriverContext& context_;
};

// The four edit/up-down pairs with their ranges.
inline constexpr SliderGroup kAddonX{{0, addon::kXEdit, addon::kXUpDown}, 0, 500};
inline constexpr SliderGroup kAddonY{{0, addon::kYEdit, addon::kYUpDown}, 0, 300};
inline constexpr SliderGroup kAddonCountUpAmount{
    {0, addon::kCountUpAmountEdit, addon::kCountUpAmountUpDown}, 0, 255};
inline constexpr SliderGroup kAddonResetValue{
    {0, addon::kResetValueEdit, addon::kResetValueUpDown}, 0, 255};

}  // namespace tarvo
