#include "image/ExternalCodecs.h"

#include <array>
#include <cstring>

#include "core/Bytes.h"

namespace tarvo {
namespace {

// The operation by ordinal, or by name where the system has no ordinals.
ProcAddress CoderEntryAddress(Platform& platform, LibraryHandle library, CoderOp op) {
  for (const CoderEntry& entry : kCoderEntries) {
    if (entry.op != op) continue;
    if (ProcAddress p = platform.LibraryOrdinal(library, entry.ordinal); p != nullptr) return p;
    return platform.LibrarySymbol(library, entry.name);
  }
  return nullptr;
}

struct CoderFunctions {
  CoderInitBlockFn initBlock = nullptr;
  CoderPutRowsFn putRows = nullptr;
  CoderOpenImageFn openImage = nullptr;
  CoderFinishImageFn finishImage = nullptr;
  CoderSetOptionFn setOption = nullptr;

  bool Complete() const {
    return initBlock != nullptr && putRows != nullptr && openImage != nullptr &&
           finishImage != nullptr && setOption != nullptr;
  }
};

CoderFunctions LookUpCoder(Platform& platform, LibraryHandle library) {
  CoderFunctions f;
  f.initBlock = reinterpret_cast<CoderInitBlockFn>(
      CoderEntryAddress(platform, library, CoderOp::kInitBlock));
  f.putRows =
      reinterpret_cast<CoderPutRowsFn>(CoderEntryAddress(platform, library, CoderOp::kPutRows));
  f.openImage = reinterpret_cast<CoderOpenImageFn>(
      CoderEntryAddress(platform, library, CoderOp::kOpenImage));
  f.finishImage = reinterpret_cast<CoderFinishImageFn>(
      CoderEntryAddress(platform, library, CoderOp::kFinishImage));
  f.setOption = reinterpret_cast<CoderSetOptionFn>(
      CoderEntryAddress(platform, library, CoderOp::kSetOption));
  return f;
}

}  // namespace

Result WriteCodedFile(Platform& platform, const char* fileName, const std::uint8_t* pixels,
                      std::int32_t width, std::int32_t rows, std::int32_t resolution,
                      std::int32_t bitsPerPixel, std::int32_t stride) {
  (void)resolution;  // accepted, not passed on
  if (fileName == nullptr || pixels == nullptr || rows < 0 || width < 0) return Result::FileError;
  const std::size_t nameBytes = std::strlen(fileName) + 1;
  if (nameBytes > kCoderFileNameBytes) return Result::FileError;

  UniqueLibrary library(platform, platform.LibraryLoad(kCoderLibraryName));
  if (!library) return Result::FileError;
  const CoderFunctions coder = LookUpCoder(platform, library.get());
  if (!coder.Complete()) return Result::FileError;

  alignas(8) std::array<std::uint8_t, kCoderParamsBytes> block{};
  const ByteSpan params(block);
  PutLe32(params, kCoderWidthAt, static_cast<std::uint32_t>(width));
  PutLe32(params, kCoderRowsAt, static_cast<std::uint32_t>(rows));
  coder.initBlock(block.data(), static_cast<std::int32_t>(kCoderParamsBytes));
  std::memcpy(block.data() + kCoderFileNameAt, fileName, nameBytes);
  params[kCoderBitsPerPixelAt] = static_cast<std::uint8_t>(bitsPerPixel);
  coder.setOption(block.data(), 0);
  if (coder.openImage(block.data()) != 0) return Result::FileError;
  PutLe32(params, kCoderBitsPerSampleAt, bitsPerPixel == 1 ? 1 : 8);

  // One row a call; the coder counts the rows it took. The calls are bounded
  // by the row count, whatever the coder reports.
  const std::uint8_t* row = pixels;
  const std::uint32_t total = static_cast<std::uint32_t>(rows);
  for (std::uint32_t call = 0; GetLe32(params, kCoderRowsWrittenAt) < total; ++call) {
    if (call >= total) return Result::FileError;
    if (coder.putRows(block.data(), &row, 1) != 1) return Result::FileError;
    row += stride;
  }
  return coder.finishImage(block.data()) == 0 ? Result::Ok : Result::FileError;
}

Result SaveJpeg(Platform& platform, const char* fileName, const std::uint8_t* pixels,
                std::int32_t width, std::int32_t rows, std::int32_t resolution,
                std::int32_t stride, std::int32_t quality) {
  if (fileName == nullptr || pixels == nullptr) return Result::FileError;
  UniqueLibrary library(platform, platform.LibraryLoad(kJpegLibraryName));
  if (!library) return Result::FileError;
  const auto saveJpeg =
      reinterpret_cast<SaveJpegFn>(platform.LibrarySymbol(library.get(), kSaveJpegSymbol));
  if (saveJpeg == nullptr) return Result::FileError;
  return saveJpeg(fileName, pixels, width, rows, resolution, 1, stride, quality) == 0
             ? Result::Ok
             : Result::FileError;
}

}  // namespace tarvo
