// A host's view: the driver library and the simulator's provider library, both
// loaded as a host loads them. The driver finds the provider through
// TARVOSCN_ASPI and the scanner on the simulated bus with its probe, scans a
// batch into a document that libtiff reads, and sets parameters that reach the
// scanner's window and read back from there.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "tarvoscn.h"
#include "tiffio.h"

namespace {

std::int32_t NeverCancel() { return 0; }

template <typename F>
F Export(void* library, const char* name) {
  return reinterpret_cast<F>(dlsym(library, name));
}

// One test per process: the driver library reads its environment once.
TEST(DriverThroughLibraries, FindsTheSimulatedScannerScansItsBatchAndSetsParameters) {
  tarvo::test::TempDir dir;
  const std::string log = dir.File("wire.log");
  tarvo::test::WriteFileBytes(dir.File("sim.conf"),
                              "adapters 2\ndisk 0 0\nscanner 1 2\nsynthetic 2\nlog " + log + "\n");
  ASSERT_EQ(setenv("RT650SIM_CONFIG", dir.File("sim.conf").c_str(), 1), 0);
  ASSERT_EQ(setenv("TARVOSCN_ASPI", RT650SIM_PROVIDER, 1), 0);
  ASSERT_EQ(setenv("TARVOSCN_ROOT", dir.path().c_str(), 1), 0);
  void* driver = dlopen(TARVOSCN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(driver, nullptr) << dlerror();
  auto probe = Export<std::uint32_t (*)()>(driver, "TsdProbe");
  auto start = Export<std::uint32_t (*)(const char*, std::uint32_t*, std::uint32_t*)>(
      driver, "TsdStartScan");
  auto readPage = Export<std::uint32_t (*)(const char*, void*, std::int32_t (*)())>(
      driver, "TsdReadPage");
  auto set = Export<std::int32_t (*)(std::int32_t, void*)>(driver, "TsdParSet");
  auto get = Export<std::int32_t (*)(std::int32_t, void*)>(driver, "TsdParGet");
  ASSERT_TRUE(probe && start && readPage && set && get);
  EXPECT_EQ(probe(), 0u);

  // The default settings: bilevel pages coded in Group 4 into one TIFF document.
  const std::string document = dir.File("batch.tif");
  std::uint32_t position = 0, value = 0;
  ASSERT_EQ(start(document.c_str(), &position, &value), 0u);
  std::vector<std::uint8_t> pageBuffer(32u << 20);
  std::vector<std::uint32_t> results;
  for (int guard = 0; guard < 10; ++guard) {
    results.push_back(readPage(nullptr, pageBuffer.data(), NeverCancel));
    if (results.back() != 0) break;
  }
  EXPECT_EQ(results, (std::vector<std::uint32_t>{0, 0, 6}));

  auto setTo = [&](std::int32_t id, std::int32_t number) { return set(id, &number); };
  auto current = [&](std::int32_t id) {  // -1 when the read fails
    std::int32_t number = -1;
    return get(id, &number) == 0 ? number : -1;
  };
  EXPECT_EQ(setTo(PAR_RESOLUTION, 600), 0);
  EXPECT_EQ(setTo(PAR_SCAN_WIDTH, 1000), 0);
  EXPECT_EQ(current(PAR_RESOLUTION), 600);
  EXPECT_EQ(current(PAR_SCAN_WIDTH), 1000);
  EXPECT_EQ(setTo(PAR_RESOLUTION, 250), 5);
  EXPECT_EQ(setTo(4, 250), 3);
  EXPECT_EQ(current(PAR_BATCH_CAPABLE), 1);
  dlclose(driver);

  TIFF* tiff = TIFFOpen(document.c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  EXPECT_EQ(TIFFNumberOfDirectories(tiff), 2);
  int pages = 0;
  do {
    std::vector<std::uint8_t> strip(TIFFStripSize(tiff));
    for (tstrip_t i = 0; i < TIFFNumberOfStrips(tiff); ++i) {
      EXPECT_GT(TIFFReadEncodedStrip(tiff, i, strip.data(), -1), 0) << "page " << pages;
    }
    ++pages;
  } while (TIFFReadDirectory(tiff) != 0 && pages < 10);
  EXPECT_EQ(pages, 2);
  TIFFClose(tiff);

  // The search asks targets 0..6 of adapter 0 (only 0 answers), then 0..2 of
  // adapter 1; the scanner gets TEST UNIT READY and, later, the 600 dpi window
  // 2000/1200 inch wide.
  const std::string wire = tarvo::test::ReadFileBytes(log);
  std::string search, starts;
  for (const char* address :
       {"0:0", "0:1", "0:2", "0:3", "0:4", "0:5", "0:6", "1:0", "1:1", "1:2"}) {
    search += std::string(address) + " 12 00 00 00 40 00";
  }
  search += "1:2 00 00 00 00 00 00";
  for (std::size_t at = 0, line = 0; at < wire.size() && line < 11; ++line) {
    starts += wire.substr(at, 21);  // the command of each line
    at = wire.find('\n', at);
    if (at != std::string::npos) ++at;
  }
  EXPECT_EQ(starts, search) << wire;
  const std::size_t empty = wire.find("0:1 12");
  EXPECT_NE(wire.substr(empty, wire.find('\n', empty) - empty).find("srb 0x82"), std::string::npos);
  EXPECT_NE(wire.find("1:2 12 01 F0 00 28 00"), std::string::npos);
  EXPECT_NE(wire.find("1:2 24 00 00 00 00 00 00 00 34 00"), std::string::npos);
  EXPECT_NE(wire.find("out 00 00 00 00 00 00 00 2C 00 00 02 58 02 58"), std::string::npos);
  EXPECT_NE(wire.find("00 00 07 D0"), std::string::npos);
}

}  // namespace
