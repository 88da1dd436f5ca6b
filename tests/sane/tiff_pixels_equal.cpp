// tiff_pixels_equal DOC N PAGE: exit 0 when page N (from 0) of the TIFF DOC
// and PAGE (a TIFF's first page, or a binary PBM/PGM) have the same size and
// the same pixels, whatever their coding; the first difference is printed
// otherwise. 1-bit pages are compared as 1 = black after their photometric
// reading.
#include <tiffio.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Image {
  std::uint32_t width = 0, rows = 0;
  std::uint16_t bits = 0;
  std::vector<std::vector<unsigned char>> lines;  // 1 = black for 1-bit pages
  // Keeps the used bytes of a row, the unused bits of a 1-bit row cleared.
  void Add(const unsigned char* row, bool invert) {
    std::vector<unsigned char> line(row, row + (bits == 1 ? (width + 7) / 8 : width));
    for (unsigned char& b : line) b = invert ? static_cast<unsigned char>(~b) : b;
    if (bits == 1 && width % 8 != 0) line.back() &= static_cast<unsigned char>(0xFF00 >> (width % 8));
    lines.push_back(std::move(line));
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

// Binary PBM (1 = black) or 8-bit PGM.
bool LoadPnm(std::FILE* f, Image& image) {
  const bool p = std::fgetc(f) == 'P';
  const int kind = std::fgetc(f);
  const bool bitmap = kind == '4';
  image.width = HeaderNumber(f);
  image.rows = HeaderNumber(f);
  image.bits = bitmap ? 1 : 8;
  bool ok = p && (bitmap || (kind == '5' && HeaderNumber(f) == 255)) && std::fgetc(f) != EOF;  // one blank
  std::vector<unsigned char> row(bitmap ? (image.width + 7) / 8 : image.width);
  for (unsigned r = 0; ok && r < image.rows; ++r) {
    ok = std::fread(row.data(), 1, row.size(), f) == row.size();
    image.Add(row.data(), false);
  }
  return ok;
}

bool Load(const char* path, int page, Image& image) {
  if (std::FILE* f = std::fopen(path, "rb")) {
    const bool pnm = std::fgetc(f) == 'P' && std::fseek(f, 0, SEEK_SET) == 0;
    const bool ok = pnm && LoadPnm(f, image);
    std::fclose(f);
    if (pnm) return ok;
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
    std::fprintf(stderr, "size %ux%u/%u against %ux%u/%u\n", a.width, a.rows, a.bits, b.width,
                 b.rows, b.bits);
    return 1;
  }
  for (std::uint32_t r = 0; r < a.rows; ++r) {
    if (a.lines[r] != b.lines[r]) return std::fprintf(stderr, "row %u differs\n", r), 1;
  }
  return 0;
}
