#include "tiff_support.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <tuple>

#include "core/GuardedFile.h"
#include "image_libtiff.h"
#include "scan/Documents.h"
#include "tiff/TiffChain.h"
#include "tiff/TiffIo.h"
#include "tiff/TiffUtilities.h"

namespace tarvo::test {
namespace {

std::string* g_errors = nullptr;

__attribute__((format(printf, 2, 0))) void CollectError(const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  if (g_errors != nullptr) *g_errors += std::string(module != nullptr ? module : "") + ": " + text + "\n";
}

std::string Problem(const std::string& what, long long got) { return what + " (" + std::to_string(got) + ")"; }

// The valid document to join with: two uncoded pages.
const std::vector<PagePlan> kValidPages{{24, 6, 0, 200, "valid", "one", 1}, {17, 5, 0, 300, "valid document", "two", 2}};

std::string TextField(TIFF* tif, ttag_t tag) {
  char* text = nullptr;
  return TIFFGetField(tif, tag, &text) == 1 && text != nullptr ? std::string(text) : std::string();
}

}  // namespace

Bytes TestRaster(std::uint32_t width, std::uint32_t length, std::uint32_t seed) {
  const std::uint32_t rowBytes = (width + 7) / 8;
  Bytes raster(static_cast<std::size_t>(rowBytes) * length, 0);
  for (std::uint32_t y = 0; y < length; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      // Diagonal bands and a frame: long runs; a swapped row or shifted column shows.
      const bool frame = x < 3 || y < 3 || x + 3 >= width || y + 3 >= length;
      const bool band = ((x + y * (seed % 5 + 1) + seed * 7) / (seed % 11 + 3)) % 3 == 0;
      if (frame || band) raster[std::size_t{y} * rowBytes + x / 8] |= 0x80u >> (x % 8);
    }
  }
  return raster;
}

Bytes RasterOf(const PagePlan& page) { return TestRaster(page.width, page.length, page.seed); }

Result AddTestPage(DriverContext& context, const PagePlan& page) {
  Bilevel bilevel(static_cast<std::int32_t>(page.width), static_cast<std::int32_t>(page.length));
  bilevel.bits = RasterOf(page);
  const Bytes data = page.compression == kCompressionG4 ? LibtiffEncodeG4(bilevel) : bilevel.bits;
  std::uint32_t written = 0;
  const auto size = static_cast<std::uint32_t>(data.size());
  if (GuardedWriteFile(context, context.state.document.docFile, data.data(), size, &written, nullptr, 3, "Test") == 0) {
    return Result::FileError;
  }
  context.state.page.pageImageBytes = static_cast<std::uint32_t>(data.size());
  context.settings.pageLength = static_cast<std::int32_t>(page.width);
  context.settings.pageWidth = static_cast<std::int32_t>(page.length);
  context.settings.compression = static_cast<std::int32_t>(page.compression);
  context.settings.xResolution = static_cast<std::int32_t>(page.resolution);
  SetDocumentName(context, page.documentName);
  SetPageName(context, page.pageName);
  return AddPageToDocument(context, context.state.document, DescribeDocumentPage(context.settings, context.state.document, context.state.page.pageImageBytes));
}

Result WriteDocument(DriverContext& context, const std::string& path, const std::vector<PagePlan>& pages) {
  if (const Result r = CreateDocument(context, context.state.document, path.c_str(), 1, 2); r != Result::Ok) return r;
  for (const PagePlan& page : pages) {
    if (const Result r = AddTestPage(context, page); r != Result::Ok) return r;
  }
  return CloseDocument(context, context.state.document);
}

LibtiffFile ReadWithLibtiff(const std::string& path) {
  LibtiffFile file;
  g_errors = &file.errors;
  const TIFFErrorHandler oldError = TIFFSetErrorHandler(CollectError), oldWarning = TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif != nullptr) {
    file.opened = true;
    do {
      LibtiffPage page;
      TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width);
      TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.length);
      TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &page.compression);
      TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &page.photometric);
      TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &page.bitsPerSample);
      TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &page.resolutionUnit);
      TIFFGetField(tif, TIFFTAG_XRESOLUTION, &page.xResolution);
      TIFFGetField(tif, TIFFTAG_YRESOLUTION, &page.yResolution);
      page.documentName = TextField(tif, TIFFTAG_DOCUMENTNAME);
      page.pageName = TextField(tif, TIFFTAG_PAGENAME);
      page.software = TextField(tif, TIFFTAG_SOFTWARE);
      const std::uint32_t rowBytes = (page.width + 7) / 8;
      page.pixels.assign(static_cast<std::size_t>(rowBytes) * page.length, 0);
      for (std::uint32_t row = 0; row < page.length; ++row) {
        if (TIFFReadScanline(tif, page.pixels.data() + static_cast<std::size_t>(row) * rowBytes, row, 0) != 1) {
          file.errors += "scanline " + std::to_string(row) + " unreadable\n";
          break;
        }
      }
      file.pages.push_back(std::move(page));
    } while (TIFFReadDirectory(tif) == 1);
    TIFFClose(tif);
  }
  TIFFSetErrorHandler(oldError);
  TIFFSetWarningHandler(oldWarning);
  g_errors = nullptr;
  return file;
}

