// The calls of the two sibling libraries: the JPEG writer ("klxjpeg.dll",
// save_JPEG by name) and the image coder ("RAVEZEVA.dll", five operations).
// Each call loads the library through the platform, looks its entries up,
// calls them and frees the library. A missing library or entry, or any
// failure the library reports, gives Result::FileError; nothing is logged.
//
// The image coder's operations are looked up by ordinal (21 to 25, Windows)
// and, where the system has no ordinals, by the names of kCoderEntries:
//
//   ordinal  name                    arguments                      result
//        21  ravezeva_init_block     block, 344                      none
//        22  ravezeva_put_rows       block, &row address, row count  1 = success
//        23  ravezeva_open_image     block                           0 = success
//        24  ravezeva_finish_image   block                           0 = success
//        25  ravezeva_set_option     block, value                    none
//
// CoderParams, the 344-byte block shared with the coder (little-endian; the
// rest belongs to the coder):
//
//   OFFSET SIZE  FIELD                WRITTEN BY
//       16    4  width in pixels      driver, before initialisation
//       20    4  number of rows       driver, before initialisation
//       24    4  bits per sample      driver, after opening: 1 bilevel, 8 otherwise
//       28    4  rows written         coder; the driver goes on while it is below the rows
//       32  270  file name, NUL-ended driver, after initialisation
//      302    1  bits per pixel       driver, after initialisation (1, 2, 4 or 8)
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Result.h"
#include "platform/Platform.h"

#if defined(_WIN32) && defined(__i386__)
#define TARVO_CODER_CALL __attribute__((stdcall))
#else
#define TARVO_CODER_CALL
#endif

namespace tarvo {

inline constexpr char kJpegLibraryName[] = "klxjpeg.dll";
inline constexpr char kSaveJpegSymbol[] = "save_JPEG";
inline constexpr char kCoderLibraryName[] = "RAVEZEVA.dll";

// ---- CoderParams --------------------------------------------------------------------

inline constexpr std::size_t kCoderParamsBytes = 344;
inline constexpr std::size_t kCoderWidthAt = 16;
inline constexpr std::size_t kCoderRowsAt = 20;
inline constexpr std::size_t kCoderBitsPerSampleAt = 24;
inline constexpr std::size_t kCoderRowsWrittenAt = 28;
inline constexpr std::size_t kCoderFileNameAt = 32;
inline constexpr std::size_t kCoderFileNameBytes = 270;
inline constexpr std::size_t kCoderBitsPerPixelAt = 302;

// ---- the coder's operations ------------------------------------------------------------

enum class CoderOp { kInitBlock, kPutRows, kOpenImage, kFinishImage, kSetOption };

struct CoderEntry {
  CoderOp op;
  std::uint16_t ordinal;
  const char* name;
};

inline constexpr CoderEntry kCoderEntries[] = {
    {CoderOp::kInitBlock, 21, "ravezeva_init_block"},
    {CoderOp::kPutRows, 22, "ravezeva_put_rows"},
    {CoderOp::kOpenImage, 23, "ravezeva_open_image"},
    {CoderOp::kFinishImage, 24, "ravezeva_finish_image"},
    {CoderOp::kSetOption, 25, "ravezeva_set_option"},
};

using CoderInitBlockFn = void(TARVO_CODER_CALL*)(void* block, std::int32_t size);
using CoderPutRowsFn = std::int32_t(TARVO_CODER_CALL*)(void* block, const std::uint8_t** row,
                                                       std::int32_t count);
using CoderOpenImageFn = std::int32_t(TARVO_CODER_CALL*)(void* block);
using CoderFinishImageFn = std::int32_t(TARVO_CODER_CALL*)(void* block);
using CoderSetOptionFn = void(TARVO_CODER_CALL*)(void* block, std::int32_t value);

// save_JPEG (cdecl): file name, first row, width (a multiple of 8), rows,
// resolution in dots per inch, components per pixel (1), row stride, quality.
using SaveJpegFn = std::int32_t (*)(const char* fileName, const std::uint8_t* pixels,
                                    std::int32_t width, std::int32_t rows,
                                    std::int32_t resolution, std::int32_t components,
                                    std::int32_t stride, std::int32_t quality);

// Stores a page through the image coder: Ok or FileError.
Result WriteCodedFile(Platform& platform, const char* fileName, const std::uint8_t* pixels,
                      std::int32_t width, std::int32_t rows, std::int32_t resolution,
                      std::int32_t bitsPerPixel, std::int32_t stride);

// Stores a gray page through the JPEG writer: Ok or FileError.
Result SaveJpeg(Platform& platform, const char* fileName, const std::uint8_t* pixels,
                std::int32_t width, std::int32_t rows, std::int32_t resolution,
                std::int32_t stride, std::int32_t quality);

}  // namespace tarvo
