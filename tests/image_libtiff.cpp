#include "image_libtiff.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>

namespace tarvo::test {
namespace {

// A TIFF file in memory for TIFFClientOpen.
struct MemoryFile {
  std::vector<std::uint8_t> data;
  std::size_t pos = 0;
};

MemoryFile& Of(thandle_t h) { return *static_cast<MemoryFile*>(h); }

tmsize_t MemRead(thandle_t h, void* buffer, tmsize_t size) {
  MemoryFile& f = Of(h);
  const std::size_t n = std::min<std::size_t>(size, f.pos < f.data.size() ? f.data.size() - f.pos : 0);
  std::memcpy(buffer, f.data.data() + f.pos, n);
  f.pos += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t MemWrite(thandle_t h, void* buffer, tmsize_t size) {
  MemoryFile& f = Of(h);
  if (f.pos + size > f.data.size()) f.data.resize(f.pos + size);
  std::memcpy(f.data.data() + f.pos, buffer, size);
  f.pos += size;
  return size;
}
toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
  MemoryFile& f = Of(h);
  return f.pos = (whence == SEEK_CUR ? f.pos : whence == SEEK_END ? f.data.size() : 0) + offset;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return Of(h).data.size(); }
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

// Opens the file; for writing, with the tags of one Group 4 strip of the given size.
TIFF* Open(MemoryFile& file, const char* mode, std::int32_t width = 0, std::int32_t rows = 0) {
  file.pos = 0;
  TIFF* tif = TIFFClientOpen("memory", mode, &file, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
  if (tif == nullptr || *mode != 'w') return tif;
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

}  // namespace

bool LibtiffWriteG4File(const Bilevel& page, std::vector<std::uint8_t>& out) {
  MemoryFile file;
  file.data.swap(out);
  file.data.clear();
  TIFF* tif = Open(file, "w", page.width, page.rows);
  if (tif == nullptr) return false;
  const bool ok = TIFFWriteEncodedStrip(tif, 0, const_cast<std::uint8_t*>(page.bits.data()),
                                        static_cast<tmsize_t>(page.bits.size())) >= 0;
  TIFFClose(tif);
  out.swap(file.data);
  return ok;
}

std::vector<std::uint8_t> LibtiffEncodeG4(const Bilevel& page) {
  MemoryFile file;
  TIFF* tif = LibtiffWriteG4File(page, file.data) ? Open(file, "r") : nullptr;
  if (tif == nullptr) return {};
  std::vector<std::uint8_t> raw;
  uint64_t* counts = nullptr;
  if (TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts) == 1 && counts != nullptr) {
    raw.resize(static_cast<std::size_t>(counts[0]));
    if (TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size())) < 0) raw.clear();
  }
  TIFFClose(tif);
  return raw;
}

bool LibtiffDecodeG4(const std::vector<std::uint8_t>& coded, std::int32_t width, std::int32_t rows, Bilevel& out) {
  MemoryFile file;
  TIFF* tif = Open(file, "w", width, rows);
  if (tif == nullptr) return false;
  std::vector<std::uint8_t> copy = coded;
  const bool written = TIFFWriteRawStrip(tif, 0, copy.data(), static_cast<tmsize_t>(copy.size())) >= 0;
  TIFFClose(tif);
  tif = written ? Open(file, "r") : nullptr;
  if (tif == nullptr) return false;
  out = Bilevel(width, rows);
  const tmsize_t got = TIFFReadEncodedStrip(tif, 0, out.bits.data(), static_cast<tmsize_t>(out.bits.size()));
  TIFFClose(tif);
  return got == static_cast<tmsize_t>(out.bits.size());
}

}  // namespace tarvo::test
