// rt650scan, the command-line host, run as a user runs it: the built program
// with the simulated RT650, in a fresh folder per test, its documents judged
// by libtiff.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <cstdio>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include "support/TempDir.h"

namespace {

using tarvo::test::FileExists;
using tarvo::test::ReadFileBytes;
using tarvo::test::TempDir;
using tarvo::test::WriteFileBytes;

struct Outcome {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

class Rt650scanTest : public ::testing::Test {
 protected:
  // Starts the program in the test's folder with TARVOSCN_ROOT there.
  // `fileLimit` > 0: files may not grow past it, as on a full disk.
  pid_t Start(const std::vector<std::string>& args, rlim_t fileLimit = 0) {
    const std::string root = dir_.File("root");
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.path().c_str()) != 0) _exit(126);
      const rlimit limit{fileLimit, fileLimit};
      if (fileLimit > 0 && (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0)) _exit(126);
      const int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
      setenv("TARVOSCN_ROOT", root.c_str(), 1);
      unsetenv("TARVOSCN_ASPI");
      unsetenv("RT650SIM_CONFIG");
      std::vector<char*> argv;
      std::string program = RT650SCAN;
      argv.push_back(program.data());
      std::vector<std::string> copies = args;
      for (auto& a : copies) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }

  Outcome Finish(pid_t pid) {
    Outcome run;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid) {
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
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

  TempDir dir_;
};

// What libtiff reads of each page of a document.
struct Page {
  uint32_t width = 0;
  uint16_t compression = 0;
  float xResolution = 0;
  std::string pageName;
  std::string documentName;
};

// Empty when libtiff cannot open the document.
std::vector<Page> ReadPages(const std::string& path) {
  std::vector<Page> pages;
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return pages;
  do {
    Page page;
    char* text = nullptr;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(tiff, TIFFTAG_COMPRESSION, &page.compression);
    TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &page.xResolution);
    if (TIFFGetField(tiff, TIFFTAG_PAGENAME, &text) == 1) page.pageName = text;
    if (TIFFGetField(tiff, TIFFTAG_DOCUMENTNAME, &text) == 1) page.documentName = text;
    // Every strip decodes, so the page data is whole.
    std::vector<uint8_t> strip(static_cast<size_t>(TIFFStripSize(tiff)));
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tiff); ++s) {
      if (TIFFReadEncodedStrip(tiff, s, strip.data(), -1) < 0) page.compression = 0xFFFF;
    }
    pages.push_back(page);
  } while (TIFFReadDirectory(tiff) == 1 && pages.size() < 1000);
  TIFFClose(tiff);
  return pages;
}

std::vector<std::string> PageNames(const std::vector<Page>& pages) {
  std::vector<std::string> names;
  for (const Page& p : pages) names.push_back(p.pageName);
  return names;
}

// A stored page as an independent reader sees it: 8-bit gray, 0 black.
struct Gray {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
  uint8_t At(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x]; }
};

Gray ReadTiffGray(const std::string& path) {
  Gray g;
  TIFF* tiff = TIFFOpen(path.c_str(), "r");
  if (tiff == nullptr) return g;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &g.width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &g.height);
  std::vector<uint32_t> rgba(size_t{g.width} * g.height);
  if (TIFFReadRGBAImageOriented(tiff, g.width, g.height, rgba.data(), ORIENTATION_TOPLEFT, 0)) {
    for (uint32_t v : rgba) g.pixels.push_back(static_cast<uint8_t>(TIFFGetG(v)));
  }
  TIFFClose(tiff);
  return g;
}

Gray ReadJpegGray(const std::string& path) {
  Gray g;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return g;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&cinfo);
  g.width = cinfo.output_width;
  g.height = cinfo.output_height;
  g.pixels.resize(size_t{g.width} * g.height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = g.pixels.data() + size_t{cinfo.output_scanline} * g.width;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return g;
}

