// The two TIFF utilities a host calls directly: joining two documents and
// giving a document a new name. Both change the file in place and never move
// existing data.
#pragma once

#include <cstdint>

#include "platform/Platform.h"
#include "tiff/TiffIo.h"

namespace tarvo {

struct GroundContext;

// Results of ConcatTiff.
inline constexpr std::int32_t kConcatDone = 0;
inline constexpr std::int32_t kConcatUnusable = 1;     // cannot open, not readable as TIFF
inline constexpr std::int32_t kConcatCopyFailed = -1;  // read, write, seek or close failed

// Appends every page of `source` to `destination`: the whole source file is
// copied to the destination's end, the destination's final link gets the
// source's first IFD, the copied links and the offsets in the copied IFDs are
// moved by the destination's former size. Both files are opened without
// sharing, so a file joined to itself is refused. A destination or source
// whose chain is broken gives 1 before anything is written; a source that
// is not a TIFF file is appended without links (0).
[[nodiscard]] std::int32_t ConcatTiff(GroundContext& context, const char* destination,
                                      const char* source);

// Gives the first page of `fileName` the document name `newName`: a copy of
// the first IFD with the new DocumentName entry is appended and the header
// pointed at it. A first IFD without any entry of tag 269 or above gets the
// entry appended after its last entry. Returns 0, or 1 on any failure.
[[nodiscard]] std::int32_t ChangeDocname(GroundContext& context, const char* fileName,
                                         const char* newName);

// Seek to `offset` (it must land there) and read or write `size` bytes. On
// failure the file is closed and the result is 1; else 0.
[[nodiscard]] int ReadAtOffset(GroundContext& context, UniqueFile& file, std::uint32_t offset,
                               void* buffer, std::uint32_t size, tiff::IoSite site);
[[nodiscard]] int WriteAtOffset(GroundContext& context, UniqueFile& file, std::uint32_t offset,
                                const void* data, std::uint32_t size, tiff::IoSite site);

}  // namespace tarvo
