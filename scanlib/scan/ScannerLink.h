// What the scanner operations are handed: the way to the scanner the probe
// found and the two records its mode pages are read into and built from.
// The open document, the page in progress, the dialogs and the messages are
// not part of it.
#pragma once

#include <cstdint>

#include "scan/DriverState.h"
#include "scan/ModePages.h"
#include "scan/ScanSettings.h"
#include "scsi/Transport.h"

namespace tarvo {

struct ScannerLink {
  ScsiContext& scsi;
  ScannerIdentity& scanner;
  ScanSettings& settings;
  AddonPageData& addonPage;

  std::uint8_t Target() const { return scanner.scannerTarget; }
};

}  // namespace tarvo
