// Batches and pages: start, continue, stop and abort a batch, test for a
// sheet, wait for a page and move it from the scanner into its output.
#pragma once

#include <cstdint>

#include "core/Result.h"
#include "scan/ScanSettings.h"
#include "tarvoscn.h"

namespace tarvo {

struct DriverContext;

using CancelFunction = TsdCancelCallback;

// Page position of TsdStartScan: 0 new document, kAppendPages append, n insert
// in front of page n.
inline constexpr std::uint32_t kAppendPages = 0xFFFFFFFFu;

// Ok when image type, bits per pixel, file type and compression go together.
Result ValidateOutputSettings(const ScanSettings& settings);

Result StartScan(DriverContext& context, const char* name, std::uint32_t* position,
                 std::uint32_t* linkHint);
Result ContinueScan(DriverContext& context);
Result StopScan(DriverContext& context);
Result PageExist(DriverContext& context);

// What the page wait ended with.
enum class PageWait : std::uint8_t { kReady, kQuit, kResult };
struct PageWaitOutcome {
  PageWait wait;
  Result result;  // kResult: 6 feeder empty, 14 cancelled, or a scanner failure
};
PageWaitOutcome WaitForPage(DriverContext& context, CancelFunction cancel);
// Sets separatorDetected from the separator status byte.
Result ReadSeparatorStatus(DriverContext& context);

Result ReadPage(DriverContext& context, const char* name, std::uint8_t* pageBuffer,
                CancelFunction cancel);
Result ScanOnePage(DriverContext& context, const char* name, std::uint32_t* position,
                   std::uint8_t* pageBuffer);

// The hosts whose window is recomputed from the page-size table at every
// batch start ("Pagewell.exe", "Rtscan65.exe", in any case).
bool HostHasOwnGeometry(const char* hostFileName);

}  // namespace tarvo
