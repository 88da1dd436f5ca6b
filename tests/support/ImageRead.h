// JPEG and PNG files as libjpeg and libpng read them: 8-bit gray pixels, as a
// viewer shows them, and the header values the tests judge. Empty when the file cannot be opened.
#pragma once

#include <jpeglib.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

namespace tarvo::test {

struct Gray {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
  std::vector<unsigned> header;  // JPEG: components, density unit, X and Y density
  std::uint8_t At(std::uint32_t x, std::uint32_t y) const { return pixels[std::size_t{y} * width + x]; }
};

inline Gray ReadJpegGray(const std::string& path) {
  Gray g;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return g;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  g.header = {unsigned(cinfo.num_components), cinfo.density_unit, cinfo.X_density, cinfo.Y_density};
  cinfo.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&cinfo);
  std::tie(g.width, g.height) = std::tuple(cinfo.output_width, cinfo.output_height);
  g.pixels.resize(std::size_t{g.width} * g.height);
  for (JSAMPROW row; cinfo.output_scanline < cinfo.output_height;) {
    row = g.pixels.data() + std::size_t{cinfo.output_scanline} * g.width;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  return g;
}

inline Gray ReadPngGray(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return {};
  image.format = PNG_FORMAT_GRAY;
  Gray g{image.width, image.height, std::vector<std::uint8_t>(PNG_IMAGE_SIZE(image)), {}};
  if (png_image_finish_read(&image, nullptr, g.pixels.data(), 0, nullptr) == 0) return {};
  return g;
}

}  // namespace tarvo::test
