// The scanner search against the in-process simulator: search order over
// adapters and targets 0..6, the outcomes of a probe, the capability page and
// the firmware revision.
#include "scan/Probe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sim_ops_support.h"

namespace tarvo {
namespace {

using test::BusyFault;
using test::CheckScsiEntry;
using test::SenseFault;
using Strings = std::vector<std::string>;

// The maximum-transfer library answers a different size per adapter.
std::uint32_t FakeMaxTransfer(std::uint32_t adapter) { return 0x10000u * (adapter + 1); }

class ProbePlatform : public test::OpsPlatform {
 public:
  LibraryHandle LibraryLoad(const char* name) override {
    return std::strcmp(name, kMaxTransferLibrary) == 0 ? &handle_ : OpsPlatform::LibraryLoad(name);
  }
  ProcAddress LibrarySymbol(LibraryHandle library, const char* symbol) override {
    if (library == &handle_ && std::strcmp(symbol, kMaxTransferSymbol) == 0)
      return reinterpret_cast<ProcAddress>(&FakeMaxTransfer);
    return OpsPlatform::LibrarySymbol(library, symbol);
  }
  bool LibraryFree(LibraryHandle library) override {
    return library == &handle_ || OpsPlatform::LibraryFree(library);
  }

 private:
  int handle_ = 0;
};

struct Probing {
  explicit Probing(std::uint8_t adapters = 1) : bus(adapters) {
    SetProvider(context.transport, &bus);
  }
  std::string Log() { return platform.Log("scan.log"); }
  // The commands after the inquiry of target 0.
  Strings AfterSearch() {
    Strings all = test::Commands(bus);
    return Strings(all.begin() + 1, all.end());
  }
  ProbePlatform platform;
  DriverContext context{platform};
  sim::Bus bus;
  DriverState& state = context.state;
};

TEST(Probe, SearchOrderOverAdaptersAndTargets) {
  const sim::Identity disk{0x00, "QUANTEX", "FIRECREST", "1.0"},
      otherVendor{0x06, "OTHERCO", "RT650", "2.10"}, otherModel{0x06, "TARVO", "RT600", "2.10"},
      longerNames{0x06, "TARVOSCN", "RT650-II", "3.00"};
  struct Device {
    std::uint8_t adapter, target;
    const sim::Identity* identity;  // null: an RT650
  };
  struct Case {
    std::uint8_t adapters;
    std::vector<Device> devices;
    int adapter, target;  // -1: none found
  };
  const Case cases[] = {
      {2, {{1, 0, nullptr}, {0, 6, nullptr}}, 0, 6},  // the lower adapter first
      {2, {{1, 3, nullptr}, {0, 0, &disk}, {0, 1, &otherVendor}, {0, 2, &otherModel}}, 1, 3},
      {2, {{0, 7, nullptr}, {1, 7, nullptr}, {0, 0, &disk}}, -1, -1},  // never target 7
      {1, {{0, 4, nullptr}, {0, 1, &longerNames}}, 0, 1},  // names that begin alike match
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    Probing p(c.adapters);
    for (const auto& [a, t, identity] : c.devices)
      identity == nullptr ? (void)p.bus.AddScanner(a, t) : p.bus.AddDevice(a, t, *identity);
    const Result result = Probe(p.context);
    // Every target 0..6 in order is asked until the match; everything after
    // it goes to the scanner.
    std::vector<std::pair<int, int>> expected, inquired;
    for (int a = 0; a < c.adapters; ++a) {
      for (int t = 0; t <= 6; ++t) {
        if (c.adapter >= 0 && (a > c.adapter || (a == c.adapter && t > c.target))) break;
        expected.emplace_back(a, t);
      }
    }
    const auto& records = p.bus.Records();
    for (std::size_t i = 0; i < records.size(); ++i) {
      const std::pair<int, int> at{records[i].adapter, records[i].target};
      EXPECT_TRUE(i < expected.size() || at == std::pair(c.adapter, c.target)) << i;
      if (records[i].cdb == std::vector<std::uint8_t>{0x12, 0, 0, 0, 64, 0}) inquired.push_back(at);
    }
    EXPECT_EQ(inquired, expected);
    const bool found = c.adapter >= 0;
    EXPECT_EQ(result, found ? Result::Ok : Result::ScannerFailure);
    EXPECT_EQ(p.state.scanner.probed, found ? 1 : 0);
    EXPECT_EQ(int{p.state.scanner.scannerTarget}, found ? c.target : int{kNoTarget});
    if (!found) {
      EXPECT_EQ(records.size(), expected.size());  // nothing but the search
      EXPECT_EQ(p.Log(), "");
      continue;
    }
    EXPECT_EQ(p.state.scanner.adapterCount, c.adapters);
    EXPECT_EQ(p.state.scanner.scannerAdapter, static_cast<std::uint32_t>(c.adapter));
    EXPECT_EQ(p.state.scanner.maxTransferSize, 0x10000u * static_cast<std::uint32_t>(c.adapter + 1));
  }
}

// Each fault on the scanner at (0, 0) after an earlier probe: the five reads
// run each on its own and keep the others' values; the first TEST UNIT READY is
// not examined, the second stops the probe before the capability page, whose
// own failure does not fail the probe.
TEST(Probe, Outcomes) {
  const Strings after = {"tur",       "getscanmode 32", "getscanmode 36", "read 84",
                         "getwindow", "getscanmode 34", "tur",            "inquiry F0"};
  struct Case {
    sim::FaultRule fault;
    Result result;
    std::string log;
  };
  const Case cases[] = {
      {BusyFault(0xD5, 0x32, 1), Result::Ok, CheckScsiEntry(8, 873)},
      {BusyFault(0xD5, 0x36, 1), Result::Ok, CheckScsiEntry(8, 885)},
      {BusyFault(0x28, 0x84, 1), Result::Ok, CheckScsiEntry(8, 812)},
      {BusyFault(0x25, -1, 1), Result::Ok, CheckScsiEntry(8, 970)},
      {BusyFault(0xD5, 0x34, 1), Result::Ok, CheckScsiEntry(8, 766)},
      {BusyFault(0x00, -1, 1), Result::Ok, ""},
      {SenseFault(0x00, -1, 2, sim::kSenseNotReady), Result::NotReady, ""},
      {SenseFault(0x00, -1, 2, {2, 0x04, 0x03}), Result::NotReadyManual, ""},
      {BusyFault(0x00, -1, 2), Result::ScannerFailure, CheckScsiEntry(8, 610)},
      {test::AdapterFault(0x00, -1, 2, aspi::kHaStatTimeout), Result::ScannerFailure,
       CheckScsiEntry(0x0409, 610)},
      {BusyFault(0x12, 0xF0, 1), Result::Ok, CheckScsiEntry(8, 351)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    Probing p;
    p.bus.AddScanner(0, 0).AddFault(c.fault);
    // What the reads bring: 600 dpi, batch mode 2, edge emphasis 4, the addon page.
    sim::test::SetWindowRaw(p.bus, sim::test::WindowData(600, 0, 0, 6000, 6000, 0, 1));
    std::vector<std::uint8_t> page32 = sim::test::ScanModePage(0x40), page36(20, 0);
    page32[4 + 13] = 2;
    sim::test::DefinePage(p.bus, page32);
    page36[4] = 0x36, page36[5] = 14, page36[4 + 3] = 4;
    sim::test::DefinePage(p.bus, page36);
    p.bus.ClearRecords();
    p.state.scanner.probed = 1;
    const bool ok = c.result == Result::Ok;
    const auto hit = [&](std::uint8_t op, int type) {
      return c.fault.opcode == op && c.fault.dataType == type;
    };

    EXPECT_EQ(Probe(p.context), c.result);
    EXPECT_EQ(p.state.scanner.probed, ok ? 1 : 0);
    EXPECT_EQ(p.AfterSearch(), Strings(after.begin(), after.end() - (ok ? 0 : 1)));
    EXPECT_EQ(p.Log(), c.log);
    const ScanSettings& s = p.context.settings;
    EXPECT_EQ(s.batchMode, hit(0xD5, 0x32) ? 0 : 2);
    EXPECT_EQ(s.edgeEmphasis, hit(0xD5, 0x36) ? 0 : 4);
    EXPECT_EQ(s.xResolution, hit(0x25, -1) ? 300 : 600);
    EXPECT_EQ(p.context.addonPage[4], hit(0xD5, 0x34) ? 0 : 0x34);
    EXPECT_EQ(p.state.scanner.scannerCaps.batchCapable, ok && !hit(0x12, 0xF0));
  }

  // Without adapters nothing is sent.
  Probing p;
  p.bus.AddScanner(0, 0);
  p.bus.SetSupportStatus(aspi::kSsNoAdapters);
  p.state.scanner.probed = 1, p.state.scanner.adapterCount = 4;
  EXPECT_EQ(Probe(p.context), Result::ScannerFailure);
  EXPECT_EQ(std::tuple(p.state.scanner.adapterCount, p.state.scanner.probed), std::tuple(0, 0));
  EXPECT_TRUE(p.bus.Records().empty());
  EXPECT_EQ(FindScanner(p.context), kNoTarget);
}

TEST(Probe, ScannerCapabilities) {
  struct Case {
    std::uint8_t flags;
    std::uint32_t capability;
    bool batch, keys;
  };
  for (const Case& c : {Case{0x80, 0, true, false}, {0x20, 0x01020304, false, true},
                        {0x5F, 0xFFFFFFFF, false, false}}) {
    test::SimContext sim;
    sim.scanner.Info().vendorFlags = c.flags;
    sim.scanner.Info().capability = c.capability;
    ASSERT_EQ(ReadScannerInfo(sim.context), Result::Ok);
    EXPECT_EQ(sim.bus.Records().back().cdb, (std::vector<std::uint8_t>{0x12, 1, 0xF0, 0, 40, 0}));
    const ScannerCaps& caps = sim.context.state.scanner.scannerCaps;
    EXPECT_EQ(std::tuple(caps.batchCapable, caps.flag5, caps.value),
              std::tuple(c.batch, c.keys, c.capability)) << int{c.flags};
  }

  // Failures leave the capabilities as they were; only transport failures are logged.
  test::SimContext sim;
  sim.scanner.AddFault(SenseFault(0x12, 0xF0, 1, sim::kSenseInvalidCdbField));
  sim.scanner.AddFault(BusyFault(0x12, 0xF0, 2));
  sim.context.state.scanner.scannerCaps = {true, true, 42};
  EXPECT_EQ(ReadScannerInfo(sim.context), Result::InvalidCdbField);
  EXPECT_EQ(ReadScannerInfo(sim.context), Result::ScannerFailure);
  EXPECT_TRUE(sim.context.state.scanner.scannerCaps.batchCapable);
  EXPECT_EQ(sim.context.state.scanner.scannerCaps.value, 42u);
  EXPECT_EQ(sim.ScanLog(), CheckScsiEntry(8, 351));
}

TEST(Probe, FirmwareRevision) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"2.10", 2010}, {"1.07", 1007}, {"9.9", 909},  // padded "9.9 "
      {"A.10", 0},    {"2A10", 2010}, {"21.0", 20}, {"-1.5", 0}, {"3.1x", 301}};
  for (const auto& [text, number] : cases) {
    test::SimContext sim;
    sim.scanner.Info().identity.revision = text;
    std::int32_t revision = -7;
    ASSERT_EQ(GetFirmwareRevision(sim.context, &revision), 0u);
    EXPECT_EQ(sim.bus.Records().back().cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0}));
    EXPECT_EQ(revision, number) << text;
  }

  // A failing INQUIRY gives its raw status and leaves the number; nothing is logged.
  test::SimContext sim;
  sim.scanner.AddFault(SenseFault(0x12, -1, 1, sim::kSenseNotReady));
  sim.scanner.AddFault(BusyFault(0x12, -1, 2));
  std::int32_t revision = -7;
  EXPECT_EQ(GetFirmwareRevision(sim.context, &revision), 2u);
  EXPECT_EQ(GetFirmwareRevision(sim.context, &revision), 8u);
  EXPECT_EQ(revision, -7);
  EXPECT_EQ(sim.ScanLog(), "");
}

}  // namespace
}  // namespace tarvo
