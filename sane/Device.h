// The SANE backend's one window onto the driver's own layers.
//
// Everything the backend needs from the driver (the search, the scan
// settings, the numbered parameters, the batch and the page pipeline) goes
// through this interface, and only Device.cpp includes the driver's rooms.
// The rest of the backend speaks SANE and the public parameter numbers of
// tarvoscn.h.
#pragma once

#include <sane/sane.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::sanebackend {

// What tarvoscn.conf chose.
struct DriverConfig {
  std::string aspiLibrary;      // empty: the system's provider library
  std::string simulatorConfig;  // non-empty: RT650SIM_CONFIG for the simulated scanner
  std::vector<int> adapters;    // empty: every adapter
};

// One RT650 on the bus.
struct ScannerEntry {
  int adapter = 0;
  int target = 0;
  std::string vendor;
  std::string model;
  std::string revision;
};

// The window and image settings the backend shows as SANE options, in the
// driver's pixels at `resolution`. `length` and `top` run along the feed,
// `width` and `side` across it.
struct Window {
  int resolution = 300;
  int length = 0;
  int width = 0;
  int top = 0;
  int side = 0;
  int imageType = 1;  // 1 line art, 9 line art with text mode, 10 halftone, 4 gray
  bool autoSize = false;
  bool marginScan = false;
};

// The scan area at 300 dpi: along the feed and across it.
inline constexpr int kAreaLength300 = 5136;
inline constexpr int kAreaWidth300 = 3488;
inline constexpr int kBaseResolution = 300;

// One page as the driver left it: upright (turned a quarter), rows of
// `stride` bytes; 1 bit a pixel with 1 = black, or 1 byte a pixel gray.
struct Page {
  const std::uint8_t* raster = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
  bool gray = false;
  bool separator = false;  // the sheet followed a job separator
};

class Driver {
 public:
  virtual ~Driver() = default;

  // The one driver of the process, over the system platform.
  static std::unique_ptr<Driver> Create(const DriverConfig& config);

  // Every RT650 on the configured adapters (INQUIRY of targets 0..6).
  virtual std::vector<ScannerEntry> FindScanners() = 0;
  // Probes and makes `entry` the scanner of the batches; the driver's batch
  // start searches the bus again and takes the first RT650 it finds, so any
  // other is refused with SANE_STATUS_UNSUPPORTED.
  virtual SANE_Status Open(const ScannerEntry& entry) = 0;
  virtual bool GrayAvailable() const = 0;

  virtual Window CurrentWindow() const = 0;
  // Stores the window's resolution and geometry (pixels at that resolution)
  // and sends the window to the scanner; the image type stays.
  virtual SANE_Status SetWindow(const Window& window) = 0;
  // Image type 1, 9, 10 or 4 (gray, at 8 bits a pixel).
  virtual SANE_Status SetImageType(int imageType) = 0;

  // The numbered parameters of tarvoscn.h.
  virtual SANE_Status GetParameter(std::int32_t id, std::int32_t* value) = 0;
  virtual SANE_Status SetParameter(std::int32_t id, std::int32_t value) = 0;
  virtual SANE_Status GetText(std::int32_t id, char* text, std::size_t size) = 0;
  virtual SANE_Status SetText(std::int32_t id, const char* text) = 0;
  virtual SANE_Status SendGamma(const std::uint8_t (&table)[256]) = 0;

  // Starts the feeder; every page after it comes from NextPage until the
  // feeder runs empty (SANE_STATUS_NO_DOCS) or a failure ends the batch.
  virtual SANE_Status StartBatch() = 0;
  // Waits for the next sheet and reads it whole. `cancelled` is asked while
  // the driver waits; it must not call back into the driver.
  virtual SANE_Status NextPage(Page& page, std::int32_t (*cancelled)()) = 0;
  // Ends the batch: the feeder stops. Pages are read whole, so the sheet in
  // the scanner, if any, has not been read yet: it stays for the next batch.
  virtual void EndBatch() = 0;
};

}  // namespace tarvo::sanebackend
