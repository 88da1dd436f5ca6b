// Private-profile (INI) text, read and edited in memory with the rules of
// the Windows private-profile functions: section and key names compare
// without regard to case, values lose surrounding blanks and one pair of
// surrounding quotes, a write replaces the key in place or appends it to its
// section, creating the section at the end when it is missing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarvo::profile {

// The value of `key` in `section`, or nothing when either is absent.
std::optional<std::string> Find(std::string_view text, std::string_view section,
                                 std::string_view key);

// `text` with `key` in `section` set to `value`, or removed when `value` is
// null. New lines end with `lineEnd`.
std::string Write(std::string_view text, std::string_view section, std::string_view key,
                  const char* value, std::string_view lineEnd);

}  // namespace tarvo::profile
