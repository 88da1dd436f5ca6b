// Speed of the page's hot path, against references in the same run:
//
//   G4/<page>        our Group 4 page coder       vs libtiff's Group 4 encoder
//                                                   (TIFFWriteEncodedStrip into memory)
//   Turn1/<page>     our 1-bit quarter turn        vs Leptonica's pixRotate90 (when the
//                                                   build found Leptonica) and a plain
//                                                   per-pixel turn
//   Turn8/<page>     our 8-bit quarter turn        vs a plain per-byte turn
//   Copy/<page>      memcpy of the page's bytes: the floor
//
// Pages: the PBM files that scripts/make-bench-pages.sh makes (text200/300/600,
// table200/300/600, halftone300, blank300), read from $TARVO_BENCH_PAGES or
// else <build>/bench-pages; the simulator's synthetic scan pages at 200, 300
// and 600 dpi, thresholded at 128 as the scanner's line-art mode does; and,
// only when no PBM file is found, the test suite's synthetic text, table,
// halftone and blank pages. After the runs the program prints a table of
// times and ratios (reference time / our time) and the goals.
//
//   scripts/bench.sh            makes the pages, builds and runs everything
//   build/bench/image_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#ifdef TARVO_HAVE_LEPTONICA
#include <allheaders.h>
#endif

#include "Page.h"
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

#ifndef TARVO_BENCH_PAGES_DIR
#define TARVO_BENCH_PAGES_DIR "build/bench-pages"
#endif

// Gray below the threshold is black, as in the scanner's line-art mode.
Bilevel FromGray(const sim::GrayRaster& gray, std::uint8_t threshold) {
  Bilevel b(static_cast<std::int32_t>(gray.width), static_cast<std::int32_t>(gray.height));
  for (std::int32_t y = 0; y < b.rows; ++y) {
    const std::uint8_t* in = gray.Row(static_cast<std::uint32_t>(y));
    for (std::int32_t x = 0; x < b.width; ++x) {
      if (in[x] < threshold) b.set(x, y, true);
    }
  }
  return b;
}

// The rendered pages that are present in the pages folder, in a fixed order.
void AddFilePages(std::vector<Page>& pages) {
  const char* env = std::getenv("TARVO_BENCH_PAGES");
  const std::string dir = env != nullptr && *env != '\0' ? env : TARVO_BENCH_PAGES_DIR;
  static constexpr const char* kNames[] = {"text200",  "text300",  "text600",     "table200",
                                           "table300", "table600", "halftone300", "blank300"};
  for (const char* name : kNames) {
    const std::string path = dir + "/" + name + ".pbm";
    if (access(path.c_str(), R_OK) != 0) continue;
    sim::Page file;
    const sim::PnmError error = sim::LoadPnmFile(path, 300, file);
    if (error != sim::PnmError::kNone) {
      std::fprintf(stderr, "image_bench: %s: %s\n", path.c_str(), sim::PnmErrorText(error));
      continue;
    }
    pages.push_back({name, FromGray(file.raster, 128)});
  }
  std::fprintf(stderr, "image_bench: %zu rendered pages from %s%s\n", pages.size(), dir.c_str(),
               pages.empty() ? " (run scripts/make-bench-pages.sh); using synthetic pages" : "");
}

std::vector<Page>& Pages() {
  static std::vector<Page> pages = [] {
    std::vector<Page> p;
    AddFilePages(p);
    if (p.empty()) {
      p.push_back({"syn-text200", test::TextPage(1654, 2339, 1)});
      p.push_back({"syn-text300", test::TextPage(2480, 3508, 1)});
      p.push_back({"syn-text600", test::TextPage(4960, 7016, 1)});
      p.push_back({"syn-table300", test::TablePage(2480, 3508, 2)});
      p.push_back({"syn-halftone300", test::HalftonePage(2480, 3508)});
      p.push_back({"syn-blank300", Bilevel(2480, 3508)});
    }
    for (const std::uint32_t dpi : {200u, 300u, 600u}) {
      sim::SyntheticPlan plan;
      plan.seed = 7;
      plan.dpi = dpi;
      sim::Page scan;
      if (!sim::MakeSyntheticPage(plan, scan)) continue;
      scan.Materialize();
      p.push_back({"scan" + std::to_string(dpi), FromGray(scan.raster, 128)});
    }
    return p;
  }();
  return pages;
}