// Also gives the resolution the file states (pixels per metre), 0 when none.
Gray ReadPngGray(const std::string& path, uint32_t* pixelsPerMetre = nullptr) {
  Gray g;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return g;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    if (png_get_color_type(png, info) & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray(png, 1, -1, -1);
    png_read_update_info(png, info);
    g.width = png_get_image_width(png, info);
    g.height = png_get_image_height(png, info);
    if (pixelsPerMetre != nullptr) *pixelsPerMetre = png_get_x_pixels_per_meter(png, info);
    g.pixels.resize(size_t{g.width} * g.height);
    for (uint32_t y = 0; y < g.height; ++y) png_read_row(png, g.pixels.data() + size_t{y} * g.width, nullptr);
  } else {
    g = Gray{};
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return g;
}

// BMP is a fixed format: a 1- or 8-bit palette image stored bottom up.
Gray ReadBmpGray(const std::string& path) {
  Gray g;
  const std::string b = ReadFileBytes(path);
  auto le = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
    return v;
  };
  if (b.size() < 54 || b.compare(0, 2, "BM") != 0) return g;
  const uint32_t offset = le(10, 4), headerSize = le(14, 4), bits = le(28, 2);
  const auto height = static_cast<int32_t>(le(22, 4));
  g.width = le(18, 4);
  g.height = static_cast<uint32_t>(height < 0 ? -height : height);
  const size_t stride = (size_t{g.width} * bits + 31) / 32 * 4;
  if ((bits != 1 && bits != 8) || b.size() < offset + stride * g.height) return Gray{};
  g.pixels.resize(size_t{g.width} * g.height);
  for (uint32_t y = 0; y < g.height; ++y) {
    const size_t row = offset + stride * (height < 0 ? y : g.height - 1 - y);
    for (uint32_t x = 0; x < g.width; ++x) {
      const uint32_t index = bits == 8 ? static_cast<uint8_t>(b[row + x])
                                       : (static_cast<uint8_t>(b[row + x / 8]) >> (7 - x % 8)) & 1;
      g.pixels[size_t{y} * g.width + x] = static_cast<uint8_t>(b[14 + headerSize + 4 * index + 1]);
    }
  }
  return g;
}

Gray ReadAnyGray(const std::string& path) {
  const std::string ext = path.substr(path.rfind('.') + 1);
  if (ext == "tif") return ReadTiffGray(path);
  if (ext == "jpg") return ReadJpegGray(path);
  if (ext == "png") return ReadPngGray(path);
  return ReadBmpGray(path);
}

// Share of dark pixels (below half gray) of the rows [from, to).
double DarkShare(const Gray& g, uint32_t from, uint32_t to) {
  size_t dark = 0;
  for (uint32_t y = from; y < to; ++y) {
    for (uint32_t x = 0; x < g.width; ++x) dark += g.At(x, y) < 128;
  }
  return to > from ? double(dark) / (double(to - from) * g.width) : 0;
}

// The synthetic page's ruled table lies in its top third: an upright page
// has rows ruled across most of its width there and nowhere in its lower
// half (a page on its side has no such rows; one upside down has them low).
bool Upright(const Gray& g) {
  bool ruledHigh = false;
  for (uint32_t y = 0; y < g.height; ++y) {
    if (DarkShare(g, y, y + 1) < 0.6) continue;
    if (y > g.height / 2) return false;
    ruledHigh = true;
  }
  return ruledHigh;
}

