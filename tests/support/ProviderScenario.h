// One driver session against a simulated bus, for comparing an ASPI provider
// with the simulator's own: the same bus is built twice, once behind the
// simulator's provider and once behind the provider under test (whose
// operating-system call answers from it), the same session runs over each,
// and the results, the logs and the documents must be the same.
//
// The bus: a disk at adapter 0 target 0, nothing at adapter 0 target 5, the
// RT650 at adapter 1 target 3 with five pages (the third jams, the fourth is
// a separator sheet). The session: probe, scan modes, gamma, function keys,
// a batch that reads until the feeder runs empty, stop. Plain C++ (no test
// framework): the Windows seam test runs it too.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "Bus.h"
#include "scan/Batch.h"
#include "scan/Documents.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Transport.h"

namespace tarvo::test {

inline constexpr std::uint8_t kScenarioScannerAdapter = 1;
inline constexpr std::uint8_t kScenarioScannerTarget = 3;

// A fault of the session, on the scanner (none when opcode is 0xFF).
struct ScenarioFault {
  const char* name;
  sim::FaultRule rule;
};

inline void BuildScenarioBus(sim::Bus& bus, const ScenarioFault& fault) {
  bus.SetAdapterCount(2);
  sim::Identity disk;
  disk.peripheralType = 0x00;
  disk.vendor = "ACME";
  disk.product = "DISK";
  bus.AddDevice(0, 0, disk);
  sim::Rt650& scanner = bus.AddScanner(kScenarioScannerAdapter, kScenarioScannerTarget);
  scanner.AddSyntheticPages(5, 11, 200);
  sim::PageConditions jam;
  jam.jam = true;
  scanner.SetConditions(2, jam);
  sim::PageConditions separator;
  separator.separatorStatus = 0x82;
  scanner.SetConditions(3, separator);
  if (fault.rule.opcode != 0xFF) scanner.AddFault(fault.rule);
}

inline sim::FaultRule Rule(std::uint8_t opcode, int dataType, sim::FaultKind kind, sim::Sense sense = {},
                    std::uint8_t value = 0, std::uint32_t occurrence = 1) {
  sim::FaultRule r;
  r.opcode = opcode;
  r.dataType = dataType;
  r.kind = kind;
  r.sense = sense;
  r.value = value;
  r.occurrence = occurrence;
  return r;
}

// The faults every provider is run with: none, each host-side failure, a
// sense of every class.
inline const std::vector<ScenarioFault>& ScenarioFaults() {
  using sim::FaultKind;
  static const std::vector<ScenarioFault> faults{
      {"clean", Rule(0xFF, -1, FaultKind::kSense)},
      {"busy target", Rule(0x25, -1, FaultKind::kBusy)},
      {"selection timeout", Rule(0x28, 0, FaultKind::kHostAdapter, {}, 0x11, 2)},
      {"command timeout", Rule(0xD5, -1, FaultKind::kHostAdapter, {}, 0x09, 3)},
      {"device gone", Rule(0x1B, -1, FaultKind::kSrbStatus, {}, aspi::kSsNoDevice)},
      {"recovered", Rule(0x28, 0, FaultKind::kSense, {0x1, 0x17, 0x01})},
      {"not ready", Rule(0x00, -1, FaultKind::kSense, sim::kSenseNotReady, 0, 2)},
      {"medium", Rule(0x28, 0, FaultKind::kSense, {0x3, 0x11, 0x00}, 0, 3)},
      {"hardware", Rule(0x2A, -1, FaultKind::kSense, {0x4, 0x44, 0x00})},
      {"illegal request", Rule(0xDA, -1, FaultKind::kSense, sim::kSenseInvalidParameter)},
      {"unit attention", Rule(0x24, -1, FaultKind::kSense, sim::kSenseUnitAttention, 0, 2)},
      {"aborted", Rule(0x28, 0x81, FaultKind::kSense, {0xB, 0x47, 0x00})},
      {"miscompare", Rule(0xD6, -1, FaultKind::kSense, {0xE, 0x1D, 0x00})},
  };
  return faults;
}

// The driver's answers, in order.
struct ScenarioTranscript {
  std::vector<int> results;
  std::array<std::uint8_t, 256> gamma{};
  std::uint32_t functionKey = 0;
  std::uint8_t adapter = 0xFF;
  std::uint8_t target = 0xFF;
};

inline ScenarioTranscript RunScenario(Platform& platform, aspi::Provider& provider,
                                      const std::string& document) {
  DriverContext context(platform);
  context.cdbTraceOn = true;
  SetProvider(context.transport, &provider);
  ScenarioTranscript t;
  auto note = [&t](Result r) { t.results.push_back(static_cast<int>(r)); };
  note(Probe(context));
  t.adapter = context.state.scannerAdapter;
  t.target = context.state.scannerTarget;
  const std::array<std::array<std::int32_t, 2>, 8> modes{{
      {PAR_RESOLUTION, 200},
      {PAR_SCAN_WIDTH, 1000},
      {PAR_SCAN_LENGTH, 1400},
      {PAR_SIDE_OFFSET, 1325},
      {PAR_IMAGE_TYPE, 1},
      {PAR_FILE_TYPE, 1},
      {PAR_COMPRESSION, 3},
      {PAR_CONTINUOUS, 1},
  }};
  for (const auto& [id, value] : modes) note(ParSet(context, id, &value));
  std::array<std::uint8_t, 256> ramp{};
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(255 - i);
  note(SendGammaTable(context, 0x0001, ramp.data()));
  note(ReadGammaTable(context, 0x0001, t.gamma.data()));
  t.results.push_back(static_cast<int>(DefineFunctionKey(context, 2, 0x4000)));
  note(ReadFunctionKey(context, 2, &t.functionKey));

  std::uint32_t position = 0;
  const Result started = StartScan(context, document.c_str(), &position, nullptr);
  note(started);
  if (started == Result::Ok) {
    std::vector<std::uint8_t> page(8u << 20);
    for (int i = 0; i < 8; ++i) {
      const Result r = ReadPage(context, nullptr, page.data(), nullptr);
      note(r);
      if (r == Result::NoPaper) break;
      if (r == Result::Ok) continue;
      note(ContinueScan(context));
    }
    note(CloseDocument(context));
    note(StopScan(context));
  }
  return t;
}

}  // namespace tarvo::test
