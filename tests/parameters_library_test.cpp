// A host's view: the driver library and the simulator's provider library
// loaded as a host loads them; the probe finds the scanner, a parameter set
// reaches the scanner's window and a get reads it back from there.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "support/TempDir.h"
#include "tarvoscn.h"

namespace {

// One test per process: the driver library reads its environment once.
TEST(ParametersThroughLibraries, SetAndReadBackThroughTheSimulatedScanner) {
  tarvo::test::TempDir dir;
  const std::string log = dir.File("wire.log");
  tarvo::test::WriteFileBytes(dir.File("sim.conf"),
                              "adapters 2\ndisk 0 0\nscanner 1 2\nlog " + log + "\n");
  ASSERT_EQ(setenv("RT650SIM_CONFIG", dir.File("sim.conf").c_str(), 1), 0);
  ASSERT_EQ(setenv("TARVOSCN_ASPI", RT650SIM_PROVIDER, 1), 0);
  ASSERT_EQ(setenv("TARVOSCN_ROOT", dir.path().c_str(), 1), 0);
  void* driver = dlopen(TARVOSCN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(driver, nullptr) << dlerror();
  auto probe = reinterpret_cast<std::uint32_t (*)()>(dlsym(driver, "TsdProbe"));
  auto set = reinterpret_cast<std::int32_t (*)(std::int32_t, void*)>(dlsym(driver, "TsdParSet"));
  auto get = reinterpret_cast<std::int32_t (*)(std::int32_t, void*)>(dlsym(driver, "TsdParGet"));
  ASSERT_NE(probe, nullptr);
  ASSERT_NE(set, nullptr);
  ASSERT_NE(get, nullptr);

  EXPECT_EQ(probe(), 0u);
  std::int32_t value = 600;
  EXPECT_EQ(set(PAR_RESOLUTION, &value), 0);
  value = 1000;
  EXPECT_EQ(set(PAR_SCAN_WIDTH, &value), 0);
  value = 0;
  EXPECT_EQ(get(PAR_RESOLUTION, &value), 0);
  EXPECT_EQ(value, 600);
  EXPECT_EQ(get(PAR_SCAN_WIDTH, &value), 0);
  EXPECT_EQ(value, 1000);
  value = 250;
  EXPECT_EQ(set(PAR_RESOLUTION, &value), 5);
  EXPECT_EQ(set(4, &value), 3);
  EXPECT_EQ(get(PAR_BATCH_CAPABLE, &value), 0);
  EXPECT_EQ(value, 1);
  dlclose(driver);

  // The window went to the scanner at adapter 1, target 2: 600 dpi, width
  // 2000/1200 inch.
  const std::string wire = tarvo::test::ReadFileBytes(log);
  EXPECT_NE(wire.find("1:2 24 00 00 00 00 00 00 00 34 00"), std::string::npos) << wire;
  EXPECT_NE(wire.find("out 00 00 00 00 00 00 00 2C 00 00 02 58 02 58"), std::string::npos);
  EXPECT_NE(wire.find("00 00 07 D0"), std::string::npos);
}

}  // namespace