TEST_F(Rt650scanTest, HelpAndVersion) {
  Outcome help = Rt650scan({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--list", "--all-options", "--set", "--batch", "--join", "--rename",
                             "--simulate", "--append", "--insert", "--compression", "--mode",
                             "--resolution", "--paper", "--imprint", "--split-at-separator",
                             "--json", "--manifest", "--no-clobber", "with the first page of",
                             "4 paper jam", "5 the feeder was empty", "6 the disk is full"}) {
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  }
  Outcome version = Rt650scan({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_NE(version.out.find("rt650scan "), std::string::npos);
  EXPECT_NE(version.out.find("driver: libtarvoscn.so.1 1.007"), std::string::npos) << version.out;
  Outcome simulated = Rt650scan({"--simulate", "--version"});
  EXPECT_NE(simulated.out.find("/librt650sim.so\n"), std::string::npos) << simulated.out;
}

TEST_F(Rt650scanTest, BadCommandLinesGiveClearMessages) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 1\n");
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{simulate, "--set", "bogus=1"}, 2, "unknown parameter 'bogus'"},
      {{simulate, "--set", "999=1"}, 2, "unknown parameter '999'"},
      {{simulate, "--set", "resolution"}, 2, "--set needs NAME=VALUE"},
      {{simulate, "--set", "resolution=301"}, 2, "resolution takes one of 200, 300, 600 dpi"},
      {{simulate, "--set", "brightness=x"}, 2, "brightness takes 0 to 255, not 'x'"},
      {{simulate, "--set", "max_width=1"}, 2, "max_width cannot be set"},
      {{simulate, "--resolution", "250"}, 2, "200, 300 or 600"},
      {{simulate, "--mode", "color"}, 2, "lineart, halftone, gray or text"},
      {{simulate, "--paper", "A2"}, 2, "\"A4 landscape\", \"A4\""},
      {{simulate, "--mode", "gray", "-o", "g.tif"}, 2, "gray pages are stored as JPEG, BMP or PNG"},
      {{simulate, "--format", "gif"}, 2, "unknown format 'gif'"},
      {{simulate, "--batch=page.jpg", "-f", "jpeg"}, 2, "exactly one %d"},
      {{simulate, "--append"}, 2, "--append and --insert need --output"},
      {{"--join", "a.tif"}, 2, "--join needs two arguments"},
      {{"--bogus"}, 2, "Usage:"},
      {{Simulator("adapters 1\n", "empty.conf"), "-L"}, 1, "finding the scanner failed: result 2"},
  };
  for (const Case& c : cases) {
    Outcome run = Rt650scan(c.args);
    EXPECT_EQ(run.status, c.status) << c.args.back() << "\n" << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args.back() << "\n" << run.err;
  }
}

TEST_F(Rt650scanTest, ListsTheScannerAndItsParameters) {
  const std::string simulate = Simulator("scanner 0 0\n");
  Outcome list = Rt650scan({simulate, "-L"});
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("Tarvo RT650"), std::string::npos) << list.out;

  // Set by lower-case name, by PAR_ name and by number; -A shows the values.
  Outcome all = Rt650scan({simulate, "-s", "resolution=200", "--set", "PAR_BRIGHTNESS=77", "--set",
                       "21=99", "-A"});
  EXPECT_EQ(all.status, 0) << all.err;
  // Columns: name, number, value, allowed values and unit, meaning.
  for (const char* line : {"\nresolution              6 200        one of 200, 300, 600 dpi",
                           "\nbrightness              5 77         0 to 255 ",
                           "\ncontrast               21 99 ", "\nmax_width             105 3488 "}) {
    EXPECT_NE(all.out.find(line), std::string::npos) << line << "\n" << all.out;
  }
}

