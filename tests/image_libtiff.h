// libtiff as the judge of Group 4 data: its encoder and decoder over TIFF
// files held in memory.
#pragma once

#include <cstdint>
#include <vector>

namespace tarvo::test {

// One bilevel raster: rows of (width + 7) / 8 bytes, 1 = black.
struct Bilevel {
  std::int32_t width = 0;
  std::int32_t rows = 0;
  std::vector<std::uint8_t> bits;

  Bilevel() = default;
  Bilevel(std::int32_t w, std::int32_t h) : width(w), rows(h), bits(static_cast<std::size_t>((w + 7) / 8 * h)) {}
  std::size_t stride() const { return static_cast<std::size_t>((width + 7) / 8); }
  std::uint8_t* row(std::int32_t r) { return bits.data() + stride() * r; }
  const std::uint8_t* row(std::int32_t r) const { return bits.data() + stride() * r; }
  bool get(std::int32_t x, std::int32_t y) const { return (row(y)[x / 8] >> (7 - x % 8)) & 1; }
  void set(std::int32_t x, std::int32_t y, bool black) {
    const auto m = static_cast<std::uint8_t>(0x80 >> (x % 8));
    row(y)[x / 8] = static_cast<std::uint8_t>(black ? (row(y)[x / 8] | m) : (row(y)[x / 8] & ~m));
  }
  // Sets (or clears) the bits past the width in every row.
  void SetFill(bool black = true) {
    const auto fill = static_cast<std::uint8_t>(0xFF >> (width % 8));
    for (std::int32_t r = 0; width % 8 != 0 && r < rows; ++r) {
      std::uint8_t& b = row(r)[stride() - 1];
      b = static_cast<std::uint8_t>(black ? b | fill : b & ~fill);
    }
  }
};

// libtiff's Group 4 coding of the raster (one strip, FillOrder 1).
std::vector<std::uint8_t> LibtiffEncodeG4(const Bilevel& page);

// A whole Group 4 TIFF file of the raster by libtiff's encoder; false on failure.
bool LibtiffWriteG4File(const Bilevel& page, std::vector<std::uint8_t>& file);

// Decodes Group 4 data with libtiff into a raster of the given size; false on an error.
bool LibtiffDecodeG4(const std::vector<std::uint8_t>& coded, std::int32_t width, std::int32_t rows, Bilevel& out);

}  // namespace tarvo::test
