// The Details dialog (templates DETAILS and DETAILS_US): the secondary scan
// settings, and the hub that opens the Addon, Gamma and Function key
// dialogs.
//
// The margin, AE and edge-emphasis slider groups write straight into the
// record while the dialog is open; Cancel rolls back only these three.
// Everything else is written by OK, "&Defaults" or the sub-dialogs.
#pragma once

#include <cstdint>

#include "ui/DialogCommon.h"
#include "ui/DialogTemplates.h"

namespace tarvo {

struct DriverContext;

inline constexpr SliderGroup kMarginGroup{
    {details::kMarginTrackbar, details::kMarginEdit, details::kMarginUpDown}, -10, 10};
inline constexpr SliderGroup kAeGroup{
    {details::kAeTrackbar, details::kAeEdit, details::kAeUpDown}, 1, 17};
inline constexpr SliderGroup kEdgeGroup{
    {details::kEdgeTrackbar, details::kEdgeEdit, details::kEdgeUpDown}, 1, 5};

// The template for a language name: DETAILS for exactly "Japanese".
DialogTemplate DetailsTemplate(const char* languageName);

class DetailsDialog final : public DialogController {
 public:
  DetailsDialog(DriverContext& context, DialogRunner& runner)
      : context_(context), runner_(runner) {}

  void OnInit(DialogSurface& surface) override;
  void OnEvent(DialogSurface& surface, const DialogEvent& event) override;

 private:
  void Load(DialogSurface& surface);
  void Defaults(DialogSurface& surface);
  void Accept(DialogSurface& surface);

  DriverContext& context_;
  DialogRunner& runner_;
  std::int32_t savedMargin_ = 0;
  std::int32_t savedAe_ = 0;
  std::int32_t savedEdge_ = 0;
};

}  // namespace tarvo
