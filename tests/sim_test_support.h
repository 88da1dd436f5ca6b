// Test helpers for the RT650 simulator: raw CDBs sent through the bus as the
// driver's transport sends them, with a packed request block; and a driver
// context on it with a fixed clock and no system text, so that "c:\scan.log"
// entries compare exactly.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Bus.h"
#include "Page.h"
#include "Request.h"
#include "core/Bytes.h"
#include "scan/DriverContext.h"
#include "scsi/Transport.h"
#include "support/ScanFields.h"
#include "support/ScsiTestSupport.h"

namespace tarvo::sim::test {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
  std::uint32_t returned = 0;
  std::uint8_t srbStatus = 0, hostAdapterStatus = 0, targetStatus = 0;
  std::array<std::uint8_t, 14> sense{};

  std::uint8_t SenseKey() const { return sense[2] & 0x0F; }
  bool Ili() const { return (sense[2] & 0x20) != 0; }
  std::uint32_t Information() const { return GetBe32(sense, 3); }
  int KeyAsc() const { return targetStatus == 2 ? SenseKey() << 8 | sense[12] : 0; }  // 0: no check condition
  bool Good() const { return srbStatus == aspi::kSsComp && targetStatus == 0 && hostAdapterStatus == 0; }
};

inline constexpr std::uint8_t kIn = aspi::kSrbDirIn;
inline constexpr std::uint8_t kOut = aspi::kSrbDirOut;

// Fills a request block as the transport does and sends it.
inline Outcome Send(aspi::Provider& provider, std::initializer_list<std::uint8_t> cdb, std::uint8_t direction,
                    Bytes& data, std::uint8_t adapter = 0, std::uint8_t target = 0) {
  aspi::SrbExecScsiCmd srb = MakeRequest(cdb, direction, data.empty() ? nullptr : data.data(),
                                         static_cast<std::uint32_t>(data.size()), adapter, target);
  Outcome out{provider.SendCommand(&srb), srb.SRB_Status, srb.SRB_HaStat, srb.SRB_TargStat, {}};
  std::memcpy(out.sense.data(), srb.SenseArea, out.sense.size());
  return out;
}
inline Outcome Command(aspi::Provider& provider, std::initializer_list<std::uint8_t> cdb) {
  Bytes none;
  return Send(provider, cdb, 0, none);
}

// The commands the driver sends, as raw CDBs.
inline std::uint8_t B(std::uint32_t v, int shift) { return static_cast<std::uint8_t>(v >> shift); }
inline Outcome ReadData(aspi::Provider& p, std::uint8_t type, Bytes& buffer) {
  const auto n = static_cast<std::uint32_t>(buffer.size());
  return Send(p, {0x28, 0, type, 0, 0, 0, B(n, 16), B(n, 8), B(n, 0), 0}, kIn, buffer);
}
// Scan mode page 0x32 (20 bytes of data): page byte 6 `feed` (0x40 continuous
// feed, 0x20 auto size, 0x08 addon on), page byte 13 `batch`.
inline Bytes ScanModePage(std::uint8_t feed, std::uint8_t batch = 0) {
  Bytes data(20, 0);
  data[4] = 0x32, data[5] = 14, data[4 + 6] = feed, data[4 + 13] = batch;
  return data;
}
inline Outcome Scan(aspi::Provider& p) {
  Bytes list{0};
  return Send(p, {0x1B, 0, 0, 0, 1, 0}, kOut, list);
}
// Status page 0x33: {paper present, page ready}.
inline std::array<bool, 2> Status(aspi::Provider& p) {
  Bytes page(20);
  Send(p, {0xD5, 0, 0x33, 0, 20, 0}, kIn, page);
  return {(page[6] & 1) != 0, (page[7] & 1) != 0};
}

// A 52-byte window laid out by offset: resolutions, area in 1/1200 inch, and the rest.
struct Win {
  std::uint16_t xr, yr;
  std::int32_t ulx, uly, width, length;
  std::uint8_t brightness, threshold, contrast, composition, bits, vendor, id = 0;
};
inline Bytes WindowBytes(const Win& w) {
  Bytes d(52, 0);
  d[7] = 44, d[8] = w.id;
  PutBe16(d, 10, w.xr), PutBe16(d, 12, w.yr);
  const std::int32_t box[4] = {w.ulx, w.uly, w.width, w.length};
  for (int i = 0; i < 4; ++i) PutBe32(d, 14 + 4 * i, static_cast<std::uint32_t>(box[i]));
  d[30] = w.brightness, d[31] = w.threshold, d[32] = w.contrast;
  d[33] = w.composition, d[34] = w.bits, d[50] = w.vendor;
  return d;
}
inline Bytes WindowData(std::uint16_t dpi, std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t length,
                        std::uint8_t composition, std::uint8_t bits, std::uint8_t threshold = 128) {
  return WindowBytes({dpi, dpi, left, top, width, length, 0, threshold, 0, composition, bits, 0});
}
inline Outcome SetWindow(aspi::Provider& p, Bytes window) {
  return Send(p, {0x24, 0, 0, 0, 0, 0, 0, 0, 52, 0}, kOut, window);
}
inline void SetWindowRaw(aspi::Provider& p, const Bytes& window) { ASSERT_TRUE(SetWindow(p, window).Good()); }
inline void DefinePage(aspi::Provider& p, Bytes data) {
  ASSERT_TRUE(Send(p, {0xD6, 0x10, 0, 0, static_cast<std::uint8_t>(data.size()), 0}, kOut, data).Good());
}

