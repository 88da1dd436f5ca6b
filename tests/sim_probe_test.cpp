// The driver library and the simulator's provider library, both loaded as a
// host loads them: the driver finds the provider through TARVOSCN_ASPI and the
// scanner on the simulated bus with its probe.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "support/TempDir.h"
#include "tiffio.h"

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

std::int32_t NeverCancel() { return 0; }

// One test per process: the driver library reads its environment once.
TEST(SimProbeThroughLibraries, TheDriverFindsTheSimulatedScannerAndScansItsBatch) {
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
  auto start = reinterpret_cast<std::uint32_t (*)(const char*, std::uint32_t*, std::uint32_t*)>(
      dlsym(driver, "TsdStartScan"));
  auto readPage = reinterpret_cast<std::uint32_t (*)(const char*, void*, std::int32_t (*)())>(
      dlsym(driver, "TsdReadPage"));
  ASSERT_NE(probe, nullptr);
  ASSERT_NE(start, nullptr);
  ASSERT_NE(readPage, nullptr);
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

  // The search asks targets 0..3 of adapter 0; then the scanner gets TEST UNIT READY.
  const std::vector<std::string> lines = Lines(tarvo::test::ReadFileBytes(log));
  ASSERT_GE(lines.size(), 6u);
  ASSERT_NE(
      std::find_if(lines.begin(), lines.end(),
                   [](const std::string& l) { return l.rfind("0:3 12 01 F0 00 28 00", 0) == 0; }),
      lines.end());
  const char* expected[] = {"0:0 12 00 00 00 40 00", "0:1 12 00 00 00 40 00",
                            "0:2 12 00 00 00 40 00", "0:3 12 00 00 00 40 00",
                            "0:3 00 00 00 00 00 00"};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(lines[i].rfind(expected[i], 0), 0u) << lines[i];
  }
  EXPECT_NE(lines[1].find("srb 0x82"), std::string::npos);
}

}  // namespace
