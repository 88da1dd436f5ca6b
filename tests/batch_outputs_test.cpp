// Pages stored outside TIFF documents, through the whole page transfer: gray
// pages as JPEG, BMP and the coder's PNG, bilevel pages as BMP, inverted
// data. libjpeg and libpng read back what the sibling libraries wrote; the
// simulator's own rendering judges the pixels.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Bus.h"
#include "image/ExternalCodecs.h"
#include "scan/Batch.h"
#include "scan/DriverContext.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Transport.h"
#include "support/TestPlatform.h"

namespace tarvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Finds the sibling libraries in the build tree under their Windows names.
class OutputPlatform : public test::TestPlatform {
 public:
  LibraryHandle LibraryLoad(const char* name) override {
    if (std::string(name) == kJpegLibraryName) return TestPlatform::LibraryLoad(TARVO_KLXJPEG);
    if (std::string(name) == kCoderLibraryName) return TestPlatform::LibraryLoad(TARVO_RAVEZEVA);
    return TestPlatform::LibraryLoad(name);
  }
};

struct JpegInfo {
  bool ok = false;
  unsigned width = 0, height = 0, components = 0, density = 0;
};

JpegInfo ReadJpeg(const std::string& path) {
  JpegInfo info;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return info;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    info.ok = true;
    info.width = cinfo.image_width;
    info.height = cinfo.image_height;
    info.components = static_cast<unsigned>(cinfo.num_components);
    info.density = cinfo.X_density;
  }
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return info;
}

struct PngInfo {
  bool ok = false;
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0;
};

PngInfo ReadPng(const std::string& path) {
  PngInfo info;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) != 0) {
    info.ok = true;
    info.width = image.width;
    info.height = image.height;
    info.bitDepth = PNG_IMAGE_SAMPLE_SIZE(image.format) * 8;
    png_image_free(&image);
  }
  return info;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 3])) << 24;
}

class BatchOutputs : public ::testing::Test {
 protected:
  BatchOutputs() : page_(8u << 20) {
    scanner_ = &bus_.AddScanner(0, 0);
    SetProvider(context_.transport, &bus_);
  }
  void Set(std::int32_t id, std::int32_t value) {
    ASSERT_EQ(ParSet(context_, id, &value), Result::Ok) << "parameter " << id;
  }
  // Probes and sets a 200 dpi window of the given kind, unturned.
  void Prepare(std::int32_t imageType, std::int32_t bits, std::int32_t fileType,
               std::int32_t compression) {
    ASSERT_EQ(Probe(context_), Result::Ok);
    Set(PAR_RESOLUTION, 200);
    Set(PAR_SCAN_WIDTH, 803);  // not a multiple of 8
    Set(PAR_SCAN_LENGTH, 1400);
    Set(PAR_SIDE_OFFSET, 2325 - 803);  // upper left X 0: the window lies on the sheet
    Set(PAR_IMAGE_TYPE, imageType);
    Set(PAR_BITS_PER_PIXEL, bits);
    Set(PAR_FILE_TYPE, fileType);
    Set(PAR_COMPRESSION, compression);
    Set(PAR_ROTATE, 1);
    ASSERT_TRUE(scanner_->AddSyntheticPages(1, 77, 200));
    std::uint32_t position = 0;
    ASSERT_EQ(StartScan(context_, nullptr, &position, nullptr), Result::Ok);
  }
  // The scanner's rows of the page now in it, as the simulator renders them.
  Bytes ScannerRows(sim::ImageJob& job) {
    sim::Page page;
    EXPECT_TRUE(sim::MakeSyntheticPage(sim::SyntheticPlan{77, 0, 200, 2100, 2970}, page));
    page.Materialize();
    page.TurnForFeed();
    job = scanner_->PlanImage(page);
    Bytes rows(job.totalBytes);
    sim::Rt650::RenderImage(page, job, 0, rows);
    return rows;
  }

  OutputPlatform platform_;
  DriverContext context_{platform_};
  sim::Bus bus_;
  sim::Rt650* scanner_ = nullptr;
  Bytes page_;
};

TEST_F(BatchOutputs, GrayPageAsJpegHasTheWidthCutToWholeBytesAndTheDensity) {
  Prepare(4, 8, 2, 4);
  const std::string path = platform_.Scratch("page.jpg");
  ASSERT_EQ(ReadPage(context_, path.c_str(), page_.data(), nullptr), Result::Ok);
  const JpegInfo jpeg = ReadJpeg(path);
  ASSERT_TRUE(jpeg.ok);
  EXPECT_EQ(jpeg.width, 800u);
  EXPECT_EQ(jpeg.height, static_cast<unsigned>(context_.settings.pageWidth));
  EXPECT_EQ(jpeg.components, 1u);
  EXPECT_EQ(jpeg.density, 200u);
}

