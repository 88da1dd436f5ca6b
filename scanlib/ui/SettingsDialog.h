// The Settings dialog (template SETTING): image type, resolution, page size,
// frame area, brightness and contrast. OK writes them into the record and
// pushes the scan mode; "Detail" opens the Details dialog.
//
// Preselection: a record image type that has no entry in the list (2, say,
// or a gray type on a scanner that offers three entries) leaves the list
// without a selection, and OK then does nothing until the user picks one.
#pragma once

#include <array>
#include <cstdint>

#include "ui/DialogCommon.h"
#include "ui/DialogTemplates.h"

namespace tarvo {

struct DriverContext;

struct ImageTypeChoice {
  std::uint32_t message;
  std::int32_t imageType;
  std::int32_t bitsPerPixel;
};

// Entries 3..5 (gray) only when page 0xF0's capability value is non-zero.
inline constexpr std::array<ImageTypeChoice, 6> kImageTypeChoices{{
    {20, 1, 1},
    {18, 9, 1},
    {19, 10, 1},
    {22, 4, 2},
    {23, 4, 4},
    {24, 4, 8},
}};
inline constexpr std::size_t kBilevelImageTypes = 3;

// Resolution list entries; the index is the page-size table's column.
inline constexpr std::array<const char*, 3> kResolutionEntries{{"200", "300", "600"}};

inline constexpr SliderGroup kBrightnessGroup{
    {setting::kBrightnessTrackbar, setting::kBrightnessEdit, setting::kBrightnessUpDown}, 1, 255};
inline constexpr SliderGroup kContrastGroup{
    {setting::kContrastTrackbar, setting::kContrastEdit, setting::kContrastUpDown}, 1, 255};

// The image-type entry for a record (imageType 1 -> 0, 9 -> 1, 10 -> 2;
// 4 -> 4 for 4 bits, 5 for 8 bits, else 3), or kNoSelection when that entry
// is not among the first `entries`.
int ImageTypeEntry(std::int32_t imageType, std::int32_t bitsPerPixel, std::size_t entries);
// The page-size entry of `column` whose length and width are nearest (sum of
// the absolute differences; the lower index on equal sums); 0 when every sum
// is 20000 or more.
int NearestPageSize(int column, std::int32_t length, std::int32_t width);


class SettingsDialog final : public DialogController {
 public:
  SettingsDialog(DriverContext& context, DialogRunner& runner)
      : context_(context), runner_(runner) {}

  void OnInit(DialogSurface& surface) override;
  void OnEvent(DialogSurface& surface, const DialogEvent& event) override;

  std::int32_t brightness() const { return brightness_; }
  std::int32_t contrast() const { return contrast_; }

 private:
  void Accept(DialogSurface& surface);
  void ImageTypeClosedUp(DialogSurface& surface);

  DriverContext& context_;
  DialogRunner& runner_;
  std::int32_t brightness_ = 0;  // working values, 1..255
  std::int32_t contrast_ = 0;
};

}  // namespace tarvo
