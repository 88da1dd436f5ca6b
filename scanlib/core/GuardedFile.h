// The guarded file operations: every document and TIFF file is created,
// written, read, positioned and closed through them. Each logs its failure
// under its tag with the caller's call-site number and module, shows a
// message box while message boxes are on, and retries a device that is not
// functioning (system error 31) in series of five attempts 5000 ms apart, for
// a bounded number of series (kGuardedRetrySeries).
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace tarvo {

struct GroundContext;

// Error 31 (a device that is not functioning) is retried: attempts 5000 ms
// apart, the failure box after every five failed attempts in a row, and at
// most three such series (15 attempts, about 70 s) before the operation
// fails like any other. A failed GuardedCreateFile ejects the sheet in
// either case.
inline constexpr int kGuardedAttemptsPerSeries = 5;
inline constexpr int kGuardedRetrySeries = 3;
inline constexpr std::uint32_t kGuardedRetryWaitMs = 5000;

// On failure: kInvalidFile, after ejecting the sheet (non-retryable errors).
FileHandle GuardedCreateFile(GroundContext& context, const char* name, std::uint32_t access,
                             std::uint32_t share, void* security, std::uint32_t disposition,
                             std::uint32_t flags, FileHandle templateFile, int callSite,
                             const char* module);
// 1 on success (also, writing nothing, for kInvalidFile), 0 on failure.
int GuardedWriteFile(GroundContext& context, FileHandle file, const void* buffer,
                     std::uint32_t count, std::uint32_t* written, void* overlapped, int callSite,
                     const char* module);
// 1 on success, 0 on failure.
int GuardedReadFile(GroundContext& context, FileHandle file, void* buffer, std::uint32_t count,
                    std::uint32_t* read, void* overlapped, int callSite, const char* module);
// The new position (1, doing nothing, for kInvalidFile), or kInvalidFilePosition.
std::uint32_t GuardedSetFilePointer(GroundContext& context, FileHandle file,
                                    std::int32_t distance, std::uint32_t method, int callSite,
                                    const char* module);
// 1 on success (also, doing nothing, for kInvalidFile), 0 on failure.
int GuardedCloseHandle(GroundContext& context, FileHandle file, int callSite,
                       const char* module);

}  // namespace tarvo
