// Fuzz target over the operations that read outside TIFF files: the chain
// walk, the entry shift, joining in both directions and renaming, with the
// properties of HostileBench checked on every input.
//
// Built with libFuzzer (clang, TARVOSCN_FUZZ=ON) it is driven by the fuzzer.
// Built without, it is a replay driver:
//   tiff_fuzz_replay                    our seed documents
//   tiff_fuzz_replay FILE|DIR...        the given inputs (a corpus, a crash)
//   tiff_fuzz_replay --write-seeds DIR  writes the seed documents into DIR
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "scan/DriverContext.h"
#include "support/TestPlatform.h"
#include "tiff_hostile.h"

namespace {

struct Bench {
  tarvo::test::TestPlatform platform;
  tarvo::DriverContext context{platform};
  tarvo::test::HostileBench bench{platform, context};
};

Bench& TheBench() {
  static Bench bench;
  return bench;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem =
      TheBench().bench.Exercise(std::string(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "tiff_fuzz: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}

#ifndef TARVO_LIBFUZZER

namespace {

int RunOne(const std::filesystem::path& path) {
  const std::string bytes = tarvo::test::ReadFileBytes(path.string());
  return LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
  Bench& bench = TheBench();
  const auto seeds = tarvo::test::SeedDocuments(bench.platform, bench.context);
  if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
    std::filesystem::create_directories(argv[2]);
    for (std::size_t i = 0; i < seeds.size(); ++i) {
      tarvo::test::WriteFileBytes(
          (std::filesystem::path(argv[2]) / ("seed" + std::to_string(i) + ".tif")).string(),
          seeds[i]);
    }
    std::printf("%zu seeds written\n", seeds.size());
    return 0;
  }
  std::size_t inputs = 0;
  if (argc == 1) {
    for (const std::string& seed : seeds) {
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(seed.data()), seed.size());
      ++inputs;
    }
  }
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path path(argv[i]);
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (entry.is_regular_file()) {
          RunOne(entry.path());
          ++inputs;
        }
      }
    } else {
      RunOne(path);
      ++inputs;
    }
  }
  std::printf("%zu inputs replayed\n", inputs);
  return inputs > 0 ? 0 : 1;
}

#endif
