#include "Page.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace tarvo::sim {

namespace {

// splitmix64: small, fast and the same on every platform.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [lo, hi].
  std::int64_t Range(std::int64_t lo, std::int64_t hi) {
    return lo + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
  }

 private:
  std::uint64_t state_;
};

constexpr std::array<std::uint32_t, 3> kSyntheticDpi{200, 300, 600};
constexpr std::uint8_t kInk = 24;  // text and rules
constexpr std::uint8_t kPaper = 255;

std::uint32_t MmToPixels(std::uint32_t mm10, std::uint32_t dpi) {
  return static_cast<std::uint32_t>(std::uint64_t{mm10} * dpi / 254);
}

// One text line of word-like marks from x0 to x1 with its baseline at y.
void TextLine(GrayRaster& r, Rng& rng, std::int64_t x0, std::int64_t x1, std::int64_t y,
              std::uint32_t dpi, std::int64_t scale) {
  const std::int64_t xHeight = dpi * scale / 24;
  const std::int64_t cell = dpi * scale / 40;
  const std::int64_t stem = std::max<std::int64_t>(1, dpi * scale / 200);
  std::int64_t x = x0;
  while (x < x1) {
    const std::int64_t letters = rng.Range(1, 9);
    for (std::int64_t i = 0; i < letters && x + cell < x1; ++i) {
      const std::uint64_t shape = rng.Next();
      const std::int64_t top = (shape & 1) ? y - xHeight * 3 / 2 : y - xHeight;
      const std::int64_t bottom = (shape & 2) ? y + xHeight / 2 : y;
      r.FillRect(x, top, x + stem, bottom, kInk);  // stem
      if (shape & 4) r.FillRect(x, y - xHeight, x + cell - stem, y - xHeight + stem, kInk);
      if (shape & 8) r.FillRect(x, y - stem, x + cell - stem, y, kInk);
      if (shape & 16) r.FillRect(x + cell - 2 * stem, y - xHeight, x + cell - stem, y, kInk);
      x += cell;
    }
    x += cell;  // word gap
  }
}

void Paragraph(GrayRaster& r, Rng& rng, std::int64_t x0, std::int64_t x1, std::int64_t& y,
               std::int64_t yEnd, std::uint32_t dpi) {
  const std::int64_t lineStep = dpi / 6;
  const std::int64_t lines = rng.Range(3, 8);
  for (std::int64_t i = 0; i < lines && y + lineStep < yEnd; ++i) {
    const std::int64_t end = (i == lines - 1) ? x0 + (x1 - x0) * rng.Range(30, 90) / 100 : x1;
    y += lineStep;
    TextLine(r, rng, x0, end, y, dpi, 1);
  }
  y += lineStep;
}

void Table(GrayRaster& r, Rng& rng, std::int64_t x0, std::int64_t x1, std::int64_t& y,
           std::int64_t yEnd, std::uint32_t dpi) {
  const std::int64_t rows = rng.Range(3, 6);
  const std::int64_t cols = rng.Range(2, 5);
  const std::int64_t rowStep = dpi / 4;
  const std::int64_t rule = std::max<std::int64_t>(1, dpi / 150);
  const std::int64_t bottom = std::min(yEnd, y + rows * rowStep);
  for (std::int64_t i = 0; i <= rows; ++i) {
    const std::int64_t ry = std::min(y + i * rowStep, bottom);
    r.FillRect(x0, ry, x1, ry + rule, kInk);
  }
  for (std::int64_t j = 0; j <= cols; ++j) {
    const std::int64_t rx = x0 + (x1 - x0 - rule) * j / cols;
    r.FillRect(rx, y, rx + rule, bottom + rule, kInk);
  }
  for (std::int64_t i = 0; i < rows && y + (i + 1) * rowStep <= bottom; ++i) {
    for (std::int64_t j = 0; j < cols; ++j) {
      const std::int64_t cx = x0 + (x1 - x0) * j / cols + dpi / 20;
      const std::int64_t cw = (x1 - x0) / cols - dpi / 10;
      TextLine(r, rng, cx, cx + cw * rng.Range(30, 100) / 100, y + (i + 1) * rowStep - rowStep / 3,
               dpi, 1);
    }
  }
  y = bottom + dpi / 6;
}

