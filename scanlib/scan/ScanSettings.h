// The one record of scan settings. Sizes and positions are pixels at the
// current resolution; the scanner is given them in 1/1200 inch by the window
// push. Every field is a signed 32-bit integer except the two name pointers.
#pragma once

#include <array>
#include <cstdint>

#include "core/Values.h"
#include "scsi/Wire.h"
#include "tarvoscn.h"

namespace tarvo {

struct ScanSettings {
  std::int32_t pageSizeIndex = 1;     // entry of the page-size table
  std::int32_t scanLength = 2464;     // along the feed, pixels at yResolution
  std::int32_t scanWidth = 3507;      // across the feed, pixels at xResolution
  std::int32_t topOffset = 0;         // window upper left Y, pixels
  std::int32_t sideOffset = 0;        // window upper left X (mirrored), pixels
  std::int32_t pageLength = 0;        // length of the last page read
  std::int32_t pageWidth = 0;         // width of the last page read
  std::int32_t separatorLatch = 0;    // stays 0
  std::int32_t xResolution = 300;     // dpi: 200, 300 or 600
  std::int32_t yResolution = 300;     // always equal to xResolution
  std::int32_t compression = 3;       // 0 uncoded, 3 Group 4, 4 JPEG, 5 external coder
  std::int32_t brightness = 0;        // 0..255, also the threshold
  std::int32_t contrast = 0;          // 0..255
  std::int32_t imageType = 1;         // 1 line art, 9 line art + text, 10 halftone, 4 gray
  std::int32_t dialogImageType = 0;   // Settings dialog's choice, for the Details dialog
  std::int32_t bitsPerPixel = 0;      // 1; 2, 4 or 8 for gray
  std::int32_t fileType = 1;          // 1 TIFF, 2 JPEG, 4 external coder, 8 BMP
  std::int32_t scanModeFlag7 = 0;     // page 0x32 byte 6 bit 7, as read
  std::int32_t batchMode = 0;         // 1..3
  std::int32_t textMode = 0;
  std::int32_t autoSize = 0;
  std::int32_t continuousFeed = 1;
  std::int32_t separatorModeA = 0;    // 1 detect, 2 keep the sheet, 4 continue after it
  std::int32_t separatorModeB = 0;    // stays 0
  const char* docName = nullptr;      // the host's or the library's text
  std::int32_t user16 = 0;
  const char* pageName = nullptr;
  std::int32_t user18 = 0;
  std::int32_t keyStart = 0;
  std::int32_t marginScan = 0;
  std::int32_t marginAmount = 0;      // -10..10
  std::int32_t addonOn = 0;
  std::int32_t notchErase = 0;
  std::int32_t thinLine = 0;
  std::int32_t userGrc = 0;
  std::int32_t backgroundErase = 0;
  std::int32_t invertData = 0;
  std::int32_t rotate = 0;            // 0: turn each page a quarter turn counterclockwise
  std::int32_t jpegQuality = 75;      // 1..100
  std::int32_t aeLevel = 0;           // 1..17
  std::int32_t grcMode = 0;           // 0..2
  std::int32_t polarity = 0;          // 0..2
  std::int32_t frameArea = 0;         // 0..3
  std::int32_t edgeEmphasis = 0;      // 1..5
  std::int32_t separatorSense = 0;    // which separator status bits count
};

// How a setting stands in its page byte: the whole byte, one flag bit (1 for
// any non-zero value), a field under a mask, or one bit of the mask for each
// of the values 1, 2, ... (0 and any other value: no bit).
enum class WireCoding : std::uint8_t { kByte, kFlag, kField, kOneOfBits };

// A setting of the image page 0x36: its parameter, its field of the record
// and where it stands. The page is built and read back by walking this table,
// and the parameter stores and reads the field through it (a flag stores 1
// for any non-zero value). An image-page setting is one row here, its field
// above, its ID in tarvoscn.h and its row in tarvoscn_params.h.
struct WireField {
  std::int32_t id;
  std::int32_t ScanSettings::*field;
  std::size_t pageByte;
  std::uint8_t mask;
  WireCoding coding;
};

inline constexpr WireField kImagePageFields[] = {
    {PAR_EDGE_EMPHASIS, &ScanSettings::edgeEmphasis, wire::kImEdgeEmphasis, 0xFF, WireCoding::kByte},
    {PAR_POLARITY, &ScanSettings::polarity, wire::kImFlags, wire::kImPolarityMask, WireCoding::kOneOfBits},
    {PAR_TEXT_MODE, &ScanSettings::textMode, wire::kImFlags, wire::kImTextMode, WireCoding::kFlag},
    {PAR_BACKGROUND_ERASE, &ScanSettings::backgroundErase, wire::kImFlags, wire::kImBackgroundErase, WireCoding::kFlag},
    {PAR_GRC_MODE, &ScanSettings::grcMode, wire::kImFlags, wire::kImGrcMask, WireCoding::kField},
    {PAR_AE, &ScanSettings::aeLevel, wire::kImAeLevel, 0xFF, WireCoding::kByte},
    {PAR_THIN_LINE, &ScanSettings::thinLine, wire::kImEraseByte, wire::kImThinLine, WireCoding::kFlag},
    {PAR_NOTCH_ERASE, &ScanSettings::notchErase, wire::kImEraseByte, wire::kImNotchErase, WireCoding::kFlag},
};

inline constexpr std::int32_t kMaxScanWidth300 = 3488;
inline constexpr std::int32_t kMaxScanLength300 = 5136;
inline constexpr std::int32_t kBaseResolution = 300;

// Page-size table: per entry the scan length (along the feed), the scan width
// (across the feed) and the top offset that frame area 1 places the window
// at, each in pixels at 200, 300 and 600 dpi (columns 0, 1, 2).
struct PageSize {
  std::array<std::int32_t, 3> length;
  std::array<std::int32_t, 3> width;
  std::array<std::int32_t, 3> frameTopOffset;
};

inline constexpr std::array<PageSize, 15> kPageSizes{{
    {{1704, 2552, 5104}, {2200, 3304, 6600}, {11, 17, 35}},     //  0
    {{2200, 3304, 6600}, {1704, 2552, 5104}, {11, 17, 35}},     //  1
    {{2800, 4200, 8400}, {1704, 2552, 5104}, {11, 17, 35}},     //  2
    {{3400, 5096, 10200}, {2200, 3304, 6600}, {11, 17, 35}},    //  3
    {{1704, 2552, 5104}, {1104, 1656, 3304}, {11, 17, 35}},     //  4
    {{3304, 4960, 9920}, {2320, 3488, 6976}, {59, 88, 177}},    //  5
    {{1656, 2480, 4960}, {2320, 3488, 6976}, {59, 88, 177}},    //  6
    {{2320, 3488, 6976}, {1656, 2480, 4960}, {59, 88, 177}},    //  7
    {{1168, 1752, 3496}, {1656, 2480, 4960}, {59, 88, 177}},    //  8
    {{832, 1240, 2480}, {1168, 1752, 3496}, {59, 88, 177}},     //  9
    {{2784, 4176, 8344}, {1968, 2952, 5912}, {279, 419, 838}},  // 10
    {{2872, 4304, 8600}, {2024, 3040, 6072}, {279, 419, 838}},  // 11
    {{1392, 2080, 4160}, {1968, 2952, 5912}, {279, 419, 838}},  // 12
    {{1440, 2152, 4304}, {2024, 3040, 6072}, {279, 419, 838}},  // 13
    {{3424, 5136, 10272}, {2320, 3488, 6976}, {0, 0, 0}},       // 14: whole scan area
}};

// The scanner's arithmetic is 32-bit signed; products wrap as they do there
// (and without undefined behaviour here).
constexpr std::int32_t Mul32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
// Truncates toward zero; a zero divisor (a record holding a resolution whose
// low 16 bits are 0) gives 0 instead of a fault.
constexpr std::int32_t Div32(std::int32_t a, std::int32_t b) {
  if (b == 0) return 0;
  if (b == -1) return static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(a));
  return a / b;
}

