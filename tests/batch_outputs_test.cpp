// Pages stored outside TIFF documents through the whole page transfer: gray
// pages as JPEG and BMP, bilevel pages through the coder as PNG, inverted data.
// libjpeg and libpng read back what the sibling libraries wrote; the
// simulator's own rendering judges the pixels.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "Bus.h"
#include "image/ExternalCodecs.h"
#include "scan/Batch.h"
#include "scan/DriverContext.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Transport.h"
#include "tiff_support.h"

namespace tarvo {
namespace {

using test::Bytes;

// Finds the sibling libraries in the build tree under their Windows names.
class OutputPlatform : public test::TestPlatform {
 public:
  LibraryHandle LibraryLoad(const char* name) override {
    if (std::string(name) == kJpegLibraryName) return TestPlatform::LibraryLoad(TARVO_KLXJPEG);
    if (std::string(name) == kCoderLibraryName) return TestPlatform::LibraryLoad(TARVO_RAVEZEVA);
    return TestPlatform::LibraryLoad(name);
  }
};

// width, height, components, X density as libjpeg reads them; all 0 when it cannot.
std::tuple<unsigned, unsigned, int, unsigned> ReadJpeg(const std::string& path) {
  std::tuple<unsigned, unsigned, int, unsigned> info{};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return info;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    info = std::tuple(cinfo.image_width, cinfo.image_height, cinfo.num_components, unsigned{cinfo.X_density});
  }
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return info;
}

class BatchOutputs : public ::testing::Test {
 protected:
  BatchOutputs() : page_(8u << 20) {
    scanner_ = &bus_.AddScanner(0, 0);
    SetProvider(context_.transport, &bus_);
  }
  void Set(std::int32_t id, std::int32_t value) { ASSERT_EQ(ParSet(context_, id, &value), Result::Ok) << id; }
  // Probes, sets a 200 dpi window 803 pixels wide (not a multiple of 8) on the sheet, turned, and starts.
  void Prepare(std::int32_t imageType, std::int32_t bits, std::int32_t fileType, std::int32_t compression) {
    ASSERT_EQ(Probe(context_), Result::Ok);
    for (auto [id, value] : {std::pair{PAR_RESOLUTION, 200}, {PAR_SCAN_WIDTH, 803}, {PAR_SCAN_LENGTH, 1400},
                             {PAR_SIDE_OFFSET, 2325 - 803}, {PAR_IMAGE_TYPE, imageType}, {PAR_BITS_PER_PIXEL, bits},
                             {PAR_FILE_TYPE, fileType}, {PAR_COMPRESSION, compression}, {PAR_ROTATE, 1}}) {
      Set(id, value);
    }
    ASSERT_TRUE(scanner_->AddSyntheticPages(1, 77, 200));
    std::uint32_t position = 0;
    ASSERT_EQ(StartScan(context_, nullptr, &position, nullptr), Result::Ok);
  }
  Result Read(const std::string& path) { return ReadPage(context_, path.c_str(), page_.data(), nullptr); }
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

TEST_F(BatchOutputs, GrayJpegAndBilevelPngHaveTheWidthCutToWholeBytes) {
  Prepare(4, 8, 2, 4);
  const std::string jpeg = platform_.Scratch("page.jpg"), png = platform_.Scratch("page.png");
  ASSERT_EQ(Read(jpeg), Result::Ok);
  EXPECT_EQ(ReadJpeg(jpeg), std::tuple(800u, static_cast<unsigned>(context_.settings.pageWidth), 1, 200u));
  Prepare(1, 1, 4, 5);
  ASSERT_EQ(Read(png), Result::Ok);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_NE(png_image_begin_read_from_file(&image, png.c_str()), 0);
  png_image_free(&image);
  EXPECT_EQ(std::tuple(image.width, image.height), std::tuple(800u, static_cast<png_uint_32>(context_.settings.pageWidth)));
  EXPECT_EQ(test::ReadFileBytes(png).at(24), 1) << "bit depth";
}

TEST_F(BatchOutputs, GrayFourBitPageAsBmpHoldsTheExpandedLevels) {
  Prepare(4, 4, 8, 0);
  sim::ImageJob job;
  const Bytes rows = ScannerRows(job);
  const std::string path = platform_.Scratch("page.bmp");
  ASSERT_EQ(Read(path), Result::Ok);
  const std::string bmp = test::ReadFileBytes(path);
  const std::uint32_t fileRow = (job.width + 3) / 4 * 4;
  ASSERT_EQ(bmp.size(), 1078u + std::size_t{fileRow} * job.rows);
  EXPECT_EQ(bmp.substr(0, 2), "BM");
  EXPECT_EQ(std::tuple(test::Le32(bmp, 10), test::Le32(bmp, 18), test::Le32(bmp, 22), test::Le32(bmp, 38)),
            std::tuple(1078u, job.width, job.rows, 200u * 10000u / 254u));
  // The file's last row is the page's first; 4-bit level v shows as v * 17.
  for (std::uint32_t y : {0u, job.rows / 2, job.rows - 1}) {
    const std::size_t fileAt = 1078u + std::size_t{job.rows - 1 - y} * fileRow;
    for (std::uint32_t x = 0; x < job.width; x += 37) {
      const std::uint8_t b = rows[std::size_t{y} * job.rowBytes + x / 2];
      ASSERT_EQ(static_cast<std::uint8_t>(bmp[fileAt + x]), (x % 2 == 0 ? b >> 4 : b & 15) * 17) << x << "," << y;
    }
  }
}

TEST_F(BatchOutputs, InvertedBilevelDataIsTheNegativeOfTheScannerRows) {
  Prepare(1, 1, 8, 0);
  Set(PAR_INVERT, 1);
  sim::ImageJob job;
  const Bytes rows = ScannerRows(job);
  ASSERT_EQ(Read(platform_.Scratch("inverted.bmp")), Result::Ok);
  const std::size_t stride = (job.width + 7) / 8;
  EXPECT_NE(std::count(rows.begin(), rows.end(), 0), static_cast<long>(rows.size()));
  for (std::size_t y = 0; y < job.rows; y += 13) {
    for (std::size_t i = 0; i + 1 < stride; ++i) {
      ASSERT_EQ(page_[y * stride + i], static_cast<std::uint8_t>(~rows[y * job.rowBytes + i])) << i << "," << y;
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
  std::tie(context.settings.scanWidth, context.settings.scanLength) = std::tuple(800, 640);  // the buffer holds 8 MiB
  std::tie(context.settings.imageType, context.settings.bitsPerPixel) = std::tuple(4, 8);
  std::tie(context.settings.fileType, context.settings.compression) = std::tuple(2, 4);
  ASSERT_TRUE(scanner_->AddSyntheticPages(2, 5, 200));
  std::uint32_t position = 0;
  ASSERT_EQ(StartScan(context, nullptr, &position, nullptr), Result::Ok);
  EXPECT_EQ(ReadPage(context, platform.Scratch("x.jpg").c_str(), page_.data(), nullptr), Result::FileError);
  // The batch goes on with the next page.
  std::tie(context.settings.fileType, context.settings.compression) = std::tuple(8, 0);
  EXPECT_EQ(ReadPage(context, platform.Scratch("x.bmp").c_str(), page_.data(), nullptr), Result::Ok);
}

}  // namespace
}  // namespace tarvo
