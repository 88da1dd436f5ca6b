// The BMP image of a page: exact header and palette bytes, rows bottom-up
// padded with zeros to four bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/BmpWriter.h"

namespace tarvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(std::string text) {  // "42 4D ...": two digits a byte, spaces do not count
  std::erase(text, ' ');
  Bytes out;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return out;
}

Bytes Bmp(const Bytes& pixels, int width, int rows, int resolution, int imageType) {
  Bytes out;
  EXPECT_EQ(WriteBmpImage(VectorSink(out), pixels.data(), width, rows, resolution, imageType), 0);
  return out;
}

TEST(Bmp, HeadersPalettesAndRowsBottomUp) {
  // 10 x 3 bilevel at 300 dpi (11811 per metre): rows of 2 raster bytes, 4 file bytes.
  EXPECT_EQ(Bmp({0x80, 0x40, 0x01, 0xFF, 0xAA, 0xC0}, 10, 3, 300, 1),
            Hex("42 4D 4A 00 00 00 00 00 00 00 3E 00 00 00 28 00 00 00 0A 00 00 00 03 00 00 00"
                "01 00 01 00 00 00 00 00 00 00 00 00 23 2E 00 00 23 2E 00 00 02 00 00 00 00 00 00 00"
                "FF FF FF 00 00 00 00 00 AA C0 00 00 01 FF 00 00 80 40 00 00"));
  // 5 x 2 gray at 200 dpi: raster stride 8, file rows of 8 bytes, 256 gray entries.
  Bytes gray = Hex("42 4D 46 04 00 00 00 00 00 00 36 04 00 00 28 00 00 00 05 00 00 00 02 00 00 00"
                   "01 00 08 00 00 00 00 00 00 00 00 00 C2 1E 00 00 C2 1E 00 00 00 01 00 00 00 00 00 00");
  for (int v = 0; v < 256; ++v) gray.insert(gray.end(), {std::uint8_t(v), std::uint8_t(v), std::uint8_t(v), 0});
  gray.insert(gray.end(), {10, 20, 30, 40, 50, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0});
  EXPECT_EQ(Bmp({1, 2, 3, 4, 5, 9, 9, 9, 10, 20, 30, 40, 50, 9, 9, 9}, 5, 2, 200, kImageGray), gray);
}

TEST(Bmp, RefusedWriteOrNegativeSizeFails) {
  const Bytes raster(16, 0);
  for (int failAt = 0; failAt < 4; ++failAt) {  // header, palette, the two rows
    std::pair<int, int> counter{0, failAt};
    ByteSink sink{&counter, [](void* c, const std::uint8_t*, std::uint32_t) {
                    auto& k = *static_cast<std::pair<int, int>*>(c);
                    return k.first++ != k.second;
                  }};
    EXPECT_EQ(WriteBmpImage(sink, raster.data(), 10, 2, 300, 1), -1) << failAt;
    EXPECT_EQ(counter.first, failAt + 1);
  }
  Bytes out;
  EXPECT_EQ(WriteBmpImage(VectorSink(out), raster.data(), -1, 2, 300, 1), -1);
  EXPECT_EQ(WriteBmpImage(VectorSink(out), raster.data(), 70000, 70000, 300, 4), -1);
}

}  // namespace
}  // namespace tarvo
