// One driver session on a simulated bus, run over the simulator's provider and
// over a provider under test whose system call the bus answers: results, logs
// and documents must be equal. Bus: a disk at 0:0, the RT650 at 1:3 with five
// pages (the third jams, the fourth is a separator sheet).
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "Bus.h"
#include "scan/Batch.h"
#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"

namespace tarvo::test {

struct ScenarioFault {
  const char* name;
  std::uint8_t opcode;  // 0xFF: none
  int dataType;
  sim::FaultKind kind;
  sim::Sense sense;
  std::uint8_t value;
  std::uint32_t occurrence;
};

// None, each host-side failure, a sense on a command and on a page read (the
// providers pass sense on whatever its key).
inline const std::vector<ScenarioFault>& ScenarioFaults() {
  using K = sim::FaultKind;
  static const std::vector<ScenarioFault> faults{
      {"clean", 0xFF, -1, K::kSense, {}, 0, 1},
      {"busy target", 0x25, -1, K::kBusy, {}, 0, 1},
      {"selection timeout", 0x28, 0, K::kHostAdapter, {}, aspi::kHaStatSelectionTimeout, 2},
      {"command timeout", 0xD5, -1, K::kHostAdapter, {}, aspi::kHaStatTimeout, 3},
      {"device gone", 0x1B, -1, K::kSrbStatus, {}, aspi::kSsNoDevice, 1},
      {"not ready", 0x00, -1, K::kSense, sim::kSenseNotReady, 0, 2},
      {"medium", 0x28, 0, K::kSense, {0x3, 0x11, 0x00}, 0, 3},
  };
  return faults;
}

inline void BuildScenarioBus(sim::Bus& bus, const ScenarioFault& fault) {
  bus.SetAdapterCount(2);
  bus.AddDevice(0, 0, sim::Identity{0x00, "ACME", "DISK", "1.0"});
  sim::Rt650& scanner = bus.AddScanner(1, 3);
  scanner.AddSyntheticPages(5, 11, 200);
  scanner.SetConditions(2, sim::PageConditions{0, false, true});
  scanner.SetConditions(3, sim::PageConditions{0x82, false, false});
  if (fault.opcode != 0xFF) {
    scanner.AddFault({fault.opcode, fault.dataType, fault.occurrence, 0, fault.kind, fault.sense,
                      fault.value, 0});
  }
}

// Probe, modes, gamma, function keys, a batch read until the feeder runs empty:
// the driver's result codes, in order.
inline std::vector<int> RunScenario(Platform& platform, aspi::Provider& provider,
                                    const std::string& document) {
  DriverContext context(platform);
  context.cdbTraceOn = true;
  SetProvider(context.transport, &provider);
  std::vector<int> results;
  auto note = [&results](auto r) { results.push_back(static_cast<int>(r)); };
  note(Probe(context.Link()));
  const std::int32_t modes[][2] = {{PAR_RESOLUTION, 200}, {PAR_SCAN_WIDTH, 1000}, {PAR_SCAN_LENGTH, 1400},
                                   {PAR_SIDE_OFFSET, 1325}, {PAR_IMAGE_TYPE, 1}, {PAR_FILE_TYPE, 1},
                                   {PAR_COMPRESSION, 3}, {PAR_CONTINUOUS, 1}};
  for (const auto& mode : modes) note(ParSet(context, mode[0], &mode[1]));
  std::uint8_t gamma[256];
  for (int i = 0; i < 256; ++i) gamma[i] = static_cast<std::uint8_t>(255 - i);
  note(SendGammaTable(context.Link(), 1, gamma));
  note(ReadGammaTable(context.Link(), 1, gamma));  // the trace shows what came back
  std::uint32_t key = 0, position = 0;
  note(DefineFunctionKey(context.Link(), 2, 0x4000));
  note(ReadFunctionKey(context.Link(), 2, &key));
  note(key);
  const Result started = StartScan(context, document.c_str(), &position, nullptr);
  note(started);
  if (started != Result::Ok) return results;
  std::vector<std::uint8_t> page(8u << 20);
  for (int i = 0; i < 8; ++i) {
    const Result r = ReadPage(context, nullptr, page.data(), nullptr);
    note(r);
    if (r == Result::NoPaper) break;
    if (r != Result::Ok) note(ContinueScan(context));
  }
  note(CloseDocument(context, context.state.document));
  note(StopScan(context));
  return results;
}

// What a fake kernel or port driver refuses: no room for fixed sense, a CDB not
// of its group's length, data without a direction or one without data, a
// timeout outside 5..600 s or under 60 s for READ and SCAN.
inline bool Refused(const std::uint8_t* cdb, unsigned cdbLength, unsigned senseRoom, bool directed,
                    std::uint32_t length, std::uint32_t timeoutMs) {
  const bool slow = cdb[0] == 0x28 || cdb[0] == 0x1B;
  return senseRoom < 18 || cdbLength != (cdb[0] < 0x20 || cdb[0] >= 0xC0 ? 6u : 10u) ||
         directed != (length != 0) || timeoutMs < (slow ? 60000u : 5000u) || timeoutMs > 600000u;
}

// The bus's answer to one request passed on by a fake kernel or port driver.
struct BusAnswer {
  aspi::SrbExecScsiCmd srb{};
  std::size_t transferred = 0;  // the length of the data phase
};
inline BusAnswer AnswerFromBus(sim::Bus& bus, std::uint8_t adapter, std::uint8_t target,
                               std::uint8_t direction, void* data, std::uint32_t length,
                               const std::uint8_t* cdb, std::uint8_t cdbLength) {
  BusAnswer a;
  aspi::SrbExecScsiCmd& srb = a.srb;
  srb.SRB_Cmd = aspi::kScExecScsiCmd, srb.SRB_HaId = adapter, srb.SRB_Target = target, srb.SRB_Flags = direction;
  srb.SRB_BufLen = length, srb.SRB_BufPointer = static_cast<std::uint8_t*>(data);
  srb.SRB_SenseLen = 14, srb.SRB_CDBLen = cdbLength;
  std::memcpy(srb.CDBByte, cdb, cdbLength);
  bus.SendCommand(&srb);
  a.transferred = bus.Records().back().transferred;
  return a;
}

}  // namespace tarvo::test