// A smooth photo-like gray area: two crossing waves over a gradient.
void Photo(GrayRaster& r, Rng& rng, std::int64_t x0, std::int64_t y0, std::int64_t x1,
           std::int64_t y1) {
  std::array<std::uint8_t, 256> wave{};
  for (int i = 0; i < 256; ++i) {
    const int t = i < 128 ? i : 255 - i;  // triangle 0..127
    wave[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(t * t / 128);
  }
  const std::int64_t fx = rng.Range(1, 4);
  const std::int64_t fy = rng.Range(1, 4);
  x0 = std::max<std::int64_t>(x0, 0);
  y0 = std::max<std::int64_t>(y0, 0);
  x1 = std::min<std::int64_t>(x1, r.width);
  y1 = std::min<std::int64_t>(y1, r.height);
  if (x1 <= x0 || y1 <= y0) return;
  const std::int64_t w = x1 - x0;
  const std::int64_t h = y1 - y0;
  for (std::int64_t y = y0; y < y1; ++y) {
    std::uint8_t* row = r.Row(static_cast<std::uint32_t>(y));
    const std::int64_t dy = (y - y0) * 255 / h;
    const std::uint8_t wy = wave[static_cast<std::size_t>(((y - y0) * fy * 256 / h) & 255)];
    for (std::int64_t x = x0; x < x1; ++x) {
      const std::int64_t dx = (x - x0) * 255 / w;
      const std::uint8_t wx = wave[static_cast<std::size_t>(((x - x0) * fx * 256 / w) & 255)];
      const std::int64_t v = 40 + (dx + dy) / 4 + (wx + wy) / 2;
      row[x] = static_cast<std::uint8_t>(std::min<std::int64_t>(v, 250));
    }
  }
}

}  // namespace

void GrayRaster::Fill(std::uint8_t value) { std::fill(pixels.begin(), pixels.end(), value); }

void GrayRaster::FillRect(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                          std::uint8_t value) {
  x0 = std::clamp<std::int64_t>(x0, 0, width);
  x1 = std::clamp<std::int64_t>(x1, 0, width);
  y0 = std::clamp<std::int64_t>(y0, 0, height);
  y1 = std::clamp<std::int64_t>(y1, 0, height);
  if (x1 <= x0) return;
  for (std::int64_t y = y0; y < y1; ++y) {
    std::memset(Row(static_cast<std::uint32_t>(y)) + x0, value, static_cast<std::size_t>(x1 - x0));
  }
}

void RenderSynthetic(const SyntheticPlan& plan, GrayRaster& out) {
  out.width = MmToPixels(plan.widthMm10, plan.dpi);
  out.height = MmToPixels(plan.lengthMm10, plan.dpi);
  out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, kPaper);
  Rng rng(plan.seed * 0x100000001B3ull + plan.index + 1);
  const std::int64_t dpi = plan.dpi;
  const std::int64_t margin = dpi * 3 / 4;
  const std::int64_t x0 = margin;
  const std::int64_t x1 = std::int64_t{out.width} - margin;
  const std::int64_t yEnd = std::int64_t{out.height} - margin;
  std::int64_t y = margin;
  // Title: one line of larger marks.
  y += dpi / 3;
  TextLine(out, rng, x0, x0 + (x1 - x0) * rng.Range(30, 70) / 100, y, plan.dpi, 2);
  y += dpi / 4;
  const std::int64_t tableAt = rng.Range(0, 2);
  const std::int64_t photoAt = rng.Range(0, 3);
  for (std::int64_t block = 0; block < 64 && y < yEnd; ++block) {
    if (block == tableAt) {
      Table(out, rng, x0, x1, y, yEnd, plan.dpi);
    } else if (block == photoAt + 2) {
      const std::int64_t h = std::min(yEnd - y, dpi * rng.Range(15, 30) / 10);
      const bool right = (rng.Next() & 1) != 0;
      const std::int64_t mid = (x0 + x1) / 2;
      Photo(out, rng, right ? mid : x0, y, right ? x1 : mid, y + h);
      std::int64_t ty = y;
      Paragraph(out, rng, right ? x0 : mid + dpi / 10, right ? mid - dpi / 10 : x1, ty, y + h,
                plan.dpi);
      y += h + dpi / 6;
    } else {
      Paragraph(out, rng, x0, x1, y, yEnd, plan.dpi);
    }
  }
}

bool MakeSyntheticPage(const SyntheticPlan& plan, Page& out) {
  if (std::find(kSyntheticDpi.begin(), kSyntheticDpi.end(), plan.dpi) == kSyntheticDpi.end())
    return false;
  if (plan.widthMm10 == 0 || plan.lengthMm10 == 0 || plan.widthMm10 > 5000 ||
      plan.lengthMm10 > 10000) {
    return false;
  }
  out = Page{};
  out.synthetic = true;
  out.plan = plan;
  out.dpi = plan.dpi;
  out.width = MmToPixels(plan.widthMm10, plan.dpi);
  out.height = MmToPixels(plan.lengthMm10, plan.dpi);
  return true;
}

