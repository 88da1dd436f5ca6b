// The BMP image of a page: exact header and palette bytes, rows bottom-up
// padded with zeros to four bytes.
#include <gtest/gtest.h>

#include <vector>

#include "core/Bytes.h"
#include "image/BmpWriter.h"

namespace tarvo {
namespace {

std::vector<std::uint8_t> Bmp(const std::vector<std::uint8_t>& pixels, int width, int rows, int resolution,
                              int imageType) {
  std::vector<std::uint8_t> out;
  EXPECT_EQ(WriteBmpImage(VectorSink(out), pixels.data(), width, rows, resolution, imageType), 0);
  return out;
}

TEST(Bmp, BilevelHeaderPaletteAndRows) {
  // 10 pixels by 3 rows, 300 dpi: rows of 2 raster bytes, 4 file bytes.
  const std::vector<std::uint8_t> expected = {
      'B', 'M', 74, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,  // file size 62 + 4 * 3, data offset
      40, 0, 0, 0, 10, 0, 0, 0, 3, 0, 0, 0,            // header size, width, height
      1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0,              // planes, bits per pixel, compression, image size
      0x23, 0x2E, 0, 0, 0x23, 0x2E, 0, 0,              // 300 * 10000 / 254 = 11811 per metre
      2, 0, 0, 0, 0, 0, 0, 0,                          // colours used, important
      255, 255, 255, 0, 0, 0, 0, 0,                    // white, black
      0xAA, 0xC0, 0, 0, 0x01, 0xFF, 0, 0, 0x80, 0x40, 0, 0,  // last raster row first
  };
  EXPECT_EQ(Bmp({0x80, 0x40, 0x01, 0xFF, 0xAA, 0xC0}, 10, 3, 300, 1), expected);
}

TEST(Bmp, GrayPaletteRowsAtRasterStrideAndFileSizes) {
  // 5 pixels by 2 rows: raster stride 8, file rows of 8 bytes.
  const std::vector<std::uint8_t> file =
      Bmp({1, 2, 3, 4, 5, 9, 9, 9, 10, 20, 30, 40, 50, 9, 9, 9}, 5, 2, 200, kImageGray);
  std::vector<std::uint8_t> expected(file.begin(), file.begin() + 54);
  for (int v = 0; v < 256; ++v) expected.insert(expected.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0});
  expected.insert(expected.end(), {10, 20, 30, 40, 50, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0});
  EXPECT_EQ(file, expected);
  EXPECT_EQ(GetLe32(file, 2), file.size());
  EXPECT_EQ(GetLe32(file, 10), 1078u);
  EXPECT_EQ(GetLe16(file, 28), 8u);
  EXPECT_EQ(GetLe32(file, 38), 200u * 10000 / 254);
  EXPECT_EQ(GetLe32(file, 46), 256u);
  // File rows of every width: whole 32-bit words of 1 or 8 bits a pixel.
  for (const int type : {kImageLineArt, kImageGray}) {
    const std::uint32_t bits = type == 1 ? 1 : 8, offset = type == 1 ? 62 : 1078;
    for (const int width : {1, 4, 5, 31, 32, 33, 2551, 2552}) {
      const std::vector<std::uint8_t> raster(BmpLayoutFor(width, 7, type).rasterStride * 7, 0);
      EXPECT_EQ(Bmp(raster, width, 7, 300, type).size(), offset + 7 * ((width * bits + 31) / 32 * 4)) << width;
    }
  }
}

TEST(Bmp, RefusedWriteOrNegativeSizeFails) {
  const std::vector<std::uint8_t> raster(16, 0);
  for (int failAt = 0; failAt < 4; ++failAt) {  // header, palette, the two rows
    std::pair<int, int> counter{0, failAt};
    ByteSink sink{&counter, [](void* c, const std::uint8_t*, std::uint32_t) {
                    auto& k = *static_cast<std::pair<int, int>*>(c);
                    return k.first++ != k.second;
                  }};
    EXPECT_EQ(WriteBmpImage(sink, raster.data(), 10, 2, 300, 1), -1) << failAt;
    EXPECT_EQ(counter.first, failAt + 1);
  }
  std::vector<std::uint8_t> out;
  EXPECT_EQ(WriteBmpImage(VectorSink(out), raster.data(), -1, 2, 300, 1), -1);
  EXPECT_EQ(WriteBmpImage(VectorSink(out), raster.data(), 70000, 70000, 300, 4), -1);
}

}  // namespace
}  // namespace tarvo