// A page whose pixel (x, y) is f(x, y), white by default.
inline Page PatternPage(std::uint32_t width, std::uint32_t height, std::uint32_t dpi,
                        const std::function<unsigned(std::uint32_t, std::uint32_t)>& f = {}) {
  Page page;
  page.dpi = dpi;
  page.width = page.raster.width = width;
  page.height = page.raster.height = height;
  page.raster.pixels.assign(std::size_t{width} * height, 255);
  for (std::uint32_t y = 0; f && y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) page.raster.Row(y)[x] = static_cast<std::uint8_t>(f(x, y));
  return page;
}

// Reads the image of the page in the scanner in chunks until the scanner ends
// it; the bytes and the last outcome.
struct Scanned { Bytes bytes; Outcome last; };
inline Scanned ReadPage(aspi::Provider& p, std::uint32_t chunk = 32768) {
  Scanned out;
  for (int guard = 0; guard < 100000 && out.last.targetStatus == 0; ++guard) {
    Bytes buffer(chunk);
    out.last = ReadData(p, 0x00, buffer);
    const std::size_t got = out.last.targetStatus == 2 ? chunk - out.last.Information() : chunk;
    out.bytes.insert(out.bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
  }
  return out;
}

}  // namespace tarvo::sim::test

namespace tarvo::test {

// Its maximum-transfer library answers 64 KiB times (adapter + 1).
class OpsPlatform : public ScsiTestPlatform {
 public:
  std::size_t ErrorText(std::uint32_t, char* buffer, std::size_t size) override {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
  LibraryHandle LibraryLoad(const char* name) override {
    return std::strcmp(name, kMaxTransferLibrary) == 0 ? this : ScsiTestPlatform::LibraryLoad(name);
  }
  ProcAddress LibrarySymbol(LibraryHandle library, const char* symbol) override {
    return library == this ? reinterpret_cast<ProcAddress>(&MaxTransfer) : ScsiTestPlatform::LibrarySymbol(library, symbol);
  }
  bool LibraryFree(LibraryHandle library) override { return library == this || ScsiTestPlatform::LibraryFree(library); }
  static std::uint32_t MaxTransfer(std::uint32_t adapter) { return 0x10000u * (adapter + 1); }
};

// One "CheckScsi" entry at the platform's fixed time, with the empty system text.
inline std::string CheckScsiEntry(int code, int callSite) {
  return "05/22/00 17:04:09 CheckScsi " + std::to_string(code) + " returned from line " + std::to_string(callSite) +
         " of Scan\r\n\r\n";
}

// The record command by command in words: "getscanmode 36", "definescanmode 34",
// "setwindow", "read 84", "inquiry", "inquiry F0", "getkey 3".
inline std::vector<std::string> Commands(sim::Bus& bus) {
  std::vector<std::string> out;
  for (const sim::CommandRecord& r : bus.Records()) {
    const std::uint8_t op = r.Opcode(), b2 = r.cdb.size() > 2 ? r.cdb[2] : 0;
    char hex[8];
    std::snprintf(hex, sizeof hex, " %02X", op != 0xD6 ? b2 : r.dataOut.size() > 4 ? r.dataOut[4] : 0);
    const std::map<std::uint8_t, std::string> names = {
        {0x00, "tur"}, {0x12, (r.cdb[1] & 1) != 0 ? std::string("inquiry") + hex : "inquiry"},
        {0x24, "setwindow"}, {0x25, "getwindow"}, {0x28, std::string("read") + hex},
        {0x2A, std::string("send") + hex}, {0xD5, std::string("getscanmode") + hex},
        {0xD6, std::string("definescanmode") + hex}, {0xDA, "definekey"},
        {0xDB, "getkey " + std::to_string(b2)}};
    out.push_back(names.count(op) ? names.at(op) : "opcode " + std::to_string(op));
  }
  return out;
}

// A check condition; target status 8 (busy); a host adapter status
// (selection timeout unless told). The last two are transport results.
inline sim::FaultRule SenseFault(std::uint8_t op, int type, std::uint32_t nth, sim::Sense sense) {
  return {.opcode = op, .dataType = type, .occurrence = nth, .sense = sense};
}
inline sim::FaultRule BusyFault(std::uint8_t op, int type, std::uint32_t nth) {
  return {.opcode = op, .dataType = type, .occurrence = nth, .kind = sim::FaultKind::kBusy, .sense = {}};
}
inline sim::FaultRule AdapterFault(std::uint8_t op, int type, std::uint32_t nth,
                                   std::uint8_t status = aspi::kHaStatSelectionTimeout) {
  return {.opcode = op, .dataType = type, .occurrence = nth, .kind = sim::FaultKind::kHostAdapter, .sense = {},
          .value = status};
}

// Every number of the record, its name pointer and the addon mirror.
inline std::vector<std::int64_t> Snapshot(const DriverContext& c) {
  const std::vector<std::int32_t> fields = Fields(c.settings);
  std::vector<std::int64_t> out(fields.begin(), fields.end());
  out.push_back(static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(c.settings.docName)));
  out.insert(out.end(), c.addonPage.begin(), c.addonPage.end());
  return out;
}

// A driver context on a simulated bus of `adapters`.
struct SimBus {
  explicit SimBus(std::uint8_t adapters = 1) : bus(adapters) { SetProvider(context.transport, &bus); }
  std::string ScanLog() { return platform.Log("scan.log"); }

  OpsPlatform platform;
  DriverContext context{platform};
  sim::Bus bus;
  DriverState& state = context.state;
};

// One whose scanner, the RT650 at 0:0, is already found.
struct SimContext : SimBus {
  SimContext() : scanner(bus.AddScanner(0, 0)) {}
  sim::Rt650& scanner;
};

}  // namespace tarvo::test