TEST_F(BatchOutputs, GrayFourBitPageAsBmpHoldsTheExpandedLevels) {
  Prepare(4, 4, 8, 0);
  sim::ImageJob job;
  const Bytes rows = ScannerRows(job);
  const std::string path = platform_.Scratch("page.bmp");
  ASSERT_EQ(ReadPage(context_, path.c_str(), page_.data(), nullptr), Result::Ok);
  const std::string bmp = test::ReadFileBytes(path);
  ASSERT_GE(bmp.size(), 1078u);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(Le32(bmp, 10), 1078u);
  EXPECT_EQ(Le32(bmp, 18), job.width);
  EXPECT_EQ(Le32(bmp, 22), job.rows);
  EXPECT_EQ(Le32(bmp, 38), 200u * 10000u / 254u);
  const std::uint32_t fileRow = (job.width + 3) / 4 * 4;
  ASSERT_EQ(bmp.size(), 1078u + std::size_t{fileRow} * job.rows);
  // The file's last row is the page's first; 4-bit level v shows as v * 17.
  for (std::uint32_t y : {0u, job.rows / 2, job.rows - 1}) {
    const std::size_t fileAt = 1078u + std::size_t{job.rows - 1 - y} * fileRow;
    for (std::uint32_t x = 0; x < job.width; x += 37) {
      const std::uint8_t b = rows[std::size_t{y} * job.rowBytes + x / 2];
      const std::uint8_t level = static_cast<std::uint8_t>((x % 2 == 0 ? b >> 4 : b & 15) * 17);
      ASSERT_EQ(static_cast<std::uint8_t>(bmp[fileAt + x]), level) << x << "," << y;
    }
  }
}

TEST_F(BatchOutputs, BilevelPageThroughTheCoderIsAOneBitPng) {
  Prepare(1, 1, 4, 5);
  const std::string path = platform_.Scratch("page.png");
  ASSERT_EQ(ReadPage(context_, path.c_str(), page_.data(), nullptr), Result::Ok);
  const PngInfo png = ReadPng(path);
  ASSERT_TRUE(png.ok);
  EXPECT_EQ(png.width, 800u);
  EXPECT_EQ(png.height, static_cast<png_uint_32>(context_.settings.pageWidth));
}

TEST_F(BatchOutputs, InvertedBilevelDataIsTheNegativeOfTheScannerRows) {
  Prepare(1, 1, 8, 0);
  Set(PAR_INVERT, 1);
  sim::ImageJob job;
  const Bytes rows = ScannerRows(job);
  const std::string path = platform_.Scratch("inverted.bmp");
  ASSERT_EQ(ReadPage(context_, path.c_str(), page_.data(), nullptr), Result::Ok);
  const std::size_t stride = (job.width + 7) / 8;
  EXPECT_NE(std::count(rows.begin(), rows.end(), 0), static_cast<long>(rows.size()));
  for (std::uint32_t y = 0; y < job.rows; y += 13) {
    for (std::size_t i = 0; i + 1 < stride; ++i) {
      ASSERT_EQ(page_[y * stride + i], static_cast<std::uint8_t>(~rows[y * job.rowBytes + i]))
          << i << "," << y;
    }
  }
}

TEST_F(BatchOutputs, AMissingSiblingLibraryFailsThePageWithAFileError) {
  class NoCodecs : public OutputPlatform {
   public:
    LibraryHandle LibraryLoad(const char*) override { return nullptr; }
  } platform;
  DriverContext context(platform);
  SetProvider(context.transport, &bus_);
  ASSERT_EQ(Probe(context), Result::Ok);
  context.settings.scanWidth = 800;  // the page buffer holds 8 MiB
  context.settings.scanLength = 640;
  context.settings.imageType = 4;
  context.settings.bitsPerPixel = 8;
  context.settings.fileType = 2;
  context.settings.compression = 4;
  ASSERT_TRUE(scanner_->AddSyntheticPages(2, 5, 200));
  std::uint32_t position = 0;
  ASSERT_EQ(StartScan(context, nullptr, &position, nullptr), Result::Ok);
  EXPECT_EQ(ReadPage(context, platform.Scratch("x.jpg").c_str(), page_.data(), nullptr),
            Result::FileError);
  // The batch goes on with the next page.
  context.settings.fileType = 8;
  context.settings.compression = 0;
  EXPECT_EQ(ReadPage(context, platform.Scratch("x.bmp").c_str(), page_.data(), nullptr),
            Result::Ok);
}

}  // namespace
}  // namespace tarvo