// The page the 8-bit turn is measured on: the first 300 dpi page.
const Page& TurnPage() {
  for (const Page& p : Pages()) {
    if (p.name.ends_with("300")) return p;
  }
  return Pages().front();
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

#ifdef TARVO_HAVE_LEPTONICA
// The page as a Leptonica 1-bit image (32-bit words in host order, 1 = black).
PIX* PixOf(const Bilevel& page) {
  PIX* pix = pixCreate(page.width, page.rows, 1);
  if (pix == nullptr) return nullptr;
  auto* data = reinterpret_cast<std::uint8_t*>(pixGetData(pix));
  const std::size_t wplBytes = static_cast<std::size_t>(pixGetWpl(pix)) * 4;
  for (std::int32_t r = 0; r < page.rows; ++r) {
    std::memcpy(data + static_cast<std::size_t>(r) * wplBytes, page.row(r), page.stride());
  }
  pixEndianByteSwap(pix);
  return pix;
}

// True when Leptonica's turn of the page equals ours, bit for bit.
bool SameTurn(PIX* turned, const std::vector<std::uint8_t>& ours, std::size_t oursStride) {
  PIX* copy = pixCopy(nullptr, turned);
  if (copy == nullptr) return false;
  pixEndianByteSwap(copy);
  const auto* data = reinterpret_cast<const std::uint8_t*>(pixGetData(copy));
  const std::size_t wplBytes = static_cast<std::size_t>(pixGetWpl(copy)) * 4;
  bool same = static_cast<std::size_t>(pixGetHeight(copy)) * oursStride == ours.size();
  for (std::size_t r = 0; same && r < static_cast<std::size_t>(pixGetHeight(copy)); ++r) {
    same = std::memcmp(data + r * wplBytes, ours.data() + r * oursStride, oursStride) == 0;
  }
  pixDestroy(&copy);
  return same;
}

void LeptTurn1(benchmark::State& state, const Bilevel* page) {
  setMsgSeverity(L_SEVERITY_NONE);
  PIX* src = PixOf(*page);
  const std::size_t dstStride = BilevelStride(page->rows);
  std::vector<std::uint8_t> ours(dstStride * static_cast<std::size_t>(page->width));
  RotateLeft90(1, ours.data(), page->bits.data(), page->width, page->rows);
  PIX* check = src != nullptr ? pixRotate90(src, -1) : nullptr;
  const bool same = check != nullptr && SameTurn(check, ours, dstStride);
  pixDestroy(&check);
  if (!same) {
    pixDestroy(&src);
    state.SkipWithError("pixRotate90 differs from RotateLeft90");
    return;
  }
  for (auto _ : state) {
    PIX* turned = pixRotate90(src, -1);  // counter-clockwise, like RotateLeft90
    benchmark::DoNotOptimize(turned);
    pixDestroy(&turned);
  }
  pixDestroy(&src);
}
#endif

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
    std::printf("\nCPU time per page in ms; ratio = reference / ours (above 1: ours is faster)\n\n");
    std::printf("| Page | G4 ours | libtiff | ratio | turn ours | pixRotate90 | ratio | plain | ratio "
                "| memcpy |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Page& p : Pages()) {
      const std::string& n = p.name;
      if (times_.find("G4/ours/" + n) == times_.end() && times_.find("Turn1/ours/" + n) == times_.end())
        continue;  // filtered out
      std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", n.c_str(),
                  Ms("G4/ours/" + n).c_str(), Ms("G4/libtiff/" + n).c_str(),
                  Ratio("G4/ours/" + n, "G4/libtiff/" + n).c_str(), Ms("Turn1/ours/" + n).c_str(),
                  Ms("Turn1/leptonica/" + n).c_str(),
                  Ratio("Turn1/ours/" + n, "Turn1/leptonica/" + n).c_str(),
                  Ms("Turn1/plain/" + n).c_str(), Ratio("Turn1/ours/" + n, "Turn1/plain/" + n).c_str(),
                  Ms("Copy/" + n).c_str());
    }
    const std::string turn8 = TurnPage().name;
    if (times_.count("Turn8/ours/" + turn8) != 0) {
      std::printf("\n8-bit turn, %s: ours %s ms, plain %s ms, ratio %s\n", turn8.c_str(),
                  Ms("Turn8/ours/" + turn8).c_str(), Ms("Turn8/plain/" + turn8).c_str(),
                  Ratio("Turn8/ours/" + turn8, "Turn8/plain/" + turn8).c_str());
    }
    PrintGoals();
  }

 private:
  // The goals, by the kind of page (the name up to its resolution).
  void PrintGoals() const {
    std::printf("\nGoals\n");
    for (const Page& p : Pages()) {
      const std::string& n = p.name;
      const bool halftone = n.find("halftone") != std::string::npos;
      const bool blank = n.find("blank") != std::string::npos;
      const double need = halftone ? 4.0 : blank ? 1.0 : 3.0;
      Goal("G4 vs libtiff", n, "G4/ours/" + n, "G4/libtiff/" + n, need);
      if (n.find("text300") != std::string::npos) {
        Goal("turn vs pixRotate90", n, "Turn1/ours/" + n, "Turn1/leptonica/" + n, 4.0);
      }
      if (blank) Goal("turn vs pixRotate90", n, "Turn1/ours/" + n, "Turn1/leptonica/" + n, 1.0);
      if (halftone) {
        // Content-independent: the halftone turns about as fast as the text
        // page of the same size (within 10%).
        const std::string text = std::string(n).replace(n.find("halftone"), 8, "text");
        Goal("turn text vs halftone time", n, "Turn1/ours/" + n, "Turn1/ours/" + text, 0.9);
      }
    }
  }

  void Goal(const char* what, const std::string& page, const std::string& ours,
            const std::string& reference, double need) const {
    const double r = RatioOf(ours, reference);
    if (r <= 0) return;
    std::printf("  %-28s %-16s %6.2f (goal >= %.1f) %s\n", what, page.c_str(), r, need,
                r >= need ? "met" : "NOT MET");
  }

  double RatioOf(const std::string& ours, const std::string& reference) const {
    const auto a = times_.find(ours), b = times_.find(reference);
    if (a == times_.end() || b == times_.end() || a->second <= 0) return 0;
    return b->second / a->second;
  }

  std::string Ratio(const std::string& ours, const std::string& reference) const {
    const double r = RatioOf(ours, reference);
    if (r <= 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", r);
    return text;
  }

  // Benchmarks report in ms (Unit(kMillisecond)).
  std::string Ms(const std::string& name) const {
    const auto t = times_.find(name);
    if (t == times_.end()) return "-";
    char text[32];
    std::snprintf(text, sizeof text, t->second < 0.1 ? "%.3f" : t->second < 10 ? "%.2f" : "%.1f",
                  t->second);
    return text;
  }

  std::map<std::string, double> times_;
  std::map<std::string, double> medians_;
};

