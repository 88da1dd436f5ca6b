// The Windows BMP image of a page raster, produced into a sink. The page
// pipeline's WriteBmpFile opens the file and points the sink at it.
//
// Layout, all numbers little-endian:
//
//   OFFSET SIZE  FIELD               VALUE
//        0    2  signature           "BM"
//        2    4  file size           data offset + file row length * rows
//        6    4  reserved            0
//       10    4  data offset         62 bilevel, 1078 gray
//       14    4  header size         40
//       18    4  width               pixels
//       22    4  height              rows (positive: rows stored bottom-up)
//       26    2  planes              1
//       28    2  bits per pixel      1 bilevel, 8 gray
//       30    4  compression         0
//       34    4  image size          0
//       38    4  X pixels per metre  resolution * 10000 / 254
//       42    4  Y pixels per metre  the same
//       46    4  colours used        2 bilevel, 256 gray
//       50    4  important colours   0
//       54       palette             bilevel: white (255,255,255,0), black (0,0,0,0);
//                                    gray: entry v = (v, v, v, 0)
//
// Then the rows from the last raster row to the first. A bilevel row is the
// raster row's (width + 7) / 8 bytes and zero bytes up to ((width + 31) / 32)
// * 4; a gray row is the raster row's width bytes (raster stride
// ((width + 7) / 8) * 8) and zero bytes up to ((width + 3) / 4) * 4.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "core/Values.h"
#include "image/ByteSink.h"

namespace tarvo {

inline constexpr std::size_t kBmpHeaderBytes = 54;

struct BmpLayout {
  bool gray = false;
  std::uint32_t dataOffset = 0;
  std::uint32_t fileRowBytes = 0;
  std::uint32_t rasterRowBytes = 0;  // bytes taken from each raster row
  std::uint32_t rasterStride = 0;
  std::uint64_t fileSize = 0;
};

BmpLayout BmpLayoutFor(std::int32_t width, std::int32_t rows, std::int32_t imageType);

std::array<std::uint8_t, kBmpHeaderBytes> BmpHeader(const BmpLayout& layout, std::int32_t width,
                                                    std::int32_t rows, std::int32_t resolution);

// Writes the header in one piece, the palette, then the rows bottom-up.
// Returns 0, or -1 when the size is negative or beyond 4 GiB or the sink
// refuses a write.
int WriteBmpImage(ByteSink sink, const std::uint8_t* pixels, std::int32_t width,
                  std::int32_t rows, std::int32_t resolution, std::int32_t imageType);

}  // namespace tarvo
