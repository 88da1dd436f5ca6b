// A driver context attached to the in-process simulator for the scanner
// operations, the probe and the parameters: a fixed clock and no system text,
// so that "c:\scan.log" entries compare exactly, and the simulator's record
// named command by command.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Bus.h"
#include "scan/DriverContext.h"
#include "scsi/Transport.h"
#include "sim_test_support.h"
#include "support/ScanFields.h"
#include "support/ScsiTestSupport.h"

namespace tarvo::test {

class OpsPlatform : public ScsiTestPlatform {
 public:
  std::size_t ErrorText(std::uint32_t, char* buffer, std::size_t size) override {
    if (size > 0) buffer[0] = '\0';
    return 0;
  }
};

// One "CheckScsi" entry at the platform's fixed time, with the empty system
// text.
inline std::string CheckScsiEntry(int code, int callSite) {
  return "05/22/00 17:04:09 CheckScsi " + std::to_string(code) + " returned from line " +
         std::to_string(callSite) + " of Scan\r\n\r\n";
}

// A command of the record in words: "getscanmode 36", "definescanmode 34",
// "setwindow", "read 84", "inquiry F0", "getkey 3".
inline std::string Describe(const sim::CommandRecord& r) {
  char text[40];
  const std::uint8_t b2 = r.cdb.size() > 2 ? r.cdb[2] : 0;
  switch (r.Opcode()) {
    case 0x00: return "tur";
    case 0x12:
      if (r.cdb[1] & 1) return std::snprintf(text, sizeof text, "inquiry %02X", b2), text;
      return "inquiry";
    case 0x24: return "setwindow";
    case 0x25: return "getwindow";
    case 0x28: return std::snprintf(text, sizeof text, "read %02X", b2), text;
    case 0x2A: return std::snprintf(text, sizeof text, "send %02X", b2), text;
    case 0xD5: return std::snprintf(text, sizeof text, "getscanmode %02X", b2), text;
    case 0xD6:
      return std::snprintf(text, sizeof text, "definescanmode %02X",
                           r.dataOut.size() > 4 ? r.dataOut[4] : 0),
             text;
    case 0xDA: return "definekey";
    case 0xDB: return std::snprintf(text, sizeof text, "getkey %d", b2), text;
    default: return std::snprintf(text, sizeof text, "opcode %02X", r.Opcode()), text;
  }
}

inline std::vector<std::string> Commands(sim::Bus& bus) {
  std::vector<std::string> out;
  for (const sim::CommandRecord& r : bus.Records()) out.push_back(Describe(r));
  return out;
}

inline sim::FaultRule SenseFault(std::uint8_t opcode, int dataType, std::uint32_t occurrence,
                                 sim::Sense sense) {
  sim::FaultRule rule;
  rule.opcode = opcode;
  rule.dataType = dataType;
  rule.occurrence = occurrence;
  rule.sense = sense;
  return rule;
}
// Target status 8: a transport result the driver logs.
inline sim::FaultRule BusyFault(std::uint8_t opcode, int dataType, std::uint32_t occurrence) {
  sim::FaultRule rule = SenseFault(opcode, dataType, occurrence, {});
  rule.kind = sim::FaultKind::kBusy;
  return rule;
}
// A host adapter status (selection timeout unless told): logged as well.
inline sim::FaultRule AdapterFault(std::uint8_t opcode, int dataType, std::uint32_t occurrence,
                                   std::uint8_t status = aspi::kHaStatSelectionTimeout) {
  sim::FaultRule rule = SenseFault(opcode, dataType, occurrence, {});
  rule.kind = sim::FaultKind::kHostAdapter;
  rule.value = status;
  return rule;
}

// A context whose scanner is the simulator's RT650 at (adapter, target),
// already found: its adapter selected and its target remembered.
class SimContext {
 public:
  explicit SimContext(std::uint8_t adapter = 0, std::uint8_t target = 0)
      : bus(static_cast<std::uint8_t>(adapter + 1)), scanner(bus.AddScanner(adapter, target)) {
    SetProvider(context.transport, &bus);
    SelectAdapter(context, adapter);
    context.state.scannerAdapter = adapter;
    context.state.scannerTarget = target;
  }

  std::string ScanLog() { return platform.Log("scan.log"); }
  bool HasScanLog() { return FileExists(platform.RootFile("scan.log")); }

  OpsPlatform platform;
  DriverContext context{platform};
  sim::Bus bus;
  sim::Rt650& scanner;
};

// Raw commands to the simulator's scanner at 0:0, bypassing the driver.
using sim::test::DefinePage;
using sim::test::SetWindowRaw;

}  // namespace tarvo::test
