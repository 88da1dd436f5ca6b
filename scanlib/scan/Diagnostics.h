// Result codes from sense data, the diagnostics log "c:\scan.log", and the
// scanner-command failure convention shared by every operation that sends a
// command.
#pragma once

#include <cstdint>

#include "base/Bytes.h"
#include "base/Result.h"

namespace tarvo {

struct DriverContext;

inline constexpr const char* kModuleScan = "Scan";

// Appends one entry to "c:\scan.log" (rotating past 1,048,576 bytes).
// Failures of the log are silent.
void DriverLog(DriverContext& context, const char* tag, int callSite, const char* module,
               std::int32_t code);

// The result code of fixed-format sense data (at least 14 bytes).
Result SenseToResult(ConstByteSpan sense);

// The scanner-command failure convention: transport result 0 goes on (Ok);
// 2 gives SenseToResult of `sense`; anything else is logged under "CheckScsi"
// with `callSite` and gives ScannerFailure.
Result CheckScsi(DriverContext& context, std::uint16_t transportResult,
                 const std::uint8_t* sense, int callSite);

// Busy-waits on the platform's tick counter for `milliseconds`.
void SpinWait(DriverContext& context, std::uint32_t milliseconds);

// Shows "%d returned at line %d %s" when `code` is non-zero, whatever the
// message-box switch says.
void ReportFileSizeError(DriverContext& context, const char* caption, std::uint32_t code,
                         int callSite);

// OBJECT POSITION unload to the scanner's target (call site 473).
Result EjectSheet(DriverContext& context);
// The export TsdAbortScan: ejects the sheet and returns the outcome.
Result AbortScan(DriverContext& context);

// The log file and its rotation limit.
inline constexpr std::uint32_t kDriverLogLimit = 0x100000;  // 1,048,576 bytes
inline constexpr const char* kTagCheckScsi = "CheckScsi";
inline constexpr int kSiteEjectSheet = 473;

}  // namespace tarvo
