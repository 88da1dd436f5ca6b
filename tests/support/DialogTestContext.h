// A driver context for dialog tests: a test platform that records message
// boxes, and a message table in which message N reads "mN", so that a test
// can tell which message a caption or box shows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

inline std::string Msg(std::uint32_t id) {
  std::string text = std::to_string(id);
  text.insert(text.begin(), 'm');
  return text;
}
inline std::vector<std::string> Msgs(std::initializer_list<std::uint32_t> ids) {
  std::vector<std::string> out;
  for (std::uint32_t id : ids) out.push_back(Msg(id));
  return out;
}
// A made-up window or instance handle.
inline void* Handle(std::uintptr_t v) { return reinterpret_cast<void*>(v); }

struct DialogTestContext {
  DialogTestContext() {
    for (std::uint32_t id = 1; id <= kMaxMessageId; ++id) context.messages.Set(id, Msg(id));
  }
  // Exactly `count` boxes so far, the last with `text` under `caption`.
  ::testing::AssertionResult LastBox(std::size_t count, const std::string& text,
                                     const std::string& caption = "RT650") const {
    if (platform.boxes.size() != count) {
      return ::testing::AssertionFailure() << platform.boxes.size() << " boxes, not " << count;
    }
    if (count == 0) return ::testing::AssertionSuccess();
    const RecordedBox& box = platform.boxes.back();
    if (box.text != text || box.caption != caption) {
      return ::testing::AssertionFailure() << "box \"" << box.text << "\" / \"" << box.caption
                                           << "\"";
    }
    return ::testing::AssertionSuccess();
  }

  TestPlatform platform;
  DriverContext context{platform};
};

}  // namespace tarvo::test
