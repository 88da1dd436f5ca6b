// The layout of the driver's TIFF documents: little-endian, one strip per
// page, 1 bit per pixel. Every number goes through the little-endian helpers
// of base/Bytes.h; this header names the offsets once.
//
// Header (8 bytes, at offset 0)
//   OFFSET SIZE FIELD
//   0      2    byte order mark 0x49 0x49 ("II")
//   2      2    42
//   4      4    offset of the first IFD (0: no page)
//
// A page, from its strip offset S with strip bytes B (no alignment anywhere,
// so an IFD may start at an odd offset):
//   OFFSET          SIZE  FIELD
//   S               B     image data (uncoded rows or a Group 4 stream)
//   O = S + B       2     entry count n
//   O + 2           12n   entries, ascending tags
//   O + 2 + 12n     4     offset of the next IFD (0 ends the chain)
//   O + 6 + 12n     8     XResolution: numerator, denominator 1
//   O + 14 + 12n    8     YResolution: numerator, denominator 1
//   O + 22 + 12n          long texts: document name, page name, software,
//                         each with its NUL and a 0 fill byte when odd
//
// Entry (12 bytes)
//   OFFSET SIZE FIELD
//   0      2    tag
//   2      2    field type (2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL)
//   4      4    count (ASCII: text length with its NUL)
//   8      4    value, or offset of the value when it needs more than 4
//               bytes; a SHORT stands in bytes 8..9, a short text
//               left-aligned, the other bytes 0
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/Bytes.h"

namespace tarvo::tiff {

// The TIFF room's module name in the diagnostics log.
inline constexpr const char* kModuleTiff = "Tiff";

// ---- header --------------------------------------------------------------------

inline constexpr std::uint32_t kHeaderSize = 8;
inline constexpr std::uint32_t kHeaderLinkPos = 4;  // the first link of the chain
inline constexpr std::array<std::uint8_t, 4> kSignature{0x49, 0x49, 0x2A, 0x00};

// ---- IFD -------------------------------------------------------------------------

inline constexpr std::uint32_t kCountSize = 2;   // entry count
inline constexpr std::uint32_t kEntrySize = 12;
inline constexpr std::uint32_t kLinkSize = 4;    // next-IFD field
inline constexpr std::uint32_t kRationalSize = 8;
inline constexpr std::uint32_t kInlineValueSize = 4;
inline constexpr std::uint32_t kMaxEntryCount = 0xFFFF;

inline constexpr std::size_t kEntryTag = 0;
inline constexpr std::size_t kEntryType = 2;
inline constexpr std::size_t kEntryCount = 4;
inline constexpr std::size_t kEntryValue = 8;

// Offset of the next-IFD field inside an IFD of n entries: 2 + 12n.
constexpr std::uint32_t IfdLinkOffset(std::uint32_t entries) {
  return kCountSize + kEntrySize * entries;
}
// Bytes of an IFD of n entries from its count to its next-IFD field included.
constexpr std::uint32_t IfdSize(std::uint32_t entries) { return IfdLinkOffset(entries) + kLinkSize; }

// Field types.
inline constexpr std::uint16_t kTypeAscii = 2;
inline constexpr std::uint16_t kTypeShort = 3;
inline constexpr std::uint16_t kTypeLong = 4;
inline constexpr std::uint16_t kTypeRational = 5;

// Tags the driver writes or reads.
inline constexpr std::uint16_t kTagNewSubfileType = 254;
inline constexpr std::uint16_t kTagImageWidth = 256;
inline constexpr std::uint16_t kTagImageLength = 257;
inline constexpr std::uint16_t kTagBitsPerSample = 258;
inline constexpr std::uint16_t kTagCompression = 259;
inline constexpr std::uint16_t kTagPhotometric = 262;
inline constexpr std::uint16_t kTagFillOrder = 266;
inline constexpr std::uint16_t kTagDocumentName = 269;
inline constexpr std::uint16_t kTagStripOffsets = 273;
inline constexpr std::uint16_t kTagSamplesPerPixel = 277;
inline constexpr std::uint16_t kTagStripByteCounts = 279;
inline constexpr std::uint16_t kTagXResolution = 282;
inline constexpr std::uint16_t kTagYResolution = 283;
inline constexpr std::uint16_t kTagPageName = 285;
inline constexpr std::uint16_t kTagT6Options = 293;
inline constexpr std::uint16_t kTagResolutionUnit = 296;
inline constexpr std::uint16_t kTagSoftware = 305;

// Values of the SHORT entries.
inline constexpr std::uint32_t kCompressionNone = 1;
inline constexpr std::uint32_t kCompressionCcittT6 = 4;
inline constexpr std::uint32_t kPhotometricWhiteIsZero = 0;
inline constexpr std::uint32_t kFillOrderMsbFirst = 1;
inline constexpr std::uint32_t kResolutionUnitInch = 2;

// One 12-byte entry as numbers; `value` holds the four value bytes read as a
// little-endian number (a SHORT in its low half, a short text in its bytes).
struct IfdEntry {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::uint32_t value = 0;
};

constexpr void PutEntry(ByteSpan out, std::size_t at, const IfdEntry& entry) {
  PutLe16(out, at + kEntryTag, entry.tag);
  PutLe16(out, at + kEntryType, entry.type);
  PutLe32(out, at + kEntryCount, entry.count);
  PutLe32(out, at + kEntryValue, entry.value);
}

constexpr IfdEntry GetEntry(ConstByteSpan in, std::size_t at) {
  return IfdEntry{static_cast<std::uint16_t>(GetLe16(in, at + kEntryTag)),
                  static_cast<std::uint16_t>(GetLe16(in, at + kEntryType)),
                  GetLe32(in, at + kEntryCount), GetLe32(in, at + kEntryValue)};
}

// The value field of an ASCII entry whose text (`length` bytes with its NUL,
// at most 4) stands in the entry: the bytes left-aligned, the rest 0.
constexpr std::uint32_t InlineText(const char* text, std::uint32_t length) {
  std::array<std::uint8_t, kInlineValueSize> bytes{};
  for (std::uint32_t i = 0; i + 1 < length && i < kInlineValueSize; ++i) {
    bytes[i] = static_cast<std::uint8_t>(text[i]);
  }
  return GetLe32(bytes, 0);
}

constexpr bool IsSignature(ConstByteSpan header) {
  return header.size() >= kSignature.size() && header[0] == kSignature[0] &&
         header[1] == kSignature[1] && header[2] == kSignature[2] && header[3] == kSignature[3];
}

}  // namespace tarvo::tiff
