// A driver context on the in-process simulator: a fixed clock and no system
// text, so that "c:\scan.log" entries compare exactly.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Bus.h"
#include "scan/DriverContext.h"
#include "scsi/Transport.h"
#include "sim_test_support.h"
#include "support/ScanFields.h"
#include "support/ScsiTestSupport.h"

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
