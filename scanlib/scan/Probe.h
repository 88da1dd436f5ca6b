// The scanner search: finds the RT650 on any host adapter, reads its modes
// and capabilities, and marks the driver probed.
#pragma once

#include <cstdint>

#include "core/Result.h"

namespace tarvo {

struct ScannerLink;

// TsdProbe: Ok when the scanner was found and answered TEST UNIT READY.
Result Probe(const ScannerLink& link);
// The scanner's target ID 0..6 (selecting its adapter), or kNoTarget.
std::uint8_t FindScanner(const ScannerLink& link);
// INQUIRY page 0xF0 into scannerCaps.
Result ReadScannerInfo(const ScannerLink& link);
// 0 and the revision as a number ("2.10" gives 2010), or the raw transport
// result of a failed INQUIRY.
std::uint32_t GetFirmwareRevision(const ScannerLink& link, std::int32_t* revision);

}  // namespace tarvo
