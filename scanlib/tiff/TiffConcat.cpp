#include <algorithm>
#include <array>

#include "core/Ground.h"
#include "core/GuardedFile.h"
#include "tiff/TiffChain.h"
#include "tiff/TiffUtilities.h"

namespace tarvo {
namespace {

using tiff::ChainCursor;
using tiff::ChainStatus;
using tiff::IoSite;

// Call-site numbers (module "Tiff").
constexpr int kSiteSourceSize = 4260;
constexpr IoSite kSiteSourceHeader{4261, 4262};
constexpr int kSiteSourceStart = 4263;
constexpr int kSiteCopyRead = 4264;
constexpr int kSiteCopyWrite = 4265;
constexpr ChainCursor::Sites kSiteSourceChain{{4266, 4267}, {4268, 4269}};
constexpr IoSite kSiteWriteLink{4270, 4271};
constexpr int kSiteCloseSource = 4272;
constexpr int kSiteCloseDestination = 4273;

constexpr std::uint32_t kCopyPiece = 1024;

// Writes, for every link k of the source, the moved offset into the copied
// chain: link 1 goes into the destination's final link, link k > 1 into the
// copy of the source's link at q + distance.
bool LinkCopiedPages(tiff::TiffIo& source, std::uint32_t sourceSize, tiff::TiffIo& destination,
                     std::uint32_t finalLink, std::uint32_t distance) {
  ChainCursor cursor(source, sourceSize, kSiteSourceChain);
  for (std::uint32_t link = 1;; ++link) {
    if (cursor.ReadLink() != ChainStatus::kOk) return false;
    if (cursor.linkValue() == 0) return true;
    const std::uint32_t target = link == 1 ? finalLink : cursor.linkPosition() + distance;
    if (!destination.WriteLe32At(target, cursor.linkValue() + distance, kSiteWriteLink)) {
      return false;
    }
    if (cursor.Follow() != ChainStatus::kOk) return false;
  }
}

bool CopyWhole(tiff::TiffIo& source, std::uint32_t size, tiff::TiffIo& destination) {
  if (!source.Seek(0, kSiteSourceStart)) return false;
  std::array<std::uint8_t, kCopyPiece> piece{};
  for (std::uint32_t left = size; left > 0;) {
    const std::uint32_t count = std::min(left, kCopyPiece);
    if (!source.Read(piece.data(), count, kSiteCopyRead)) return false;
    if (!destination.Write(piece.data(), count, kSiteCopyWrite)) return false;
    left -= count;
  }
  return true;
}

}  // namespace

Result ConcatTiff(GroundContext& context, const char* destination, const char* source) {
  Platform& platform = context.platform;
  UniqueFile target(platform, platform.FileOpen(destination, kGenericRead | kGenericWrite,
                                                kShareNone, kOpenExisting, kAttributeNormal));
  if (!target) return Result::TiffUnusable;
  std::uint32_t targetPages = kWalkToEnd;
  std::uint32_t unusedValue = 0;
  std::uint32_t finalLink = 0;
  std::uint32_t distance = 0;  // the destination's size before appending
  if (WalkTiffChain(context, target.get(), targetPages, unusedValue, finalLink, distance) !=
      Result::Ok) {
    return Result::TiffUnusable;
  }
  UniqueFile from(platform, platform.FileOpen(source, kGenericRead, kShareNone, kOpenExisting,
                                              kAttributeNormal));
  if (!from) return Result::TiffUnusable;

  tiff::TiffIo in(context, from.get());
  tiff::TiffIo out(context, target.get());
  std::uint32_t sourceSize = 0;
  if (!in.SeekEnd(sourceSize, kSiteSourceSize)) return Result::FileError;
  const tiff::HeaderStatus header = tiff::ReadHeader(in, kSiteSourceHeader);
  if (header == tiff::HeaderStatus::kIoFailure) return Result::FileError;
  const bool linkSource = header == tiff::HeaderStatus::kTiff;
  if (linkSource) {
    // A source whose chain cannot be followed to its end would leave the
    // destination's chain broken: refuse it before anything is written.
    std::uint32_t sourcePages = kWalkToEnd;
    std::uint32_t value = 0;
    std::uint32_t position = 0;
    std::uint32_t end = 0;
    if (WalkTiffChain(context, from.get(), sourcePages, value, position, end) != Result::Ok ||
        std::uint64_t{targetPages} + sourcePages > tiff::kMaxChainPages) {
      return Result::TiffUnusable;
    }
  }
  if (std::uint64_t{distance} + sourceSize > tiff::kMaxFilePosition) return Result::TiffUnusable;

  // The destination's walk left its position at its end.
  if (!CopyWhole(in, sourceSize, out)) return Result::FileError;
  if (linkSource && !LinkCopiedPages(in, sourceSize, out, finalLink, distance)) {
    return Result::FileError;
  }
  if (ShiftAppendedIfds(context, target.get(), distance) != Result::Ok) return Result::FileError;

  const bool sourceClosed =
      GuardedCloseHandle(context, from.Release(), kSiteCloseSource, tiff::kModuleTiff) != 0;
  const bool targetClosed =
      GuardedCloseHandle(context, target.Release(), kSiteCloseDestination, tiff::kModuleTiff) != 0;
  return sourceClosed && targetClosed ? Result::Ok : Result::FileError;
}

}  // namespace tarvo
