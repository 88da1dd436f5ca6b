#include "ui/StartScanDialog.h"

#include "scan/DriverContext.h"
#include "ui/DialogTemplates.h"

namespace tarvo {

void StartScanDialog::OnInit(DialogSurface& surface) {
  for (const JobSeparatorChoice& choice : kJobSeparatorChoices) {
    surface.ListAdd(startscan::kJobSeparator, choice.entry);
  }
  surface.ListSelect(startscan::kJobSeparator, 0);
}

void StartScanDialog::OnEvent(DialogSurface& surface, const DialogEvent& event) {
  if (event.kind != EventKind::kClicked) return;
  if (event.control == kIdOkButton) {
    surface.GetText(startscan::kFileName, fileName_.data(), fileName_.size());
    const int index = surface.ListSelection(startscan::kJobSeparator);
    if (index >= 0 && static_cast<std::size_t>(index) < kJobSeparatorChoices.size()) {
      context_.settings.separatorModeA = kJobSeparatorChoices[static_cast<std::size_t>(index)].value;
    }
    surface.End(0);
  } else if (event.control == kIdCancelButton) {
    surface.End(0);
  }
}

}  // namespace tarvo
