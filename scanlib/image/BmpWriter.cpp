#include "image/BmpWriter.h"

#include "core/Bytes.h"

namespace tarvo {
namespace {

constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kBilevelPaletteBytes = 8;
constexpr std::uint32_t kGrayPaletteBytes = 1024;

constexpr std::array<std::uint8_t, kBilevelPaletteBytes> kBilevelPalette = {
    255, 255, 255, 0,  // 0: white
    0,   0,   0,   0,  // 1: black
};

constexpr std::array<std::uint8_t, kGrayPaletteBytes> BuildGrayPalette() {
  std::array<std::uint8_t, kGrayPaletteBytes> palette{};
  for (unsigned v = 0; v < 256; ++v) {
    palette[v * 4] = palette[v * 4 + 1] = palette[v * 4 + 2] = static_cast<std::uint8_t>(v);
  }
  return palette;
}
constexpr std::array<std::uint8_t, kGrayPaletteBytes> kGrayPalette = BuildGrayPalette();

}  // namespace

BmpLayout BmpLayoutFor(std::int32_t width, std::int32_t rows, std::int32_t imageType) {
  BmpLayout layout;
  layout.gray = imageType == kImageGray;
  const std::uint64_t w = width > 0 ? static_cast<std::uint64_t>(width) : 0;
  const std::uint64_t h = rows > 0 ? static_cast<std::uint64_t>(rows) : 0;
  if (layout.gray) {
    layout.dataOffset = kBmpHeaderBytes + kGrayPaletteBytes;
    layout.fileRowBytes = static_cast<std::uint32_t>((w + 3) / 4 * 4);
    layout.rasterRowBytes = static_cast<std::uint32_t>(w);
    layout.rasterStride = static_cast<std::uint32_t>((w + 7) / 8 * 8);
  } else {
    layout.dataOffset = kBmpHeaderBytes + kBilevelPaletteBytes;
    layout.fileRowBytes = static_cast<std::uint32_t>((w + 31) / 32 * 4);
    layout.rasterRowBytes = static_cast<std::uint32_t>((w + 7) / 8);
    layout.rasterStride = layout.rasterRowBytes;
  }
  layout.fileSize = layout.dataOffset + std::uint64_t{layout.fileRowBytes} * h;
  return layout;
}

std::array<std::uint8_t, kBmpHeaderBytes> BmpHeader(const BmpLayout& layout, std::int32_t width,
                                                    std::int32_t rows, std::int32_t resolution) {
  std::array<std::uint8_t, kBmpHeaderBytes> header{};
  const ByteSpan h(header);
  const std::uint32_t pixelsPerMetre =
      static_cast<std::uint32_t>(static_cast<std::int64_t>(resolution) * 10000 / 254);
  h[0] = 'B';                                                  //  0: signature
  h[1] = 'M';
  PutLe32(h, 2, static_cast<std::uint32_t>(layout.fileSize));  //  2: file size
  PutLe32(h, 6, 0);                                            //  6: reserved
  PutLe32(h, 10, layout.dataOffset);                           // 10: data offset
  PutLe32(h, 14, kInfoHeaderBytes);                            // 14: header size
  PutLe32(h, 18, static_cast<std::uint32_t>(width));           // 18: width
  PutLe32(h, 22, static_cast<std::uint32_t>(rows));            // 22: height, bottom-up
  PutLe16(h, 26, 1);                                           // 26: planes
  PutLe16(h, 28, layout.gray ? 8 : 1);                         // 28: bits per pixel
  PutLe32(h, 30, 0);                                           // 30: compression
  PutLe32(h, 34, 0);                                           // 34: image size
  PutLe32(h, 38, pixelsPerMetre);                              // 38: X pixels per metre
  PutLe32(h, 42, pixelsPerMetre);                              // 42: Y pixels per metre
  PutLe32(h, 46, layout.gray ? 256 : 2);                       // 46: colours used
  PutLe32(h, 50, 0);                                           // 50: important colours
  return header;
}

int WriteBmpImage(ByteSink sink, const std::uint8_t* pixels, std::int32_t width,
                  std::int32_t rows, std::int32_t resolution, std::int32_t imageType) {
  if (width < 0 || rows < 0 || (pixels == nullptr && width > 0 && rows > 0)) return -1;
  const BmpLayout layout = BmpLayoutFor(width, rows, imageType);
  if (layout.fileSize > 0xFFFFFFFFu) return -1;

  const auto header = BmpHeader(layout, width, rows, resolution);
  if (!sink.Write(header.data(), kBmpHeaderBytes)) return -1;
  const bool paletteWritten =
      layout.gray ? sink.Write(kGrayPalette.data(), kGrayPaletteBytes)
                  : sink.Write(kBilevelPalette.data(), kBilevelPaletteBytes);
  if (!paletteWritten) return -1;

  static constexpr std::uint8_t kZeros[4] = {0, 0, 0, 0};
  const std::uint32_t pad = layout.fileRowBytes - layout.rasterRowBytes;  // 0..3
  for (std::int32_t r = rows - 1; r >= 0; --r) {
    const std::uint8_t* row = pixels + static_cast<std::size_t>(r) * layout.rasterStride;
    if (layout.rasterRowBytes != 0 && !sink.Write(row, layout.rasterRowBytes)) return -1;
    if (pad != 0 && !sink.Write(kZeros, pad)) return -1;
  }
  return 0;
}

}  // namespace tarvo
