// The Function key dialog (template FUNCTION): shows the function the
// scanner has for the key chosen in the key list and assigns another one,
// sent to the scanner at once.
#pragma once

#include <cstdint>
#include <span>

#include "core/Result.h"
#include "platform/DialogSurface.h"
#include "scsi/Wire.h"

namespace tarvo {

struct DriverContext;

// The functions and their names, from the one table of the wire layout, in
// the order in which "Set" compares the texts (the first equal one wins): the
// reading order.
using FunctionChoice = wire::FunctionBit;
inline constexpr const auto& kFunctionChoices = wire::kFunctionReadingOrder;
// Message 182 also stands for a key without a function of its own.
inline constexpr std::uint32_t kNoFunctionMessage = 182;

// The function list in display order, shortened by the scanner's abilities:
// firmware revision below 2000: the first 14 and 182; without the function-
// key flag (page 0xF0 byte 39 bit 5): the first 15 and 182; else all 19.
std::span<const std::uint32_t> FunctionListMessages(std::int32_t firmwareRevision,
                                                    bool functionKeyFlag);
// The function a key's 16-byte block shows (byte 0 first): the first set bit
// of byte 1 bit 5; byte 2 bits 0..7; byte 3 bits 0..6; byte 4 bit 7; byte 4
// bit 6; byte 3 bit 7. 0 when none is set.
std::uint32_t BlockFunctionMessage(std::span<const std::uint8_t> block);
// The message of a function code, or 0 for a code that is none of the 19.
std::uint32_t FunctionMessage(std::uint32_t code);

class FunctionKeyDialog final : public DialogController {
 public:
  explicit FunctionKeyDialog(DriverContext& context) : context_(context) {}

  // Fills the lists, selects F1 and reads key 1; a failed read shows the
  // driver-error box and ends the dialog with 0.
  void OnInit(DialogSurface& surface) override;
  // Key change: reads the key ("Scsi error" box on failure). "Set": sends
  // the selected function for the selected key; the dialog stays open.
  void OnEvent(DialogSurface& surface, const DialogEvent& event) override;

 private:
  // Reads the key's block from the scanner and selects its function; the
  // driver result code (a transport failure other than CHECK CONDITION is
  // logged under "CheckScsi" with call site 759 and gives 2).
  Result ReadKey(DialogSurface& surface, std::int32_t key);
  void Assign(DialogSurface& surface);

  DriverContext& context_;
};

}  // namespace tarvo
