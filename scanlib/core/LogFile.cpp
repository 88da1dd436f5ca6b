#include "core/LogFile.h"

#include <cstdio>

namespace tarvo {
namespace {

void Rotate(Platform& platform, const RotatingLog& log) {
  for (std::size_t older = kLogGenerations - 1; older > 0; --older) {
    platform.FileCopy(log.generations[older - 1], log.generations[older], false);
  }
  platform.FileCopy(log.name, log.generations[0], false);
  platform.FileDelete(log.name);
}

}  // namespace

void AppendLogEntry(Platform& platform, const RotatingLog& log,
                    std::span<const std::string_view> pieces) {
  UniqueFile file(platform, platform.FileOpen(log.name, kGenericRead | kGenericWrite, kShareNone,
                                              kOpenAlways, log.openFlags));
  if (!file) return;
  if (platform.FileSeek(file.get(), 0, kFileEnd) == kInvalidFilePosition) return;
  for (std::string_view piece : pieces) {
    std::uint32_t written = 0;
    const auto count = static_cast<std::uint32_t>(piece.size());
    if (!platform.FileWrite(file.get(), piece.data(), count, &written) || written != count) return;
  }
  const std::uint32_t size = platform.FileSeek(file.get(), 0, kFileCurrent);
  file.Reset();
  if (size != kInvalidFilePosition && size > log.limit) Rotate(platform, log);
}

LogStamp MakeLogStamp(const LocalTime& now) {
  LogStamp stamp{};
  std::snprintf(stamp.date, sizeof stamp.date, "%02u/%02u/%02u", now.month % 100u, now.day % 100u,
                now.year % 100u);
  std::snprintf(stamp.time, sizeof stamp.time, "%02u:%02u:%02u", now.hour % 100u, now.minute % 100u,
                now.second % 100u);
  return stamp;
}

}  // namespace tarvo
