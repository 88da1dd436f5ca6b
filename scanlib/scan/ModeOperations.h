// Operations that send the settings record to the scanner and read it back,
// and the accessory operations (addon page, page 0x37, function keys,
// gamma). Each sends its command to the scanner's target and follows the
// scanner-command failure convention, except where noted.
#pragma once

#include <cstdint>

#include "core/Result.h"

namespace tarvo {

struct DriverContext;

Result PushWindow(DriverContext& context);
Result PushScanModePage(DriverContext& context);
Result PushImagePage(DriverContext& context);
Result ReadWindow(DriverContext& context);
Result ReadScanModePage(DriverContext& context);
Result ReadImagePage(DriverContext& context);
Result ReadStatusBytes(DriverContext& context);
// Page 0x32, page 0x36, window.
Result PushScanMode(DriverContext& context);
// Page 0x32, page 0x36, window, addon page (the export TsdSetModeToScanner).
Result PushAllModes(DriverContext& context);
// Page 0x32, page 0x36, status bytes, window, addon page (TsdGetModeFromScanner).
Result RefreshFromScanner(DriverContext& context);

Result ReadAddonPage(DriverContext& context);
Result PushAddonPage(DriverContext& context);
Result PushDevicePage37(DriverContext& context, const std::int32_t (&values)[2]);
// The raw transport result (2 for CHECK CONDITION, no sense decoding, no
// log), or 5 for a code that is not one of the 19 function codes.
std::uint32_t DefineFunctionKey(DriverContext& context, std::uint8_t key, std::uint32_t code);
// Leaves `code` unchanged when the key has no function.
Result ReadFunctionKey(DriverContext& context, std::int32_t key, std::uint32_t* code);
// 2 for any transport failure but CHECK CONDITION; no log.
Result SendGammaTable(DriverContext& context, std::uint16_t qualifier, const std::uint8_t* table);
Result ReadGammaTable(DriverContext& context, std::uint16_t qualifier, std::uint8_t* table);

}  // namespace tarvo