TEST_F(Rt650scanTest, ScansABatchIntoAGroup4Document) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 4\n");
  Outcome run = Rt650scan({simulate, "-o", "doc.tif", "--doc-name", "Invoices", "--page-name", "in"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("page 4: 2464 x 3488 pixels, "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("doc.tif holds 4 pages"), std::string::npos) << run.err;
  const std::vector<Page> pages = ReadPages(dir_.File("doc.tif"));
  ASSERT_EQ(pages.size(), 4u);
  for (const Page& p : pages) {
    EXPECT_EQ(p.compression, COMPRESSION_CCITTFAX4);
    EXPECT_EQ(p.width, 2464u);
    EXPECT_EQ(p.xResolution, 300.0f);
    EXPECT_EQ(p.documentName, "Invoices");
    EXPECT_EQ(p.pageName, "in");
  }

  // Uncoded, at 200 dpi, quietly, at most two pages.
  Outcome plain = Rt650scan({simulate, "-q", "--compression", "none", "--resolution", "200", "-n",
                             "2", "-o", "plain.tif"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.err, "");
  const std::vector<Page> uncoded = ReadPages(dir_.File("plain.tif"));
  ASSERT_EQ(uncoded.size(), 2u);
  EXPECT_EQ(uncoded[0].compression, COMPRESSION_NONE);
  EXPECT_EQ(uncoded[0].xResolution, 200.0f);

  // -o -: the finished document on standard output, nothing left behind.
  Outcome piped = Rt650scan({simulate, "-q", "-n", "2", "-o", "-"});
  ASSERT_EQ(piped.status, 0) << piped.err;
  WriteFileBytes(dir_.File("piped.tif"), piped.out);
  EXPECT_EQ(ReadPages(dir_.File("piped.tif")).size(), 2u);
}

TEST_F(Rt650scanTest, AppendsAndInsertsInPageOrder) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 2\n");
  ASSERT_EQ(Rt650scan({simulate, "-o", "doc.tif", "--page-name", "a"}).status, 0);
  Outcome append = Rt650scan({simulate, "-o", "doc.tif", "--append", "--page-name", "b"});
  ASSERT_EQ(append.status, 0) << append.err;
  EXPECT_NE(append.err.find("doc.tif holds 4 pages (2 scanned now)"), std::string::npos);
  Outcome insert = Rt650scan({simulate, "-o", "doc.tif", "--insert=2", "-n", "1", "--page-name", "c"});
  ASSERT_EQ(insert.status, 0) << insert.err;
  EXPECT_EQ(PageNames(ReadPages(dir_.File("doc.tif"))),
            (std::vector<std::string>{"a", "c", "a", "b", "b"}));

  // Checked before anything is written: beyond the end, a missing document.
  const std::string before = ReadFileBytes(dir_.File("doc.tif"));
  Outcome beyond = Rt650scan({simulate, "-o", "doc.tif", "--insert=9"});
  EXPECT_EQ(beyond.status, 1);
  EXPECT_NE(beyond.err.find("doc.tif has 5 pages: --insert takes 1 to 6"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir_.File("doc.tif")), before);
  EXPECT_EQ(Rt650scan({simulate, "-o", "none.tif", "--append"}).status, 1);
  EXPECT_FALSE(FileExists(dir_.File("none.tif")));
}

TEST_F(Rt650scanTest, WritesOneFilePerPage) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 3\n");
  struct Case {
    const char* format;
    const char* pattern;
    const char* first;  // the files' first bytes
    std::vector<const char*> files;
  };
  const Case cases[] = {
      {"jpeg", "--batch=p%02d.jpg", "\xFF\xD8\xFF", {"p01.jpg", "p02.jpg", "p03.jpg"}},
      {"bmp", "--batch=s-%d.bmp", "BM", {"s-1.bmp", "s-2.bmp", "s-3.bmp"}},
      {"png", "--batch", "\x89PNG", {"page001.png", "page002.png", "page003.png"}},
      {"tiff", "--batch=t%d.tif", "II*", {"t1.tif", "t2.tif", "t3.tif"}},
  };
  for (const Case& c : cases) {
    Outcome run = Rt650scan({simulate, "-f", c.format, c.pattern});
    ASSERT_EQ(run.status, 0) << c.format << "\n" << run.err;
    for (const char* file : c.files) {
      ASSERT_TRUE(FileExists(dir_.File(file))) << file;
      EXPECT_EQ(ReadFileBytes(dir_.File(file)).rfind(c.first, 0), 0u) << file;
    }
  }
  // Single-page TIFF files are finished documents.
  for (const char* file : {"t1.tif", "t2.tif", "t3.tif"}) {
    EXPECT_EQ(ReadPages(dir_.File(file)).size(), 1u) << file;
  }
}

