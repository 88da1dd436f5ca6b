// The BMP image of a page: exact header and palette bytes, rows bottom-up
// with zero padding, read back by a small reader of its own.
#include <gtest/gtest.h>

#include <vector>

#include "core/Bytes.h"
#include "image/BmpWriter.h"

namespace tarvo {
namespace {

std::vector<std::uint8_t> Bmp(const std::vector<std::uint8_t>& pixels, int width, int rows,
                              int resolution, int imageType) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(WriteBmpImage(VectorSink(out), pixels.data(), width, rows, resolution, imageType), 0);
  return out;
}

TEST(Bmp, BilevelHeaderPaletteAndRows) {
  // 10 pixels by 3 rows, 300 dpi: rows of 2 raster bytes, 4 file bytes.
  const std::vector<std::uint8_t> raster = {0x80, 0x40, 0x01, 0xFF, 0xAA, 0xC0};
  const std::vector<std::uint8_t> file = Bmp(raster, 10, 3, 300, 1);
  const std::vector<std::uint8_t> expected = {
      'B', 'M', 74, 0, 0, 0,  // file size 62 + 4 * 3
      0, 0, 0, 0,             // reserved
      62, 0, 0, 0,            // data offset
      40, 0, 0, 0,            // header size
      10, 0, 0, 0,            // width
      3, 0, 0, 0,             // height
      1, 0, 1, 0,             // planes, bits per pixel
      0, 0, 0, 0, 0, 0, 0, 0,  // compression, image size
      0x23, 0x2E, 0, 0,       // 300 * 10000 / 254 = 11811
      0x23, 0x2E, 0, 0,
      2, 0, 0, 0,             // colours used
      0, 0, 0, 0,             // important colours
      255, 255, 255, 0, 0, 0, 0, 0,  // white, black
      0xAA, 0xC0, 0, 0,       // last raster row first
      0x01, 0xFF, 0, 0,
      0x80, 0x40, 0, 0,
  };
  EXPECT_EQ(file, expected);
}

TEST(Bmp, GrayPaletteRowsAtRasterStrideAndFileSizes) {
  // 5 pixels by 2 rows: raster stride 8, file rows of 8 bytes.
  const std::vector<std::uint8_t> raster = {1, 2, 3, 4, 5, 9, 9, 9, 10, 20, 30, 40, 50, 9, 9, 9};
  const std::vector<std::uint8_t> file = Bmp(raster, 5, 2, 200, kGrayImageType);
  ASSERT_EQ(file.size(), 1078u + 16u);
  EXPECT_EQ(GetLe32(file, 2), file.size());
  EXPECT_EQ(GetLe32(file, 10), 1078u);
  EXPECT_EQ(GetLe16(file, 28), 8u);
  EXPECT_EQ(GetLe32(file, 38), 200u * 10000 / 254);
  EXPECT_EQ(GetLe32(file, 46), 256u);
  for (unsigned v = 0; v < 256; ++v) {
    EXPECT_EQ(file[54 + 4 * v], v);
    EXPECT_EQ(file[54 + 4 * v + 1], v);
    EXPECT_EQ(file[54 + 4 * v + 2], v);
    EXPECT_EQ(file[54 + 4 * v + 3], 0);
  }
  const std::vector<std::uint8_t> rows(file.begin() + 1078, file.end());
  EXPECT_EQ(rows, (std::vector<std::uint8_t>{10, 20, 30, 40, 50, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}));
}

TEST(Bmp, FileRowLengthsAcrossWidths) {
  struct Case {
    int width;
    int imageType;
    std::uint32_t rowBytes;
  } cases[] = {{1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {2552, 1, 320}, {1, 4, 4},
               {4, 4, 4}, {5, 4, 8}, {2551, 4, 2552}};
  for (const Case& c : cases) {
    const BmpLayout layout = BmpLayoutFor(c.width, 7, c.imageType);
    EXPECT_EQ(layout.fileRowBytes, c.rowBytes) << c.width;
    const std::vector<std::uint8_t> raster(layout.rasterStride * 7, 0);
    const std::vector<std::uint8_t> file = Bmp(raster, c.width, 7, 300, c.imageType);
    EXPECT_EQ(file.size(), layout.dataOffset + 7 * c.rowBytes) << c.width;
    EXPECT_EQ(GetLe32(file, 2), file.size());
  }
}

TEST(Bmp, RefusedWriteOrNegativeSizeFails) {
  const std::vector<std::uint8_t> raster(16, 0);
  int calls = 0;
  for (int failAt = 0; failAt < 4; ++failAt) {
    struct Counter {
      int calls;
      int failAt;
    } counter{0, failAt};
    ByteSink sink{&counter, [](void* c, const std::uint8_t*, std::uint32_t) {
                    auto& k = *static_cast<Counter*>(c);
                    return k.calls++ != k.failAt;
                  }};
    EXPECT_EQ(WriteBmpImage(sink, raster.data(), 10, 2, 300, 1), -1) << failAt;
    calls += counter.calls;
  }
  EXPECT_GT(calls, 0);
  std::vector<std::uint8_t> out;
  EXPECT_EQ(WriteBmpImage(VectorSink(out), raster.data(), -1, 2, 300, 1), -1);
  EXPECT_EQ(WriteBmpImage(VectorSink(out), raster.data(), 70000, 70000, 300, 4), -1);
}

}  // namespace
}  // namespace tarvo
