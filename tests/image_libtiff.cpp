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

tmsize_t MemRead(thandle_t h, void* buffer, tmsize_t size) {
  auto& f = *static_cast<MemoryFile*>(h);
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(size),
                                               f.pos < f.data.size() ? f.data.size() - f.pos : 0);
  std::memcpy(buffer, f.data.data() + f.pos, n);
  f.pos += n;
  return static_cast<tmsize_t>(n);
}
tmsize_t MemWrite(thandle_t h, void* buffer, tmsize_t size) {
  auto& f = *static_cast<MemoryFile*>(h);
  const std::size_t n = static_cast<std::size_t>(size);
  if (f.pos + n > f.data.size()) f.data.resize(f.pos + n);
  std::memcpy(f.data.data() + f.pos, buffer, n);
  f.pos += n;
  return size;
}
toff_t MemSeek(thandle_t h, toff_t offset, int whence) {
  auto& f = *static_cast<MemoryFile*>(h);
  std::size_t base = whence == SEEK_CUR ? f.pos : whence == SEEK_END ? f.data.size() : 0;
  f.pos = base + static_cast<std::size_t>(offset);
  return f.pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->data.size(); }
int MemMap(thandle_t, void**, toff_t*) { return 0; }
void MemUnmap(thandle_t, void*, toff_t) {}

TIFF* Open(MemoryFile& file, const char* mode) {
  file.pos = 0;
  return TIFFClientOpen("memory", mode, &file, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                        MemMap, MemUnmap);
}

void SetG4Tags(TIFF* tif, std::int32_t width, std::int32_t rows) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(rows));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(std::max(rows, 1)));
}

}  // namespace

bool LibtiffWriteG4File(const Bilevel& page, std::vector<std::uint8_t>& out) {
  MemoryFile file;
  file.data.swap(out);
  file.data.clear();
  TIFF* tif = Open(file, "w");
  if (tif == nullptr) return false;
  SetG4Tags(tif, page.width, page.rows);
  const bool ok = TIFFWriteEncodedStrip(tif, 0, const_cast<std::uint8_t*>(page.bits.data()),
                                        static_cast<tmsize_t>(page.bits.size())) >= 0;
  TIFFClose(tif);
  out.swap(file.data);
  return ok;
}

std::vector<std::uint8_t> LibtiffEncodeG4(const Bilevel& page) {
  MemoryFile file;
  if (!LibtiffWriteG4File(page, file.data)) return {};
  TIFF* tif = Open(file, "r");
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

bool LibtiffDecodeG4(const std::vector<std::uint8_t>& coded, std::int32_t width,
                     std::int32_t rows, Bilevel& out) {
  MemoryFile file;
  TIFF* tif = Open(file, "w");
  if (tif == nullptr) return false;
  SetG4Tags(tif, width, rows);
  std::vector<std::uint8_t> copy = coded;
  const bool written =
      TIFFWriteRawStrip(tif, 0, copy.data(), static_cast<tmsize_t>(copy.size())) >= 0;
  TIFFClose(tif);
  if (!written) return false;

  tif = Open(file, "r");
  if (tif == nullptr) return false;
  out = Bilevel(width, rows);
  const tmsize_t got = TIFFReadEncodedStrip(tif, 0, out.bits.data(),
                                            static_cast<tmsize_t>(out.bits.size()));
  TIFFClose(tif);
  return got == static_cast<tmsize_t>(out.bits.size());
}

}  // namespace tarvo::test
