// The values of a page's image type, file type and compression, as the
// settings record, the parameters and the writers below it spell them.
#pragma once

#include <cstdint>

#include "tarvoscn.h"

namespace tarvo {

enum ImageType : std::int32_t {
  kImageLineArt = TSD_IMAGE_LINEART,
  kImageGray = TSD_IMAGE_GRAY,  // every other image type is bilevel
  kImageLineArtText = TSD_IMAGE_LINEART_TEXT,  // line art in text mode
  kImageHalftone = TSD_IMAGE_HALFTONE,
};
enum FileType : std::int32_t {
  kFileTiffDocument = TSD_FILE_TIFF,  // a page of the multi-page document
  kFileJpeg = TSD_FILE_JPEG,
  kFileCoder = TSD_FILE_CODER,  // the external image coder's file
  kFileBmp = TSD_FILE_BMP,
};
enum Compression : std::int32_t {
  kCompressionNone = TSD_COMPRESSION_NONE,
  kCompressionG4 = TSD_COMPRESSION_G4,
  kCompressionJpeg = TSD_COMPRESSION_JPEG,
  kCompressionCoder = TSD_COMPRESSION_CODER,
};

}  // namespace tarvo