void Register() {
  const auto ms = benchmark::kMillisecond;
  for (const Page& p : Pages()) {
    const Bilevel* page = &p.page;
    benchmark::RegisterBenchmark(("G4/ours/" + p.name).c_str(), OurG4, page)->Unit(ms);
    benchmark::RegisterBenchmark(("G4/libtiff/" + p.name).c_str(), LibtiffG4, page)->Unit(ms);
    benchmark::RegisterBenchmark(("Turn1/ours/" + p.name).c_str(), OurTurn1, page)->Unit(ms);
#ifdef TARVO_HAVE_LEPTONICA
    benchmark::RegisterBenchmark(("Turn1/leptonica/" + p.name).c_str(), LeptTurn1, page)->Unit(ms);
#endif
    benchmark::RegisterBenchmark(("Turn1/plain/" + p.name).c_str(), PlainTurn1, page)->Unit(ms);
    benchmark::RegisterBenchmark(("Copy/" + p.name).c_str(), Copy, page)->Unit(ms);
  }
  const Page& turn = TurnPage();
  benchmark::RegisterBenchmark(("Turn8/ours/" + turn.name).c_str(), OurTurn8, &turn.page)->Unit(ms);
  benchmark::RegisterBenchmark(("Turn8/plain/" + turn.name).c_str(), PlainTurn8, &turn.page)->Unit(ms);
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
