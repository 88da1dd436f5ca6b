// The page path (quarter turn and Group 4 coding of a 200 dpi A4 line-art
// page) built for one architecture, timed against references in the same
// run: memcpy of the page's bytes (the floor) and a plain per-pixel turn.
// It needs only the two image sources, so it builds as a 32-bit program
// where Google Benchmark has no 32-bit library (scripts/bench-arch.sh).
// Prints one line: the best of several rounds, per page, in microseconds,
// and each time as a multiple of the memcpy floor.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "image/G4Coder.h"
#include "image/Rotate.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int32_t kWidth = 1656;  // A4 at 200 dpi, as the scanner sends it
constexpr std::int32_t kRows = 2320;

// Text-like line art: lines of glyph-sized black blocks with gaps.
std::vector<std::uint8_t> TextPage() {
  const std::size_t stride = tarvo::BilevelStride(kWidth);
  std::vector<std::uint8_t> page(stride * kRows, 0);
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
  for (std::int32_t line = 100; line + 30 < kRows - 100; line += 40) {
    for (std::int32_t x = 120; x + 20 < kWidth - 120;) {
      const std::int32_t w = 6 + static_cast<std::int32_t>(next() % 14);
      if (next() % 6 != 0) {
        for (std::int32_t y = line + static_cast<std::int32_t>(next() % 6); y < line + 26; ++y) {
          for (std::int32_t i = x; i < x + w; i += 1 + static_cast<std::int32_t>(next() % 3)) {
            page[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(i / 8)] |=
                static_cast<std::uint8_t>(0x80u >> (i % 8));
          }
        }
      }
      x += w + 3 + static_cast<std::int32_t>(next() % 5);
    }
  }
  return page;
}

void PlainTurn(std::uint8_t* dst, const std::uint8_t* src, std::int32_t w, std::int32_t h) {
  const std::size_t in = tarvo::BilevelStride(w), out = tarvo::BilevelStride(h);
  std::memset(dst, 0, out * static_cast<std::size_t>(w));
  for (std::int32_t y = 0; y < h; ++y) {
    for (std::int32_t x = 0; x < w; ++x) {
      if (src[static_cast<std::size_t>(y) * in + static_cast<std::size_t>(x / 8)] & (0x80 >> (x % 8))) {
        const std::int32_t ny = w - 1 - x;
        dst[static_cast<std::size_t>(ny) * out + static_cast<std::size_t>(y / 8)] |=
            static_cast<std::uint8_t>(0x80u >> (y % 8));
      }
    }
  }
}

template <typename F>
double BestMicroseconds(F&& run) {
  double best = 1e30;
  for (int round = 0; round < 15; ++round) {
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main() {
  const std::vector<std::uint8_t> page = TextPage();
  std::vector<std::uint8_t> turned(tarvo::BilevelStride(kRows) * kWidth);
  std::vector<std::uint8_t> copy(page.size());
  auto buffers = std::make_unique<tarvo::CoderBuffers>();
  std::uint32_t coded = 0;
  const double memcpyUs = BestMicroseconds([&] {
    std::memcpy(copy.data(), page.data(), page.size());
    __asm__ volatile("" : : "r"(copy.data()) : "memory");
  });
  const double plainUs = BestMicroseconds([&] { PlainTurn(turned.data(), page.data(), kWidth, kRows); });
  const double turnUs = BestMicroseconds([&] {
    tarvo::RotateLeft90(1, turned.data(), page.data(), kWidth, kRows);
  });
  const double codeUs = BestMicroseconds([&] {
    tarvo::G4PageCoder coder(*buffers);
    const tarvo::ByteSink sink{&coded, [](void* c, const std::uint8_t*, std::uint32_t n) {
                                 *static_cast<std::uint32_t*>(c) += n;
                                 return true;
                               }};
    coded = 0;
    const std::size_t stride = tarvo::BilevelStride(kRows);
    (void)coder.Start(kRows, sink);
    for (std::int32_t y = 0; y < kWidth; ++y) (void)coder.CodeRow(turned.data() + y * stride);
    (void)coder.Finish();
  });
  std::printf("%-14s memcpy %7.1f us | plain turn %8.1f us (%5.1fx) | turn %7.1f us (%4.1fx) | "
              "G4 %7.1f us (%4.1fx), %u bytes\n",
              TARVO_ARCH_NAME, memcpyUs, plainUs, plainUs / memcpyUs, turnUs, turnUs / memcpyUs,
              codeUs, codeUs / memcpyUs, coded);
  return 0;
}
