// tiff_pixels_equal DOC N PAGE: exit 0 when page N (from 0) of the TIFF DOC
// and PAGE (a TIFF's first page, or a binary PBM/PGM) have the same size and
// the same pixels, whatever their coding; the first difference is printed
// otherwise. 1-bit pages are compared as 1 = black after their photometric
// reading.
#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Image {
  std::uint32_t width = 0, rows = 0;
  std::uint16_t bits = 0;
  std::vector<unsigned char> bytes;  // the used bytes of each row; 1 = black for 1-bit pages
  std::size_t RowBytes() const { return bits == 1 ? (width + 7) / 8 : width; }
  // Keeps the used bytes of a row, the unused bits of a 1-bit row cleared.
  void Add(const unsigned char* row, bool invert) {
    for (std::size_t i = 0; i < RowBytes(); ++i) bytes.push_back(invert ? static_cast<unsigned char>(~row[i]) : row[i]);
    if (bits == 1 && width % 8 != 0) bytes.back() &= static_cast<unsigned char>(0xFF00 >> (width % 8));
  }
};

// The next number of a PNM header, over blanks and comment lines.
unsigned HeaderNumber(std::FILE* f) {
  int c = std::fgetc(f);
  for (; c == '#' || std::isspace(c); c = std::fgetc(f)) {
    if (c == '#') while ((c = std::fgetc(f)) != '\n' && c != EOF) {}
  }
  std::ungetc(c, f);
  unsigned n = 0;
  return std::fscanf(f, "%u", &n) == 1 ? n : 0;
}

bool Load(const char* path, int page, Image& image) {
  if (std::FILE* f = std::fopen(path, "rb")) {  // binary PBM (1 = black) or 8-bit PGM
    const int kind = std::fgetc(f) == 'P' ? std::fgetc(f) : 0;
    bool ok = kind == '4' || kind == '5';
    if (ok) {
      image.width = HeaderNumber(f), image.rows = HeaderNumber(f), image.bits = kind == '4' ? 1 : 8;
      ok = (kind == '4' || HeaderNumber(f) == 255) && std::fgetc(f) != EOF;  // one blank
      std::vector<unsigned char> row(image.RowBytes());
      for (unsigned r = 0; ok && r < image.rows; ++r) {
        ok = std::fread(row.data(), 1, row.size(), f) == row.size();
        image.Add(row.data(), false);
      }
    }
    std::fclose(f);
    if (kind != 0) return ok;
  }
  TIFF* tif = TIFFOpen(path, "r");
  if (tif == nullptr || !TIFFSetDirectory(tif, static_cast<tdir_t>(page))) return false;
  std::uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &image.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &image.rows);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &image.bits);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  std::vector<unsigned char> line(static_cast<std::size_t>(TIFFScanlineSize(tif)));
  for (std::uint32_t r = 0; r < image.rows; ++r) {
    if (TIFFReadScanline(tif, line.data(), r, 0) < 0) return false;
    image.Add(line.data(), image.bits == 1 && photometric == PHOTOMETRIC_MINISBLACK);
  }
  TIFFClose(tif);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Image a, b;
  if (argc != 4 || !Load(argv[1], std::atoi(argv[2]), a) || !Load(argv[3], 0, b)) {
    std::fprintf(stderr, "cannot read the pages asked for\n");
    return 2;
  }
  if (a.width != b.width || a.rows != b.rows || a.bits != b.bits) {
    std::fprintf(stderr, "size %ux%u/%u against %ux%u/%u\n", a.width, a.rows, a.bits, b.width, b.rows, b.bits);
    return 1;
  }
  const auto differs = std::mismatch(a.bytes.begin(), a.bytes.end(), b.bytes.begin()).first;
  if (differs != a.bytes.end()) std::fprintf(stderr, "row %zu differs\n", (differs - a.bytes.begin()) / a.RowBytes());
  return differs != a.bytes.end();
}
