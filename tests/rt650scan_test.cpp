// rt650scan run as a user runs it, with the simulated RT650 in a fresh folder per test;
// libtiff, libjpeg and libpng judge its files.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "core/Bytes.h"
#include "support/ImageRead.h"
#include "support/TempDir.h"
#include "tiff_support.h"

namespace tarvo::test {
namespace {

using Names = std::vector<std::string>;

struct Outcome {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

class Rt650scanTest : public ::testing::Test {
 protected:
  // Starts the program in the test's folder with TARVOSCN_ROOT there.
  // `fileLimit` > 0: files may not grow past it, as on a full disk.
  pid_t Start(std::vector<std::string> args, rlim_t fileLimit = 0) {
    const pid_t pid = fork();
    if (pid == 0) {
      const rlimit limit{fileLimit, fileLimit};
      if (chdir(dir_.path().c_str()) != 0) _exit(126);
      if (fileLimit > 0 && (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0)) _exit(126);
      const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
      setenv("TARVOSCN_ROOT", dir_.File("root").c_str(), 1);
      unsetenv("TARVOSCN_ASPI");
      unsetenv("RT650SIM_CONFIG");
      std::string program = RT650SCAN;
      std::vector<char*> argv{program.data()};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }
  Outcome Finish(pid_t pid) {
    Outcome run;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid) run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFileBytes(dir_.File("stdout.txt"));
    run.err = ReadFileBytes(dir_.File("stderr.txt"));
    return run;
  }
  Outcome Rt650scan(const std::vector<std::string>& args) { return Finish(Start(args)); }
  // A simulator configuration in the test's folder; returns --simulate=PATH.
  std::string Simulator(const std::string& text, const std::string& name = "sim.conf") {
    WriteFileBytes(dir_.File(name), text);
    return "--simulate=" + dir_.File(name);
  }
  std::vector<LibtiffPage> Pages(const std::string& name) { return ReadWithLibtiff(dir_.File(name)).pages; }

