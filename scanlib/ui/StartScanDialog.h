// The Start-scan dialog (template STARTSCAN): how job separator sheets are
// treated in the next batch. Its texts are the template's own.
#pragma once

#include <array>
#include <cstdint>

#include "platform/DialogSurface.h"

namespace tarvo {

struct DriverContext;

struct JobSeparatorChoice {
  const char* entry;
  std::int32_t value;  // separatorModeA: 1 detect, 2 keep the sheet, 4 continue after it
};

inline constexpr std::array<JobSeparatorChoice, 3> kJobSeparatorChoices{{
    {"None", 0},
    {"Detect and Scan, Stop", 3},
    {"Detect and Skip, Continue", 5},
}};

// The file-name edit is read on OK (up to 38 characters) and kept here; the
// driver does not use it.
inline constexpr std::size_t kStartScanFileNameChars = 38;

class StartScanDialog final : public DialogController {
 public:
  explicit StartScanDialog(DriverContext& context) : context_(context) {}

  // The list always opens on "None", whatever the current mode.
  void OnInit(DialogSurface& surface) override;
  // OK writes 0, 3 or 5 straight into separatorModeA (3 is not a value the
  // parameter setter takes) and closes; Cancel closes. Both end with 0.
  void OnEvent(DialogSurface& surface, const DialogEvent& event) override;

  const char* fileName() const { return fileName_.data(); }

 private:
  DriverContext& context_;
  std::array<char, kStartScanFileNameChars + 1> fileName_{};
};

}  // namespace tarvo
