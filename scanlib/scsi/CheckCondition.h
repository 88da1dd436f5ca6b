// The check-condition rule: how the outcome of one scanner command becomes a
// driver result. Transport result 0 goes on (Ok); 2 (check condition) gives
// SenseToResult of the outcome's sense bytes; anything else is logged under
// "CheckScsi" with the call site and gives ScannerFailure.
#pragma once

#include <cstdint>

#include "core/Bytes.h"
#include "core/Diagnostics.h"
#include "core/Ground.h"
#include "core/Result.h"
#include "scsi/Srb.h"
#include "scsi/Transport.h"

namespace tarvo {

// The result code of fixed-format sense data (at least 14 bytes).
Result SenseToResult(ConstByteSpan sense);

// The target reported a check condition: the sense bytes tell what.
constexpr bool IsCheckCondition(std::uint16_t transportResult) {
  return transportResult == aspi::kTargetCheckCondition;
}

// The rule without the log (the gamma transfers log nothing).
Result OutcomeResult(const ScsiOutcome& outcome);
// The rule, with the "CheckScsi" line for a failure other than a check condition.
Result CheckScsi(GroundContext& context, const ScsiOutcome& outcome, int callSite,
                 const char* module = kModuleScan);

inline constexpr const char* kTagCheckScsi = "CheckScsi";

}  // namespace tarvo
