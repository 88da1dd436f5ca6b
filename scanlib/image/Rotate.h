// The quarter turn of a page raster and its bit-block helpers.
//
// RotateLeft90 turns a raster of W pixels by H rows a quarter turn
// counterclockwise into H pixels by W rows: destination pixel (x, y) is
// source pixel (W - 1 - y, x); the source's top edge becomes the left edge.
//
//   1 bit per pixel: source rows (W + 7) / 8 bytes, destination rows
//                    (H + 7) / 8 bytes; the fill bits of destination rows are 0.
//   8 bits per pixel: source rows ((W + 7) / 8) * 8 bytes, destination rows
//                    ((H + 7) / 8) * 8 bytes; fill bytes are left untouched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo {

// For k = 0..7, bit 7 - n of src[k * stride] becomes bit 7 - k of *dst (row 0
// in the most significant bit). An n outside 0..7 leaves *dst untouched.
void GatherBitColumn(std::uint8_t* dst, const std::uint8_t* src, int n, std::size_t stride);

// Turns one 8 by 8 bit block: destination row k collects the source column k
// places from the right of the byte.
void TransposeBlock8(std::uint8_t* dst, std::size_t dstStride, const std::uint8_t* src,
                     std::size_t srcStride);

// Turns a whole raster (bitsPerPixel 1 or 8; any other value does nothing).
// A width or height below 1 leaves the destination untouched.
void RotateLeft90(int bitsPerPixel, std::uint8_t* dst, const std::uint8_t* src,
                  std::int32_t width, std::int32_t height);

// Row lengths of the rasters above.
constexpr std::size_t BilevelStride(std::int32_t width) {
  return static_cast<std::size_t>((width + 7) / 8);
}
constexpr std::size_t GrayStride(std::int32_t width) {
  return static_cast<std::size_t>((width + 7) / 8) * 8;
}

}  // namespace tarvo
