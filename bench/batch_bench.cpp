// Whole batches through the driver: 100 A4 300 dpi pages from the in-process
// simulator through ReadPage into a Group 4 document (turned, the default),
// an uncoded document, gray JPEG and BMP files, and the same Group 4 batch in
// halftone (the scanner's ordered dither makes many short runs on the
// photo-like area, the coder's hardest case). The reference in the same run is
// the simulator alone serving the same pages, so that the driver's own cost
// per page is the difference. A fast production sheet-fed scanner takes
// about 150 ms per image (200 images a minute).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Bus.h"
#include "platform/posix/PosixPlatform.h"
#include "scan/Batch.h"
#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"

namespace {

using namespace tarvo;

constexpr std::uint32_t kPages = 100;

struct Output {
  std::int32_t imageType, bits, fileType, compression;
  bool document;
};

class Scratch {
 public:
  Scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvoscn-bench-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void Set(DriverContext& c, std::int32_t id, std::int32_t value) { (void)ParSet(c, id, &value); }

// A driver context with the in-process simulator behind it, probed, the
// hopper holding kPages synthetic A4 300 dpi pages and the window over them.
struct Rig {
  Rig(const std::string& root, std::uint64_t seed)
      : platform(PosixPlatformOptions{root, false, "", ""}), context(platform) {
    sim::Rt650& scanner = bus.AddScanner(0, 0);
    SetProvider(context.transport, &bus);
    probed = Probe(context.Link()) == Result::Ok;
    scanner.AddSyntheticPages(kPages, seed, 300);
    context.settings.scanWidth = 2480;
    context.settings.scanLength = 3504;
  }
  PosixPlatform platform;
  DriverContext context;
  sim::Bus bus;
  bool probed = false;
};

// One batch through the driver; returns the pages stored.
std::uint32_t DriverBatch(const Output& out, const std::string& folder, std::uint64_t seed) {
  Rig rig(folder + "/c", seed);
  if (!rig.probed) return 0;
  DriverContext& context = rig.context;
  Set(context, PAR_IMAGE_TYPE, out.imageType);
  Set(context, PAR_BITS_PER_PIXEL, out.bits);
  Set(context, PAR_FILE_TYPE, out.fileType);
  Set(context, PAR_COMPRESSION, out.compression);
  const std::string doc = folder + "/batch.tif";
  std::uint32_t position = 0;
  if (StartScan(context, out.document ? doc.c_str() : nullptr, &position, nullptr) != Result::Ok) {
    return 0;
  }
  std::vector<std::uint8_t> page(3504u * 2480u);
  const std::string file = folder + (out.fileType == 2 ? "/page.jpg" : "/page.bmp");
  std::uint32_t stored = 0;
  while (ReadPage(context, out.document ? nullptr : file.c_str(), page.data(), nullptr) ==
         Result::Ok) {
    ++stored;
  }
  (void)CloseDocument(context, context.state.document);
  return stored;
}

// The same pages served by the simulator alone, read as the driver reads them.
std::uint32_t SimulatorBatch(std::int32_t imageType, std::uint64_t seed) {
  const bool gray = imageType == 4;
  Rig rig("/nonexistent-root", seed);
  if (!rig.probed) return 0;
  DriverContext& context = rig.context;
  context.settings.imageType = imageType;
  context.settings.bitsPerPixel = gray ? 8 : 1;
  (void)PushWindow(context.Link());
  (void)Execute(context, 0, CmdScan(0));
  std::vector<std::uint8_t> chunk(32768);
  const std::uint32_t rowBytes = gray ? 2480 : 312;
  const std::uint32_t length = 16384 / rowBytes * rowBytes;
  std::uint32_t pages = 0;
  for (;;) {
    if (WaitForPage(context, nullptr).wait != PageWait::kReady) break;
    std::uint16_t status = 0;
    for (int guard = 0; guard < 100000 && status == 0; ++guard) {
      status = Execute(context, 0, CmdReadImage(ByteSpan(chunk.data(), length), length)).result;
    }
    ++pages;
  }
  return pages;
}

// Pages per second of CPU time: the time per page is its inverse.
void Report(benchmark::State& state, std::uint32_t pages) {
  state.counters["pages"] = pages;
  state.counters["pages_per_s"] = benchmark::Counter(
      static_cast<double>(pages) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void BM_Driver(benchmark::State& state, Output out) {
  Scratch scratch;
  std::uint32_t pages = 0;
  std::uint64_t seed = 1;
  for (auto _ : state) pages = DriverBatch(out, scratch.path(), seed++);
  Report(state, pages);
}

void BM_SimulatorOnly(benchmark::State& state, std::int32_t imageType) {
  std::uint32_t pages = 0;
  std::uint64_t seed = 1;
  for (auto _ : state) pages = SimulatorBatch(imageType, seed++);
  Report(state, pages);
}

BENCHMARK_CAPTURE(BM_SimulatorOnly, lineart, 1)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Driver, group4_turned, Output{1, 1, 1, 3, true})
    ->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Driver, uncoded_turned, Output{1, 1, 1, 0, true})
    ->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SimulatorOnly, halftone, 10)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Driver, halftone_group4_turned, Output{10, 1, 1, 3, true})
    ->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SimulatorOnly, gray, 4)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Driver, gray_jpeg, Output{4, 8, 2, 4, false})
    ->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Driver, gray_bmp, Output{4, 8, 8, 0, false})
    ->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
