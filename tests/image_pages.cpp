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
  const std::int32_t k = std::max(1, width / 850), glyph = 7 * k, right = width - width / 10;  // k: 3 at 300 dpi
  std::uniform_int_distribution<int> shape(0, 9), wordLength(2, 9);
  for (std::int32_t top = rows / 12; top + 16 * k < rows - rows / 12; top += 16 * k) {
    for (std::int32_t x = width / 10; x + glyph < right; x += glyph) {  // words, a space after each
      for (int letters = wordLength(rng); letters > 0 && x + glyph < right; --letters, x += glyph) {
        const int s = shape(rng);  // stems, bars, ascender, a round stroke
        for (std::int32_t y = top + (s < 3 ? 0 : 3 * k); y < top + 10 * k; ++y) {
          for (std::int32_t dx = 0; dx < glyph - k; ++dx) {
            const bool round = s >= 6 && std::abs(y - top - 6 * k) + std::abs(dx - 3 * k) == 3 * k;
            if (dx < k + k / 2 || (dx >= glyph - 2 * k - k / 2 && (s & 1)) || ((y - top) % (4 * k) < k && (s & 2)) || round) {
              page.set(x + dx, y, true);
            }
          }
        }
      }
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
  std::vector<float> error(static_cast<std::size_t>(width) + 2, 0.0f), next = error;
  for (std::int32_t y = 0; y < rows; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / rows;
      const std::size_t i = static_cast<std::size_t>(x);
      const float value = static_cast<float>(0.5 + 0.35 * std::sin(fx * 11.0 + std::cos(fy * 7.0)) *
                                                       std::cos(fy * 9.0 - fx * 3.0)) + error[i + 1];
      const float e = value - (value < 0.5f ? 0.0f : 1.0f);  // the error diffused onwards
      page.set(x, y, value < 0.5f);
      error[i + 2] += e * 7 / 16, next[i] += e * 3 / 16, next[i + 1] += e * 5 / 16, next[i + 2] += e * 1 / 16;
    }
    error.swap(next);
    std::fill(next.begin(), next.end(), 0.0f);
  }
  return page;
}

}  // namespace tarvo::test
