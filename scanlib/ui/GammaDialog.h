// The Gamma dialog (template GAMMA): loads a gamma curve from a "*.gmm" file
// and downloads it to the scanner.
//
// Gamma file, as read (lines of at most 511 characters; a longer line is
// read as several):
//   line 1, line 2      header, ignored
//   ";..."              comment, ignored and not counted
//   any other line      one table entry: its leading decimal number (blanks,
//                       sign, digits; none gives 0), stored as its low 8 bits
// Entries fill the table from index 0; reading stops after the 256th entry
// or at the end of the file. Entries the file does not reach keep their
// values.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "platform/DialogSurface.h"

namespace tarvo {

struct DriverContext;
class Platform;

inline constexpr std::size_t kGammaEntries = 256;
inline constexpr std::size_t kGammaLineChars = 511;
inline constexpr std::size_t kGammaFileNameSize = 502;

// Reads the gamma file `name` into `table`; the number of entries set. False
// (and the table unchanged) when the file cannot be opened: `error` then
// holds the system's error code.
bool ReadGammaFile(Platform& platform, const char* name,
                   std::span<std::uint8_t, kGammaEntries> table, std::size_t* entries,
                   std::uint32_t* error);

// Data-type qualifier of curve list entry n: n * 256 + 1.
constexpr std::uint16_t GammaQualifier(int entry) {
  return static_cast<std::uint16_t>(entry * 256 + 1);
}

class GammaDialog final : public DialogController {
 public:
  explicit GammaDialog(DriverContext& context) : context_(context) {}

  void OnInit(DialogSurface& surface) override;
  // Every notification of the curve list reads the scanner's table of the
  // selected curve. "Download" (and the hidden "From File") choose a file,
  // read it into the table and send the table with qualifier 1; the dialog
  // stays open. Cancel ends with 0.
  void OnEvent(DialogSurface& surface, const DialogEvent& event) override;

 private:
  void Download(DialogSurface& surface);

  DriverContext& context_;
};

}  // namespace tarvo
