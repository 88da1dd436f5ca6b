// Fuzz target: HostileBench's properties on every input. Built with libFuzzer
// (clang, TARVOSCN_FUZZ=ON) the fuzzer drives it; built without, it replays:
//   tiff_fuzz_replay                    our seed documents and 1500 mutations of them
//   tiff_fuzz_replay FILE...            the given inputs
//   tiff_fuzz_replay --write-seeds DIR  writes the seed documents into DIR
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tiff_support.h"

static tarvo::test::HostileBench& TheBench() {
  static tarvo::test::TestPlatform platform;
  static tarvo::DriverContext context{platform};
  static tarvo::test::HostileBench bench{platform, context};
  return bench;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string problem = TheBench().Exercise(std::string(reinterpret_cast<const char*>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "tiff_fuzz: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}

#ifndef TARVO_LIBFUZZER

int main(int argc, char** argv) {
  namespace t = tarvo::test;
  t::HostileBench& bench = TheBench();
  const std::vector<std::string> seeds = bench.Seeds();
  if (seeds.empty()) return 1;
  if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
    std::filesystem::create_directories(argv[2]);
    for (std::size_t i = 0; i < seeds.size(); ++i) t::WriteFileBytes(argv[2] + ("/seed" + std::to_string(i) + ".tif"), seeds[i]);
    return std::printf("%zu seeds written\n", seeds.size()) < 0;
  }
  std::vector<std::string> inputs = argc > 1 ? std::vector<std::string>() : seeds;
  for (int i = 1; i < argc; ++i) inputs.push_back(t::ReadFileBytes(argv[i]));
  // Without inputs, fixed-seed mutations follow: bit flips, numbers set to values
  // that matter to a reader (0, all bits, other offsets in the file), cuts, repeats.
  std::mt19937 random(20261205);
  const auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % (n == 0 ? 1 : n)); };
  for (int round = 0; argc == 1 && round < 1500; ++round) {
    std::string bytes = seeds[pick(seeds.size())];
    for (int e = 0, edits = 1 + static_cast<int>(pick(4)); e < edits && !bytes.empty(); ++e) {
      const std::size_t at = pick(bytes.size());
      const std::uint32_t values[] = {0, 0xFFFF, 0xFFFFFFFFu, 4, 8, static_cast<std::uint32_t>(bytes.size()),
                                      static_cast<std::uint32_t>(pick(bytes.size()))};
      switch (pick(5)) {
        case 0: bytes[at] = static_cast<char>(bytes[at] ^ (1 << pick(8))); break;
        case 1: t::PutLe(bytes, at, values[pick(std::size(values))], 2 + 2 * static_cast<int>(pick(2))); break;
        case 2: bytes.resize(at); break;
        case 3: bytes.insert(at, bytes.substr(pick(bytes.size()), pick(64))); break;
        default: t::PutLe(bytes, 4, static_cast<std::uint32_t>(at), 4); break;
      }
    }
    inputs.push_back(bytes);
  }
  for (const std::string& input : inputs) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  std::printf("%zu inputs replayed, %d with a sound chain, %d without\n", inputs.size(), bench.walkable, bench.unwalkable);
  return argc == 1 && (bench.walkable < 150 || bench.unwalkable < 150);  // the mutations reach both sides
}

#endif
