#include "tiff_hostile.h"

#include <vector>

#include "scan/Documents.h"
#include "support/TempDir.h"
#include "tiff/TiffChain.h"
#include "tiff/TiffIo.h"
#include "tiff/TiffUtilities.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

std::string Describe(const std::string& what, long long got) {
  return what + " (" + std::to_string(got) + ")";
}

// The valid document to join with: two uncoded pages.
const std::vector<PagePlan> kValidPages{{24, 6, 0, 200, "valid", "one", 1},
                                        {17, 5, 0, 300, "valid document", "two", 2}};

}  // namespace

HostileBench::HostileBench(TestPlatform& platform, DriverContext& context)
    : platform_(platform),
      context_(context),
      hostile_(platform.Scratch("hostile.tif")),
      valid_(platform.Scratch("valid.tif")) {
  if (WriteDocument(context, valid_, kValidPages) == Result::Ok) {
    validBytes_ = ReadFileBytes(valid_);
  }
  validPages_ = static_cast<std::uint32_t>(kValidPages.size());
}

int WalkChainOf(Platform& platform, DriverContext& context, const std::string& path,
                std::uint32_t& pages) {
  const FileHandle file = OpenExisting(platform, path);
  if (file == kInvalidFile) return 1;
  std::uint32_t value = 0, position = 0, end = 0;
  const int result = static_cast<int>(ToCode(WalkTiffChain(context, file, pages, value, position, end)));
  platform.FileClose(file);
  return result;
}

HostileBench::Walk HostileBench::WalkFile(const std::string& path) {
  Walk walk{1, kWalkToEnd};
  walk.result = WalkChainOf(platform_, context_, path, walk.pages);
  return walk;
}

std::string HostileBench::CheckPages(const std::string& what, const std::string& path,
                                     std::uint32_t pages) {
  const Walk walk = WalkFile(path);
  return walk.result == 0 && walk.pages == pages ? "" : Describe(what, walk.pages);
}

std::string HostileBench::CheckWalks(const std::string& bytes) {
  WriteFileBytes(hostile_, bytes);
  const FileHandle file = OpenExisting(platform_, hostile_);
  if (file == kInvalidFile) return "cannot open the scratch file";
  std::string problem;
  for (std::uint32_t index : {kWalkToEnd, 0u, 1u, 2u, 3u, 0xFFFFFFFEu}) {
    std::uint32_t pages = index, value = 0, position = 0, end = 0;
    const int r = static_cast<int>(ToCode(WalkTiffChain(context_, file, pages, value, position, end)));
    if (r != 0 && r != 1) problem = Describe("walk result", r);
    if (r == 0 && end != bytes.size()) problem = Describe("walk end position", end);
    if (r == 0 && index == kWalkToEnd) {
      if (pages > tiff::kMaxChainPages) problem = Describe("page count", pages);
      if (value != 0) problem = Describe("final link value", value);
      if (position + 4ull > bytes.size()) problem = Describe("final link position", position);
    }
  }
  const int shifted = static_cast<int>(
      ToCode(ShiftAppendedIfds(context_, file, static_cast<std::uint32_t>(bytes.size() / 2))));
  if (shifted != 0 && shifted != 1) problem = Describe("shift result", shifted);
  platform_.FileClose(file);
  return problem;
}

// The outside file joined with the valid one, as the destination (`into`) or the source.
std::string HostileBench::CheckJoin(const std::string& bytes, const Walk& before, bool into) {
  WriteFileBytes(hostile_, bytes);
  WriteFileBytes(valid_, validBytes_);
  const std::string& destination = into ? hostile_ : valid_;
  const Result r = ConcatTiff(context_, destination.c_str(), (into ? valid_ : hostile_).c_str());
  const std::string after = ReadFileBytes(destination);
  const std::string what = into ? "join into: " : "join from: ";
  if (!into && ReadFileBytes(hostile_) != bytes) return "the source was changed";
  const bool tiffHeader = bytes.size() >= 4 && bytes.compare(0, 4, std::string("II*\0", 4)) == 0;
  const bool usable = before.result == 0 && before.pages + validPages_ <= tiff::kMaxChainPages;
  if (r == Result::TiffUnusable) {
    if (after != (into ? bytes : validBytes_)) return what + "a refused join changed the destination";
    return usable || (!into && !tiffHeader) ? what + "a usable file was refused" : "";
  }
  if (r != Result::Ok) return Describe(what + "result", ToCode(r));
  if (into && before.result != 0) return "an unwalkable destination was joined";
  if (after.size() != bytes.size() + validBytes_.size()) return what + "size";
  return CheckPages(what + "joined chain pages", destination,
                    validPages_ + (into || tiffHeader ? before.pages : 0));
}

std::string HostileBench::CheckRename(const std::string& bytes, const Walk& before) {
  WriteFileBytes(hostile_, bytes);
  const Result r = ChangeDocname(context_, hostile_.c_str(), "a fuzzed document name");
  const std::string after = ReadFileBytes(hostile_);
  if (r == Result::TiffUnusable) return after == bytes ? "" : "a refused rename changed the file";
  if (r != Result::Ok) return Describe("rename result", ToCode(r));
  if (after.size() <= bytes.size() || Le32(after, 4) != bytes.size()) {
    return "rename: the header does not point at the copy";
  }
  return before.result == 0 ? CheckPages("rename: chain pages", hostile_, before.pages) : "";
}

std::string HostileBench::Exercise(const std::string& bytes) {
  if (validBytes_.empty()) return "no valid document to join with";
  if (std::string p = CheckWalks(bytes); !p.empty()) return p;
  WriteFileBytes(hostile_, bytes);
  const Walk before = WalkFile(hostile_);
  ++(before.result == 0 ? walkable_ : unwalkable_);
  if (std::string p = CheckJoin(bytes, before, true); !p.empty()) return p;
  if (std::string p = CheckJoin(bytes, before, false); !p.empty()) return p;
  return CheckRename(bytes, before);
}

std::vector<std::string> SeedDocuments(TestPlatform& platform, DriverContext& context) {
  std::vector<std::string> seeds;
  const std::string path = platform.Scratch("seed.tif");
  const std::string other = platform.Scratch("seed-other.tif");
  const std::vector<PagePlan> coded{{40, 12, 3, 300, "Group 4 document", "p", 3},
                                    {33, 9, 3, 200, "abc", "page two", 4},
                                    {20, 4, 3, 600, nullptr, nullptr, 5}};
  if (WriteDocument(context, path, kValidPages) == Result::Ok) seeds.push_back(ReadFileBytes(path));
  if (WriteDocument(context, other, coded) == Result::Ok) seeds.push_back(ReadFileBytes(other));
  if (ChangeDocname(context, other.c_str(), "renamed") == Result::Ok) seeds.push_back(ReadFileBytes(other));
  if (ConcatTiff(context, path.c_str(), other.c_str()) == Result::Ok) {
    seeds.push_back(ReadFileBytes(path));
  }
  const Bytes image = TestRaster(19, 7, 6);
  if (MakeTiff(context, path.c_str(), image.data(), 19, 7, 300, 300) == Result::Ok) {
    seeds.push_back(ReadFileBytes(path));
  }
  seeds.push_back(std::string("II*\0\0\0\0\0", 8));
  return seeds;
}

}  // namespace tarvo::test
