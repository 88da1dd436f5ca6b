#include "ui/DialogCommon.h"

#include <cstdio>

#include "platform/Platform.h"
#include "scan/DriverContext.h"
#include "scan/Parameters.h"

namespace tarvo {
namespace {

struct ErrorMessageRow {
  std::uint32_t code;
  std::uint32_t message;
};

constexpr ErrorMessageRow kErrorMessages[] = {
    {2, 202}, {5, 203}, {15, 203}, {37, 203}, {6, 205},
    {7, 200}, {8, 201}, {12, 206}, {16, 208}, {38, 223},
};
constexpr std::uint32_t kOtherErrorMessage = 224;
constexpr const char* kDriverErrorCaption = "RT650";

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

void SetCaptions(DialogSurface& surface, const DriverContext& context,
                 std::span<const Caption> captions) {
  for (const Caption& c : captions) surface.SetText(c.control, LookupMessage(context, c.message));
}

void FillList(DialogSurface& surface, const DriverContext& context, int control,
              std::span<const std::uint32_t> messages) {
  for (std::uint32_t id : messages) surface.ListAdd(control, LookupMessage(context, id));
}

std::int32_t GetParameter(DriverContext& context, std::int32_t id, std::int32_t fallback) {
  std::int32_t value = fallback;
  if (ParGet(context, id, &value) != Result::Ok) return fallback;
  return value;
}

Result SetParameter(DriverContext& context, std::int32_t id, std::int32_t value) {
  return ParSet(context, id, &value);
}

std::int32_t CheckedValue(DialogSurface& surface, int control) {
  return surface.IsChecked(control) ? 1 : 0;
}

std::int32_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

std::int32_t ReadEditNumber(DialogSurface& surface, int edit, std::size_t maxChars) {
  char text[64] = {};
  const std::size_t size = maxChars + 1 < sizeof text ? maxChars + 1 : sizeof text;
  const std::size_t length = surface.GetText(edit, text, size);
  return ParseDecimal(std::string_view(text, length < size ? length : size - 1));
}

void ShowNumber(DialogSurface& surface, int edit, std::int32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%3d", static_cast<int>(value));
  surface.SetText(edit, text);
}

void SliderGroup::SetRanges(DialogSurface& surface, std::span<const int> ticks) const {
  if (ids_.trackbar != 0) {
    surface.SetRange(ids_.trackbar, low_, high_);
    surface.SetTicks(ids_.trackbar, ticks);
  }
  surface.SetRange(ids_.upDown, low_, high_);
}

void SliderGroup::Show(DialogSurface& surface, std::int32_t value) const {
  if (ids_.trackbar != 0) surface.SetPosition(ids_.trackbar, value);
  ShowNumber(surface, ids_.edit, value);
  surface.SetPosition(ids_.upDown, value);
}

void SliderGroup::Enable(DialogSurface& surface, bool enabled) const {
  if (ids_.trackbar != 0) surface.Enable(ids_.trackbar, enabled);
  surface.Enable(ids_.edit, enabled);
  surface.Enable(ids_.upDown, enabled);
}

std::int32_t SliderGroup::ReadEdit(DialogSurface& surface) const {
  return Clamp(ReadEditNumber(surface, ids_.edit, kSliderEditChars));
}

bool SliderGroup::OnEvent(DialogSurface& surface, const DialogEvent& event,
                          std::int32_t& value) const {
  if (ids_.trackbar != 0 && event.control == ids_.trackbar &&
      event.kind == EventKind::kTrackbarScrolled) {
    if (ScrollMovesValue(event.code)) {
      value = surface.Position(ids_.trackbar);
      ShowNumber(surface, ids_.edit, value);
    }
    surface.SetPosition(ids_.upDown, value);
    return true;
  }
  if (event.control == ids_.upDown && event.kind == EventKind::kUpDownScrolled) {
    value = event.position;
    ShowNumber(surface, ids_.edit, value);
    if (ids_.trackbar != 0) surface.SetPosition(ids_.trackbar, value);
    return true;
  }
  if (event.control == ids_.edit && event.kind == EventKind::kEditLostFocus) {
    value = ReadEdit(surface);
    Show(surface, value);
    return true;
  }
  return false;
}

std::uint32_t DriverErrorMessage(std::uint32_t code) {
  for (const ErrorMessageRow& row : kErrorMessages) {
    if (row.code == code) return row.message;
  }
  return kOtherErrorMessage;
}

void ShowDriverErrorBox(DriverContext& context, std::uint32_t code) {
  context.platform.ShowMessageBox(nullptr, LookupMessage(context, DriverErrorMessage(code)),
                                  kDriverErrorCaption, kMbOk);
}

void ShowDialogBoxFailure(DriverContext& context, std::uint32_t error) {
  char text[64];
  std::snprintf(text, sizeof text, "DialogBox return code is %d", static_cast<int>(error));
  context.platform.ShowMessageBox(nullptr, text, nullptr, kMbOk);
}

}  // namespace tarvo
