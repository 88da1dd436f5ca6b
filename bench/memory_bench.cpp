// Memory over a long batch: rt650scan scans a 100-page and a 10,000-page
// batch from the simulated RT650 (the provider library, as a user runs it)
// and the peak resident size of each run is compared; the 100-page batch is
// the reference. The window is a small area of each sheet, so that the
// pages are cheap and the count of pages is what varies.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Peak resident kilobytes of one run, or -1.
long RunBatch(long pages) {
  char folder[] = "/tmp/rt650-memory-XXXXXX";
  if (mkdtemp(folder) == nullptr) return -1;
  const std::string dir = folder;
  const std::string config = dir + "/sim.conf";
  if (std::FILE* f = std::fopen(config.c_str(), "w")) {
    std::fprintf(f, "scanner 0 0\nsynthetic %ld size a5 dpi 200\n", pages);
    std::fclose(f);
  }
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder) != 0) _exit(126);
    setenv("TARVOSCN_ROOT", (dir + "/root").c_str(), 1);
    const std::string simulate = "--simulate=" + config;
    std::vector<std::string> args = {RT650SCAN, simulate, "-q", "--resolution", "200", "-x", "20",
                                     "-y", "20", "-o", "batch.tif"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(RT650SCAN, argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  const bool ok = wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) &&
                  WEXITSTATUS(status) == 0;
  const std::string clean = "rm -rf '" + dir + "'";
  if (std::system(clean.c_str()) != 0) return -1;
  return ok ? usage.ru_maxrss : -1;
}

long gReference = 0;

void BM_BatchPeakMemory(benchmark::State& state) {
  long peak = 0;
  for (auto _ : state) peak = RunBatch(state.range(0));
  if (peak < 0) state.SkipWithError("rt650scan failed");
  if (state.range(0) == 100) gReference = peak;
  state.counters["peak_kb"] = static_cast<double>(peak);
  state.counters["over_100_pages_kb"] = static_cast<double>(peak - gReference);
}
BENCHMARK(BM_BatchPeakMemory)->Arg(100)->Arg(10000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