struct WindowOffsets {
  std::int32_t top;
  std::int32_t side;
};
// Where a frame area puts a page of the page-size table (its `column`) in the
// scanner's largest window at `resolution`: centred across the feed; along
// it centred (0), at the size's frame offset (1) or ending at the middle (2
// and 3; may be negative). Any other frame area keeps `top`.
constexpr WindowOffsets FrameOffsets(std::int32_t frameArea, const PageSize& page,
                                     std::size_t column, std::int32_t resolution,
                                     std::int32_t top) {
  const std::int32_t maxLength = Mul32(resolution, kMaxScanLength300) / kBaseResolution;
  const std::int32_t maxWidth = Mul32(resolution, kMaxScanWidth300) / kBaseResolution;
  const std::int32_t length = page.length[column];
  if (frameArea == 0) top = (maxLength - length) / 2;
  if (frameArea == 1) top = page.frameTopOffset[column];
  if (frameArea == 2 || frameArea == 3) top = maxLength / 2 - length;
  return {top, (maxWidth - page.width[column]) / 2};
}

// Column of the page-size table for a resolution: 0 for 200, 2 for 600, else 1.
constexpr int PageSizeColumn(std::int32_t resolution) {
  return resolution == 200 ? 0 : resolution == 600 ? 2 : 1;
}

}  // namespace tarvo
