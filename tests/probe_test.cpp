// The scanner search against the in-process simulator: search order over
// adapters and targets 0..6, the five reads each on its own, the second
// TEST UNIT READY, the capability page and the firmware revision.
#include "scan/Probe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "sim_ops_support.h"

namespace tarvo {
namespace {

using test::BusyFault;
using test::Commands;
using test::SenseFault;
using Strings = std::vector<std::string>;

// "RIZIDUD" answers a different maximum transfer size per adapter.
std::uint32_t FakeMaxTransfer(std::uint32_t adapter) { return 0x10000u * (adapter + 1); }

class ProbePlatform : public test::OpsPlatform {
 public:
  LibraryHandle LibraryLoad(const char* name) override {
    if (std::strcmp(name, kMaxTransferLibrary) == 0) return &handle_;
    return test::OpsPlatform::LibraryLoad(name);
  }
  ProcAddress LibrarySymbol(LibraryHandle library, const char* symbol) override {
    if (library == &handle_ && std::strcmp(symbol, kMaxTransferSymbol) == 0) {
      return reinterpret_cast<ProcAddress>(&FakeMaxTransfer);
    }
    return test::OpsPlatform::LibrarySymbol(library, symbol);
  }
  bool LibraryFree(LibraryHandle library) override {
    return library == &handle_ || test::OpsPlatform::LibraryFree(library);
  }

