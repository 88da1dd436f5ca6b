// Reading and patching the IFD chain of an existing TIFF file in place.
//
// A link is a 4-byte field that holds an IFD's offset: the header's bytes
// 4..7 (link 1) or an IFD's next-IFD field (link k + 1 follows page k).
#pragma once

#include <cstdint>

#include "core/Result.h"
#include "platform/Platform.h"

namespace tarvo {

struct GroundContext;

// Page index of WalkTiffChain that walks to the chain's end.
inline constexpr std::uint32_t kWalkToEnd = 0xFFFFFFFFu;

// Finds where pages can be linked into the chain of `file`.
//   kWalkToEnd: follows the whole chain; pageIndex becomes the number of
//     pages, linkPosition the position of the final link, linkValue 0.
//   k >= 1: reads links 1..k; linkPosition is that of link k, linkValue the
//     offset found there (0 when k is one more than the number of pages).
//     A chain that ends before link k fails.
//   0: reads no link; linkPosition and linkValue stay as they were.
// Then moves to the end of the file; endPosition is the file's size.
// Ok, or TiffUnusable when the file is not a little-endian TIFF file, a seek
// or read fails, or the chain is broken: an offset or an IFD outside the file
// or inside the header, an IFD passed twice (a loop), IFDs that overlap, more
// than kMaxChainPages pages.
Result WalkTiffChain(GroundContext& context, FileHandle file, std::uint32_t& pageIndex,
                     std::uint32_t& linkValue, std::uint32_t& linkPosition,
                     std::uint32_t& endPosition);

// Adds `distance` to the offsets held by the `entries` entries that start at
// the file's current position: StripOffsets (273), RATIONAL values and ASCII
// texts of more than 4 bytes. Ok, or FileError when a seek, read or write
// fails.
Result ShiftIfdEntries(GroundContext& context, FileHandle file, std::uint32_t entries,
                       std::uint32_t distance);

// Applies ShiftIfdEntries to every IFD of the chain that lies beyond
// `distance` (the IFDs of a file appended at that offset). Ok; TiffUnusable
// when the file is not a little-endian TIFF file or its chain is broken;
// FileError when a seek or read fails, or ShiftIfdEntries fails.
Result ShiftAppendedIfds(GroundContext& context, FileHandle file, std::uint32_t distance);

}  // namespace tarvo
