// The driver library and the simulator's provider library, both loaded as a
// host loads them: the driver finds the provider through TARVOSCN_ASPI and the
// scanner on the simulated bus with its probe.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "support/TempDir.h"

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find('\n', pos);
    lines.push_back(text.substr(pos, end - pos));
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return lines;
}

TEST(SimProbeThroughLibraries, TheDriverFindsTheSimulatedScanner) {
  tarvo::test::TempDir dir;
  const std::string log = dir.File("wire.log");
  tarvo::test::WriteFileBytes(dir.File("sim.conf"),
                              "disk 0 0\nscanner 0 3\nsynthetic 2\nlog " + log + "\n");
  ASSERT_EQ(setenv("RT650SIM_CONFIG", dir.File("sim.conf").c_str(), 1), 0);
  ASSERT_EQ(setenv("TARVOSCN_ASPI", RT650SIM_PROVIDER, 1), 0);
  ASSERT_EQ(setenv("TARVOSCN_ROOT", dir.path().c_str(), 1), 0);
  void* driver = dlopen(TARVOSCN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(driver, nullptr) << dlerror();
  auto probe = reinterpret_cast<std::uint32_t (*)()>(dlsym(driver, "TsdProbe"));
  ASSERT_NE(probe, nullptr);
  EXPECT_EQ(probe(), 0u);
  dlclose(driver);

  // The search asks targets 0..3 of adapter 0; then the scanner gets TEST UNIT READY.
  const std::vector<std::string> lines = Lines(tarvo::test::ReadFileBytes(log));
  ASSERT_GE(lines.size(), 6u);
  const char* expected[] = {"0:0 12 00 00 00 40 00", "0:1 12 00 00 00 40 00",
                            "0:2 12 00 00 00 40 00", "0:3 12 00 00 00 40 00",
                            "0:3 00 00 00 00 00 00"};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
  }
  EXPECT_NE(lines[1].find("srb 0x82"), std::string::npos);
  EXPECT_NE(lines.back().find("0:3 12 01 F0 00 28 00"), std::string::npos);
}

}  // namespace
