// TIFF test support: pages made on purpose, documents built with the driver's page-adding operation, libtiff
// judging them, a platform failing the N-th call, and a bench running the operations that read outside files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Result.h"
#include "scan/DriverContext.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

using Bytes = std::vector<std::uint8_t>;

// A bilevel raster: rows of (width + 7) / 8 bytes, 1 = black, bits past the width 0.
Bytes TestRaster(std::uint32_t width, std::uint32_t length, std::uint32_t seed);

struct PagePlan {
  std::uint32_t width = 0, length = 0, compression = 0 /* driver code: 0 or 3 */, resolution = 300;
  const char *documentName = nullptr, *pageName = nullptr;
  std::uint32_t seed = 1;
};

// Adds one page to the open document as the batch does: the image data (Group 4 coded by libtiff when asked), the
// page's settings and names, AddPageToDocument. WriteDocument creates `path`, adds every page and closes it.
Result AddTestPage(DriverContext& context, const PagePlan& page);
Result WriteDocument(DriverContext& context, const std::string& path, const std::vector<PagePlan>& pages);
Bytes RasterOf(const PagePlan& page);

struct LibtiffPage {  // what libtiff reads from one page
  std::uint32_t width = 0, length = 0;
  std::uint16_t compression = 0, photometric = 0, bitsPerSample = 0, resolutionUnit = 0;
  float xResolution = 0, yResolution = 0;
  std::string documentName, pageName, software;  // empty when absent
  Bytes pixels;  // decoded rows of (width + 7) / 8 bytes
};

struct LibtiffFile {
  bool opened = false;
  std::string errors;  // libtiff's error messages
  std::vector<LibtiffPage> pages;
};

LibtiffFile ReadWithLibtiff(const std::string& path);

// Asserts that libtiff reads exactly these pages from `path`: sizes, coding, resolution, texts (Group 4 only), pixels.
void ExpectLibtiffPages(const std::string& path, const std::vector<PagePlan>& plans);

// Fails the N-th (1-based) call of a kind with `error`, once; 0 fails nothing.
class FaultPlatform : public TestPlatform {
 public:
  std::uint32_t failWrite = 0, failRead = 0, failSeek = 0;
  std::uint32_t failClose = 0;  // the handle is closed all the same
  std::uint32_t error = kErrorDiskFull;
  std::uint32_t writes = 0, reads = 0, seeks = 0, closes = 0;
  bool failed = false;
  FileHandle watched = kInvalidFile;
  std::vector<std::uint32_t> watchedWrites;  // the sizes of the writes to `watched`

  void Arm(std::uint32_t write, std::uint32_t read, std::uint32_t seek) {
    failWrite = write, failRead = read, failSeek = seek, failClose = 0;
    writes = reads = seeks = closes = 0;
    failed = false;
  }
  bool FileWrite(FileHandle f, const void* b, std::uint32_t n, std::uint32_t* done) override;
  bool FileRead(FileHandle f, void* b, std::uint32_t n, std::uint32_t* done) override;
  std::uint32_t FileSeek(FileHandle f, std::int32_t d, std::uint32_t m) override;
  bool FileClose(FileHandle f) override;

 private:
  bool Trips(std::uint32_t& count, std::uint32_t failAt, std::uint32_t* done = nullptr);  // zeroes `done`
};

// Little-endian numbers: read, written in place (growing the text), a text of `size` bytes.
std::uint32_t Le16(const std::string& bytes, std::size_t at);
std::uint32_t Le32(const std::string& bytes, std::size_t at);
void PutLe(std::string& bytes, std::size_t at, std::uint32_t value, int size);
std::string Le(std::uint32_t value, int size);

FileHandle OpenExisting(Platform& platform, const std::string& path);  // read-write, unshared
bool Released(Platform& platform, const std::string& path);  // nobody holds the file

// Runs the chain walk, the entry shift, both joins and renaming on any bytes; Exercise returns what broke, or "".
class HostileBench {
 public:
  HostileBench(TestPlatform& platform, DriverContext& context);  // writes a document to join
  std::string Exercise(const std::string& bytes);
  // Our documents as seeds: uncoded and Group 4 pages, long and short texts, renamed, joined, TsdMakeTiff, no pages.
  std::vector<std::string> Seeds();
  int walkable = 0, unwalkable = 0;  // inputs whose chain could (not) be walked to its end

 private:
  TestPlatform& platform_;
  DriverContext& context_;
  std::string hostile_, valid_, validBytes_;
};

}  // namespace tarvo::test
