// A driver context for dialog tests: a platform that records message boxes,
// a message table in which message N reads "mN", a runner and open dialogs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "scan/DriverContext.h"
#include "support/HeadlessSurface.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

inline std::string Msg(std::uint32_t id) {
  std::string text = "m";  // appended, not "m" + ...: GCC 12 -O3 warns on that (-Wrestrict)
  return text += std::to_string(id);
}
inline void* Handle(std::uintptr_t v) { return reinterpret_cast<void*>(v); }  // a made-up handle

struct DialogTestContext {
  DialogTestContext() {
    for (std::uint32_t id = 1; id <= kMaxMessageId; ++id) context.messages.Set(id, Msg(id));
  }
  // Exactly `count` boxes so far, the last with `text` under `caption`.
  ::testing::AssertionResult LastBox(std::size_t count, const std::string& text,
                                     const std::string& caption = "RT650") const {
    const auto& boxes = platform.boxes;
    if (boxes.size() != count) return ::testing::AssertionFailure() << boxes.size() << " boxes";
    if (count != 0 && (boxes.back().text != text || boxes.back().caption != caption)) {
      return ::testing::AssertionFailure() << boxes.back().text << " / " << boxes.back().caption;
    }
    return ::testing::AssertionSuccess();
  }
  // A controller on the context (and `args`), initialised; open until the test ends.
  template <class Controller, class... Args>
  OpenDialog<Controller>& Open(DialogTemplate which, Args&&... args) {
    auto d = std::make_shared<OpenDialog<Controller>>(which, context, std::forward<Args>(args)...);
    open_.push_back(d);
    return *d;
  }

  TestPlatform platform;
  DriverContext context{platform};
  ScanSettings& r = context.settings;
  HeadlessRunner runner;
  std::vector<std::shared_ptr<void>> open_;
};

}  // namespace tarvo::test
