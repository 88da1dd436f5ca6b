#include "ui/GammaDialog.h"

#include <string_view>

#include "platform/Platform.h"
#include "ui/DialogCommon.h"

namespace tarvo {
namespace {

constexpr std::size_t kHeaderLines = 2;

// Reads a text file line by line as the C library's line reader does: each
// line ends after its line feed or after kGammaLineChars characters.
class LineReader {
 public:
  LineReader(Platform& platform, FileHandle file) : platform_(platform), file_(file) {}

  // The next line, its line feed included; false at the end of the file or
  // on a read failure.
  bool Next(std::string_view& line) {
    std::size_t length = 0;
    while (length < kGammaLineChars) {
      if (at_ == filled_ && !Fill()) break;
      const char c = buffer_[at_++];
      line_[length++] = c;
      if (c == '\n') break;
    }
    line = std::string_view(line_, length);
    return length > 0;
  }

 private:
  bool Fill() {
    std::uint32_t got = 0;
    if (!platform_.FileRead(file_, buffer_, sizeof buffer_, &got) || got == 0) return false;
    at_ = 0;
    filled_ = got;
    return true;
  }

  Platform& platform_;
  FileHandle file_;
  char buffer_[4096];
  std::size_t at_ = 0;
  std::size_t filled_ = 0;
  char line_[kGammaLineChars];
};

}  // namespace

bool ReadGammaFile(Platform& platform, const char* name,
                   std::span<std::uint8_t, kGammaEntries> table, std::size_t* entries,
                   std::uint32_t* error) {
  if (entries != nullptr) *entries = 0;
  UniqueFile file(platform,
                  platform.FileOpen(name, kGenericRead, kShareRead, kOpenExisting, kAttributeNormal));
  if (!file) {
    if (error != nullptr) *error = platform.LastError();
    return false;
  }
  LineReader reader(platform, file.get());
  std::string_view line;
  for (std::size_t header = 0; header < kHeaderLines; ++header) {
    if (!reader.Next(line)) return true;
  }
  std::size_t count = 0;
  while (count < kGammaEntries && reader.Next(line)) {
    if (line.front() == ';') continue;
    table[count++] = static_cast<std::uint8_t>(ParseDecimal(line) & 0xFF);
  }
  if (entries != nullptr) *entries = count;
  return true;
}

}  // namespace tarvo
