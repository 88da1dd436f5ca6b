// Pages of the simulated feeder: an 8-bit gray raster (0 black, 255 white)
// at a stated resolution, with the per-page conditions the scanner reports.
// Pages come from PBM/PGM files or from the synthetic document generator;
// synthetic rasters are made only when the page enters the scanner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::sim {

// What the scanner reports about one sheet besides its image.
struct PageConditions {
  std::uint8_t separatorStatus = 0;  // READ 0x81 byte (0x82 / 0x81 / 0x83 mark separator sheets)
  bool flagged = false;              // READ 0x84 byte 0 bit 0
  bool jam = false;                  // jams halfway through its image transfer (sense 3/80/00)
};

struct GrayRaster {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;  // width * height, row after row

  std::uint8_t* Row(std::uint32_t y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
  const std::uint8_t* Row(std::uint32_t y) const {
    return pixels.data() + static_cast<std::size_t>(y) * width;
  }
  void Fill(std::uint8_t value);
  // Fills [x0, x1) x [y0, y1), clipped to the raster.
  void FillRect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                std::uint8_t value);
};

// Synthetic page description: enough to make the raster again at any time.
struct SyntheticPlan {
  std::uint64_t seed = 1;
  std::uint32_t index = 0;         // page number within its batch, mixes into the seed
  std::uint32_t dpi = 300;         // 200, 300 or 600
  std::uint32_t widthMm10 = 2100;  // paper size in 0.1 mm (A4 by default)
  std::uint32_t lengthMm10 = 2970;
};

// How a sheet goes into the feeder. The scanner reads 3488 pixels across the
// feed at 300 dpi: a sheet whose long side fits across (A4, A5, Letter) is fed
// long edge first, a longer one (Legal, A3, B4) short edge first.
enum class Feed : std::uint8_t { kAuto, kLongEdge, kShortEdge };

struct Page {
  std::uint32_t dpi = 300;
  // Pages describe the upright document; the scanner turns the raster the way
  // the sheet lies on the paper path when it enters (`TurnForFeed`).
  std::uint32_t width = 0;  // pixels at dpi
  std::uint32_t height = 0;
  bool synthetic = false;
  SyntheticPlan plan;  // when synthetic
  GrayRaster raster;   // file pages: always; synthetic pages: while in the scanner
  PageConditions conditions;
  Feed feed = Feed::kAuto;
  bool turned = false;  // the raster lies as fed: the upright page a quarter turn clockwise
  std::string origin;  // file name; empty for synthetic pages (`SyntheticOrigin`)

  // Width and length of the sheet in 1/1200 inch.
  std::uint32_t WidthUnits() const {
    return static_cast<std::uint32_t>(std::uint64_t{width} * 1200 / dpi);
  }
  std::uint32_t LengthUnits() const {
    return static_cast<std::uint32_t>(std::uint64_t{height} * 1200 / dpi);
  }
  // Makes the raster of a synthetic page (no-op for file pages).
  void Materialize();
  // Drops the raster of a synthetic page.
  void Release();
  // True when the sheet goes long edge first and that is not its upright
  // orientation's top edge (a portrait page long edge first, a landscape page
  // short edge first).
  bool FedTurned() const;
  // Lays the materialized raster as the sheet is fed: a quarter turn clockwise
  // when `FedTurned`; width and height follow.
  void TurnForFeed();
};

// A synthetic, document-like page: lines of text-like marks, a ruled table and
// a gray photo-like area, fully determined by the plan. Resolutions other than
// 200, 300 and 600 dpi are refused (returns false).
bool MakeSyntheticPage(const SyntheticPlan& plan, Page& out);
void RenderSynthetic(const SyntheticPlan& plan, GrayRaster& out);
// "synthetic seed S page N": made when the sheet is fed, so that a long
// batch waiting in the hopper holds no text per page.
std::string SyntheticOrigin(const SyntheticPlan& plan);
// A quarter turn clockwise: the top row becomes the right column.
GrayRaster TurnClockwise(const GrayRaster& in);

enum class PnmError { kNone, kOpen, kFormat, kTooLarge, kTruncated };
const char* PnmErrorText(PnmError error);

// Reads a PBM or PGM file (P1, P4, P2, P5) into a gray page at `dpi`.
// Bilevel 1 becomes 0 (black), 0 becomes 255. Sizes are checked against the
// file's length before anything is allocated.
PnmError LoadPnmFile(const std::string& path, std::uint32_t dpi, Page& out);
PnmError ParsePnm(const std::vector<std::uint8_t>& bytes, GrayRaster& out);

// Stamps text as 5x7 mark cells at (xMm, yMm) from the sheet's top left,
// one cell per character; each cell's pattern is derived from the character
// code (a mark pattern, not a readable font). Spaces leave a gap.
void StampText(GrayRaster& raster, std::uint32_t dpi, std::uint32_t xMm, std::uint32_t yMm,
               const std::string& text);

}  // namespace tarvo::sim
