#include <array>
#include <cstring>

#include "core/Ground.h"
#include "core/GuardedFile.h"
#include "tiff/TiffChain.h"
#include "tiff/TiffUtilities.h"

namespace tarvo {
namespace {

using tiff::IoSite;

// Call-site numbers (module "Tiff").
constexpr IoSite kSiteReadCount{4310, 4311};
constexpr IoSite kSiteWriteCount{4312, 4313};
constexpr IoSite kSiteReadEntry{4314, 4315};
constexpr IoSite kSiteWriteEntry{4316, 4317};
constexpr IoSite kSiteReadLink{4318, 4319};
constexpr IoSite kSiteWriteLink{4320, 4321};
constexpr IoSite kSiteWriteName{4322, 4323};
constexpr IoSite kSiteWriteHeaderLink{4324, 4325};
constexpr int kSiteClose = 4326;

// Seek to `offset` (it must land there) and read or write `size` bytes; on
// failure the file is closed.
bool ReadAtOffset(GroundContext& context, UniqueFile& file, std::uint32_t offset, void* buffer,
                  std::uint32_t size, IoSite site) {
  tiff::TiffIo io(context, file.get());
  if (io.ReadAt(offset, buffer, size, site)) return true;
  file.Reset();
  return false;
}

bool WriteAtOffset(GroundContext& context, UniqueFile& file, std::uint32_t offset, const void* data,
                   std::uint32_t size, IoSite site) {
  tiff::TiffIo io(context, file.get());
  if (io.WriteAt(offset, data, size, site)) return true;
  file.Reset();
  return false;
}

// Writes the rewritten copy of the first IFD at the file's end.
class IfdCopy {
 public:
  IfdCopy(GroundContext& context, UniqueFile& file, const char* name, std::uint32_t nameLength,
          std::uint32_t from, std::uint32_t to, std::uint32_t entries)
      : context_(context),
        file_(file),
        name_(name),
        nameLength_(nameLength),
        from_(from),
        to_(to),
        entries_(entries),
        readAt_(from + tiff::kCountSize),
        writeAt_(to + tiff::kCountSize) {}

  bool Run() {
    std::array<std::uint8_t, 2> count{};
    PutLe16(count, 0, entries_);
    if (!WriteAtOffset(context_, file_, to_, count.data(), count.size(), kSiteWriteCount)) {
      return false;
    }
    for (std::uint32_t i = 0; i < entries_; ++i) {
      std::array<std::uint8_t, tiff::kEntrySize> bytes{};
      if (!ReadAtOffset(context_, file_, readAt_, bytes.data(), bytes.size(), kSiteReadEntry)) {
        return false;
      }
      readAt_ += tiff::kEntrySize;
      tiff::IfdEntry entry = tiff::GetEntry(bytes, 0);
      if (entry.tag == tiff::kTagDocumentName) {
        entry.count = nameLength_;
        entry.value = NameValue();
        named_ = true;
      } else if (entry.tag > tiff::kTagDocumentName && !named_ && !InsertName()) {
        return false;
      }
      if (!WriteEntry(entry)) return false;
    }
    // No entry of tag 269 or above: the name goes after the last entry,
    // which keeps the tags ascending.
    if (!named_ && !InsertName()) return false;
    std::array<std::uint8_t, tiff::kLinkSize> link{};
    if (!ReadAtOffset(context_, file_, from_ + tiff::IfdLinkOffset(entries_), link.data(),
                      link.size(), kSiteReadLink) ||
        !WriteAtOffset(context_, file_, writeAt_, link.data(), link.size(), kSiteWriteLink)) {
      return false;
    }
    return nameLength_ <= tiff::kInlineValueSize ||
           WriteAtOffset(context_, file_, TextOffset(), name_, nameLength_, kSiteWriteName);
  }

