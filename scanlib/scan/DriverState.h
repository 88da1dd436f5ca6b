// The driver's process-wide record: what the scanner is, where the open
// document stands, what the last page left behind.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Platform.h"

namespace tarvo {

inline constexpr std::uint8_t kNoTarget = 0xFF;

// What the probe read from INQUIRY page 0xF0.
struct ScannerCaps {
  bool batchCapable = false;  // byte 39 bit 7
  bool flag5 = false;         // byte 39 bit 5
  std::uint32_t value = 0;    // bytes 34..37
};

struct DriverState {
  void* moduleHandle = nullptr;
  std::int32_t probed = 0;
  std::int32_t adapterCount = 0;
  std::uint32_t scannerAdapter = 0;
  std::uint8_t scannerTarget = 0;
  std::uint32_t maxTransferSize = 0;
  std::int32_t showMessages = 0;
  std::array<char, 32> currentLanguage{};

  // The open multi-page document.
  FileHandle docFile = kInvalidFile;
  std::uint32_t docLinkPos = 0;
  std::uint32_t docLinkValue = 0;
  std::uint32_t docIfdPos = 0;
  std::uint32_t docDataPos = 0;
  std::uint32_t pageImageBytes = 0;

  // Per page.
  std::int32_t statusBitReported = 0;
  std::int32_t separatorDetected = 0;
  std::uint32_t counter1 = 0;
  std::uint32_t counter2 = 0;
  std::uint32_t counter3 = 0;

  ScannerCaps scannerCaps;
};

}  // namespace tarvo
