// The scan settings record turned into the scanner's data blocks and back:
// the window, scan mode page 0x32, image page 0x36, page 0x37 and the
// function-key block. Pure functions over byte spans; the operations that
// send and read them live in ModeOperations.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "core/Bytes.h"
#include "scan/ScanSettings.h"
#include "scsi/Wire.h"

namespace tarvo {

using WindowData = std::array<std::uint8_t, wire::kWindowDataLength>;
using ShortPage = std::array<std::uint8_t, wire::kShortPageDataLength>;
using AddonPageData = std::array<std::uint8_t, wire::kAddonPageDataLength>;
using FunctionKeyBlock = std::array<std::uint8_t, wire::kFunctionKeyBlockLength>;

// The window geometry in 1/1200 inch and the other values the window carries.
struct WindowParams {
  std::int32_t upperLeftY = 0;
  std::int32_t upperLeftX = 0;
  std::int32_t width = 0;
  std::int32_t length = 0;
  std::uint16_t xResolution = 0;
  std::uint16_t yResolution = 0;
  std::uint8_t brightness = 0;
  std::uint8_t imageType = 0;
  std::uint8_t rif = 0;  // always 0
  std::int32_t userGrc = 0;
  std::int32_t frameArea = 0;
};

// The window of the record: sizes in 1/1200 inch with 32-bit signed
// arithmetic truncating toward zero; the upper left X measured from the far
// side of the scanner's 3488-pixel (300 dpi) width.
WindowParams WindowParamsFrom(const ScanSettings& settings);
WindowData BuildWindowData(const ScanSettings& settings);
// Takes a GET WINDOW answer into the record (only the frame area when the
// descriptor is not window 0).
void ApplyWindowData(ScanSettings& settings, ConstByteSpan data);

ShortPage BuildScanModePage(const ScanSettings& settings);
// Page 0x32 into the record; the separator bits are not read back.
void ApplyScanModePage(ScanSettings& settings, ConstByteSpan data);

ShortPage BuildImagePage(const ScanSettings& settings);
void ApplyImagePage(ScanSettings& settings, ConstByteSpan data);

// Page 0x37: page bytes 2 and 6 carry the low bytes of the two values.
ShortPage BuildDevicePage37(std::int32_t first, std::int32_t second);

// Prepares the addon page mirror for sending: header 0, page code 0x34,
// page length 0x54, the last six page bytes 0.
void PrepareAddonPageForSend(AddonPageData& page);

// The block that assigns `code` to `key`, or nothing for a code that is not
// one of the 19 function codes.
std::optional<FunctionKeyBlock> BuildFunctionKeyBlock(std::uint8_t key, std::uint32_t code);
// The function code a read block carries (the first set bit in the scanner's
// order), or nothing when no bit is set.
std::optional<std::uint32_t> FunctionCodeFromBlock(ConstByteSpan block);

}  // namespace tarvo