 private:
  // The name follows the new IFD's next link.
  std::uint32_t TextOffset() const {
    return to_ + tiff::IfdSize(entries_ + (inserted_ ? 1 : 0));
  }
  std::uint32_t NameValue() const {
    return nameLength_ <= tiff::kInlineValueSize ? tiff::InlineText(name_, nameLength_)
                                                 : TextOffset();
  }
  bool WriteEntry(const tiff::IfdEntry& entry) {
    std::array<std::uint8_t, tiff::kEntrySize> bytes{};
    tiff::PutEntry(bytes, 0, entry);
    if (!WriteAtOffset(context_, file_, writeAt_, bytes.data(), bytes.size(), kSiteWriteEntry)) {
      return false;
    }
    writeAt_ += tiff::kEntrySize;
    return true;
  }
  // A new DocumentName entry at the write position; the count becomes n + 1
  // (ChangeDocname refuses a full IFD that would need one).
  bool InsertName() {
    inserted_ = true;
    named_ = true;
    if (!WriteEntry(tiff::IfdEntry{tiff::kTagDocumentName, tiff::kTypeAscii, nameLength_,
                                   NameValue()})) {
      return false;
    }
    std::array<std::uint8_t, 2> count{};
    PutLe16(count, 0, entries_ + 1);
    return WriteAtOffset(context_, file_, to_, count.data(), count.size(), kSiteWriteCount);
  }

  GroundContext& context_;
  UniqueFile& file_;
  const char* name_;
  std::uint32_t nameLength_;
  std::uint32_t from_;     // the old IFD (F)
  std::uint32_t to_;       // the new IFD (E)
  std::uint32_t entries_;  // n
  std::uint32_t readAt_;
  std::uint32_t writeAt_;
  bool named_ = false;     // a DocumentName entry has been written
  bool inserted_ = false;  // ... as a new entry
};

// Whether the copy of the IFD at `ifd` of `entries` entries can keep its
// count: its DocumentName entry comes before any entry of a higher tag, so
// the copy rewrites it in place instead of inserting a new one.
bool NameFitsInPlace(GroundContext& context, UniqueFile& file, std::uint32_t ifd,
                     std::uint32_t entries) {
  for (std::uint32_t i = 0; i < entries; ++i) {
    std::array<std::uint8_t, tiff::kEntrySize> bytes{};
    if (!ReadAtOffset(context, file, ifd + tiff::kCountSize + i * tiff::kEntrySize, bytes.data(),
                      bytes.size(), kSiteReadEntry)) {
      return false;
    }
    const std::uint16_t tag = tiff::GetEntry(bytes, 0).tag;
    if (tag >= tiff::kTagDocumentName) return tag == tiff::kTagDocumentName;
  }
  return false;
}

}  // namespace

Result ChangeDocname(GroundContext& context, const char* fileName, const char* newName) {
  if (newName == nullptr) return Result::TiffUnusable;
  const std::size_t textLength = std::strlen(newName) + 1;
  if (textLength > tiff::kMaxFilePosition) return Result::TiffUnusable;
  const auto nameLength = static_cast<std::uint32_t>(textLength);

  Platform& platform = context.platform;
  UniqueFile file(platform, platform.FileOpen(fileName, kGenericRead | kGenericWrite, kShareNone,
                                              kOpenExisting, kAttributeNormal));
  if (!file) return Result::TiffUnusable;
  std::uint32_t pageIndex = 1;
  std::uint32_t first = 0;       // F
  std::uint32_t headerLink = 0;  // the header's link position
  std::uint32_t end = 0;         // E
  if (WalkTiffChain(context, file.get(), pageIndex, first, headerLink, end) != Result::Ok) {
    return Result::TiffUnusable;
  }
  if (first == 0) return Result::TiffUnusable;  // no page to name

  std::array<std::uint8_t, 2> count{};
  if (!ReadAtOffset(context, file, first, count.data(), count.size(), kSiteReadCount)) {
    return Result::TiffUnusable;
  }
  const std::uint32_t entries = GetLe16(count, 0);
  if (!tiff::InsideFile(first, tiff::IfdSize(entries), end) ||
      std::uint64_t{end} + tiff::IfdSize(entries + 1) + nameLength > tiff::kMaxFilePosition) {
    return Result::TiffUnusable;
  }
  // A full IFD cannot take a new entry: refused before anything is written,
  // unless the copy replaces its name in place.
  if (entries >= tiff::kMaxEntryCount && !NameFitsInPlace(context, file, first, entries)) {
    return Result::TiffUnusable;
  }
  IfdCopy copy(context, file, newName, nameLength, first, end, entries);
  if (!copy.Run()) return Result::TiffUnusable;

  std::array<std::uint8_t, tiff::kLinkSize> link{};
  PutLe32(link, 0, end);
  if (!WriteAtOffset(context, file, headerLink, link.data(), link.size(), kSiteWriteHeaderLink)) {
    return Result::TiffUnusable;
  }
  return GuardedCloseHandle(context, file.Release(), kSiteClose, tiff::kModuleTiff) != 0
             ? Result::Ok
             : Result::TiffUnusable;
}

}  // namespace tarvo