std::string SyntheticOrigin(const SyntheticPlan& plan) {
  char origin[80];
  std::snprintf(origin, sizeof origin, "synthetic seed %llu page %u",
                static_cast<unsigned long long>(plan.seed), plan.index + 1);
  return origin;
}

void Page::Materialize() {
  if (synthetic && raster.pixels.empty()) RenderSynthetic(plan, raster);
}

namespace {
// Widest sheet side that goes across the feed: 3488 pixels at 300 dpi in 1/1200
// inch, with the 1 % the guides allow (an A4 sheet's 297 mm side is 20 pixels wider).
constexpr std::uint64_t kAcrossFeedUnits = 3488 * 4;
constexpr std::uint64_t kAcrossFeedSlackPercent = 101;
}  // namespace

bool Page::FedTurned() const {
  if (turned) return false;
  const std::uint64_t longSide = std::max(width, height) * std::uint64_t{1200} / dpi;
  Feed how = feed;
  if (how == Feed::kAuto) {
    how = longSide * 100 <= kAcrossFeedUnits * kAcrossFeedSlackPercent ? Feed::kLongEdge
                                                                     : Feed::kShortEdge;
  }
  const bool portrait = height > width;
  return how == Feed::kLongEdge ? portrait : !portrait && width != height;
}

void Page::TurnForFeed() {
  if (!FedTurned()) return;
  raster = TurnClockwise(raster);
  std::swap(width, height);
  turned = true;
}

GrayRaster TurnClockwise(const GrayRaster& in) {
  GrayRaster out;
  out.width = in.height;
  out.height = in.width;
  out.pixels.resize(in.pixels.size());
  // Output (x, y) comes from input (y, height - 1 - x); in tiles, so that both
  // rasters are walked in cache-sized pieces.
  constexpr std::uint32_t kTile = 64;
  for (std::uint32_t y0 = 0; y0 < out.height; y0 += kTile) {
    for (std::uint32_t x0 = 0; x0 < out.width; x0 += kTile) {
      const std::uint32_t y1 = std::min(out.height, y0 + kTile);
      const std::uint32_t x1 = std::min(out.width, x0 + kTile);
      for (std::uint32_t x = x0; x < x1; ++x) {
        const std::uint8_t* src = in.Row(in.height - 1 - x);
        for (std::uint32_t y = y0; y < y1; ++y) out.Row(y)[x] = src[y];
      }
    }
  }
  return out;
}

void Page::Release() {
  if (synthetic) {
    if (turned) std::swap(width, height);
    turned = false;
    raster.pixels.clear();
    raster.pixels.shrink_to_fit();
  }
}

// ---- PBM / PGM ---------------------------------------------------------------------

const char* PnmErrorText(PnmError error) {
  constexpr std::array<const char*, 5> kText{"ok", "cannot open the file", "not a P1/P2/P4/P5 file",
                                             "image too large", "file ends before its pixels"};
  return kText[static_cast<std::size_t>(error)];
}