void ExpectLibtiffPages(const std::string& path, const std::vector<PagePlan>& plans) {
  const LibtiffFile tif = ReadWithLibtiff(path);
  ASSERT_TRUE(tif.opened) << tif.errors;
  EXPECT_TRUE(tif.errors.empty()) << tif.errors;
  ASSERT_EQ(tif.pages.size(), plans.size());
  for (std::size_t i = 0; i < plans.size(); ++i) {
    SCOPED_TRACE("page " + std::to_string(i));
    const PagePlan& plan = plans[i];
    const LibtiffPage& page = tif.pages[i];
    const bool g4 = plan.compression == kCompressionG4;
    const auto dpi = static_cast<float>(plan.resolution);
    EXPECT_EQ(std::tuple(page.width, page.length, page.compression, page.photometric),
              std::tuple(plan.width, plan.length, g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_NONE, PHOTOMETRIC_MINISWHITE));
    EXPECT_TRUE(page.xResolution == dpi && page.yResolution == dpi) << page.yResolution;
    // Uncoded pages carry no text entries; names are cut to 255 bytes.
    const auto text = [g4](const char* name) { return g4 && name != nullptr ? std::string(name).substr(0, 255) : ""; };
    EXPECT_EQ(std::tuple(page.documentName, page.pageName, page.software),
              std::tuple(text(plan.documentName), text(plan.pageName), g4 ? kSoftwareName : ""));
    EXPECT_TRUE(page.pixels == RasterOf(plan)) << "pixels differ";
  }
}

bool FaultPlatform::Trips(std::uint32_t& count, std::uint32_t failAt, std::uint32_t* done) {
  if (failed || failAt == 0 || ++count != failAt) return false;
  failed = true;
  SetLastError(error);
  if (done != nullptr) *done = 0;
  return true;
}

bool FaultPlatform::FileWrite(FileHandle f, const void* b, std::uint32_t n, std::uint32_t* done) {
  if (f == watched) watchedWrites.push_back(n);
  return !Trips(writes, failWrite, done) && TestPlatform::FileWrite(f, b, n, done);
}

bool FaultPlatform::FileRead(FileHandle f, void* b, std::uint32_t n, std::uint32_t* done) {
  return !Trips(reads, failRead, done) && TestPlatform::FileRead(f, b, n, done);
}

std::uint32_t FaultPlatform::FileSeek(FileHandle f, std::int32_t d, std::uint32_t m) {
  return Trips(seeks, failSeek) ? kInvalidFilePosition : TestPlatform::FileSeek(f, d, m);
}

bool FaultPlatform::FileClose(FileHandle f) {
  const bool trips = Trips(closes, failClose);
  const bool closed = TestPlatform::FileClose(f);
  if (trips) SetLastError(error);
  return closed && !trips;
}

