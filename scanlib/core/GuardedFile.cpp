#include "core/GuardedFile.h"

#include <cstdio>

#include "core/Diagnostics.h"
#include "core/Ground.h"

namespace tarvo {
namespace {

constexpr std::size_t kSystemTextSize = 128;  // at most 127 characters of system text

struct Guard {
  const char* tag;  // log tag and box caption
  int callSite;
  const char* module;
  bool ejectOnFailure;
};

void ShowFailure(GroundContext& context, const Guard& guard, std::uint32_t error) {
  char systemText[kSystemTextSize] = {};
  context.platform.ErrorText(error, systemText, sizeof systemText);
  char text[512];
  std::snprintf(text, sizeof text, "%d returned from line %d of %s\n%s", static_cast<int>(error),
                guard.callSite, guard.module, systemText);
  ShowDriverMessage(context, nullptr, text, guard.tag, kMbOk);
}

// Runs `attempt` until it succeeds, fails with an error other than 31, or
// error 31 has lasted kGuardedRetrySeries series of five attempts. Every
// failure is logged; the box appears at the end and after each series.
template <typename Attempt>
bool Guarded(GroundContext& context, const Guard& guard, Attempt attempt) {
  int failedInSeries = 0;
  int series = 0;
  for (;;) {
    if (attempt()) return true;
    const std::uint32_t error = context.platform.LastError();
    DriverLog(context, guard.tag, guard.callSite, guard.module, static_cast<std::int32_t>(error));
    const bool retryable = error == kErrorGenFailure;
    if (retryable && ++failedInSeries < kGuardedAttemptsPerSeries) {
      SpinWait(context, kGuardedRetryWaitMs);
      continue;
    }
    ShowFailure(context, guard, error);
    if (retryable && ++series < kGuardedRetrySeries) {
      failedInSeries = 0;
      SpinWait(context, kGuardedRetryWaitMs);
      continue;
    }
    if (guard.ejectOnFailure) if (context.onCreateFailure != nullptr) context.onCreateFailure(context);
    return false;
  }
}

}  // namespace

FileHandle GuardedCreateFile(GroundContext& context, const char* name, std::uint32_t access,
                             std::uint32_t share, void* security, std::uint32_t disposition,
                             std::uint32_t flags, FileHandle templateFile, int callSite,
                             const char* module) {
  (void)security;      // the platform opens files with default security
  (void)templateFile;  // and without a template
  char tag[320];
  std::snprintf(tag, sizeof tag, "CreateFile %s", name != nullptr ? name : "");
  FileHandle file = kInvalidFile;
  const bool opened = Guarded(context, Guard{tag, callSite, module, true}, [&] {
    file = context.platform.FileOpen(name, access, share, disposition, flags);
    return file != kInvalidFile;
  });
  return opened ? file : kInvalidFile;
}

int GuardedWriteFile(GroundContext& context, FileHandle file, const void* buffer,
                     std::uint32_t count, std::uint32_t* written, void* overlapped, int callSite,
                     const char* module) {
  (void)overlapped;  // writes are synchronous
  if (file == kInvalidFile) return 1;
  return Guarded(context, Guard{"WriteFile", callSite, module, false},
                 [&] { return context.platform.FileWrite(file, buffer, count, written); })
             ? 1
             : 0;
}

int GuardedReadFile(GroundContext& context, FileHandle file, void* buffer, std::uint32_t count,
                    std::uint32_t* read, void* overlapped, int callSite, const char* module) {
  (void)overlapped;  // reads are synchronous
  return Guarded(context, Guard{"ReadFile", callSite, module, false},
                 [&] { return context.platform.FileRead(file, buffer, count, read); })
             ? 1
             : 0;
}

std::uint32_t GuardedSetFilePointer(GroundContext& context, FileHandle file, std::int32_t distance,
                                    std::uint32_t method, int callSite, const char* module) {
  if (file == kInvalidFile) return 1;
  std::uint32_t position = kInvalidFilePosition;
  const bool moved = Guarded(context, Guard{"SetFilePointer", callSite, module, false}, [&] {
    position = context.platform.FileSeek(file, distance, method);
    return position != kInvalidFilePosition;
  });
  return moved ? position : kInvalidFilePosition;
}

int GuardedCloseHandle(GroundContext& context, FileHandle file, int callSite, const char* module) {
  if (file == kInvalidFile) return 1;
  return Guarded(context, Guard{"CloseHandle", callSite, module, false},
                 [&] { return context.platform.FileClose(file); })
             ? 1
             : 0;
}

}  // namespace tarvo
