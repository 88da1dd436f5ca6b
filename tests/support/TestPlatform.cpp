#include "support/TestPlatform.h"

#include <cstdio>
#include <cstring>

namespace tarvo::test {

std::uint32_t TestPlatform::HostExecutablePath(char* b, std::uint32_t n) {
  if (n == 0) return 0;
  std::snprintf(b, n, "%s", hostPath.c_str());
  return static_cast<std::uint32_t>(std::strlen(b));
}

bool TestPlatform::SettingsFilePath(char* b, std::uint32_t n) {
  return !noSettingsPath && ForwardingPlatform::SettingsFilePath(b, n);
}

void TestPlatform::ThreadLanguageId(char (&out)[8]) {
  std::snprintf(out, sizeof out, "%s", languageId.c_str());
}

LocalTime TestPlatform::Now() { return fixedTime ? *fixedTime : ForwardingPlatform::Now(); }

std::uint32_t TestPlatform::Ticks() {
  if (!fakeClock) return ForwardingPlatform::Ticks();
  std::uint32_t now = tick;
  tick += tickStep;
  return now;
}

void TestPlatform::SleepFor(std::uint32_t ms) {
  if (fakeClock) {
    tick += ms;
    return;
  }
  ForwardingPlatform::SleepFor(ms);
}

int TestPlatform::ShowMessageBox(void*, const char* text, const char* caption,
                                 std::uint32_t style) {
  boxes.push_back({caption != nullptr ? caption : "", text != nullptr ? text : "", style});
  return kIdOk;
}

}  // namespace tarvo::test
