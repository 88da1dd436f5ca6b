#include "scan/Language.h"

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"
#include "scan/DriverContext.h"

namespace tarvo {
namespace {

constexpr const char* kUndefined = "Undefined string!!!";
constexpr const char* kIdTooLarge = "ID too large";
constexpr const char* kLanguageFolder = "\\klxscan\\";
constexpr std::size_t kLineSize = 256;  // 255 characters and the NUL, as one read takes them
constexpr std::uint32_t kFolderSize = 260;

struct LanguageFile {
  const char* name;
  const char* file;
};

constexpr LanguageFile kLanguageFiles[] = {
    {"Japanese", "rt650jp.txt"}, {"Spanish", "rt650sp.txt"}, {"French", "rt650fr.txt"},
    {"German", "rt650ge.txt"},   {"Italian", "rt650it.txt"},
};
constexpr const char* kDefaultLanguageFile = "rt650us.txt";

// Reads a file as text, one line at a time as the C library's line reader
// does in text mode: CR LF becomes LF, a Ctrl-Z ends the file, and a line
// longer than the buffer comes out in pieces.
class TextLineReader {
 public:
  TextLineReader(Platform& platform, FileHandle file) : platform_(platform), file_(file) {}

  // The next line (with its LF when it has one), or false at the end.
  bool Next(char (&line)[kLineSize], std::size_t& length) {
    length = 0;
    while (length < kLineSize - 1) {
      int c = Get();
      if (c < 0) break;
      if (c == '\r') {
        int d = Peek();
        if (d == '\n') continue;  // CR LF -> LF
      }
      line[length++] = static_cast<char>(c);
      if (c == '\n') break;
    }
    line[length] = '\0';
    return length > 0;
  }

 private:
  int Peek() {
    if (pos_ == size_ && !Fill()) return -1;
    return buffer_[pos_];
  }
  int Get() {
    int c = Peek();
    if (c >= 0) ++pos_;
    return c;
  }
  bool Fill() {
    if (ended_) return false;
    std::uint32_t got = 0;
    if (!platform_.FileRead(file_, buffer_, sizeof buffer_, &got) || got == 0) {
      ended_ = true;
      return false;
    }
    size_ = got;
    pos_ = 0;
    if (void* eof = std::memchr(buffer_, 0x1A, size_)) {
      size_ = static_cast<std::uint32_t>(static_cast<unsigned char*>(eof) - buffer_);
      ended_ = true;
      return size_ > 0;
    }
    return true;
  }

  Platform& platform_;
  FileHandle file_;
  unsigned char buffer_[4096] = {};
  std::uint32_t size_ = 0;
  std::uint32_t pos_ = 0;
  bool ended_ = false;
};

// The decimal number at the start of a line: optional blanks and sign, then
// at least one digit.
bool ReadLeadingNumber(std::string_view line, long& value) {
  std::size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
  std::size_t digits = 0;
  long v = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 9) {
    v = v * 10 + (line[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0) return false;
  value = negative ? -v : v;
  return true;
}

}  // namespace

void MessageTable::Clear() {
  for (auto& entry : entries_) entry[0] = '\0';
  Set(0, kUndefined);
}

void MessageTable::Set(std::uint32_t id, std::string_view text) {
  if (id > kMaxMessageId) return;
  std::size_t n = text.size() < kMessageTextSize - 1 ? text.size() : kMessageTextSize - 1;
  std::memcpy(entries_[id].data(), text.data(), n);
  entries_[id][n] = '\0';
}

const char* MessageTable::Lookup(std::uint32_t id) const {
  if (id > kMaxMessageId) return kIdTooLarge;
  if (entries_[id][0] == '\0') return entries_[0].data();
  return entries_[id].data();
}

const char* LanguageForLocaleId(const char* localeId) {
  char id[8] = {};
  for (std::size_t i = 0; i + 1 < sizeof id && localeId != nullptr && localeId[i] != '\0'; ++i) {
    char c = localeId[i];
    id[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  if (std::strcmp(id, "0411") == 0) return "Japanese";
  if (std::strlen(id) >= 4) {
    // Only the primary-language digits count: every sublanguage is recognised.
    char third = id[2];
    char fourth = id[3];
    if (third == '0' && fourth == 'a') return "Spanish";
    if (third == '0' && fourth == 'c') return "French";
    if (third == '0' && fourth == '7') return "German";
    if (third == '1' && fourth == '0') return "Italian";
  }
  return "English";
}

const char* LanguageFileName(const char* languageName) {
  for (const LanguageFile& entry : kLanguageFiles) {
    if (languageName != nullptr && std::strcmp(languageName, entry.name) == 0) return entry.file;
  }
  return kDefaultLanguageFile;
}

void ParseLanguageLine(MessageTable& table, std::string_view line) {
  if (line.size() < 4 || line[3] != ',') return;
  long id = 0;
  if (!ReadLeadingNumber(line, id) || id < 0 || id > static_cast<long>(kMaxMessageId)) return;
  std::size_t open = line.find('"');
  std::string_view text = line;  // no quote: the whole line, line end included
  if (open != std::string_view::npos) {
    std::size_t close = line.find('"', open + 1);
    text = close == std::string_view::npos ? line.substr(open + 1)
                                           : line.substr(open + 1, close - open - 1);
  }
  table.Set(static_cast<std::uint32_t>(id), text);
}

void SetCurrentLanguage(DriverContext& context, const char* name) {
  std::snprintf(context.state.currentLanguage.data(), context.state.currentLanguage.size(), "%s",
                name != nullptr ? name : "");
}

void LoadLanguage(DriverContext& context, const char* name) {
  Platform& platform = context.platform;
  const char* chosen = name;
  if (chosen == nullptr) {
    char localeId[8] = {};
    platform.ThreadLanguageId(localeId);
    chosen = LanguageForLocaleId(localeId);
    char section[512];
    HostSection(context, section, sizeof section);
    WriteDriverSetting(context, section, "LANGUAGE", chosen);
  }
  SetCurrentLanguage(context, chosen);
  const char* fileName = LanguageFileName(chosen);

  context.messages.Clear();

  char folder[kFolderSize + 1] = {};
  if (platform.WindowsFolder(folder, sizeof folder) == 0) return;
  char path[kFolderSize + 64];
  std::snprintf(path, sizeof path, "%s%s%s", folder, kLanguageFolder, fileName);

  UniqueFile file(platform, platform.FileOpen(path, kGenericRead, kShareRead, kOpenExisting,
                                              kAttributeNormal));
  if (!file) return;
  TextLineReader reader(platform, file.get());
  char line[kLineSize];
  std::size_t length = 0;
  while (reader.Next(line, length)) {
    ParseLanguageLine(context.messages, std::string_view(line, length));
  }
}

const char* LookupMessage(const DriverContext& context, std::uint32_t id) {
  return context.messages.Lookup(id);
}

}  // namespace tarvo