TEST_F(Rt650scanTest, JoinsAndRenamesDocuments) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 2\n");
  ASSERT_EQ(Rt650scan({simulate, "-o", "one.tif", "--page-name", "1", "--doc-name", "Old"}).status,
            0);
  ASSERT_EQ(Rt650scan({simulate, "-o", "two.tif", "--page-name", "2", "-n", "1"}).status, 0);
  Outcome join = Rt650scan({"--join", "one.tif", "two.tif"});
  ASSERT_EQ(join.status, 0) << join.err;
  EXPECT_EQ(PageNames(ReadPages(dir_.File("one.tif"))),
            (std::vector<std::string>{"1", "1", "2"}));

  // The first page carries the document's name.
  Outcome rename = Rt650scan({"--rename", "one.tif", "Renamed"});
  ASSERT_EQ(rename.status, 0) << rename.err;
  const std::vector<Page> renamed = ReadPages(dir_.File("one.tif"));
  ASSERT_EQ(renamed.size(), 3u);
  EXPECT_EQ(renamed[0].documentName, "Renamed");

  // --join checks its source first.
  WriteFileBytes(dir_.File("picture.png"), "\x89PNG\r\n\x1a\n");
  for (const char* source : {"missing.tif", "picture.png"}) {
    Outcome badJoin = Rt650scan({"--join", "one.tif", source});
    EXPECT_EQ(badJoin.status, 1);
    EXPECT_NE(badJoin.err.find(source), std::string::npos) << badJoin.err;
  }
  Outcome badRename = Rt650scan({"--rename", "missing.tif", "X"});
  EXPECT_EQ(badRename.status, 1);
  EXPECT_NE(badRename.err.find("renaming the document missing.tif failed"), std::string::npos);
  EXPECT_EQ(ReadPages(dir_.File("one.tif")).size(), 3u);
}

TEST_F(Rt650scanTest, AJamKeepsTheCompletePagesAndSaysSo) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 4\ncondition 3 jam\n");
  Outcome run = Rt650scan({simulate, "-o", "doc.tif"});
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("reading a page failed: result 7 (paper jam)"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("doc.tif holds 2 pages"), std::string::npos) << run.err;
  EXPECT_EQ(ReadPages(dir_.File("doc.tif")).size(), 2u);

  // A jam on the first sheet leaves the existing document as it was, and
  // --no-clobber refuses to replace it at all.
  const std::string before = ReadFileBytes(dir_.File("doc.tif"));
  EXPECT_EQ(Rt650scan({Simulator("scanner 0 0\nsynthetic 2\ncondition 1 jam\n", "j.conf"), "-o",
                       "doc.tif"}).status, 4);
  EXPECT_EQ(Rt650scan({simulate, "-o", "doc.tif", "--no-clobber"}).status, 2);
  EXPECT_EQ(ReadFileBytes(dir_.File("doc.tif")), before);
  EXPECT_FALSE(FileExists(dir_.File(".doc.tif.part")));
  // An empty feeder at the start and a full disk have their own exit statuses;
  // the complete pages stay.
  EXPECT_EQ(Rt650scan({Simulator("scanner 0 0\n", "e.conf"), "-o", "e.tif"}).status, 5);
  Outcome full = Finish(Start({simulate, "-o", "full.tif"}, 100000));
  EXPECT_EQ(full.status, 6) << full.err;
  EXPECT_NE(full.err.find("(the file is too large)"), std::string::npos) << full.err;
  EXPECT_EQ(ReadPages(dir_.File("full.tif")).size(), 1u);
}

