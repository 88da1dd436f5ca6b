// tiff_pixels_equal DOC N PAGE: exit 0 when page N (from 0) of the TIFF DOC
// and PAGE (a TIFF's first page, or a binary PBM/PGM) have the same size and
// the same pixels, whatever their coding; the first difference is printed
// otherwise. 1-bit pages are compared as 1 = black after their photometric
// reading.
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Image {
  std::uint32_t width = 0, rows = 0;
  std::uint16_t bits = 0;
  std::vector<std::vector<unsigned char>> lines;  // 1 = black for 1-bit pages
};

// The next number of a PNM header, over blanks and comment lines.
unsigned HeaderNumber(std::FILE* f) {
  int c = std::fgetc(f);
  while (c == '#' || c == ' ' || c == '\n' || c == '\r' || c == '\t') {
    if (c == '#') {
      while (c != '\n' && c != EOF) c = std::fgetc(f);
    }
    c = std::fgetc(f);
  }
  unsigned n = 0;
  for (; c >= '0' && c <= '9'; c = std::fgetc(f)) n = n * 10 + static_cast<unsigned>(c - '0');
  return n;  // the one blank after the number is consumed
}

// Binary PBM (1 = black) or 8-bit PGM.
bool LoadPnm(const char* path, Image& image) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  const int p = std::fgetc(f);
  const int kind = std::fgetc(f);
  const bool bitmap = kind == '4';
  const unsigned width = HeaderNumber(f);
  const unsigned rows = HeaderNumber(f);
  bool ok = p == 'P' && (bitmap || (kind == '5' && HeaderNumber(f) == 255));
  image.width = width;
  image.rows = rows;
  image.bits = bitmap ? 1 : 8;
  const std::size_t used = bitmap ? (width + 7) / 8 : width;
  for (unsigned r = 0; ok && r < rows; ++r) {
    std::vector<unsigned char> row(used);
    ok = std::fread(row.data(), 1, used, f) == used;
    if (bitmap && width % 8 != 0) row.back() &= static_cast<unsigned char>(0xFF00 >> (width % 8));
    image.lines.push_back(std::move(row));
  }
  std::fclose(f);
  return ok;
}

bool Load(const char* path, int page, Image& image) {
  if (std::FILE* f = std::fopen(path, "rb")) {
    const int first = std::fgetc(f);
    std::fclose(f);
    if (first == 'P') return LoadPnm(path, image);
  }
  TIFF* tif = TIFFOpen(path, "r");
  if (tif == nullptr || !TIFFSetDirectory(tif, static_cast<tdir_t>(page))) return false;
  std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image.rows);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &image.bits);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  std::vector<unsigned char> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
  const std::size_t used = image.bits == 1 ? (image.width + 7) / 8 : image.width;
  for (std::uint32_t r = 0; r < image.rows; ++r) {
    if (TIFFReadScanline(tif, line.data(), r, 0) < 0) return false;
    std::vector<unsigned char> row(line.begin(), line.begin() + static_cast<long>(used));
    if (image.bits == 1 && photometric == PHOTOMETRIC_MINISBLACK) {
      for (unsigned char& b : row) b = static_cast<unsigned char>(~b);
    }
    if (image.bits == 1 && image.width % 8 != 0) row.back() &= static_cast<unsigned char>(0xFF00 >> (image.width % 8));
    image.lines.push_back(std::move(row));
  }
  TIFFClose(tif);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  Image a, b;
  if (!Load(argv[1], std::atoi(argv[2]), a) || !Load(argv[3], 0, b)) {
    std::fprintf(stderr, "cannot read %s page %s or %s\n", argv[1], argv[2], argv[3]);
    return 2;
  }
  if (a.width != b.width || a.rows != b.rows || a.bits != b.bits) {
    std::fprintf(stderr, "size %ux%u/%u against %ux%u/%u\n", a.width, a.rows, a.bits, b.width,
                 b.rows, b.bits);
    return 1;
  }
  for (std::uint32_t r = 0; r < a.rows; ++r) {
    if (a.lines[r] != b.lines[r]) {
      std::fprintf(stderr, "row %u differs\n", r);
      return 1;
    }
  }
  return 0;
}