namespace {

constexpr std::uint32_t kMaxPnmSide = 40000;

class PnmReader {
 public:
  explicit PnmReader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  std::size_t Remaining() const { return bytes_.size() - pos_; }
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  std::uint8_t Byte() { return bytes_[pos_++]; }
  void SkipSpaceAndComments() {
    while (!AtEnd()) {
      const std::uint8_t c = bytes_[pos_];
      if (c == '#') {
        while (!AtEnd() && bytes_[pos_] != '\n') ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++pos_;
      } else {
        return;
      }
    }
  }
  // Decimal number; false when none or above `limit`.
  bool Number(std::uint32_t limit, std::uint32_t& value) {
    SkipSpaceAndComments();
    value = 0;
    std::size_t digits = 0;
    while (!AtEnd() && bytes_[pos_] >= '0' && bytes_[pos_] <= '9') {
      value = value * 10 + (bytes_[pos_++] - '0');
      if (value > limit) return false;
      ++digits;
    }
    return digits > 0;
  }
  // P1 pixels may be written without separators: one digit.
  bool Bit(std::uint8_t& bit) {
    SkipSpaceAndComments();
    if (AtEnd()) return false;
    const std::uint8_t c = Byte();
    if (c != '0' && c != '1') return false;
    bit = static_cast<std::uint8_t>(c - '0');
    return true;
  }
  const std::uint8_t* Here() const { return bytes_.data() + pos_; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

PnmError ParsePnm(const std::vector<std::uint8_t>& bytes, GrayRaster& out) {
  PnmReader in(bytes);
  if (in.Remaining() < 2 || in.Byte() != 'P') return PnmError::kFormat;
  const std::uint8_t kind = in.Byte();
  if (kind != '1' && kind != '2' && kind != '4' && kind != '5') return PnmError::kFormat;
  const bool bilevel = kind == '1' || kind == '4';
  std::uint32_t width = 0, height = 0, maxval = 1;
  if (!in.Number(kMaxPnmSide, width) || !in.Number(kMaxPnmSide, height)) return PnmError::kFormat;
  if (width == 0 || height == 0) return PnmError::kFormat;
  if (!bilevel && (!in.Number(65535, maxval) || maxval == 0)) return PnmError::kFormat;
  const std::size_t pixels = std::size_t{width} * height;
  const bool binary = kind == '4' || kind == '5';
  if (binary) {
    if (in.AtEnd()) return PnmError::kTruncated;
    in.Byte();  // the single whitespace before the raster
  }
  const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
  const std::size_t needed = kind == '4'   ? std::size_t{(width + 7) / 8} * height
                             : kind == '5' ? pixels * sampleBytes
                                           : pixels;  // text: at least one character a pixel
  if (in.Remaining() < needed) return PnmError::kTruncated;
  out.width = width;
  out.height = height;
  out.pixels.assign(pixels, 255);
  const std::uint8_t* raw = in.Here();
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* row = out.Row(y);
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint32_t v = 0;
      switch (kind) {
        case '4':
          v = (raw[std::size_t{y} * ((width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1u;
          break;
        case '5':
          v = sampleBytes == 2 ? raw[(std::size_t{y} * width + x) * 2] * 256u +
                                     raw[(std::size_t{y} * width + x) * 2 + 1]
                               : raw[std::size_t{y} * width + x];
          break;
        case '1': {
          std::uint8_t bit = 0;
          if (!in.Bit(bit)) return PnmError::kTruncated;
          v = bit;
          break;
        }
        default:
          if (!in.Number(maxval, v)) return PnmError::kTruncated;
          break;
      }
      row[x] = bilevel ? (v ? 0 : 255) : static_cast<std::uint8_t>(v * 255 / maxval);
    }
  }
  return PnmError::kNone;
}

PnmError LoadPnmFile(const std::string& path, std::uint32_t dpi, Page& out) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return PnmError::kOpen;
  std::vector<std::uint8_t> bytes;
  constexpr std::size_t kMaxFile = std::size_t{1} << 29;  // 512 MiB
  std::uint8_t chunk[65536];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    if (bytes.size() + got > kMaxFile) {
      std::fclose(file);
      return PnmError::kTooLarge;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(file);
  out = Page{};
  const PnmError error = ParsePnm(bytes, out.raster);
  if (error != PnmError::kNone) return error;
  out.dpi = dpi;
  out.width = out.raster.width;
  out.height = out.raster.height;
  out.origin = path;
  return PnmError::kNone;
}

// ---- imprinter marks -------------------------------------------------------------------

void StampText(GrayRaster& raster, std::uint32_t dpi, std::uint32_t xMm, std::uint32_t yMm,
               const std::string& text) {
  const std::int64_t dot = std::max<std::uint32_t>(1, dpi / 100);  // one cell dot
  std::int64_t x = std::int64_t{xMm} * dpi * 10 / 254;
  const std::int64_t y = std::int64_t{yMm} * dpi * 10 / 254;
  for (const char ch : text) {
    const auto code = static_cast<std::uint8_t>(ch);
    if (code > ' ') {
      // 35 dots: the code's bits spread over the cell, with a solid top row so
      // that every character leaves a mark.
      const std::uint64_t pattern = (std::uint64_t{code} * 0x9E3779B97F4A7C15ull) | 0x1Full;
      for (int row = 0; row < 7; ++row) {
        for (int col = 0; col < 5; ++col) {
          if ((pattern >> (row * 5 + col)) & 1u) {
            raster.FillRect(x + col * dot, y + row * dot, x + (col + 1) * dot, y + (row + 1) * dot,
                            0);
          }
        }
      }
    }
    x += 6 * dot;
  }
}

}  // namespace tarvo::sim