std::uint32_t Le16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes.at(at)) | static_cast<std::uint8_t>(bytes.at(at + 1)) << 8;
}
std::uint32_t Le32(const std::string& bytes, std::size_t at) { return Le16(bytes, at) | (Le16(bytes, at + 2) << 16); }
void PutLe(std::string& bytes, std::size_t at, std::uint32_t value, int size) {
  if (bytes.size() < at + size) bytes.resize(at + size, '\0');
  for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
std::string Le(std::uint32_t value, int size) {
  std::string out;
  PutLe(out, 0, value, size);
  return out;
}

FileHandle OpenExisting(Platform& platform, const std::string& path) {
  return platform.FileOpen(path.c_str(), kGenericRead | kGenericWrite, kShareNone, kOpenExisting, kAttributeNormal);
}

bool Released(Platform& platform, const std::string& path) {
  const FileHandle file = OpenExisting(platform, path);
  if (file == kInvalidFile) return false;
  platform.FileClose(file);
  return true;
}

// The walk of the chain of `path` to its end: its pages, or -1 when it cannot be walked.
static std::int64_t ChainPages(Platform& platform, DriverContext& context, const std::string& path) {
  const FileHandle file = OpenExisting(platform, path);
  std::uint32_t pages = kWalkToEnd, value = 0, position = 0, end = 0;
  const int result = file == kInvalidFile ? 1 : static_cast<int>(ToCode(WalkTiffChain(context, file, pages, value, position, end)));
  if (file != kInvalidFile) platform.FileClose(file);
  return result == 0 ? std::int64_t{pages} : -1;
}

HostileBench::HostileBench(TestPlatform& platform, DriverContext& context)
    : platform_(platform), context_(context), hostile_(platform.Scratch("hostile.tif")), valid_(platform.Scratch("valid.tif")) {
  if (WriteDocument(context, valid_, kValidPages) == Result::Ok) validBytes_ = ReadFileBytes(valid_);
}

std::string HostileBench::Exercise(const std::string& bytes) {
  if (validBytes_.empty()) return "no valid document to join with";
  WriteFileBytes(hostile_, bytes);
  const FileHandle file = OpenExisting(platform_, hostile_);
  if (file == kInvalidFile) return "cannot open the scratch file";
  std::string problem;
  for (std::uint32_t index : {kWalkToEnd, 0u, 1u, 2u, 3u, 0xFFFFFFFEu}) {
    std::uint32_t pages = index, value = 0, position = 0, end = 0;
    const int r = static_cast<int>(ToCode(WalkTiffChain(context_, file, pages, value, position, end)));
    if (r != 0 && r != 1) problem = Problem("walk result", r);
    if (r == 0 && end != bytes.size()) problem = Problem("walk end position", end);
    if (r == 0 && index == kWalkToEnd && (pages > tiff::kMaxChainPages || value != 0 || position + 4ull > bytes.size())) {
      problem = Problem("the walk to the end: page count, final link value or place", pages);
    }
  }
  const int shifted = static_cast<int>(ToCode(ShiftAppendedIfds(context_, file, static_cast<std::uint32_t>(bytes.size() / 2))));
  if (shifted != 0 && shifted != 1) problem = Problem("shift result", shifted);
  platform_.FileClose(file);
  if (!problem.empty()) return problem;
  WriteFileBytes(hostile_, bytes);
  const std::int64_t pages = ChainPages(platform_, context_, hostile_);  // -1: no sound chain
  const bool walks = pages >= 0;
  ++(walks ? walkable : unwalkable);
  const auto chainHas = [&](const std::string& path, std::int64_t want) { return ChainPages(platform_, context_, path) == want; };
  // Joined with the valid document, as the destination (`into`) or the source.
  const bool tiffHeader = bytes.compare(0, 4, std::string("II*\0", 4)) == 0;
  const bool usable = walks && pages + kValidPages.size() <= tiff::kMaxChainPages;
  for (const bool into : {true, false}) {
    WriteFileBytes(hostile_, bytes);
    WriteFileBytes(valid_, validBytes_);
    const std::string& destination = into ? hostile_ : valid_;
    const Result r = ConcatTiff(context_, destination.c_str(), (into ? valid_ : hostile_).c_str());
    const std::string after = ReadFileBytes(destination), what = into ? "join into: " : "join from: ";
    if (!into && ReadFileBytes(hostile_) != bytes) return "the source was changed";
    if (r == Result::TiffUnusable && after != (into ? bytes : validBytes_)) return what + "a refused join changed the destination";
    if (r == Result::TiffUnusable && (usable || (!into && !tiffHeader))) return what + "a usable file was refused";
    if (r != Result::TiffUnusable && r != Result::Ok) return Problem(what + "result", ToCode(r));
    if (r == Result::Ok && into && !walks) return "an unwalkable destination was joined";
    if (r == Result::Ok && after.size() != bytes.size() + validBytes_.size()) return what + "size";
    const std::int64_t joined = kValidPages.size() + (into || tiffHeader ? pages : 0);
    if (r == Result::Ok && !chainHas(destination, joined)) return what + "joined chain pages";
  }
  WriteFileBytes(hostile_, bytes);
  const Result r = ChangeDocname(context_, hostile_.c_str(), "a fuzzed document name");
  const std::string after = ReadFileBytes(hostile_);
  if (r == Result::TiffUnusable) return after == bytes ? "" : "a refused rename changed the file";
  if (r != Result::Ok) return Problem("rename result", ToCode(r));
  if (after.size() <= bytes.size() || Le32(after, 4) != bytes.size()) return "rename: the header does not point at the copy";
  return !walks || chainHas(hostile_, pages) ? "" : "rename: chain pages";
}

std::vector<std::string> HostileBench::Seeds() {
  std::vector<std::string> seeds;
  const std::string path = platform_.Scratch("seed.tif"), other = platform_.Scratch("seed-other.tif");
  const std::vector<PagePlan> coded{{40, 12, 3, 300, "Group 4 document", "p", 3},
                                    {33, 9, 3, 200, "abc", "page two", 4},
                                    {20, 4, 3, 600, nullptr, nullptr, 5}};
  const Bytes image = TestRaster(19, 7, 6);
  if (WriteDocument(context_, path, kValidPages) == Result::Ok) seeds.push_back(ReadFileBytes(path));
  if (WriteDocument(context_, other, coded) == Result::Ok) seeds.push_back(ReadFileBytes(other));
  if (ChangeDocname(context_, other.c_str(), "renamed") == Result::Ok) seeds.push_back(ReadFileBytes(other));
  if (ConcatTiff(context_, path.c_str(), other.c_str()) == Result::Ok) seeds.push_back(ReadFileBytes(path));
  if (MakeTiff(context_, path.c_str(), image.data(), 19, 7, 300, 300) == Result::Ok) seeds.push_back(ReadFileBytes(path));
  seeds.push_back(std::string("II*\0\0\0\0\0", 8));
  return seeds;
}

}  // namespace tarvo::test
