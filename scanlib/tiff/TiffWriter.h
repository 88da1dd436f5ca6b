// The directory writer: one page's IFD block, written at the current position
// of an open TIFF document right after the page's image data.
#pragma once

#include <array>
#include <cstdint>

#include "core/Result.h"
#include "core/Values.h"
#include "platform/Platform.h"
#include "tiff/TiffFormat.h"

namespace tarvo {

struct GroundContext;

// One page handed to the writer: twelve 32-bit fields, in this order.
struct PageDescription {
  std::uint32_t width = 0;         // pixels per row: ImageWidth
  std::uint32_t length = 0;        // rows: ImageLength
  std::uint32_t stripBytes = 0;    // byte count of the image data
  Compression compression = kCompressionNone;  // uncoded or Group 4
  std::uint32_t xResolution = 0;   // dots per inch
  std::uint32_t yResolution = 0;   // dots per inch
  std::uint32_t stripOffset = 0;   // file offset of the image data
  std::uint32_t ifdOffset = 0;     // stripOffset + stripBytes (not read by the writer)
  std::uint32_t linkValue = 0;     // the chain's end value: the new directory's next link
  const char* pageName = nullptr;  // NUL-terminated or none
  const char* software = nullptr;
  const char* documentName = nullptr;
};


// The software text of every page the batch writes.
inline constexpr const char* kSoftwareName = "Roradiv Ver.1.111";

namespace tiff {

inline constexpr std::uint32_t kMaxPageEntries = 17;
// Count, entries, next-IFD field and the two resolution values.
inline constexpr std::uint32_t kMaxFixedBlock = IfdSize(kMaxPageEntries) + 2 * kRationalSize;

// One text of the page and where it goes.
struct PageText {
  const char* text = nullptr;  // none: not written
  std::uint32_t length = 0;    // with its NUL
  std::uint32_t offset = 0;    // long texts: file offset; 0 for a text in its entry
  bool hasEntry = false;       // an ASCII entry names it (Group 4 pages)
  bool IsLong() const { return text != nullptr && length > kInlineValueSize; }
  bool HasFill() const { return IsLong() && (length % 2) != 0; }
};

// The whole IFD block of a page, as data: the fixed part (count, entries,
// next-IFD field 0, resolutions) and the long texts in write order
// (document name, page name, software).
struct IfdBlock {
  std::array<std::uint8_t, kMaxFixedBlock> fixed{};
  std::uint32_t fixedSize = 0;
  std::uint32_t entries = 0;
  std::array<PageText, 3> texts{};
  std::uint32_t linkPosition = 0;  // 2 + 12n, from the block's start
  std::uint32_t blockLength = 0;   // everything written
};

// Lays the block out for its place in the file, stripOffset + stripBytes.
IfdBlock BuildIfdBlock(const PageDescription& page);

}  // namespace tiff

// Writes the page's IFD block at the file's current position, which must be
// page.stripOffset + page.stripBytes; does not move it otherwise. Writes, in
// this order: count, entries, next-IFD field and resolutions in one write,
// then each long text and its fill byte. Ok, or FileError when a write fails
// (what was written stays). `linkPosition` receives 2 + 12n, `blockLength`
// the bytes written.
Result WriteTiffIfd(GroundContext& context, FileHandle file, const PageDescription& page,
                    std::uint32_t& linkPosition, std::uint32_t& blockLength);

}  // namespace tarvo
