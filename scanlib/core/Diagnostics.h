// The diagnostics log "c:\scan.log", the driver's message boxes and the tick
// wait: what every room reports its failures with.
#pragma once

#include <cstdint>

#include "core/Bytes.h"
#include "core/Ground.h"
#include "core/Result.h"

namespace tarvo {

inline constexpr const char* kModuleScan = "Scan";

// Appends one entry to "c:\scan.log" (rotating past 1,048,576 bytes).
// Failures of the log are silent.
void DriverLog(GroundContext& context, const char* tag, int callSite, const char* module,
               std::int32_t code);

// Busy-waits on the platform's tick counter for `milliseconds`.
void SpinWait(GroundContext& context, std::uint32_t milliseconds);

// Shows "%d returned at line %d %s" when `code` is non-zero, whatever the
// message-box switch says.
void ReportFileSizeError(GroundContext& context, const char* caption, std::uint32_t code,
                         int callSite);

// Shows a message box only while the message-box switch is on; otherwise
// returns 1.
int ShowDriverMessage(GroundContext& context, void* owner, const char* text, const char* caption,
                      std::uint32_t style);

// The log file and its rotation limit.
inline constexpr std::uint32_t kDriverLogLimit = 0x100000;  // 1,048,576 bytes

}  // namespace tarvo
