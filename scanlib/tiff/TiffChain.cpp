#include "tiff/TiffChain.h"

#include <array>

#include "tiff/TiffIo.h"

namespace tarvo {
namespace {

using tiff::ChainCursor;
using tiff::ChainStatus;
using tiff::HeaderStatus;
using tiff::IoSite;

// Call-site numbers (module "Tiff").
constexpr int kSiteWalkSize = 4210;
constexpr IoSite kSiteWalkHeader{4211, 4212};
constexpr ChainCursor::Sites kSiteWalkChain{{4213, 4214}, {4215, 4216}};
constexpr int kSiteWalkEnd = 4217;
constexpr int kSiteShiftPosition = 4230;
constexpr IoSite kSiteShiftEntry{4231, 4232};
constexpr IoSite kSiteShiftRewrite{4233, 4234};
constexpr int kSiteAppendedSize = 4240;
constexpr IoSite kSiteAppendedHeader{4241, 4242};
constexpr ChainCursor::Sites kSiteAppendedChain{{4243, 4244}, {4245, 4246}};

// The entries whose value is an offset into the file, and so move with it.
struct MovedEntry {
  std::uint16_t tag;   // 0: any tag
  std::uint16_t type;  // 0: any type
  std::uint32_t minCount;
};
constexpr std::array<MovedEntry, 3> kMovedEntries{{
    {tiff::kTagStripOffsets, 0, 0},
    {0, tiff::kTypeRational, 0},
    {0, tiff::kTypeAscii, tiff::kInlineValueSize + 1},  // texts that do not fit the entry
}};

bool Moves(const tiff::IfdEntry& entry) {
  for (const MovedEntry& rule : kMovedEntries) {
    if ((rule.tag == 0 || rule.tag == entry.tag) && (rule.type == 0 || rule.type == entry.type) &&
        entry.count >= rule.minCount) {
      return true;
    }
  }
  return false;
}

// Walks to link `wanted` (kWalkToEnd: to the final link).
bool WalkLinks(ChainCursor& cursor, std::uint32_t wanted, std::uint32_t& pageIndex,
               std::uint32_t& linkValue, std::uint32_t& linkPosition) {
  for (std::uint32_t link = 1;; ++link) {
    if (cursor.ReadLink() != ChainStatus::kOk) return false;
    const bool lastWanted = wanted != kWalkToEnd && link == wanted;
    if (lastWanted || cursor.linkValue() == 0) {
      if (!lastWanted && wanted != kWalkToEnd) return false;  // the chain ends before link k
      if (!cursor.IfdsDisjoint()) return false;
      if (wanted == kWalkToEnd) pageIndex = cursor.pages();
      linkValue = cursor.linkValue();
      linkPosition = cursor.linkPosition();
      return true;
    }
    if (cursor.Follow() != ChainStatus::kOk) return false;
  }
}

// A chain that cannot be followed is unusable; a seek, read or write that
// fails is a file error.
Result ChainResult(ChainStatus status) {
  return status == ChainStatus::kBroken ? Result::TiffUnusable : Result::FileError;
}

}  // namespace

Result WalkTiffChain(GroundContext& context, FileHandle file, std::uint32_t& pageIndex,
                     std::uint32_t& linkValue, std::uint32_t& linkPosition,
                     std::uint32_t& endPosition) {
  tiff::TiffIo io(context, file);
  std::uint32_t size = 0;
  if (!io.SeekEnd(size, kSiteWalkSize)) return Result::TiffUnusable;
  if (tiff::ReadHeader(io, kSiteWalkHeader) != HeaderStatus::kTiff) return Result::TiffUnusable;
  if (pageIndex != 0) {
    ChainCursor cursor(io, size, kSiteWalkChain);
    if (!WalkLinks(cursor, pageIndex, pageIndex, linkValue, linkPosition)) {
      return Result::TiffUnusable;
    }
  }
  return io.SeekEnd(endPosition, kSiteWalkEnd) ? Result::Ok : Result::TiffUnusable;
}

Result ShiftIfdEntries(GroundContext& context, FileHandle file, std::uint32_t entries,
                       std::uint32_t distance) {
  tiff::TiffIo io(context, file);
  std::uint32_t at = 0;
  if (!io.Position(at, kSiteShiftPosition)) return Result::FileError;
  for (std::uint32_t i = 0; i < entries; ++i, at += tiff::kEntrySize) {
    std::array<std::uint8_t, tiff::kEntrySize> bytes{};
    if (!io.ReadAt(at, bytes.data(), bytes.size(), kSiteShiftEntry)) return Result::FileError;
    tiff::IfdEntry entry = tiff::GetEntry(bytes, 0);
    if (!Moves(entry)) continue;
    entry.value += distance;
    tiff::PutEntry(bytes, 0, entry);
    if (!io.WriteAt(at, bytes.data(), bytes.size(), kSiteShiftRewrite)) return Result::FileError;
  }
  return Result::Ok;
}

Result ShiftAppendedIfds(GroundContext& context, FileHandle file, std::uint32_t distance) {
  tiff::TiffIo io(context, file);
  std::uint32_t size = 0;
  if (!io.SeekEnd(size, kSiteAppendedSize)) return Result::FileError;
  switch (tiff::ReadHeader(io, kSiteAppendedHeader)) {
    case HeaderStatus::kTiff: break;
    case HeaderStatus::kNotTiff: return Result::TiffUnusable;
    case HeaderStatus::kIoFailure: return Result::FileError;
  }
  ChainCursor cursor(io, size, kSiteAppendedChain);
  for (;;) {
    if (const ChainStatus status = cursor.ReadLink(); status != ChainStatus::kOk) {
      return ChainResult(status);
    }
    if (cursor.linkValue() == 0) return Result::Ok;
    if (const ChainStatus status = cursor.Follow(); status != ChainStatus::kOk) {
      return ChainResult(status);
    }
    // The IFDs of the appended file lie beyond the distance. An entry left
    // unmoved would point into the wrong file: its failure is the call's.
    if (static_cast<std::int32_t>(cursor.ifdOffset()) > static_cast<std::int32_t>(distance) &&
        ShiftIfdEntries(context, file, cursor.entryCount(), distance) != Result::Ok) {
      return Result::FileError;
    }
  }
}

}  // namespace tarvo
