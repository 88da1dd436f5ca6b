// The simulator's cost per page: a 100-page A4 300 dpi batch served through
// the ASPI entry point exactly as the driver asks for it (status poll, page
// reads, image chunks of whole rows up to 32768 bytes, the extra read),
// against copying the same image bytes as the reference.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "Bus.h"
#include "Request.h"

namespace {

using tarvo::sim::Bus;
namespace aspi = tarvo::aspi;

constexpr int kPages = 100;

aspi::SrbExecScsiCmd Request(std::initializer_list<std::uint8_t> cdb, std::uint8_t* data,
                             std::uint32_t length) {
  return tarvo::sim::MakeRequest(cdb, aspi::kSrbDirIn, data, length);
}

std::uint8_t B(std::uint32_t v, int shift) { return static_cast<std::uint8_t>(v >> shift); }

void SetWindow(Bus& bus, std::uint8_t composition, std::uint8_t bits) {
  std::vector<std::uint8_t> w(52, 0);
  w[7] = 44;
  w[11] = 300 & 0xFF, w[10] = 300 >> 8, w[13] = 300 & 0xFF, w[12] = 300 >> 8;
  // An A4 sheet fed long edge first, in 1/1200 inch, at the scan area's corner.
  const std::uint32_t width = 14031, length = 9921;
  for (int i = 0; i < 4; ++i) w[22 + i] = B(width, 24 - 8 * i), w[26 + i] = B(length, 24 - 8 * i);
  w[31] = 128, w[33] = composition, w[34] = bits;
  auto srb = Request({0x24, 0, 0, 0, 0, 0, 0, 0, 52, 0}, w.data(), 52);
  srb.SRB_Flags = aspi::kSrbDirOut | aspi::kSrbEventNotify;
  bus.SendCommand(&srb);
}

// One batch: returns the image bytes delivered.
std::size_t RunBatch(Bus& bus, std::uint32_t rowBytes) {
  std::vector<std::uint8_t> chunk(32768), small(20);
  const std::uint32_t length = 32768 / rowBytes * rowBytes;
  std::uint8_t list = 0;
  auto scan = Request({0x1B, 0, 0, 0, 1, 0}, &list, 1);
  scan.SRB_Flags = aspi::kSrbDirOut;
  bus.SendCommand(&scan);
  std::size_t total = 0;
  for (int page = 0; page < kPages; ++page) {
    auto status = Request({0xD5, 0, 0x33, 0, 20, 0}, small.data(), 20);
    bus.SendCommand(&status);
    if ((small[7] & 1) == 0) break;
    for (const std::uint8_t type : {0x84, 0x81, 0x80, 0x82}) {
      auto read = Request({0x28, 0, type, 0, 0, 0, 0, 0, 16, 0}, small.data(), 16);
      bus.SendCommand(&read);
    }
    for (int guard = 0; guard < 100000; ++guard) {
      auto read = Request({0x28, 0, 0, 0, 0, 0, B(length, 16), B(length, 8), B(length, 0), 0},
                          chunk.data(), length);
      bus.SendCommand(&read);
      if (read.SRB_TargStat != 0) {
        total += length - ((std::uint32_t{read.SenseArea[5]} << 8) | read.SenseArea[6]) -
                 (std::uint32_t{read.SenseArea[4]} << 16);
        break;
      }
      total += length;
    }
  }
  return total;
}

void BM_SimBatch(benchmark::State& state) {
  const auto composition = static_cast<std::uint8_t>(state.range(0));
  const auto bits = static_cast<std::uint8_t>(state.range(1));
  const std::uint32_t rowBytes = (bits * 3507u + 31) / 32 * 4;
  std::size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Bus bus;
    bus.AddScanner(0, 0).PlaceSheetsAtCorner(true);
    bus.ScannerAt(0, 0)->AddSyntheticPages(kPages, 42, 300);
    SetWindow(bus, composition, bits);
    state.ResumeTiming();
    bytes += RunBatch(bus, rowBytes);
  }
  state.SetItemsProcessed(state.iterations() * kPages);  // items = pages
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_SimBatch)->Args({0, 1})->Args({2, 8})->Unit(benchmark::kMillisecond)->Iterations(2);

// Reference: copying the delivered bytes of 100 pages (line art, 8-bit gray).
void BM_ReferenceCopy(benchmark::State& state) {
  const std::size_t pageBytes =
      std::size_t{(static_cast<std::uint32_t>(state.range(1)) * 3507u + 31) / 32 * 4} * 2480;
  std::vector<std::uint8_t> from(pageBytes, 0x5A), to(32768);
  for (auto _ : state) {
    for (int page = 0; page < kPages; ++page) {
      for (std::size_t at = 0; at < pageBytes; at += to.size()) {
        std::memcpy(to.data(), from.data() + at, std::min(to.size(), pageBytes - at));
        benchmark::DoNotOptimize(to.data());
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kPages);
}
BENCHMARK(BM_ReferenceCopy)->Args({0, 1})->Args({2, 8})->Unit(benchmark::kMillisecond);

// The synthetic page alone.
void BM_SyntheticPage(benchmark::State& state) {
  tarvo::sim::GrayRaster raster;
  std::uint32_t index = 0;
  for (auto _ : state) {
    tarvo::sim::RenderSynthetic(
        tarvo::sim::SyntheticPlan{42, index++, static_cast<std::uint32_t>(state.range(0))}, raster);
    benchmark::DoNotOptimize(raster.pixels.data());
  }
}
BENCHMARK(BM_SyntheticPage)->Arg(200)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
