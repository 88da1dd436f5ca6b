// Operations that send the settings record to the scanner and read it back,
// and the accessory operations (addon page, page 0x37, function keys,
// gamma). Each sends its command to the scanner's target and follows the
// scanner-command failure convention, except where noted.
#pragma once

#include <cstdint>

#include "core/Result.h"

namespace tarvo {

struct ScannerLink;

Result PushWindow(const ScannerLink& link);
Result PushScanModePage(const ScannerLink& link);
Result PushImagePage(const ScannerLink& link);
Result ReadWindow(const ScannerLink& link);
Result ReadScanModePage(const ScannerLink& link);
Result ReadImagePage(const ScannerLink& link);
Result ReadStatusBytes(const ScannerLink& link);
// Page 0x32, page 0x36, window.
Result PushScanMode(const ScannerLink& link);
// Page 0x32, page 0x36, window, addon page (the export TsdSetModeToScanner).
Result PushAllModes(const ScannerLink& link);
// Page 0x32, page 0x36, status bytes, window, addon page (TsdGetModeFromScanner).
Result RefreshFromScanner(const ScannerLink& link);

Result ReadAddonPage(const ScannerLink& link);
Result PushAddonPage(const ScannerLink& link);
Result PushDevicePage37(const ScannerLink& link, const std::int32_t (&values)[2]);
// The raw transport result (2 for CHECK CONDITION, no sense decoding, no
// log), or 5 for a code that is not one of the 19 function codes.
std::uint32_t DefineFunctionKey(const ScannerLink& link, std::uint8_t key, std::uint32_t code);
// Leaves `code` unchanged when the key has no function.
Result ReadFunctionKey(const ScannerLink& link, std::int32_t key, std::uint32_t* code);
// 2 for any transport failure but CHECK CONDITION; no log.
Result SendGammaTable(const ScannerLink& link, std::uint16_t qualifier, const std::uint8_t* table);
Result ReadGammaTable(const ScannerLink& link, std::uint16_t qualifier, std::uint8_t* table);

}  // namespace tarvo
