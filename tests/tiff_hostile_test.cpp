// Files from outside are hostile: documents cut at every length, broken chains,
// random mutations of our documents. Every operation fails in bounded time and
// keeps the bench's properties.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "scan/DriverContext.h"
#include "tiff/TiffChain.h"
#include "tiff/TiffIo.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

// A header and `count` IFDs without entries, 6 bytes each from offset 8; the
// last links to IFD `loopTo` (none: 0 ends the chain).
std::string EmptyIfdChain(std::uint32_t count, int loopTo = -1) {
  std::string bytes = std::string("II*\0", 4) + Le(count == 0 ? 0 : 8, 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    bytes += Le(0, 2) + Le(i + 1 < count ? 14 + 6 * i : loopTo < 0 ? 0 : 8 + 6 * loopTo, 4);
  }
  return bytes;
}

std::string Patched(std::string bytes, std::size_t at, std::uint32_t value, int size) {
  PutLe(bytes, at, value, size);
  return bytes;
}

class HostileTest : public ::testing::Test {
 protected:
  TestPlatform platform;
  DriverContext context{platform};
  HostileBench bench{platform, context};

  int Walk(const std::string& bytes, std::uint32_t index = kWalkToEnd) {
    WriteFileBytes(platform.Scratch("walk.tif"), bytes);
    return WalkChainOf(platform, context, platform.Scratch("walk.tif"), index);
  }
};

// The walk succeeds exactly when the second page's next link is whole.
TEST_F(HostileTest, DocumentTruncatedAtEveryLength) {
  const std::string path = platform.Scratch("whole.tif");
  ASSERT_EQ(WriteDocument(context, path, {{60, 20, 3, 300, "Truncated document", "page one", 1},
                                          {45, 30, 3, 200, "Truncated document", "page two", 2}}),
            Result::Ok);
  const std::string whole = ReadFileBytes(path);
  const std::uint32_t second = Le32(whole, Le32(whole, 4) + 2 + 12 * Le16(whole, Le32(whole, 4)));
  const std::uint32_t chainEnd = second + 2 + 12 * Le16(whole, second) + 4;
  for (std::size_t length = 0; length < whole.size(); ++length) {
    EXPECT_EQ(Walk(whole.substr(0, length)), length >= chainEnd ? 0 : 1) << "length " << length;
    ASSERT_EQ(bench.Exercise(whole.substr(0, length)), "") << "length " << length;
  }
}

// The walk to link 2 (-1: not checked) still succeeds where its part of the chain is sound.
TEST_F(HostileTest, BrokenChainsAreRefused) {
  std::string headerSelf = Patched(std::string("II*\0\x04\0\0\0", 8), 4 + 2 + 12 * 4, 4, 4);
  headerSelf.resize(64, '\0');  // the header links to itself, and that "IFD" back
  // IFD A at 8 links to B at 10, whose count is the low half of A's link.
  const std::string overlap = Patched(Patched(EmptyIfdChain(1), 10, 10, 4), 132, 0, 4);
  const std::string good = EmptyIfdChain(2);
  const auto size = static_cast<std::uint32_t>(good.size());
  const std::vector<std::tuple<const char*, std::string, int>> cases{
      {"SelfLoop", EmptyIfdChain(1, 0), 0},
      {"TwoCycle", EmptyIfdChain(2, 0), 0},
      {"LongTailShortCycle", EmptyIfdChain(500, 497), 0},
      {"LongCycle", EmptyIfdChain(3000, 0), 0},
      {"HeaderSelf", headerSelf, 1},
      {"Overlap", overlap, 0},
      {"FirstIfdPastEnd", Patched(good, 4, 0xFFFFFFF0u, 4), -1},
      {"FirstIfdAtTheSeekLimit", Patched(good, 4, 0x7FFFFFFFu, 4), -1},
      {"FirstIfdJustPastEnd", Patched(good, 4, size, 4), -1},
      {"IfdWithoutRoomForItsLink", Patched(good, 4, size - 5, 4), -1},
      {"HugeEntryCount", Patched(good, 8, 0xFFFF, 2), -1},
      {"CountOneTooMany", Patched(good, 14, 1, 2), -1},
      {"NextLinkPastEnd", Patched(good, 10, 0x10000000u, 4), -1},
  };
  for (const auto& [name, bytes, twoLinks] : cases) {
    EXPECT_EQ(Walk(bytes), 1) << name;
    EXPECT_TRUE(twoLinks < 0 || Walk(bytes, 2) == twoLinks) << name << ": link 2";
    EXPECT_EQ(bench.Exercise(bytes), "") << name;
  }
  EXPECT_EQ(Walk(overlap, 3), 1) << "the walked part overlaps";
  EXPECT_EQ(Walk(EmptyIfdChain(tiff::kMaxChainPages)), 0);
  EXPECT_EQ(Walk(EmptyIfdChain(tiff::kMaxChainPages + 1)), 1);
}

// Fixed-seed mutations: bit flips, numbers set to values that matter to a
// reader (0, all bits, other offsets in the file), cuts and repeats.
TEST_F(HostileTest, RandomMutationsOfOurDocuments) {
  const std::vector<std::string> seeds = SeedDocuments(platform, context);
  ASSERT_EQ(seeds.size(), 6u);  // each replayed alone by tiff_fuzz_seeds
  std::mt19937 random(20261205);
  const auto pick = [&random](std::size_t n) { return static_cast<std::size_t>(random() % (n == 0 ? 1 : n)); };
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = seeds[pick(seeds.size())];
    for (int e = 0, edits = 1 + static_cast<int>(pick(4)); e < edits && !bytes.empty(); ++e) {
      const std::size_t at = pick(bytes.size());
      const std::uint32_t values[] = {0, 0xFFFF, 0xFFFFFFFFu, 4, 8, static_cast<std::uint32_t>(bytes.size()),
                                      static_cast<std::uint32_t>(pick(bytes.size()))};
      switch (pick(5)) {
        case 0: bytes[at] = static_cast<char>(bytes[at] ^ (1 << pick(8))); break;
        case 1: PutLe(bytes, at, values[pick(std::size(values))], 2 + 2 * static_cast<int>(pick(2))); break;
        case 2: bytes.resize(at); break;
        case 3: bytes.insert(at, bytes.substr(pick(bytes.size()), pick(64))); break;
        default: PutLe(bytes, 4, static_cast<std::uint32_t>(at), 4); break;
      }
    }
    ASSERT_EQ(bench.Exercise(bytes), "") << "round " << round;
  }
  // The mutations reach both sides of every check.
  EXPECT_GT(bench.walkable, 150);
  EXPECT_GT(bench.unwalkable, 150);
}

}  // namespace
}  // namespace tarvo::test
