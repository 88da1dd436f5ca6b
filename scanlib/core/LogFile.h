// Append-only text logs that rotate through five older generations.
//
// Every entry opens the log, moves to its end, writes its pieces one write
// each, takes the end position as the size and closes the file again. When
// the size is past the log's limit, generation 3 is copied over 4, 2 over 3,
// 1 over 2, 0 over 1, the log itself over 0 (a missing source is passed
// over), and the log is deleted; the next entry starts a new one.
//
// Every failure is silent: an entry that cannot be written is lost, and a
// write that fails stops the entry without rotation.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/Platform.h"

namespace tarvo {

inline constexpr std::size_t kLogGenerations = 5;

struct RotatingLog {
  const char* name;                                      // "c:\scsi.log"
  std::array<const char*, kLogGenerations> generations;  // newest (0) to oldest (4)
  std::uint32_t limit;                                   // rotate when the size is greater
  std::uint32_t openFlags;                               // write-through, random-access hint
};

void AppendLogEntry(Platform& platform, const RotatingLog& log,
                    std::span<const std::string_view> pieces);

// Local date and time of an entry: "MM/DD/YY" and "HH:MM:SS".
struct LogStamp {
  char date[9];
  char time[9];
};
LogStamp MakeLogStamp(const LocalTime& now);

}  // namespace tarvo
