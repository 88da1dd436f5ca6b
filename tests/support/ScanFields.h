// The numbers of the scan settings record as one list, to compare a whole
// record, or the fields one operation touches, at once.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "scan/ScanSettings.h"

namespace tarvo::test {

using Field = std::int32_t ScanSettings::*;
using S = ScanSettings;
inline constexpr Field kAllFields[] = {
    &S::pageSizeIndex, &S::scanLength, &S::scanWidth, &S::topOffset, &S::sideOffset, &S::pageLength, &S::pageWidth,
    &S::separatorLatch, &S::xResolution, &S::yResolution, &S::compression, &S::brightness, &S::contrast, &S::imageType,
    &S::dialogImageType, &S::bitsPerPixel, &S::fileType, &S::scanModeFlag7, &S::batchMode, &S::textMode, &S::autoSize,
    &S::continuousFeed, &S::separatorModeA, &S::separatorModeB, &S::user16, &S::user18, &S::keyStart, &S::marginScan,
    &S::marginAmount, &S::addonOn, &S::notchErase, &S::thinLine, &S::userGrc, &S::backgroundErase, &S::invertData,
    &S::rotate, &S::jpegQuality, &S::aeLevel, &S::grcMode, &S::polarity, &S::frameArea, &S::edgeEmphasis,
    &S::separatorSense};
inline std::vector<std::int32_t> Fields(const ScanSettings& s, std::span<const Field> fields = kAllFields) {
  std::vector<std::int32_t> out;
  for (Field f : fields) out.push_back(s.*f);
  return out;
}

}  // namespace tarvo::test
