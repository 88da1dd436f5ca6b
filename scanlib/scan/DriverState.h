// The driver's process-wide record, in pieces by lifetime: what the probe
// learned of the scanner, the document a batch is adding pages to, and what
// the last page left behind. Each piece is handed to the code that works on
// it; the session's own switches stay in the record itself.
#pragma once

#include <array>
#include <cstdint>

#include "platform/Platform.h"

namespace tarvo {

inline constexpr std::uint8_t kNoTarget = 0xFF;

// What the probe read from INQUIRY page 0xF0.
struct ScannerCaps {
  bool batchCapable = false;  // byte 39 bit 7
  bool flag5 = false;         // byte 39 bit 5
  std::uint32_t value = 0;    // bytes 34..37
};

// Written by the probe; valid until the next probe.
struct ScannerIdentity {
  bool probed = false;
  std::int32_t adapterCount = 0;
  std::uint32_t scannerAdapter = 0;
  std::uint8_t scannerTarget = 0;
  std::uint32_t maxTransferSize = 0;
  ScannerCaps scannerCaps;
};

// The open multi-page document, from the batch start until it is finished:
// its file and where the next page's data, IFD and link go. Only the batch
// and the document operations hold it; TsdMakeTiff never sees it.
struct OpenDocument {
  FileHandle docFile = kInvalidFile;
  std::uint32_t docLinkPos = 0;
  std::uint32_t docLinkValue = 0;
  std::uint32_t docIfdPos = 0;
  std::uint32_t docDataPos = 0;

  bool IsOpen() const { return docFile != kInvalidFile; }
};

// What the page transfer leaves behind for the next page and the getters.
struct PageProgress {
  std::uint32_t pageImageBytes = 0;
  bool statusBitReported = false;  // the page flag has been answered with 19
  std::int32_t separatorDetected = 0;
  std::uint32_t counter1 = 0;
  std::uint32_t counter2 = 0;
  std::uint32_t counter3 = 0;
};

struct DriverState {
  void* moduleHandle = nullptr;
  std::int32_t showMessages = 0;
  std::array<char, 32> currentLanguage{};

  ScannerIdentity scanner;
  OpenDocument document;
  PageProgress page;
};

}  // namespace tarvo
