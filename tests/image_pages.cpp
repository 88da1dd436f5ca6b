#include "image_pages.h"

#include <cmath>
#include <random>
#include <vector>

namespace tarvo::test {

Bilevel NoisePage(std::int32_t width, std::int32_t rows, double density, std::uint32_t seed) {
  Bilevel page(width, rows);
  std::mt19937 rng(seed);
  std::bernoulli_distribution black(density);
  for (std::int32_t y = 0; y < rows; ++y) {
    for (std::int32_t x = 0; x < width; ++x) page.set(x, y, black(rng));
  }
  return page;
}

Bilevel TextPage(std::int32_t width, std::int32_t rows, std::uint32_t seed) {
  Bilevel page(width, rows);
  std::mt19937 rng(seed);
  const std::int32_t scale = std::max(1, width / 850);  // about 3 at 300 dpi
  const std::int32_t lineHeight = 16 * scale;
  const std::int32_t glyph = 7 * scale;
  std::uniform_int_distribution<int> shape(0, 9);
  std::uniform_int_distribution<int> wordLength(2, 9);
  for (std::int32_t top = rows / 12; top + lineHeight < rows - rows / 12; top += lineHeight) {
    std::int32_t x = width / 10;
    while (x + glyph < width - width / 10) {
      const int letters = wordLength(rng);
      for (int l = 0; l < letters && x + glyph < width - width / 10; ++l) {
        const int s = shape(rng);
        const std::int32_t ascent = s < 3 ? 3 * scale : 0;
        for (std::int32_t y = top + 3 * scale - ascent; y < top + 10 * scale; ++y) {
          for (std::int32_t dx = 0; dx < glyph - scale; ++dx) {
            const bool stemLeft = dx < scale + scale / 2;
            const bool stemRight = dx >= glyph - 2 * scale - scale / 2 && (s & 1);
            const bool bar = (y - top) % (4 * scale) < scale && (s & 2);
            const bool round = s >= 6 && std::abs((y - top) - 6 * scale) + std::abs(dx - 3 * scale) ==
                                             3 * scale;
            if (stemLeft || stemRight || bar || round) page.set(x + dx, y, true);
          }
        }
        x += glyph;
      }
      x += glyph;
    }
  }
  return page;
}

Bilevel TablePage(std::int32_t width, std::int32_t rows, std::uint32_t seed) {
  Bilevel page = TextPage(width, rows, seed);
  const std::int32_t cell = std::max(8, width / 24);
  for (std::int32_t y = 0; y < rows; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      if (y % (cell / 2) < 2 || x % cell < 2) page.set(x, y, true);
    }
  }
  return page;
}

Bilevel HalftonePage(std::int32_t width, std::int32_t rows) {
  Bilevel page(width, rows);
  std::vector<float> error(static_cast<std::size_t>(width) + 2, 0.0f);
  std::vector<float> next(static_cast<std::size_t>(width) + 2, 0.0f);
  for (std::int32_t y = 0; y < rows; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / rows;
      const float gray = static_cast<float>(
          0.5 + 0.35 * std::sin(fx * 11.0 + std::cos(fy * 7.0)) * std::cos(fy * 9.0 - fx * 3.0));
      const float value = gray + error[static_cast<std::size_t>(x) + 1];
      const bool black = value < 0.5f;
      const float e = value - (black ? 0.0f : 1.0f);
      page.set(x, y, black);
      error[static_cast<std::size_t>(x) + 2] += e * 7 / 16;
      next[static_cast<std::size_t>(x)] += e * 3 / 16;
      next[static_cast<std::size_t>(x) + 1] += e * 5 / 16;
      next[static_cast<std::size_t>(x) + 2] += e * 1 / 16;
    }
    error.swap(next);
    std::fill(next.begin(), next.end(), 0.0f);
  }
  return page;
}

}  // namespace tarvo::test
