// The numbered scan parameters of TsdParSet and TsdParGet.
//
// What a parameter is (its name, what a set accepts, its directions and what
// a set sends to the scanner afterwards) is its row of the public table
// tsdParamTable (tarvoscn_params.h); this room adds, per ID, what a set
// stores and what a get writes. A set checks, stores (before sending, so a
// failed send leaves the new value in the record) and sends; a get first
// refreshes the record from the scanner (result ignored) and then writes the
// value.
//
// Value cells: an int32_t for most IDs; a uintptr_t holding the data's
// address for PAR_DOC_NAME (15), PAR_ADDON_TEXT (62), PAR_GAMMA (100) and
// PAR_DEVICE_PAGE_37 (104).
//
// PAR_ADDON_TEXT takes at most 63 characters: a longer text is refused with
// 5 and changes nothing (the field holds 64 bytes with the NUL). A null cell,
// or a null address for the IDs whose data is read or written (62, 100, 104),
// is refused with 5 as well; PAR_DOC_NAME keeps any address, null for no name.
#pragma once

#include <cstdint>
#include <span>

#include "core/Result.h"

namespace tarvo {

struct DriverContext;

inline constexpr std::int32_t kTableEnd = 0xE5E5;  // ends every accepted-value table

struct ParameterInfo {
  std::int32_t id;
  const char* name;  // "PAR_SCAN_LENGTH"
  bool settable;
  bool readable;
  bool pointerCell;  // the cell is a uintptr_t holding an address
};

// The rows of the table, in ID order.
std::span<const ParameterInfo> Parameters();
const ParameterInfo* FindParameter(std::int32_t id);

Result ParSet(DriverContext& context, std::int32_t id, const void* cell);
Result ParGet(DriverContext& context, std::int32_t id, void* cell);

}  // namespace tarvo
