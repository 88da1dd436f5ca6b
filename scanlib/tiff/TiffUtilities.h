// The two TIFF utilities a host calls directly: joining two documents and
// giving a document a new name. Both change the file in place and never move
// existing data.
#pragma once

#include <cstdint>

#include "core/Result.h"
#include "platform/Platform.h"
#include "tiff/TiffIo.h"

namespace tarvo {

struct GroundContext;

// Appends every page of `source` to `destination`: the whole source file is
// copied to the destination's end, the destination's final link gets the
// source's first IFD, the copied links and the offsets in the copied IFDs are
// moved by the destination's former size. Both files are opened without
// sharing, so a file joined to itself is refused. A destination or source
// whose chain is broken, or a file that cannot be opened, gives TiffUnusable
// before anything is written; a read, write, seek or close that fails during
// the copy gives FileError. A source that is not a TIFF file is appended
// without links (Ok).
Result ConcatTiff(GroundContext& context, const char* destination, const char* source);

// Gives the first page of `fileName` the document name `newName`: a copy of
// the first IFD with the new DocumentName entry is appended and the header
// pointed at it. A first IFD without any entry of tag 269 or above gets the
// entry appended after its last entry. Ok, or TiffUnusable on any failure.
Result ChangeDocname(GroundContext& context, const char* fileName, const char* newName);

// What the two exports answer: 0 done; 1 unusable (ConcatTiff: cannot open,
// not readable as TIFF; ChangeDocname: any failure); ConcatTiff -1 when a
// read, write, seek or close failed.
constexpr std::int32_t ConcatCode(Result r) {
  return r == Result::Ok ? 0 : r == Result::TiffUnusable ? 1 : -1;
}
constexpr std::int32_t ChangeDocnameCode(Result r) { return r == Result::Ok ? 0 : 1; }

}  // namespace tarvo
