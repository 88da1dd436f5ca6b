// The page image pipeline: one page from the scanner to its stored form.
//
// Image data is read in chunks of whole scanner rows (at most the adapter's
// transfer size and 32768 bytes), inverted when asked, laid out in the
// caller's page buffer (bilevel: 1 bit per pixel, rows of (width + 7) / 8
// bytes; gray: 1 byte per pixel, rows of ((width + 7) / 8) * 8 bytes), turned
// a quarter turn counterclockwise unless `rotate` is set, and stored: Group 4
// or uncoded data into the open TIFF document, or a JPEG, coder or BMP file.
#pragma once

#include <cstdint>

#include "core/Result.h"
#include "platform/Platform.h"

namespace tarvo {

struct CoderBuffers;
struct OpenDocument;
struct PageProgress;
struct ScanSettings;
struct ScannerIdentity;
struct ScsiContext;

// What one page's transfer is handed: the way to the scanner and its
// transfer size, the settings it reads and stores with, the coder's buffers,
// the document its TIFF data goes into (forgotten when a write to it fails)
// and the page record it leaves the image's byte count in.
struct PageJob {
  ScsiContext& scsi;
  const ScannerIdentity& scanner;
  const ScanSettings& settings;
  CoderBuffers& coderBuffers;
  OpenDocument& document;
  PageProgress& page;
};

// Largest transfer of one image READ.
inline constexpr std::uint32_t kTransferBufferBytes = 32768;

// Scanner row lengths (whole 32-bit units) and page-buffer strides.
constexpr std::uint32_t ScannerRowBytes(std::int32_t width, std::int32_t bitsPerPixel) {
  return static_cast<std::uint32_t>(
      ((static_cast<std::int64_t>(bitsPerPixel) * width + 31) / 32) * 4);
}

// Widens one scanner row of 2, 4 or 8 bits per pixel to 8-bit gray levels
// (4-bit v gives v * 17, 2-bit v gives v * 85). Other depths write nothing.
void ExpandGrayRow(std::uint8_t* destination, const std::uint8_t* source, std::int32_t width,
                   std::int32_t bitsPerPixel);
// Every byte b becomes 255 - b.
void InvertBytes(std::uint8_t* buffer, std::uint32_t count);

// Reads the page (width pixels by rows scanner rows) from the scanner into
// `pageBuffer` and stores it: in the job's document or, for the other file
// types, in `fileName`. Results: 0; 2 when the first transfer fails;
// the transfer status of a later failed transfer; SenseToResult for a check
// condition that is not a short transfer; 4 when the document or an
// external file cannot be written (a failed document write closes it).
// A scanner row longer than one transfer, a coded row the coder cannot
// hold, or a page whose turn buffer cannot be had gives 5.
Result ProcessPageImage(const PageJob& job, std::uint8_t* pageBuffer, std::int32_t width,
                        std::int32_t rows, const char* fileName);

}  // namespace tarvo
