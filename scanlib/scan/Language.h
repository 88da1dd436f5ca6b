// Language text files and the message lookup by number.
//
// A language file is read line by line. A line whose fourth character is a
// comma is a message line: "012,"text"" sets message 12. Every other line is
// ignored. The texts are bytes in the system's ANSI code page.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tarvo {

class Platform;
struct DriverContext;

inline constexpr std::uint32_t kMaxMessageId = 512;
inline constexpr std::size_t kMessageTextSize = 256;  // 255 bytes and the NUL

class MessageTable {
 public:
  MessageTable() { Clear(); }

  // Empties every entry; entry 0 becomes "Undefined string!!!".
  void Clear();
  void Set(std::uint32_t id, std::string_view text);
  // The text of `id`: "ID too large" above 512, entry 0's text when empty.
  const char* Lookup(std::uint32_t id) const;

 private:
  std::array<std::array<char, kMessageTextSize>, kMaxMessageId + 1> entries_{};
};

// The language name chosen from a locale's language identifier text
// ("0411" -> "Japanese", "0c0a" -> "Spanish", ...).
const char* LanguageForLocaleId(const char* localeId);
// The text file of a language name ("Japanese" -> "rt650jp.txt"; every name
// not in the table -> "rt650us.txt"). Names compare case-sensitively.
const char* LanguageFileName(const char* languageName);

// Parses one line of a language file into the table. Lines whose fourth
// character is not a comma, and IDs outside 0..512, change nothing.
void ParseLanguageLine(MessageTable& table, std::string_view line);

// Chooses the language (from `name`, or from the thread locale when null, in
// which case the name is written to the settings file), records it in
// `currentLanguage`, and fills the message table from its file.
void LoadLanguage(DriverContext& context, const char* name);
void SetCurrentLanguage(DriverContext& context, const char* name);
const char* LookupMessage(const DriverContext& context, std::uint32_t id);

}  // namespace tarvo
