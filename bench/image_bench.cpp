// Speed of the page's hot path, against references in the same run:
//
//   G4/<page>        our Group 4 page coder       vs libtiff's Group 4 encoder
//                                                   (TIFFWriteEncodedStrip into memory)
//   Turn1/<page>     our 1-bit quarter turn        vs a plain per-pixel turn
//   Turn8/<page>     our 8-bit quarter turn        vs a plain per-byte turn
//   Copy/<page>      memcpy of the page's bytes: the floor
//
// Pages are synthetic and made at start-up: an A4 text page at 200, 300 and
// 600 dpi, a dense ruled table, an error-diffused halftone and a blank page,
// all A4 at 300 dpi unless named otherwise. After the runs the program prints
// the ratios (reference time / our time).
//
//   build/bench/image_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "image/G4Coder.h"
#include "image/Rotate.h"
#include "image_libtiff.h"
#include "image_pages.h"

namespace tarvo {
namespace {

using test::Bilevel;

struct Page {
  std::string name;
  Bilevel page;
};

std::vector<Page>& Pages() {
  static std::vector<Page> pages = [] {
    std::vector<Page> p;
    p.push_back({"text200", test::TextPage(1654, 2339, 1)});
    p.push_back({"text300", test::TextPage(2480, 3508, 1)});
    p.push_back({"text600", test::TextPage(4960, 7016, 1)});
    p.push_back({"table300", test::TablePage(2480, 3508, 2)});
    p.push_back({"halftone300", test::HalftonePage(2480, 3508)});
    p.push_back({"blank300", Bilevel(2480, 3508)});
    return p;
  }();
  return pages;
}

struct CountingSink {
  std::vector<std::uint8_t> bytes;
  static bool Write(void* context, const std::uint8_t* data, std::uint32_t count) {
    auto& v = static_cast<CountingSink*>(context)->bytes;
    v.insert(v.end(), data, data + count);
    return true;
  }
};

void OurG4(benchmark::State& state, const Bilevel* page) {
  auto buffers = std::make_unique<CoderBuffers>();
  CountingSink sink;
  sink.bytes.reserve(page->bits.size());
  for (auto _ : state) {
    sink.bytes.clear();
    G4PageCoder coder(*buffers);
    (void)coder.Start(page->width, ByteSink{&sink, CountingSink::Write});
    for (std::int32_t r = 0; r < page->rows; ++r) (void)coder.CodeRow(page->row(r));
    (void)coder.Finish();
    benchmark::DoNotOptimize(sink.bytes.data());
  }
  state.counters["coded_bytes"] = static_cast<double>(sink.bytes.size());
}

void LibtiffG4(benchmark::State& state, const Bilevel* page) {
  std::vector<std::uint8_t> file;
  for (auto _ : state) {
    test::LibtiffWriteG4File(*page, file);
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["file_bytes"] = static_cast<double>(file.size());
}

void OurTurn1(benchmark::State& state, const Bilevel* page) {
  std::vector<std::uint8_t> dst(BilevelStride(page->rows) * static_cast<std::size_t>(page->width));
  for (auto _ : state) {
    RotateLeft90(1, dst.data(), page->bits.data(), page->width, page->rows);
    benchmark::DoNotOptimize(dst.data());
  }
}

void PlainTurn1(benchmark::State& state, const Bilevel* page) {
  const std::size_t dstStride = BilevelStride(page->rows);
  std::vector<std::uint8_t> dst(dstStride * static_cast<std::size_t>(page->width));
  for (auto _ : state) {
    std::fill(dst.begin(), dst.end(), 0);
    for (std::int32_t y = 0; y < page->width; ++y) {
      std::uint8_t* out = dst.data() + static_cast<std::size_t>(y) * dstStride;
      for (std::int32_t x = 0; x < page->rows; ++x) {
        if (page->get(page->width - 1 - y, x)) out[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    benchmark::DoNotOptimize(dst.data());
  }
}

// A gray page of the same size as the bilevel one.
std::vector<std::uint8_t> GrayOf(const Bilevel& page) {
  std::vector<std::uint8_t> gray(GrayStride(page.width) * static_cast<std::size_t>(page.rows));
  for (std::size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<std::uint8_t>(i * 37);
  return gray;
}

void OurTurn8(benchmark::State& state, const Bilevel* page) {
  const std::vector<std::uint8_t> src = GrayOf(*page);
  std::vector<std::uint8_t> dst(GrayStride(page->rows) * static_cast<std::size_t>(page->width));
  for (auto _ : state) {
    RotateLeft90(8, dst.data(), src.data(), page->width, page->rows);
    benchmark::DoNotOptimize(dst.data());
  }
}

void PlainTurn8(benchmark::State& state, const Bilevel* page) {
  const std::vector<std::uint8_t> src = GrayOf(*page);
  const std::size_t srcStride = GrayStride(page->width), dstStride = GrayStride(page->rows);
  std::vector<std::uint8_t> dst(dstStride * static_cast<std::size_t>(page->width));
  for (auto _ : state) {
    for (std::int32_t y = 0; y < page->width; ++y) {
      for (std::int32_t x = 0; x < page->rows; ++x) {
        dst[static_cast<std::size_t>(y) * dstStride + static_cast<std::size_t>(x)] =
            src[static_cast<std::size_t>(x) * srcStride + static_cast<std::size_t>(page->width - 1 - y)];
      }
    }
    benchmark::DoNotOptimize(dst.data());
  }
}

void Copy(benchmark::State& state, const Bilevel* page) {
  std::vector<std::uint8_t> dst(page->bits.size());
  for (auto _ : state) {
    std::memcpy(dst.data(), page->bits.data(), page->bits.size());
    benchmark::DoNotOptimize(dst.data());
  }
}

// Keeps each run's time per iteration, then prints the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Defaults : OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    // One run per benchmark, or with repetitions their median.
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        times_[run.run_name.str()] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians_[run.run_name.str()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() {
    for (const auto& [name, time] : medians_) times_[name] = time;
    std::printf("\nRatios of CPU time (reference / ours; above 1: ours is faster)\n");
    for (const Page& p : Pages()) {
      Ratio("G4 ours vs libtiff", "G4/ours/" + p.name, "G4/libtiff/" + p.name);
      Ratio("1-bit turn ours vs plain", "Turn1/ours/" + p.name, "Turn1/plain/" + p.name);
      Ratio("memcpy floor vs 1-bit turn", "Turn1/ours/" + p.name, "Copy/" + p.name);
    }
    Ratio("8-bit turn ours vs plain", "Turn8/ours/text300", "Turn8/plain/text300");
  }

 private:
  void Ratio(const char* what, const std::string& ours, const std::string& reference) const {
    const auto a = times_.find(ours), b = times_.find(reference);
    if (a == times_.end() || b == times_.end() || a->second <= 0) return;
    std::printf("  %-28s %-28s %8.2f\n", what, ours.c_str() + ours.rfind('/') + 1,
                b->second / a->second);
  }

  std::map<std::string, double> times_;
  std::map<std::string, double> medians_;
};

void Register() {
  for (const Page& p : Pages()) {
    const Bilevel* page = &p.page;
    benchmark::RegisterBenchmark(("G4/ours/" + p.name).c_str(), OurG4, page)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("G4/libtiff/" + p.name).c_str(), LibtiffG4, page)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Turn1/ours/" + p.name).c_str(), OurTurn1, page)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Turn1/plain/" + p.name).c_str(), PlainTurn1, page)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("Copy/" + p.name).c_str(), Copy, page)->Unit(benchmark::kMillisecond);
  }
  const Bilevel* text = &Pages()[1].page;
  benchmark::RegisterBenchmark("Turn8/ours/text300", OurTurn8, text)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Turn8/plain/text300", PlainTurn8, text)->Unit(benchmark::kMillisecond);
}

}  // namespace
}  // namespace tarvo

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tarvo::Register();
  tarvo::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