// A separator sheet is no page: the counts, the JSON lines and the split
// documents hold exactly the pages on disk.
TEST_F(Rt650scanTest, SeparatorSheetsSplitDocuments) {
  const std::string simulate = Simulator(
      "scanner 0 0\nsynthetic 6 size a5\ncondition 3 separator 0x82\ncondition 5 separator 0x82\n");
  Outcome run = Rt650scan(
      {simulate, "-o", "job%d.tif", "--split-at-separator", "--json", "--manifest", "m.jsonl"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFileBytes(dir_.File("m.jsonl")), run.out);
  EXPECT_EQ(ReadPages(dir_.File("job1.tif")).size(), 2u);
  EXPECT_EQ(ReadPages(dir_.File("job2.tif")).size(), 1u);
  EXPECT_EQ(ReadPages(dir_.File("job3.tif")).size(), 1u);
  EXPECT_NE(run.out.find("\"file\":\"job3.tif\",\"file_page\":1"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("{\"end\":true,\"pages\":4,\"separators\":2"), std::string::npos);
  // Without the split the driver reads each separator sheet as a page of its own.
  Outcome whole = Rt650scan({simulate, "-o", "all.tif", "-s", "job_separator=5"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_NE(whole.err.find("all.tif holds 6 pages"), std::string::npos) << whole.err;
  EXPECT_EQ(ReadPages(dir_.File("all.tif")).size(), 6u);
}

TEST_F(Rt650scanTest, CtrlCCancelsAndFinishesTheDocument) {
  // Slow commands, so that the batch is still running when the signal comes.
  const std::string simulate =
      Simulator("scanner 0 0\nsynthetic 60 size a5\ncompletion pending 20\n");
  const pid_t pid = Start({simulate, "-o", "doc.tif"});
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadFileBytes(dir_.File("stderr.txt")).find("page 1:") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGINT);
  Outcome run = Finish(pid);
  EXPECT_EQ(run.status, 130) << run.err;
  const auto cancelled = run.err.find("cancelled after ");
  ASSERT_NE(cancelled, std::string::npos) << run.err;
  const long scanned = std::strtol(run.err.c_str() + cancelled + 16, nullptr, 10);
  EXPECT_GE(scanned, 1);
  EXPECT_LT(scanned, 60);
  const std::vector<Page> pages = ReadPages(dir_.File("doc.tif"));
  EXPECT_EQ(static_cast<long>(pages.size()), scanned);
  for (const Page& p : pages) EXPECT_EQ(p.compression, COMPRESSION_CCITTFAX4);
}

// Every mode at every resolution, into every format: each page decoded by an
// independent reader is an upright A4 page of the right size, not blank.
TEST_F(Rt650scanTest, EveryModeAndResolutionGivesUprightA4Pages) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 12 seed 5\n");
  struct Case {
    const char* mode;
    int dpi;
    std::vector<std::string> output;
    const char* file;
  };
  const Case cases[] = {
      {"lineart", 200, {"-o", "a.tif"}, "a.tif"},
      {"lineart", 300, {"-o", "b.tif", "--compression", "none"}, "b.tif"},
      {"lineart", 600, {"-o", "c.png"}, "c.png"},
      {"halftone", 200, {"-o", "d.bmp"}, "d.bmp"},
      {"halftone", 300, {"-o", "e.png"}, "e.png"},
      {"halftone", 600, {"-o", "f.tif"}, "f.tif"},
      {"text", 200, {"-o", "g.png"}, "g.png"},
      {"text", 300, {"-o", "h.tif"}, "h.tif"},
      {"text", 600, {"-o", "i.tif", "--compression", "none"}, "i.tif"},
      {"gray", 200, {"-o", "j.jpg"}, "j.jpg"},
      {"gray", 300, {"-o", "k.bmp"}, "k.bmp"},
      {"gray", 600, {"-o", "l.png"}, "l.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.dpi) + " " + c.file);
    std::vector<std::string> args = {simulate, "-n", "1", "--mode", c.mode, "--resolution",
                                     std::to_string(c.dpi)};
    args.insert(args.end(), c.output.begin(), c.output.end());
    const Outcome run = Rt650scan(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const Gray page = ReadAnyGray(dir_.File(c.file));
    ASSERT_FALSE(page.pixels.empty());
    EXPECT_NEAR(page.width, c.dpi * 210 / 25.4, c.dpi * 210 / 25.4 * 0.02);
    EXPECT_NEAR(page.height, c.dpi * 297 / 25.4, c.dpi * 297 / 25.4 * 0.02);
    EXPECT_GT(DarkShare(page, 0, page.height), 0.01);
    EXPECT_TRUE(Upright(page));
  }
  uint32_t perMetre = 0;
  ReadPngGray(dir_.File("c.png"), &perMetre);
  EXPECT_NEAR(perMetre, 600 / 0.0254, 1);
}

// The imprinter's text is in the image exactly when asked for, where asked.
TEST_F(Rt650scanTest, TheImprinterMarksThePagesWhenAsked) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 1 seed 9\n");
  ASSERT_EQ(Rt650scan({simulate, "-o", "plain.tif"}).status, 0);
  const Outcome imprinted = Rt650scan(
      {simulate, "-o", "marked.tif", "--imprint", "PAID", "--imprint-counter", "--imprint-at", "100,250"});
  ASSERT_EQ(imprinted.status, 0) << imprinted.err;
  const Gray plain = ReadTiffGray(dir_.File("plain.tif"));
  const Gray marked = ReadTiffGray(dir_.File("marked.tif"));
  ASSERT_EQ(plain.pixels.size(), marked.pixels.size());
  // Marks only near 250 mm down (2953 rows at 300 dpi; the window cuts the
  // sheet's edges by a few rows) and from 100 mm across.
  size_t inBand = 0, elsewhere = 0;
  for (uint32_t y = 0; y < plain.height; ++y) {
    for (uint32_t x = 0; x < plain.width; ++x) {
      if (plain.At(x, y) == marked.At(x, y)) continue;
      const bool band = y >= 2953 - 30 && y < 2953 + 30 && x >= 1181;
      (band ? inBand : elsewhere) += 1;
    }
  }
  EXPECT_GT(inBand, 100u);
  EXPECT_EQ(elsewhere, 0u);
}

// SIGKILL at random moments of a batch into a new document over an old one,
// of an append and of an insert: every original page is still there, in
// order, and libtiff reads the whole document.
TEST_F(Rt650scanTest, AKillAtAnyMomentLosesNoOriginalPage) {
  const std::string simulate = Simulator("scanner 0 0\nsynthetic 3 size a5\ncompletion pending 1\n");
  ASSERT_EQ(Rt650scan({simulate, "-q", "-n", "1", "-o", "base.tif", "--page-name", "1"}).status, 0);
  for (const char* name : {"2", "3"}) {
    ASSERT_EQ(Rt650scan({simulate, "-q", "-n", "1", "-o", "base.tif", "-a", "--page-name", name}).status, 0);
  }
  const std::string original = ReadFileBytes(dir_.File("base.tif"));
  const std::vector<std::vector<std::string>> runs = {
      {"-o", "doc.tif"}, {"-o", "doc.tif", "--append"}, {"-o", "doc.tif", "--insert=2"}};
  std::mt19937 random(650);
  for (const auto& run : runs) {
    for (int attempt = 0; attempt < 6; ++attempt) {
      WriteFileBytes(dir_.File("doc.tif"), original);
      std::vector<std::string> args = {simulate, "-q", "--page-name", "new"};
      args.insert(args.end(), run.begin(), run.end());
      const pid_t pid = Start(args);
      std::this_thread::sleep_for(std::chrono::milliseconds(random() % 900));
      kill(pid, SIGKILL);
      Finish(pid);
      const std::vector<Page> pages = ReadPages(dir_.File("doc.tif"));
      std::vector<std::string> old;
      for (const Page& p : pages) {
        EXPECT_NE(p.compression, 0xFFFF) << run.back();
        if (p.pageName != "new") old.push_back(p.pageName);
      }
      // A new document replaces the old one whole, only when it is finished.
      const bool replaced = run.size() == 2 && old.empty() && !pages.empty();
      if (!replaced) {
        EXPECT_EQ(old, (std::vector<std::string>{"1", "2", "3"})) << run.back() << " " << attempt;
      }
    }
  }
}

}  // namespace