  TempDir dir_;
};

Gray ReadTiffGray(const std::string& path) {
  const LibtiffFile file = ReadWithLibtiff(path);
  if (file.pages.size() != 1 || !file.errors.empty()) return {};
  const LibtiffPage& p = file.pages[0];
  Gray g{p.width, p.length, {}, {}};  // 0 black
  for (std::uint32_t y = 0; y < p.length; ++y) {
    for (std::uint32_t x = 0; x < p.width; ++x) {
      const bool bit = (p.pixels[std::size_t{y} * ((p.width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1;
      g.pixels.push_back(bit != (p.photometric == PHOTOMETRIC_MINISBLACK) ? 0 : 255);
    }
  }
  return g;
}


// The synthetic page's ruled table lies in its top third: an upright page has rows ruled (dark
// across most of its width) there and nowhere in its lower half (none on its side; low upside down).
bool Upright(const Gray& g) {
  bool ruledHigh = false;
  for (std::uint32_t y = 0; y < g.height; ++y) {
    const auto row = g.pixels.begin() + std::ptrdiff_t{y} * g.width;
    if (std::count_if(row, row + g.width, [](std::uint8_t v) { return v < 128; }) < 0.6 * g.width) continue;
    if (y > g.height / 2) return false;
    ruledHigh = true;
  }
  return ruledHigh;
}

TEST_F(Rt650scanTest, DocumentsFilesAndCommandLine) {
  const Outcome help = Rt650scan({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--split-at-separator", "--no-clobber", "4 paper jam", "6 the disk is full"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  EXPECT_NE(Rt650scan({"--version"}).out.find("driver: libtarvoscn.so.1 1.007"), std::string::npos);
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 4\n");
  EXPECT_NE(Rt650scan({simulate, "-L"}).out.find("Tarvo RT650"), std::string::npos);
  // Set by lower-case name, by PAR_ name and by number; -A shows name, number, value, range, meaning.
  const Outcome all = Rt650scan({simulate, "-s", "resolution=200", "--set", "PAR_BRIGHTNESS=77", "--set", "21=99", "-A"});
  for (const char* line : {"\nresolution              6 200        one of 200, 300, 600 dpi",
                           "\nbrightness              5 77         0 to 255 ", "\ncontrast               21 99 "})
    EXPECT_NE(all.out.find(line), std::string::npos) << line << "\n" << all.out << all.err;

  const Outcome run = Rt650scan({simulate, "-o", "doc.tif", "--doc-name", "Invoices", "--page-name", "a"});
  EXPECT_NE(run.err.find("doc.tif holds 4 pages"), std::string::npos) << run.err;
  ASSERT_EQ(Pages("doc.tif").size(), 4u);
  for (const LibtiffPage& p : Pages("doc.tif"))
    EXPECT_EQ(std::tuple(p.compression, p.width, p.xResolution, p.documentName, p.pageName),
              std::tuple(COMPRESSION_CCITTFAX4, 2464u, 300.0f, "Invoices", "a"));
  // Uncoded, at 200 dpi, quietly, at most two pages; then on standard output.
  ASSERT_EQ(Rt650scan({simulate, "-q", "--compression", "none", "--resolution", "200", "-n", "2", "-o", "plain.tif"}).err, "");
  ASSERT_EQ(Pages("plain.tif").size(), 2u);
  EXPECT_EQ(std::tuple(Pages("plain.tif")[0].compression, Pages("plain.tif")[0].xResolution), std::tuple(COMPRESSION_NONE, 200.0f));
  WriteFileBytes(dir_.File("piped.tif"), Rt650scan({simulate, "-q", "-n", "2", "-o", "-"}).out);
  EXPECT_EQ(Pages("piped.tif").size(), 2u);

  // Appending, inserting, joining in page order; renaming names the first page.
  const Outcome append = Rt650scan({simulate, "-o", "doc.tif", "--append", "-n", "2", "--page-name", "b"});
  EXPECT_NE(append.err.find("doc.tif holds 6 pages (2 scanned now)"), std::string::npos) << append.err;
  ASSERT_EQ(Rt650scan({simulate, "-o", "doc.tif", "--insert=2", "-n", "1", "--page-name", "c"}).status, 0);
  ASSERT_EQ(Rt650scan({simulate, "-o", "two.tif", "-n", "1", "--page-name", "d"}).status, 0);
  ASSERT_EQ(Rt650scan({"--join", "doc.tif", "two.tif"}).status, 0);
  ASSERT_EQ(Rt650scan({"--rename", "doc.tif", "Renamed"}).status, 0);
  Names names;
  for (const LibtiffPage& p : Pages("doc.tif")) names.push_back(p.pageName);
  EXPECT_EQ(names, (Names{"a", "c", "a", "a", "a", "b", "b", "d"}));
  EXPECT_EQ(Pages("doc.tif")[0].documentName, "Renamed");

  // Refused before anything is written: 2 for a wrong command line, 1 for a document that does not fit.
  const std::string before = ReadFileBytes(dir_.File("doc.tif"));
  const std::tuple<Names, int, const char*> refused[] = {
      {{simulate, "--set", "bogus=1"}, 2, "unknown parameter 'bogus'"},
      {{simulate, "--set", "brightness=x"}, 2, "brightness takes 0 to 255, not 'x'"},
      {{simulate, "--mode", "gray", "-o", "g.tif"}, 2, "gray pages are stored as JPEG, BMP or PNG"},
      {{simulate, "--batch=page.jpg", "-f", "jpeg"}, 2, "exactly one %d"},
      {{simulate, "--append"}, 2, "--append and --insert need --output"},
      {{"--bogus"}, 2, "Usage:"},
      {{Simulator("adapters 1\n", "empty.conf"), "-L"}, 1, "finding the scanner failed: result 2"},
      {{simulate, "-o", "doc.tif", "--insert=10"}, 1, "doc.tif has 8 pages: --insert takes 1 to 9"},
      {{simulate, "-o", "none.tif", "--append"}, 1, "none.tif"},
      {{"--join", "doc.tif", "missing.tif"}, 1, "missing.tif"},
      {{"--rename", "missing.tif", "X"}, 1, "missing.tif"}};
  for (const auto& [args, status, message] : refused) {
    const Outcome refusal = Rt650scan(args);
    EXPECT_EQ(refusal.status, status) << args.back();
    EXPECT_NE(refusal.err.find(message), std::string::npos) << refusal.err;
  }
  EXPECT_FALSE(FileExists(dir_.File("none.tif")));
  EXPECT_EQ(ReadFileBytes(dir_.File("doc.tif")), before);

  // One file per page, named by the pattern.
  for (const auto& [format, pattern, first, file] :
       {std::tuple{"jpeg", "--batch=p%02d.jpg", "\xFF\xD8\xFF", "p03.jpg"}, {"bmp", "--batch=s-%d.bmp", "BM", "s-3.bmp"},
        {"png", "--batch", "\x89PNG", "page003.png"}, {"tiff", "--batch=t%d.tif", "II*", "t3.tif"}}) {
    ASSERT_EQ(Rt650scan({simulate, "-f", format, pattern, "-n", "3"}).status, 0) << format;
    EXPECT_EQ(ReadFileBytes(dir_.File(file)).rfind(first, 0), 0u) << file;
  }
  for (const char* file : {"t1.tif", "t2.tif", "t3.tif"}) EXPECT_EQ(Pages(file).size(), 1u) << file;
}

TEST_F(Rt650scanTest, AJamKeepsTheCompletePagesAndSaysSo) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 4\ncondition 3 jam\n");
  const Outcome run = Rt650scan({simulate, "-o", "doc.tif"});
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("reading a page failed: result 7 (paper jam)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("doc.tif holds 2 pages"), std::string::npos) << run.err;
  EXPECT_EQ(Pages("doc.tif").size(), 2u);
  // A jam on the first sheet leaves the existing document as it was; --no-clobber refuses to replace it.
  const std::string before = ReadFileBytes(dir_.File("doc.tif"));
  EXPECT_EQ(Rt650scan({Simulator("scanner 0 0\nsynthetic 2\ncondition 1 jam\n", "j.conf"), "-o", "doc.tif"}).status, 4);
  EXPECT_EQ(Rt650scan({simulate, "-o", "doc.tif", "--no-clobber"}).status, 2);
  EXPECT_EQ(ReadFileBytes(dir_.File("doc.tif")), before);
  EXPECT_FALSE(FileExists(dir_.File(".doc.tif.part")));
  // An empty feeder at the start and a full disk have their own exit statuses; the complete pages stay.
  EXPECT_EQ(Rt650scan({Simulator("scanner 0 0\n", "e.conf"), "-o", "e.tif"}).status, 5);
  const Outcome full = Finish(Start({simulate, "-o", "full.tif"}, 100000));
  EXPECT_EQ(full.status, 6) << full.err;
  EXPECT_NE(full.err.find("(the file is too large)"), std::string::npos) << full.err;
  EXPECT_EQ(Pages("full.tif").size(), 1u);
}

// A separator sheet is no page: counts, JSON lines and split documents hold the pages on disk.
TEST_F(Rt650scanTest, SeparatorSheetsSplitDocuments) {
  const std::string simulate =
      Simulator("scanner 0 0\nsynthetic 6 size a5\ncondition 3 separator 0x82\ncondition 5 separator 0x82\n");
  const Outcome run = Rt650scan({simulate, "-o", "job%d.tif", "--split-at-separator", "--json", "--manifest", "m.jsonl"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir_.File("m.jsonl")), run.out);
  EXPECT_EQ(std::tuple(Pages("job1.tif").size(), Pages("job2.tif").size(), Pages("job3.tif").size()), std::tuple(2u, 1u, 1u));
  EXPECT_NE(run.out.find("\"file\":\"job3.tif\",\"file_page\":1"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("{\"end\":true,\"pages\":4,\"separators\":2"), std::string::npos);
  // Without the split the driver reads each separator sheet as a page of its own.
  const Outcome whole = Rt650scan({simulate, "-o", "all.tif", "-s", "job_separator=5"});
  EXPECT_NE(whole.err.find("all.tif holds 6 pages"), std::string::npos) << whole.err;
  EXPECT_EQ(Pages("all.tif").size(), 6u);
}

TEST_F(Rt650scanTest, CtrlCCancelsAndFinishesTheDocument) {
  // Slow commands, so that the batch is still running when the signal comes.
  const pid_t pid = Start({Simulator("scanner 0 0\nsynthetic 60 size a5\ncompletion pending 20\n"), "-o", "doc.tif"});
  for (int wait = 0; wait < 3000 && ReadFileBytes(dir_.File("stderr.txt")).find("page 1:") == std::string::npos; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // at most a minute
  }
  kill(pid, SIGINT);
  const Outcome run = Finish(pid);
  EXPECT_EQ(run.status, 130) << run.err;
  const auto cancelled = run.err.find("cancelled after ");
  ASSERT_NE(cancelled, std::string::npos) << run.err;
  const long scanned = std::strtol(run.err.c_str() + cancelled + 16, nullptr, 10);
  EXPECT_TRUE(scanned >= 1 && scanned < 60) << scanned;
  const LibtiffFile file = ReadWithLibtiff(dir_.File("doc.tif"));
  EXPECT_EQ(std::tuple(static_cast<long>(file.pages.size()), file.errors), std::tuple(scanned, ""));
}

// Every mode at every resolution, into every format: an upright A4 page of the right size; the
// imprinter's text only where asked.
TEST_F(Rt650scanTest, EveryModeAndResolutionGivesUprightA4PagesAndTheImprinterMarksThem) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 12 seed 5\n");
  const std::tuple<const char*, int, const char*> cases[] = {
      {"lineart", 200, "a.tif"}, {"lineart", 300, "b.tif"}, {"lineart", 600, "c.png"},
      {"halftone", 200, "d.tif"}, {"halftone", 300, "e.png"}, {"halftone", 600, "f.tif"},
      {"text", 200, "g.png"}, {"text", 300, "h.tif"}, {"text", 600, "i.tif"},
      {"gray", 200, "j.jpg"}, {"gray", 300, "k.png"}, {"gray", 600, "l.png"}};
  for (const auto& [mode, dpi, file] : cases) {
    SCOPED_TRACE(file);
    Names args = {simulate, "-n", "1", "--mode", mode, "--resolution", std::to_string(dpi), "-o", file};
    if (file[0] == 'b' || file[0] == 'i') args.insert(args.end(), {"--compression", "none"});
    ASSERT_EQ(Rt650scan(args).status, 0);
    const std::string path = dir_.File(file), ext = path.substr(path.rfind('.') + 1);
    const Gray page = ext == "tif" ? ReadTiffGray(path) : ext == "jpg" ? ReadJpegGray(path) : ReadPngGray(path);
    ASSERT_FALSE(page.pixels.empty());
    EXPECT_NEAR(page.width, dpi * 210 / 25.4, dpi * 210 / 25.4 * 0.02);
    EXPECT_NEAR(page.height, dpi * 297 / 25.4, dpi * 297 / 25.4 * 0.02);
    EXPECT_TRUE(Upright(page));
  }
  // The PNG states its resolution in pixels per metre.
  const std::string png = ReadFileBytes(dir_.File("c.png"));
  ASSERT_NE(png.find("pHYs"), std::string::npos);
  EXPECT_NEAR(GetBe32(ConstByteSpan(reinterpret_cast<const std::uint8_t*>(png.data()), png.size()), png.find("pHYs") + 4),
              600 / 0.0254, 1);
  // Marks only near 250 mm down (2953 rows at 300 dpi, less the window's few rows) from 100 mm across.
  ASSERT_EQ(Rt650scan({simulate, "-n", "1", "-o", "m.tif", "--imprint", "PAID", "--imprint-counter", "--imprint-at", "100,250"}).status, 0);
  const Gray plain = ReadTiffGray(dir_.File("b.tif")), marked = ReadTiffGray(dir_.File("m.tif"));
  ASSERT_EQ(plain.pixels.size(), marked.pixels.size());
  std::size_t inBand = 0, elsewhere = 0;
  for (std::uint32_t y = 0; y < plain.height; ++y) {
    for (std::uint32_t x = 0; x < plain.width; ++x)
      if (plain.At(x, y) != marked.At(x, y)) ++(y + 30 >= 2953 && y < 2953 + 30 && x >= 1181 ? inBand : elsewhere);
  }
  EXPECT_GT(inBand, 100u);
  EXPECT_EQ(elsewhere, 0u);
}

// SIGKILL at random moments of a new document over an old one, an append, an insert: every
// original page is still there, in order, and libtiff reads the whole document.
TEST_F(Rt650scanTest, AKillAtAnyMomentLosesNoOriginalPage) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 3 size a5\ncompletion pending 1\n");
  for (const char* name : {"1", "2", "3"}) {
    ASSERT_EQ(Rt650scan({simulate, "-q", "-n", "1", "-o", "base.tif", name[0] == '1' ? "-q" : "-a", "--page-name", name}).status, 0);
  }
  const std::string original = ReadFileBytes(dir_.File("base.tif"));
  std::mt19937 random(650);
  for (const char* mode : {"-q", "--append", "--insert=2"}) {
    for (int attempt = 0; attempt < 6; ++attempt) {
      WriteFileBytes(dir_.File("doc.tif"), original);
      const pid_t pid = Start({simulate, "-q", "--page-name", "new", "-o", "doc.tif", mode});
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 900));
      kill(pid, SIGKILL);
      Finish(pid);
      const LibtiffFile file = ReadWithLibtiff(dir_.File("doc.tif"));
      EXPECT_EQ(file.errors, "") << mode;
      Names old;
      for (const LibtiffPage& p : file.pages) if (p.pageName != "new") old.push_back(p.pageName);
      // A new document replaces the old one whole, only when it is finished.
      if (mode[1] == 'q' && old.empty() && !file.pages.empty()) continue;
      EXPECT_EQ(old, (Names{"1", "2", "3"})) << mode << " " << attempt;
    }
  }
}

}  // namespace
}  // namespace tarvo::test
