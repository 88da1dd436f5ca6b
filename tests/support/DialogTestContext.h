// A driver context for dialog tests: a test platform that records message
// boxes, and a message table in which message N reads "mN", so that a test
// can tell which message a caption or box shows.
#pragma once

#include <string>

#include "scan/DriverContext.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

inline std::string Msg(std::uint32_t id) { return "m" + std::to_string(id); }

struct DialogTestContext {
  DialogTestContext() {
    for (std::uint32_t id = 1; id <= kMaxMessageId; ++id) context.messages.Set(id, Msg(id));
  }
  TestPlatform platform;
  DriverContext context{platform};
};

}  // namespace tarvo::test
