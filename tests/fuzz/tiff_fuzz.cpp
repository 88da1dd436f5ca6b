// Fuzz target over the operations that read outside TIFF files, with the
// properties of HostileBench checked on every input. Built with libFuzzer
// (clang, TARVOSCN_FUZZ=ON) the fuzzer drives it; built without, it replays:
//   tiff_fuzz_replay [FILE...]          our seed documents, or the given inputs
//   tiff_fuzz_replay --write-seeds DIR  writes the seed documents into DIR
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tiff_support.h"

namespace {

tarvo::test::HostileBench& TheBench() {
  static tarvo::test::TestPlatform platform;
  static tarvo::DriverContext context{platform};
  static tarvo::test::HostileBench bench{platform, context};
  return bench;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem =
      TheBench().Exercise(std::string(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "tiff_fuzz: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}

#ifndef TARVO_LIBFUZZER

int main(int argc, char** argv) {
  std::vector<std::string> inputs = TheBench().Seeds();
  if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
    std::filesystem::create_directories(argv[2]);
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      tarvo::test::WriteFileBytes(argv[2] + ("/seed" + std::to_string(i) + ".tif"), inputs[i]);
    }
    return std::printf("%zu seeds written\n", inputs.size()) < 0;
  }
  if (argc > 1) inputs.clear();
  for (int i = 1; i < argc; ++i) inputs.push_back(tarvo::test::ReadFileBytes(argv[i]));
  for (const std::string& input : inputs) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}

#endif