 private:
  int handle_ = 0;
};

struct Probing {
  explicit Probing(std::uint8_t adapters = 1) : bus(adapters) {
    SetProvider(context.transport, &bus);
  }
  std::vector<std::pair<int, int>> Inquired() {
    std::vector<std::pair<int, int>> out;
    for (const sim::CommandRecord& r : bus.Records()) {
      if (r.Opcode() == 0x12 && r.cdb == std::vector<std::uint8_t>{0x12, 0, 0, 0, 64, 0}) {
        out.emplace_back(r.adapter, r.target);
      }
    }
    return out;
  }
  ProbePlatform platform;
  DriverContext context{platform};
  sim::Bus bus;
};

const sim::Identity kDisk{0x00, "QUANTEX", "FIRECREST", "1.0"};
const sim::Identity kOtherScanner{0x06, "OTHERCO", "RT650", "2.10"};
const sim::Identity kOtherModel{0x06, "TARVO", "RT600", "2.10"};
const sim::Identity kLongerNames{0x06, "TARVOSCN", "RT650-II", "3.00"};

TEST(Probe, SearchOrderOverAdaptersAndTargets) {
  struct Device {
    int adapter, target;
    const sim::Identity* identity;  // null: an RT650
  };
  struct Case {
    const char* what;
    std::uint8_t adapters;
    std::vector<Device> devices;
    int adapter, target;  // -1: none found
  };
  const Case cases[] = {
      {"two scanners: the lower target", 1, {{0, 5, nullptr}, {0, 2, nullptr}}, 0, 2},
      {"the lower adapter before the lower target", 2, {{1, 0, nullptr}, {0, 6, nullptr}}, 0, 6},
      {"scanner on adapter 1 behind other devices", 2,
       {{1, 3, nullptr}, {0, 0, &kDisk}, {0, 1, &kOtherScanner}, {0, 2, &kOtherModel},
        {1, 1, &kDisk}},
       1, 3},
      {"target 7 is never tried", 2, {{0, 7, nullptr}, {1, 7, nullptr}, {0, 0, &kDisk}}, -1, -1},
      {"names that begin with the identification match", 1,
       {{0, 4, nullptr}, {0, 1, &kLongerNames}}, 0, 1},
      {"nothing on the bus", 3, {}, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Probing p(c.adapters);
    for (const Device& d : c.devices) {
      const auto a = static_cast<std::uint8_t>(d.adapter), t = static_cast<std::uint8_t>(d.target);
      if (d.identity == nullptr) p.bus.AddScanner(a, t);
      if (d.identity != nullptr) p.bus.AddDevice(a, t, *d.identity);
    }
    const Result result = Probe(p.context);
    // The search asks every target 0..6 in order until the match; everything
    // after it goes to the scanner.
    std::vector<std::pair<int, int>> expected;
    for (int a = 0; a < c.adapters; ++a) {
      for (int t = 0; t <= 6; ++t) {
        if (c.adapter >= 0 && (a > c.adapter || (a == c.adapter && t > c.target))) break;
        expected.emplace_back(a, t);
      }
    }
    EXPECT_EQ(p.Inquired(), expected);
    for (std::size_t i = 0; i < p.bus.Records().size(); ++i) {
      const sim::CommandRecord& r = p.bus.Records()[i];
      EXPECT_NE(r.target, 7);
      if (i >= expected.size()) {
        EXPECT_EQ(std::pair(int{r.adapter}, int{r.target}), std::pair(c.adapter, c.target));
      }
    }
    const DriverState& st = p.context.state;
    if (c.adapter < 0) {
      EXPECT_EQ(result, Result::ScannerFailure);
      EXPECT_EQ(st.probed, 0);
      EXPECT_EQ(st.scannerTarget, kNoTarget);
      EXPECT_EQ(p.bus.Records().size(), expected.size());  // nothing but the search
      EXPECT_EQ(p.platform.Log("scan.log"), "");
      continue;
    }
    EXPECT_EQ(result, Result::Ok);
    EXPECT_EQ(st.probed, 1);
    EXPECT_EQ(st.adapterCount, c.adapters);
    EXPECT_EQ(st.scannerAdapter, static_cast<std::uint32_t>(c.adapter));
    EXPECT_EQ(st.scannerTarget, c.target);
    EXPECT_EQ(st.maxTransferSize, 0x10000u * static_cast<std::uint32_t>(c.adapter + 1));
  }
}

const Strings kAfterSearch = {"tur",     "getscanmode 32", "getscanmode 36",
                              "read 84", "getwindow",      "getscanmode 34",
                              "tur",     "inquiry F0"};

Strings AfterSearch(sim::Bus& bus) {
  Strings all = Commands(bus);
  all.erase(all.begin());  // the inquiry of target 0
  return all;
}

TEST(Probe, TheFiveReadsRunEachOnItsOwn) {
  struct Case {
    std::uint8_t opcode;
    int type;
    int callSite;
  };
  const Case cases[] = {
      {0xD5, 0x32, 873}, {0xD5, 0x36, 885}, {0x28, 0x84, 812}, {0x25, -1, 970}, {0xD5, 0x34, 766},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.callSite);
    Probing p;
    sim::Rt650& scanner = p.bus.AddScanner(0, 0);
    scanner.AddFault(BusyFault(c.opcode, c.type, 1));
    // What the other reads bring: 600 dpi in the window, batch mode 2, edge
    // emphasis 4, counter on in the addon page.
    std::vector<std::uint8_t> window = sim::test::WindowData(600, 0, 0, 6000, 6000, 0, 1);
    ASSERT_TRUE(sim::test::SetWindow(p.bus, window).Good());
    std::vector<std::uint8_t> page32 = sim::test::ScanModePage(0x40);
    page32[4 + 13] = 2;
    ASSERT_TRUE(sim::test::DefineScanMode(p.bus, page32).Good());
    std::vector<std::uint8_t> page36(20, 0);
    page36[4] = 0x36, page36[5] = 14, page36[4 + 3] = 4;
    ASSERT_TRUE(sim::test::DefineScanMode(p.bus, page36).Good());
    p.bus.ClearRecords();

    EXPECT_EQ(Probe(p.context), Result::Ok);
    EXPECT_EQ(p.context.state.probed, 1);
    EXPECT_EQ(AfterSearch(p.bus), kAfterSearch);
    EXPECT_EQ(p.platform.Log("scan.log"), test::CheckScsiEntry(8, c.callSite));
    const ScanSettings& s = p.context.settings;
    EXPECT_EQ(s.batchMode, c.callSite == 873 ? 0 : 2);
    EXPECT_EQ(s.edgeEmphasis, c.callSite == 885 ? 0 : 4);
    EXPECT_EQ(s.xResolution, c.callSite == 970 ? 300 : 600);
    EXPECT_EQ(p.context.addonPage[4], c.callSite == 766 ? 0 : 0x34);
  }
}

TEST(Probe, SecondTestUnitReady) {
  struct Case {
    const char* what;
    sim::FaultRule fault;
    Result result;
    std::string log;
  };
  const Case cases[] = {
      {"not ready", SenseFault(0x00, -1, 2, sim::kSenseNotReady), Result::NotReady, ""},
      {"manual intervention", SenseFault(0x00, -1, 2, {2, 0x04, 0x03}), Result::NotReadyManual, ""},
      {"busy", BusyFault(0x00, -1, 2), Result::ScannerFailure, test::CheckScsiEntry(8, 610)},
      {"adapter timeout", test::AdapterFault(0x00, -1, 2, aspi::kHaStatTimeout),
       Result::ScannerFailure, test::CheckScsiEntry(0x0409, 610)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Probing p;
    p.bus.AddScanner(0, 0, sim::ScannerInfo{{}, 9, 0xE0}).AddFault(c.fault);
    p.context.state.probed = 1;  // from an earlier probe
    EXPECT_EQ(Probe(p.context), c.result);
    EXPECT_EQ(p.context.state.probed, 0);
    Strings expected(kAfterSearch.begin(),
                     kAfterSearch.end() - 1);  // no capability page
    EXPECT_EQ(AfterSearch(p.bus), expected);
    EXPECT_FALSE(p.context.state.scannerCaps.batchCapable);
    EXPECT_EQ(p.platform.Log("scan.log"), c.log);
  }

  // The first TEST UNIT READY is not examined.
  Probing p;
  p.bus.AddScanner(0, 0).AddFault(BusyFault(0x00, -1, 1));
  EXPECT_EQ(Probe(p.context), Result::Ok);
  EXPECT_EQ(p.context.state.probed, 1);
  EXPECT_FALSE(test::FileExists(p.platform.RootFile("scan.log")));
}

TEST(Probe, NoAdaptersSendsNothing) {
  Probing p;
  p.bus.AddScanner(0, 0);
  p.bus.SetSupportStatus(aspi::kSsNoAdapters);
  p.context.state.probed = 1;
  p.context.state.adapterCount = 4;
  EXPECT_EQ(Probe(p.context), Result::ScannerFailure);
  EXPECT_EQ(p.context.state.adapterCount, 0);
  EXPECT_EQ(p.context.state.probed, 0);
  EXPECT_TRUE(p.bus.Records().empty());
  EXPECT_EQ(FindScanner(p.context), kNoTarget);
}

TEST(Probe, ScannerCapabilities) {
  struct Case {
    std::uint8_t flags;
    std::uint32_t capability;
    bool batch, keys;
  };
  const Case cases[] = {
      {0xA0, 1, true, true},   {0x80, 0, true, false},           {0x20, 0x01020304, false, true},
      {0x40, 7, false, false}, {0x5F, 0xFFFFFFFF, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int{c.flags});
    test::SimContext sim;
    sim.scanner.Info().vendorFlags = c.flags;
    sim.scanner.Info().capability = c.capability;
    ASSERT_EQ(ReadScannerInfo(sim.context), Result::Ok);
    EXPECT_EQ(sim.bus.Records().back().cdb, (std::vector<std::uint8_t>{0x12, 1, 0xF0, 0, 40, 0}));
    EXPECT_EQ(sim.context.state.scannerCaps.batchCapable, c.batch);
    EXPECT_EQ(sim.context.state.scannerCaps.flag5, c.keys);
    EXPECT_EQ(sim.context.state.scannerCaps.value, c.capability);
  }

  // Failures leave the capabilities as they were; only transport failures are
  // logged.
  test::SimContext sim;
  sim.scanner.AddFault(SenseFault(0x12, 0xF0, 1, sim::kSenseInvalidCdbField));
  sim.scanner.AddFault(BusyFault(0x12, 0xF0, 2));
  sim.context.state.scannerCaps = {true, true, 42};
  EXPECT_EQ(ReadScannerInfo(sim.context), Result::InvalidCdbField);
  EXPECT_EQ(ReadScannerInfo(sim.context), Result::ScannerFailure);
  EXPECT_TRUE(sim.context.state.scannerCaps.batchCapable);
  EXPECT_EQ(sim.context.state.scannerCaps.value, 42u);
  EXPECT_EQ(sim.ScanLog(), test::CheckScsiEntry(8, 351));

  // A failing capability page does not fail the probe.
  Probing p;
  p.bus.AddScanner(0, 0).AddFault(BusyFault(0x12, 0xF0, 1));
  EXPECT_EQ(Probe(p.context), Result::Ok);
  EXPECT_EQ(p.context.state.probed, 1);
  EXPECT_FALSE(p.context.state.scannerCaps.batchCapable);
}

TEST(Probe, FirmwareRevision) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"2.10", 2010}, {"1.50", 1050}, {"1.07", 1007}, {"9.9", 909},  // padded "9.9 "
      {"A.10", 0},    {"2A10", 2010}, {"21.0", 20},   {" 1.5", 0},
      {"-1.5", 0},    {"+3.1", 0},    {"3.1x", 301},
  };
  for (const auto& [text, number] : cases) {
    SCOPED_TRACE(text);
    test::SimContext sim;
    sim.scanner.Info().identity.revision = text;
    std::int32_t revision = -7;
    ASSERT_EQ(GetFirmwareRevision(sim.context, &revision), 0u);
    EXPECT_EQ(sim.bus.Records().back().cdb, (std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0}));
    EXPECT_EQ(revision, number);
  }

  // A failing INQUIRY gives its raw status and leaves the number; nothing is
  // logged.
  test::SimContext sim;
  sim.scanner.AddFault(SenseFault(0x12, -1, 1, sim::kSenseNotReady));
  sim.scanner.AddFault(BusyFault(0x12, -1, 2));
  std::int32_t revision = -7;
  EXPECT_EQ(GetFirmwareRevision(sim.context, &revision), 2u);
  EXPECT_EQ(GetFirmwareRevision(sim.context, &revision), 8u);
  EXPECT_EQ(revision, -7);
  EXPECT_FALSE(test::FileExists(sim.platform.RootFile("scan.log")));
}

}  // namespace
}  // namespace tarvo
