// What the dialogs share: captions and lists from the message table, number
// edits, the slider group, the driver-error message box and the box of a
// dialog that cannot be created.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/Result.h"
#include "platform/DialogSurface.h"
#include "scan/ScanSettings.h"

namespace tarvo {

struct DriverContext;

// ---- texts from the message table ------------------------------------------------

struct Caption {
  int control;  // kDialogTitle for the title
  std::uint32_t message;
};

void SetCaptions(DialogSurface& surface, const DriverContext& context,
                 std::span<const Caption> captions);
// Adds one entry per message, in order.
void FillList(DialogSurface& surface, const DriverContext& context, int control,
              std::span<const std::uint32_t> messages);

// ---- parameters ------------------------------------------------------------------

// The value of an int parameter; `fallback` when the get fails.
std::int32_t GetParameter(DriverContext& context, std::int32_t id, std::int32_t fallback = 0);
// Sets an int parameter.
Result SetParameter(DriverContext& context, std::int32_t id, std::int32_t value);
// Image types that have no background erase: gray and halftone.
constexpr bool ErasesNoBackground(std::int32_t imageType) {
  return imageType == kImageGray || imageType == kImageHalftone;
}
// 1 when the check box is checked, else 0.
std::int32_t CheckedValue(DialogSurface& surface, int control);

// ---- numbers in edits ---------------------------------------------------------------

// The leading decimal number of `text`: optional blanks, an optional sign,
// then digits; 0 when there are none. Wraps modulo 2^32 (so its low bits are
// right whatever the length).
std::int32_t ParseDecimal(std::string_view text);
// The number in the first `maxChars` characters of an edit.
std::int32_t ReadEditNumber(DialogSurface& surface, int edit, std::size_t maxChars);
// Writes `value` as "%3d".
void ShowNumber(DialogSurface& surface, int edit, std::int32_t value);

// Edits read for the slider groups take at most this many characters.
inline constexpr std::size_t kSliderEditChars = 7;

// ---- the slider group ------------------------------------------------------------------

// A trackbar, a number edit showing "%3d" and an up-down without buddy, kept
// in step with one value. A group without trackbar (ID 0) is an edit and an
// up-down.
struct SliderIds {
  int trackbar;
  int edit;
  int upDown;
};

class SliderGroup {
 public:
  constexpr SliderGroup(SliderIds ids, std::int32_t low, std::int32_t high)
      : ids_(ids), low_(low), high_(high) {}

  const SliderIds& ids() const { return ids_; }
  constexpr std::int32_t Clamp(std::int32_t v) const { return v < low_ ? low_ : v > high_ ? high_ : v; }

  // Ranges of trackbar and up-down; tick marks on the trackbar.
  void SetRanges(DialogSurface& surface, std::span<const int> ticks) const;
  // Shows `value` in all three controls as it is (a trackbar keeps its
  // position within its range by itself).
  void Show(DialogSurface& surface, std::int32_t value) const;
  void Enable(DialogSurface& surface, bool enabled) const;
  // The edit's number (at most 7 characters), clamped.
  std::int32_t ReadEdit(DialogSurface& surface) const;

  // Reacts to an event of one of the group's controls, updating `value`:
  //   trackbar scroll codes 0..5: value = trackbar position, edit shows it;
  //     any scroll then sets the up-down to the value;
  //   up-down scroll: value = its position, edit and trackbar follow;
  //   edit lost focus: value = the edit's number (at most 7 characters)
  //     clamped, written back to edit, trackbar and up-down.
  // False (and nothing changed) when the event is not for the group.
  bool OnEvent(DialogSurface& surface, const DialogEvent& event, std::int32_t& value) const;

 private:
  SliderIds ids_;
  std::int32_t low_;
  std::int32_t high_;
};

// ---- message boxes ---------------------------------------------------------------------

// The message shown for a driver result code: 2 -> 202; 5, 15, 37 -> 203;
// 6 -> 205; 7 -> 200; 8 -> 201; 12 -> 206; 16 -> 208; 38 -> 223; else 224.
std::uint32_t DriverErrorMessage(std::uint32_t code);
// That message under the caption "RT650", OK button, no owner.
void ShowDriverErrorBox(DriverContext& context, std::uint32_t code);
// "DialogBox return code is %d" without owner or caption.
void ShowDialogBoxFailure(DriverContext& context, std::uint32_t error);

}  // namespace tarvo
