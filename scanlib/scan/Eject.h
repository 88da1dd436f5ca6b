// The sheet in the feeder sent out: after a failed document file and for
// the export TsdAbortScan.
#pragma once

#include "core/Result.h"

namespace tarvo {

struct ScannerLink;

// OBJECT POSITION unload to the scanner's target (call site 473).
Result EjectSheet(const ScannerLink& link);
// The export TsdAbortScan: ejects the sheet and returns the outcome.
Result AbortScan(const ScannerLink& link);

inline constexpr int kSiteEjectSheet = 473;

}  // namespace tarvo
