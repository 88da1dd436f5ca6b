// Synthetic bilevel pages for the coder and turn tests and benchmarks.
#pragma once

#include <cstdint>

#include "image_libtiff.h"

namespace tarvo::test {

// Each pixel black with probability `density`.
Bilevel NoisePage(std::int32_t width, std::int32_t rows, double density, std::uint32_t seed);
// Lines of glyph-like strokes and blobs on white, with margins, like a text page.
Bilevel TextPage(std::int32_t width, std::int32_t rows, std::uint32_t seed);
// Horizontal and vertical rules of a dense table with short text in the cells.
Bilevel TablePage(std::int32_t width, std::int32_t rows, std::uint32_t seed);
// A smooth gray picture error-diffused to black and white.
Bilevel HalftonePage(std::int32_t width, std::int32_t rows);

}  // namespace tarvo::test
