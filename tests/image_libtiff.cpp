#include "image_libtiff.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tarvo::test {
namespace {

// A temporary file for libtiff, removed with the object.
struct TempTiff {
  char name[32] = "/tmp/tarvo-g4-XXXXXX";
  TempTiff() { close(mkstemp(name)); }
  ~TempTiff() { std::remove(name); }
  // Opens the file for writing with the tags of a one-strip Group 4 page.
  TIFF* Create(std::int32_t width, std::int32_t rows) {
    TIFF* tif = TIFFOpen(name, "w");
    if (tif == nullptr) return nullptr;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(rows));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(std::max(rows, 1)));
    return tif;
  }
  // The page coded by libtiff's encoder.
  bool Encode(const Bilevel& page) {
    TIFF* tif = Create(page.width, page.rows);
    if (tif == nullptr) return false;
    std::vector<std::uint8_t> bits = page.bits;  // libtiff's encoder may work in its input
    const bool ok = TIFFWriteEncodedStrip(tif, 0, bits.data(), static_cast<tmsize_t>(bits.size())) >= 0;
    TIFFClose(tif);
    return ok;
  }
};

}  // namespace

bool LibtiffWriteG4File(const Bilevel& page, std::vector<std::uint8_t>& out) {
  TempTiff file;
  const bool ok = file.Encode(page);
  std::ifstream in(file.name, std::ios::binary);
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return ok;
}

std::vector<std::uint8_t> LibtiffEncodeG4(const Bilevel& page) {
  TempTiff file;
  TIFF* tif = file.Encode(page) ? TIFFOpen(file.name, "r") : nullptr;
  if (tif == nullptr) return {};
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(TIFFRawStripSize(tif, 0)));
  if (TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size())) < 0) raw.clear();
  TIFFClose(tif);
  return raw;
}

bool LibtiffDecodeG4(const std::vector<std::uint8_t>& coded, std::int32_t width,
                     std::int32_t rows, Bilevel& out) {
  TempTiff file;
  TIFF* tif = file.Create(width, rows);
  if (tif == nullptr) return false;
  std::vector<std::uint8_t> copy = coded;
  const bool written = TIFFWriteRawStrip(tif, 0, copy.data(), static_cast<tmsize_t>(copy.size())) >= 0;
  TIFFClose(tif);
  if (!written || (tif = TIFFOpen(file.name, "r")) == nullptr) return false;
  out = Bilevel(width, rows);
  const tmsize_t got = TIFFReadEncodedStrip(tif, 0, out.bits.data(), static_cast<tmsize_t>(out.bits.size()));
  TIFFClose(tif);
  return got == static_cast<tmsize_t>(out.bits.size());
}

}  // namespace tarvo::test
