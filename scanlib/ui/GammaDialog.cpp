#include "ui/GammaDialog.h"

#include <cstring>
#include <string_view>

#include "platform/Platform.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "ui/DialogCommon.h"
#include "ui/DialogTemplates.h"

namespace tarvo {
namespace {

constexpr std::uint16_t kDownloadQualifier = 1;
constexpr std::uint32_t kGammaFileFilterMessage = 303;  // with "*.gmm"
constexpr std::uint32_t kAllFilesFilterMessage = 304;   // with "*.*"

constexpr Caption kCaptions[] = {
    {kDialogTitle, 160},
    {kIdOkButton, 166},
    {kIdCancelButton, 12},
    {gamma::kCurveLabel, 161},
};
constexpr std::uint32_t kCurveEntries[] = {162};

}  // namespace

void GammaDialog::OnInit(DialogSurface& surface) {
  SetCaptions(surface, context_, kCaptions);
  FillList(surface, context_, gamma::kCurve, kCurveEntries);
  surface.ListSelect(gamma::kCurve, 0);
}

void GammaDialog::OnEvent(DialogSurface& surface, const DialogEvent& event) {
  const bool listEvent = event.kind == EventKind::kListSelChanged ||
                         event.kind == EventKind::kListClosedUp ||
                         event.kind == EventKind::kListOther;
  if (listEvent && event.control == gamma::kCurve) {
    const int entry = surface.ListSelection(gamma::kCurve);
    if (entry != kNoSelection) {
      (void)ReadGammaTable(context_.Link(), GammaQualifier(entry),
                           context_.dialogs.gammaTable.data());
    }
    return;
  }
  if (event.kind != EventKind::kClicked) return;
  if (event.control == kIdOkButton || event.control == gamma::kFromFile) {
    Download(surface);
  } else if (event.control == kIdCancelButton) {
    surface.End(0);
  }
}

void GammaDialog::Download(DialogSurface& surface) {
  surface.Enable(kIdOkButton, false);
  surface.Enable(kIdCancelButton, false);

  // "<303>\0*.gmm\0<304>\0*.*\0\0"
  char filter[2 * kMessageTextSize + 16] = {};
  std::size_t at = 0;
  auto append = [&](const char* text) {
    const std::size_t n = std::strlen(text);
    if (at + n + 2 > sizeof filter) return;
    std::memcpy(filter + at, text, n);
    at += n + 1;  // keeps the NUL
  };
  append(LookupMessage(context_, kGammaFileFilterMessage));
  append("*.gmm");
  append(LookupMessage(context_, kAllFilesFilterMessage));
  append("*.*");

  char name[kGammaFileNameSize] = {};
  if (surface.ChooseFile(filter, name, sizeof name)) {
    std::uint32_t error = 0;
    if (!ReadGammaFile(context_.platform, name, context_.dialogs.gammaTable, nullptr, &error)) {
      char text[512] = {};
      context_.platform.ErrorText(error, text, sizeof text);
      context_.platform.ShowMessageBox(nullptr, text, nullptr, kMbOk);
    } else {
      const Result r =
          SendGammaTable(context_.Link(), kDownloadQualifier, context_.dialogs.gammaTable.data());
      if (r != Result::Ok) ShowDriverErrorBox(context_, ToCode(r));
    }
  }

  surface.Enable(kIdOkButton, true);
  surface.Enable(kIdCancelButton, true);
}

}  // namespace tarvo
