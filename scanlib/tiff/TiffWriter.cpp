#include "tiff/TiffWriter.h"

#include <cstring>

#include "tiff/TiffIo.h"

namespace tarvo {
namespace tiff {
namespace {

// Call-site numbers of the writer (module "Tiff").
constexpr int kSiteWriteBlock = 4110;
constexpr int kSiteWriteText = 4111;
constexpr int kSiteWriteFill = 4112;

// Where an entry's value comes from.
enum class Field : std::uint8_t {
  kZero,
  kOne,
  kWidth,
  kLength,
  kCompression,
  kStripOffset,
  kStripBytes,
  kXResolution,  // offset of the XResolution value
  kYResolution,  // offset of the YResolution value
  kInch,
  kDocumentName,  // texts: the text itself or its offset
  kPageName,
  kSoftware,
  kCount
};

enum class Pages : std::uint8_t { kAll, kGroup4 };

struct EntryRow {
  std::uint16_t tag;
  std::uint16_t type;
  Pages pages;
  Field field;
};

// The entries of a page, in ascending tag order. An uncoded page has the 13
// rows for all pages; a Group 4 page adds T6Options and one row for each
// text given.
constexpr std::array<EntryRow, kMaxPageEntries> kPageEntries{{
    {kTagNewSubfileType, kTypeLong, Pages::kAll, Field::kZero},
    {kTagImageWidth, kTypeLong, Pages::kAll, Field::kWidth},
    {kTagImageLength, kTypeLong, Pages::kAll, Field::kLength},
    {kTagBitsPerSample, kTypeShort, Pages::kAll, Field::kOne},
    {kTagCompression, kTypeShort, Pages::kAll, Field::kCompression},
    {kTagPhotometric, kTypeShort, Pages::kAll, Field::kZero},  // WhiteIsZero: 1 is black
    {kTagFillOrder, kTypeShort, Pages::kAll, Field::kOne},     // most significant bit first
    {kTagDocumentName, kTypeAscii, Pages::kGroup4, Field::kDocumentName},
    {kTagStripOffsets, kTypeLong, Pages::kAll, Field::kStripOffset},
    {kTagSamplesPerPixel, kTypeShort, Pages::kAll, Field::kOne},
    {kTagStripByteCounts, kTypeLong, Pages::kAll, Field::kStripBytes},
    {kTagXResolution, kTypeRational, Pages::kAll, Field::kXResolution},
    {kTagYResolution, kTypeRational, Pages::kAll, Field::kYResolution},
    {kTagPageName, kTypeAscii, Pages::kGroup4, Field::kPageName},
    {kTagT6Options, kTypeLong, Pages::kGroup4, Field::kZero},
    {kTagResolutionUnit, kTypeShort, Pages::kAll, Field::kInch},
    {kTagSoftware, kTypeAscii, Pages::kGroup4, Field::kSoftware},
}};

// Texts in the order their long forms are written.
constexpr std::array<Field, 3> kTextFields{Field::kDocumentName, Field::kPageName,
                                           Field::kSoftware};

constexpr int TextIndex(Field field) {
  for (std::size_t i = 0; i < kTextFields.size(); ++i) {
    if (kTextFields[i] == field) return static_cast<int>(i);
  }
  return -1;
}

bool Included(const EntryRow& row, bool group4, const IfdBlock& block) {
  if (row.pages == Pages::kGroup4 && !group4) return false;
  const int text = TextIndex(row.field);
  return text < 0 || block.texts[static_cast<std::size_t>(text)].text != nullptr;
}

PageText DescribeText(const char* text) {
  PageText out;
  if (text != nullptr) {
    out.text = text;
    out.length = static_cast<std::uint32_t>(std::strlen(text) + 1);
  }
  return out;
}

}  // namespace

IfdBlock BuildIfdBlock(const PageDescription& page) {
  const bool group4 = page.compression == kCompressionG4;
  IfdBlock block;
  block.texts = {DescribeText(page.documentName), DescribeText(page.pageName),
                 DescribeText(page.software)};

  std::uint32_t entries = 0;
  for (const EntryRow& row : kPageEntries) {
    if (Included(row, group4, block)) ++entries;
  }
  const std::uint32_t ifd = page.stripOffset + page.stripBytes;
  const std::uint32_t xResolutionAt = ifd + IfdSize(entries);
  const std::uint32_t yResolutionAt = xResolutionAt + kRationalSize;
  std::uint32_t next = yResolutionAt + kRationalSize;
  for (PageText& text : block.texts) {
    if (!text.IsLong()) continue;
    text.offset = next;
    next += text.length + (text.HasFill() ? 1 : 0);
  }

  std::array<std::uint32_t, static_cast<std::size_t>(Field::kCount)> values{};
  const auto set = [&values](Field field, std::uint32_t value) {
    values[static_cast<std::size_t>(field)] = value;
  };
  set(Field::kZero, 0);
  set(Field::kOne, 1);
  set(Field::kWidth, page.width);
  set(Field::kLength, page.length);
  set(Field::kCompression, group4 ? kCompressionCcittT6 : kCompressionNone);
  set(Field::kStripOffset, page.stripOffset);
  set(Field::kStripBytes, page.stripBytes);
  set(Field::kXResolution, xResolutionAt);
  set(Field::kYResolution, yResolutionAt);
  set(Field::kInch, kResolutionUnitInch);
  for (std::size_t i = 0; i < kTextFields.size(); ++i) {
    const PageText& text = block.texts[i];
    if (text.text == nullptr) continue;
    set(kTextFields[i], text.IsLong() ? text.offset : InlineText(text.text, text.length));
  }

  ByteSpan out(block.fixed);
  PutLe16(out, 0, entries);
  std::uint32_t at = kCountSize;
  for (const EntryRow& row : kPageEntries) {
    if (!Included(row, group4, block)) continue;
    const int text = TextIndex(row.field);
    const std::uint32_t count =
        text < 0 ? 1 : block.texts[static_cast<std::size_t>(text)].length;
    PutEntry(out, at, IfdEntry{row.tag, row.type, count,
                               values[static_cast<std::size_t>(row.field)]});
    at += kEntrySize;
  }
  // Next IFD: the chain's end value (0, or the page that inserted pages go in
  // front of), so that the chain is whole before this page is linked in.
  PutLe32(out, at, page.linkValue);
  at += kLinkSize;
  PutLe32(out, at, page.xResolution);
  PutLe32(out, at + 4, 1);
  PutLe32(out, at + 8, page.yResolution);
  PutLe32(out, at + 12, 1);
  block.fixedSize = at + 2 * kRationalSize;
  block.entries = entries;
  block.linkPosition = IfdLinkOffset(entries);
  block.blockLength = next - ifd;
  return block;
}

}  // namespace tiff

Result WriteTiffIfd(GroundContext& context, FileHandle file, const PageDescription& page,
                    std::uint32_t& linkPosition, std::uint32_t& blockLength) {
  const tiff::IfdBlock block = tiff::BuildIfdBlock(page);
  tiff::TiffIo io(context, file);
  if (!io.Write(block.fixed.data(), block.fixedSize, tiff::kSiteWriteBlock))
    return Result::FileError;
  static constexpr std::uint8_t kFill = 0;
  for (const tiff::PageText& text : block.texts) {
    if (!text.IsLong()) continue;
    if (!io.Write(text.text, text.length, tiff::kSiteWriteText)) return Result::FileError;
    if (text.HasFill() && !io.Write(&kFill, 1, tiff::kSiteWriteFill)) return Result::FileError;
  }
  linkPosition = block.linkPosition;
  blockLength = block.blockLength;
  return Result::Ok;
}

}  // namespace tarvo
