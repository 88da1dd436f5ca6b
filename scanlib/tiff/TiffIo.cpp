#include "tiff/TiffIo.h"

#include <algorithm>
#include <array>

#include "core/Diagnostics.h"
#include "core/GuardedFile.h"

namespace tarvo::tiff {

bool TiffIo::Seek(std::uint32_t offset, int site) {
  if (offset > kMaxFilePosition) return false;
  return GuardedSetFilePointer(context_, file_, static_cast<std::int32_t>(offset), kFileBegin,
                               site, kModuleTiff) == offset;
}

bool TiffIo::SeekEnd(std::uint32_t& size, int site) {
  size = GuardedSetFilePointer(context_, file_, 0, kFileEnd, site, kModuleTiff);
  return size != kInvalidFilePosition;
}

bool TiffIo::Position(std::uint32_t& position, int site) {
  position = GuardedSetFilePointer(context_, file_, 0, kFileCurrent, site, kModuleTiff);
  return position != kInvalidFilePosition;
}

bool TiffIo::Read(void* buffer, std::uint32_t count, int site) {
  std::uint32_t done = 0;
  if (GuardedReadFile(context_, file_, buffer, count, &done, nullptr, site, kModuleTiff) == 0) {
    return false;
  }
  if (done != count) {
    DriverLog(context_, "ReadFile", site, kModuleTiff, static_cast<std::int32_t>(kErrorHandleEof));
    return false;
  }
  return true;
}

bool TiffIo::Write(const void* buffer, std::uint32_t count, int site) {
  std::uint32_t done = 0;
  return GuardedWriteFile(context_, file_, buffer, count, &done, nullptr, site, kModuleTiff) != 0;
}

bool TiffIo::ReadAt(std::uint32_t offset, void* buffer, std::uint32_t count, IoSite site) {
  return Seek(offset, site.seek) && Read(buffer, count, site.transfer);
}

bool TiffIo::WriteAt(std::uint32_t offset, const void* buffer, std::uint32_t count,
                     IoSite site) {
  return Seek(offset, site.seek) && Write(buffer, count, site.transfer);
}

bool TiffIo::ReadLe16At(std::uint32_t offset, std::uint32_t& value, IoSite site) {
  std::array<std::uint8_t, 2> bytes{};
  if (!ReadAt(offset, bytes.data(), bytes.size(), site)) return false;
  value = GetLe16(bytes, 0);
  return true;
}

bool TiffIo::ReadLe32At(std::uint32_t offset, std::uint32_t& value, IoSite site) {
  std::array<std::uint8_t, 4> bytes{};
  if (!ReadAt(offset, bytes.data(), bytes.size(), site)) return false;
  value = GetLe32(bytes, 0);
  return true;
}

bool TiffIo::WriteLe32At(std::uint32_t offset, std::uint32_t value, IoSite site) {
  std::array<std::uint8_t, 4> bytes{};
  PutLe32(bytes, 0, value);
  return WriteAt(offset, bytes.data(), bytes.size(), site);
}

HeaderStatus ReadHeader(TiffIo& io, IoSite site) {
  std::array<std::uint8_t, kSignature.size()> header{};
  if (!io.Seek(0, site.seek)) return HeaderStatus::kIoFailure;
  std::uint32_t done = 0;
  // A file shorter than the signature is simply not a TIFF file.
  if (GuardedReadFile(io.context(), io.file(), header.data(), header.size(), &done, nullptr,
                      site.transfer, kModuleTiff) == 0) {
    return HeaderStatus::kIoFailure;
  }
  return done == header.size() && IsSignature(header) ? HeaderStatus::kTiff
                                                      : HeaderStatus::kNotTiff;
}

ChainStatus ChainCursor::ReadLink() {
  if (!InsideFile(linkPosition_, kLinkSize, fileSize_)) return ChainStatus::kBroken;
  if (!io_.ReadLe32At(linkPosition_, linkValue_, sites_.link)) return ChainStatus::kIoFailure;
  if (linkValue_ != 0 &&
      (linkValue_ < kHeaderSize || !InsideFile(linkValue_, IfdSize(0), fileSize_))) {
    return ChainStatus::kBroken;
  }
  return ChainStatus::kOk;
}

ChainStatus ChainCursor::Follow() {
  const std::uint32_t ifd = linkValue_;
  if (ifd == 0 || ifd == kept_ || pages_ >= kMaxChainPages) return ChainStatus::kBroken;
  if (++keptSteps_ == keepFor_) {
    kept_ = ifd;
    keepFor_ *= 2;
    keptSteps_ = 0;
  }
  std::uint32_t entries = 0;
  if (!io_.ReadLe16At(ifd, entries, sites_.count)) return ChainStatus::kIoFailure;
  if (!InsideFile(ifd, IfdSize(entries), fileSize_)) return ChainStatus::kBroken;
  ifdOffset_ = ifd;
  entryCount_ = entries;
  ifds_.push_back(Range{ifd, ifd + IfdSize(entries)});
  linkPosition_ = ifd + IfdLinkOffset(entries);
  ++pages_;
  return ChainStatus::kOk;
}

bool ChainCursor::IfdsDisjoint() {
  std::sort(ifds_.begin(), ifds_.end(),
            [](const Range& a, const Range& b) { return a.begin < b.begin; });
  for (std::size_t i = 1; i < ifds_.size(); ++i) {
    if (ifds_[i].begin < ifds_[i - 1].end) return false;
  }
  return true;
}

}  // namespace tarvo::tiff
