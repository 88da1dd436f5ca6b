// The scanner mode and accessory operations and the scanner search against the in-process simulator: the exact
// blocks sent, the record after the reads, the failure convention, the search order, capabilities and firmware revision.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "scan/ModeOperations.h"
#include "scan/ModePages.h"
#include "scan/Probe.h"
#include "sim_test_support.h"

namespace tarvo {
namespace {

using namespace test;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;
using sim::test::WindowBytes;

constexpr Field kWindowFields[] = {&S::xResolution, &S::yResolution, &S::scanWidth, &S::scanLength, &S::topOffset,
                                   &S::sideOffset, &S::brightness, &S::contrast, &S::imageType, &S::bitsPerPixel,
                                   &S::userGrc, &S::frameArea};
constexpr Field kPage32Fields[] = {&S::scanModeFlag7, &S::continuousFeed, &S::autoSize, &S::addonOn, &S::marginScan,
                                   &S::keyStart, &S::marginAmount, &S::batchMode, &S::separatorModeA, &S::separatorModeB};
constexpr Field kPage36Fields[] = {&S::edgeEmphasis, &S::polarity, &S::textMode, &S::backgroundErase, &S::grcMode,
                                   &S::aeLevel, &S::notchErase, &S::thinLine};

// A 20-byte page 0x32/0x36/0x37 with the given page bytes (index: page byte).
Bytes ShortPageBytes(std::uint8_t code, std::initializer_list<std::pair<int, std::uint8_t>> set) {
  Bytes d(20, 0);
  d[4] = code, d[5] = 14;
  for (auto [at, v] : set) d[4 + at] = v;
  return d;
}

class ScannerOps : public ::testing::Test {
 protected:
  // Runs `op` on the record: it sends exactly one command, whose data it returns.
  const Bytes& PushOne(Result (*op)(const ScannerLink&), const ScanSettings& record) {
    s = record;
    sim.bus.ClearRecords();
    EXPECT_EQ(op(context.Link()), Result::Ok);
    EXPECT_EQ(sim.bus.Records().size(), 1u);
    return Last().dataOut;
  }
  const sim::CommandRecord& Last() { return sim.bus.Records().back(); }

  SimContext sim;
  DriverContext& context = sim.context;
  ScanSettings& s = sim.context.settings;
};

TEST_F(ScannerOps, PushesSendTheRecordInTheScannersForm) {
  const std::tuple<Result (*)(const ScannerLink&), ScanSettings, Bytes> cases[] = {
      {PushWindow, {}, WindowBytes({300, 300, -76, 0, 14028, 9856, 0, 0, 0, 0, 1, 0})},  // the defaults
      // 200 * 3488 / 300 = 2325 whole pixels; (2325 - 10 - 1704) * 6 = 3666 in 1/1200 inch. Halftone
      // goes out at one bit; brightness, contrast and GRC by their low bytes.
      {PushWindow,
       {.scanLength = 2200, .scanWidth = 1704, .topOffset = -11, .sideOffset = 10, .xResolution = 200,
        .yResolution = 200, .brightness = 300, .contrast = 0x1FF, .imageType = 10, .bitsPerPixel = 8,
        .userGrc = 7, .frameArea = 6},
       WindowBytes({200, 200, 3666, -66, 10224, 13200, 44, 44, 0xFF, 1, 1, 0x0A})},
      {PushWindow,
       {.scanLength = 3304, .scanWidth = 2552, .topOffset = 17, .sideOffset = 100, .brightness = 128,
        .imageType = 4, .bitsPerPixel = 8, .frameArea = 3},
       WindowBytes({300, 300, 3344, 68, 10208, 13216, 128, 128, 0, 2, 8, 0x03})},
      // Text mode line art, the window beyond the near side.
      {PushWindow, {.scanLength = -32, .sideOffset = -40, .imageType = 9, .bitsPerPixel = 1},
       WindowBytes({300, 300, 84, 0, 14028, -128, 0, 0, 0, 0, 1, 0})},
      {PushScanModePage, {}, ShortPageBytes(0x32, {{6, 0x40}})},  // continuous feed by default
      // Separator A on with bit 1, B on with bits 1 and 2; only key start 1 sets its bit.
      {PushScanModePage,
       {.scanModeFlag7 = 1, .batchMode = 0x102, .autoSize = 2, .continuousFeed = 0, .separatorModeA = 2,
        .separatorModeB = 6, .keyStart = 2, .marginScan = 1, .marginAmount = -10, .addonOn = -1},
       ShortPageBytes(0x32, {{6, 0xA8}, {7, 0xCE}, {10, 0x04}, {11, 0xF6}, {13, 0x02}})},
      {PushScanModePage, {.batchMode = 3, .separatorModeA = 5, .keyStart = 1, .marginAmount = 10},
       ShortPageBytes(0x32, {{6, 0x40}, {7, 0xA0}, {10, 0x01}, {11, 10}, {13, 3}})},
      // Polarity 1 and 2 set their bits, 3 none; two low GRC bits.
      {PushImagePage,
       {.textMode = 3, .notchErase = 1, .aeLevel = 17, .grcMode = 6, .polarity = 1, .edgeEmphasis = 0x105},
       ShortPageBytes(0x36, {{3, 5}, {4, 0x25}, {5, 17}, {6, 0x04}})},
      {PushImagePage,
       {.thinLine = 1, .backgroundErase = 1, .aeLevel = 9, .grcMode = 1, .polarity = 3, .edgeEmphasis = 1},
       ShortPageBytes(0x36, {{3, 1}, {4, 0x18}, {5, 9}, {6, 0x08}})},
      {PushImagePage, {.polarity = 2}, ShortPageBytes(0x36, {{4, 0x02}})},
  };
  for (const auto& c : cases) EXPECT_EQ(PushOne(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << &c - cases;
}

// Of the short pages the separator bits are not read back: A stays 4, B 0. Of
// the window, Y resolution follows X; of another window only the frame area is taken.
TEST_F(ScannerOps, ReadsTakeTheScannersFormIntoTheRecord) {
  struct Case {
    Result (*read)(const ScannerLink&);
    Bytes wire;
    std::int32_t textMode;
    std::span<const Field> fields;
    std::vector<std::int32_t> values;
  };
  const Case cases[] = {
      {ReadScanModePage, ShortPageBytes(0x32, {{6, 0xE8}, {7, 0xFF}, {10, 0x05}, {11, 0xF6}, {13, 3}}), 0,
       kPage32Fields, {1, 1, 1, 1, 1, 1, -10, 3, 4, 0}},
      {ReadImagePage, ShortPageBytes(0x36, {{3, 4}, {4, 0x2F}, {5, 12}, {6, 0x0C}}), 0, kPage36Fields,
       {4, 3, 1, 1, 2, 12, 1, 1}},
      // -77 * 300 / 1200 = -19.25 truncates to -19; 10001 -> 2500; -5 -> -1.
      {ReadWindow, WindowBytes({300, 300, -77, -5, 10001, 14031, 10, 20, 30, 0, 1, 0x0B}), 0, kWindowFields,
       {300, 300, 2500, 3507, -1, 3488 + 19 - 2500, 20, 30, 1, 1, 1, 3}},
      // Halftone: the brightness byte, one bit. Gray keeps its depth.
      {ReadWindow, WindowBytes({200, 600, 3666, 66, 10224, 13200, 30, 40, 5, 1, 1, 0x08}), 1, kWindowFields,
       {200, 200, 1704, 2200, 11, 10, 30, 5, 10, 1, 1, 0}},
      {ReadWindow, WindowBytes({600, 600, 0, 70, 13952, 20544, 90, 91, 12, 2, 4, 0x01}), 1, kWindowFields,
       {600, 600, 6976, 10272, 35, 0, 90, 12, 4, 4, 0, 1}},
      {ReadWindow, WindowBytes({300, 300, -76, 0, 14028, 9856, 7, 8, 0, 0, 1, 0}), 1, kWindowFields,
       {300, 300, 3507, 2464, 0, 0, 8, 0, 9, 1, 0, 0}},  // line art in text mode reads as 9
      {ReadWindow, WindowBytes({600, 600, 0, 0, 1200, 1200, 1, 2, 3, 2, 8, 0x0A, 1}), 0, kWindowFields,
       {300, 300, 3507, 2464, 0, 0, 0, 0, 1, 77, 0, 2}},
  };
  for (const Case& c : cases) {
    c.wire.size() == 52 ? sim::test::SetWindowRaw(sim.bus, c.wire) : sim::test::DefinePage(sim.bus, c.wire);
    s = ScanSettings{.bitsPerPixel = 77, .textMode = c.textMode, .separatorModeA = 4};
    ASSERT_EQ(c.read(context.Link()), Result::Ok);
    EXPECT_EQ(Fields(s, c.fields), c.values) << &c - cases;
  }
  EXPECT_EQ(Last().cdb, (Bytes{0x25, 1, 0, 0, 0, 0, 0, 0, 52, 0}));
  ApplyWindowData(s, WindowData{});  // a zero resolution reads as 300
  EXPECT_EQ(std::pair(s.xResolution, s.yResolution), std::pair(300, 300));
}

TEST_F(ScannerOps, AddonPageReadWholeAndSentWithItsFixedBytes) {
  Bytes page(90, 0);
  for (std::size_t i = 6; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i);
  page[4] = 0x34, page[5] = 0x54;
  sim::test::DefinePage(sim.bus, page);
  ASSERT_EQ(ReadAddonPage(context.Link()), Result::Ok);
  EXPECT_EQ(Bytes(context.addonPage.begin(), context.addonPage.end()), page);
  // Whatever the mirror holds, the header goes out as 0, 0x34, 0x54 and the last six bytes as zeros.
  context.addonPage.fill(0xEE);
  std::fill(page.begin() + 6, page.end() - 6, 0xEE);
  std::fill(page.end() - 6, page.end(), 0);
  EXPECT_EQ(PushOne(PushAddonPage, s), page);
  const std::int32_t values[2] = {0x1234, -1};  // page 0x37 carries the low bytes
  ASSERT_EQ(PushDevicePage37(context.Link(), values), Result::Ok);
  EXPECT_EQ(Last().dataOut, ShortPageBytes(0x37, {{2, 0x34}, {6, 0xFF}}));
}

TEST_F(ScannerOps, FunctionKeysDefinedAndReadBack) {
  std::uint32_t unset = 0xABCD;  // a key without function leaves the code
  ASSERT_EQ(ReadFunctionKey(context.Link(), 7, &unset), Result::Ok);
  EXPECT_EQ(unset, 0xABCDu);
  ASSERT_EQ(DefineFunctionKey(context.Link(), 3, 0x800000), 0u);
  EXPECT_EQ(Last().dataOut, (Bytes{3, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  // Blocks with two bits: the first in the scanner's reading order wins.
  for (auto [b2, b3, b4, code] : {std::array<std::uint32_t, 4>{0x81, 0, 0, 0x2000}, {0, 0xC0, 0, 0x100000},
                                 {0, 0x80, 0x40, 0x400000}}) {
    Bytes block{4, 0, std::uint8_t(b2), std::uint8_t(b3), std::uint8_t(b4), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(sim::test::Send(sim.bus, {0xDA, 0, 0, 0, 16, 0}, sim::test::kOut, block).Good());
    std::uint32_t read = 0;
    ASSERT_EQ(ReadFunctionKey(context.Link(), 4, &read), Result::Ok);
    EXPECT_EQ(read, code);
  }
  // Refused codes send nothing.
  sim.bus.ClearRecords();
  for (std::uint32_t bad : {0u, 0x10u, 0x30u, 0x1000000u, 0x80000000u}) EXPECT_EQ(DefineFunctionKey(context.Link(), 1, bad), 5u) << bad;
  EXPECT_TRUE(sim.bus.Records().empty());
  // Failures give the raw transport result, without sense decoding.
  for (const auto& f : {SenseFault(0xDA, -1, 1, sim::kSenseInvalidCdbField), BusyFault(0xDA, -1, 2), AdapterFault(0xDA, -1, 3)})
    sim.scanner.AddFault(f);
  for (std::uint32_t status : {2u, 8u, 0x0411u, 0u}) EXPECT_EQ(DefineFunctionKey(context.Link(), 1, 0x20), status);
  EXPECT_EQ(sim.ScanLog(), "");
}

// With the scanner finishing each command later: data, sense and transport
// results reach the driver through the event alike.
TEST_F(ScannerOps, GammaTablesBothWaysWithoutLog) {
  sim.bus.SetCompletion(sim::Completion::kPending, 1);
  std::array<std::uint8_t, 256> table{}, read{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(255 - i);
  ASSERT_EQ(SendGammaTable(context.Link(), 1, table.data()), Result::Ok);
  EXPECT_EQ(sim.scanner.Gamma(1), table);
  ASSERT_EQ(ReadGammaTable(context.Link(), 1, read.data()), Result::Ok);
  EXPECT_EQ(read, table);
  // A rule counts the matching commands from when it is added.
  for (const auto& f : {SenseFault(0x2A, 3, 1, sim::kSenseInvalidCdbField), BusyFault(0x2A, 3, 2),
                        SenseFault(0x28, 3, 1, sim::kSenseNotReady), AdapterFault(0x28, 3, 2)})
    sim.scanner.AddFault(f);
  for (Result r : {Result::InvalidCdbField, Result::ScannerFailure}) EXPECT_EQ(SendGammaTable(context.Link(), 1, table.data()), r);
  for (Result r : {Result::NotReady, Result::ScannerFailure}) EXPECT_EQ(ReadGammaTable(context.Link(), 1, read.data()), r);
  EXPECT_EQ(sim.ScanLog(), "");
}

// A command an operation sends: the fault that hits it (opcode, data type,
// occurrence among its matches) and its call-site number.
struct Step { const char* command; std::uint8_t opcode; int dataType; std::uint32_t occurrence; int callSite; };

// Each operation runs its steps in order and stops at the first failing one:
// a check condition gives the translated code and is not logged; a transport
// failure (target busy, host adapter status) gives 2 and the failing step's
// "CheckScsi" entry. The sequences are made of the single operations.
TEST(ScannerOpsFailures, EveryOperationStopsAtItsFirstFailingStepAndLogsItsCallSite) {
  const Step window{"setwindow", 0x24, -1, 1, 1077}, page32{"definescanmode 32", 0xD6, -1, 1, 723},
      page36{"definescanmode 36", 0xD6, -1, 2, 755};
  const std::pair<std::function<Result(const ScannerLink&)>, std::vector<Step>> operations[] = {
      {[](const ScannerLink& c) { return PushDevicePage37(c, {1, 2}); }, {{"definescanmode 37", 0xD6, -1, 1, 800}}},
      {[](const ScannerLink& c) { std::uint32_t code = 0; return ReadFunctionKey(c, 1, &code); },
       {{"getkey 1", 0xDB, -1, 1, 1088}}},
      {PushScanMode, {page32, page36, window}},
      {PushAllModes, {page32, page36, window, {"definescanmode 34", 0xD6, -1, 3, 781}}},
      {RefreshFromScanner,
       {{"getscanmode 32", 0xD5, 0x32, 1, 873}, {"getscanmode 36", 0xD5, 0x36, 1, 885}, {"read 84", 0x28, 0x84, 1, 812},
        {"getwindow", 0x25, -1, 1, 970}, {"getscanmode 34", 0xD5, 0x34, 1, 766}}},
  };
  for (const auto& [run, steps] : operations) {
    Strings names;
    for (const Step& step : steps) names.push_back(step.command);
    SimContext good;
    EXPECT_EQ(run(good.context.Link()), Result::Ok);
    EXPECT_EQ(Commands(good.bus), names);
    for (std::size_t failing = 0; failing < steps.size(); ++failing) {
      const Step& f = steps[failing];
      for (const sim::FaultRule& fault : {SenseFault(f.opcode, f.dataType, f.occurrence, sim::kSenseUnitAttention),
                                          BusyFault(f.opcode, f.dataType, f.occurrence),
                                          AdapterFault(f.opcode, f.dataType, f.occurrence)}) {
        SimContext sim;
        sim.scanner.AddFault(fault);
        const bool check = fault.kind == sim::FaultKind::kSense;
        EXPECT_EQ(run(sim.context.Link()), check ? Result::IllegalRequest : Result::ScannerFailure) << f.command;
        EXPECT_EQ(Commands(sim.bus), Strings(names.begin(), names.begin() + int(failing) + 1));
        EXPECT_EQ(sim.ScanLog(), check ? "" : CheckScsiEntry(fault.kind == sim::FaultKind::kBusy ? 8 : 0x0411, f.callSite));
      }
    }
  }
}

// ---- the scanner search

TEST(Probe, SearchOrderOverAdaptersAndTargets) {
  const sim::Identity disk{0x00, "QUANTEX", "FIRECREST", "1.0"}, otherVendor{0x06, "OTHERCO", "RT650", "2.10"},
      otherModel{0x06, "TARVO", "RT600", "2.10"}, longerNames{0x06, "TARVOSCN", "RT650-II", "3.00"};
  struct Case {
    std::uint8_t adapters;
    std::vector<std::tuple<std::uint8_t, std::uint8_t, const sim::Identity*>> devices;  // null: an RT650
    int adapter, target;  // -1: none found
  };
  const Case cases[] = {
      {2, {{1, 0, nullptr}, {0, 6, nullptr}}, 0, 6},  // the lower adapter first
      {2, {{1, 3, nullptr}, {0, 0, &disk}, {0, 1, &otherVendor}, {0, 2, &otherModel}}, 1, 3},
      {2, {{0, 7, nullptr}, {1, 7, nullptr}, {0, 0, &disk}}, -1, -1},  // never target 7
      {1, {{0, 4, nullptr}, {0, 1, &longerNames}}, 0, 1},  // names that begin alike match
  };
  for (const Case& c : cases) {
    SimBus p(c.adapters);
    for (const auto& [a, t, identity] : c.devices)
      identity == nullptr ? (void)p.bus.AddScanner(a, t) : p.bus.AddDevice(a, t, *identity);
    const bool found = c.adapter >= 0;
    EXPECT_EQ(Probe(p.context.Link()), found ? Result::Ok : Result::ScannerFailure);
    // Every target 0..6 in order is asked (the search INQUIRY) until the match; the rest goes to the scanner.
    std::vector<std::tuple<int, int, bool>> sent, order;
    for (const auto& r : p.bus.Records()) sent.emplace_back(r.adapter, r.target, r.cdb == Bytes{0x12, 0, 0, 0, 64, 0});
    for (int at = 0; at < c.adapters * 7 && (!found || at <= c.adapter * 7 + c.target); ++at) order.emplace_back(at / 7, at % 7, true);
    while (found && order.size() < sent.size()) order.emplace_back(c.adapter, c.target, false);
    EXPECT_EQ(sent, order) << c.target;
    EXPECT_EQ(std::tuple(p.state.scanner.probed, int{p.state.scanner.scannerTarget}), std::tuple(found ? 1 : 0, found ? c.target : int{kNoTarget}));
    if (found) {
      EXPECT_EQ(std::tuple(p.state.scanner.adapterCount, p.state.scanner.scannerAdapter, p.state.scanner.maxTransferSize),
                std::tuple(c.adapters, std::uint32_t(c.adapter), 0x10000u * std::uint32_t(c.adapter + 1)));
    }
  }
}

// Each fault on the scanner at (0, 0) after an earlier probe: the five reads
// run each on its own and keep the others' values; the first TEST UNIT READY is
// not examined, the second stops the probe before the capability page, whose
// own failure does not fail the probe.
TEST(Probe, Outcomes) {
  const Strings after = {"inquiry", "tur", "getscanmode 32", "getscanmode 36", "read 84", "getwindow",
                         "getscanmode 34", "tur", "inquiry F0"};
  const std::tuple<sim::FaultRule, Result, std::string> cases[] = {
      {BusyFault(0xD5, 0x32, 1), Result::Ok, CheckScsiEntry(8, 873)}, {BusyFault(0xD5, 0x36, 1), Result::Ok, CheckScsiEntry(8, 885)},
      {BusyFault(0x28, 0x84, 1), Result::Ok, CheckScsiEntry(8, 812)}, {BusyFault(0x25, -1, 1), Result::Ok, CheckScsiEntry(8, 970)},
      {BusyFault(0xD5, 0x34, 1), Result::Ok, CheckScsiEntry(8, 766)}, {BusyFault(0x00, -1, 1), Result::Ok, ""},
      {SenseFault(0x00, -1, 2, sim::kSenseNotReady), Result::NotReady, ""},
      {SenseFault(0x00, -1, 2, {2, 0x04, 0x03}), Result::NotReadyManual, ""},
      {BusyFault(0x00, -1, 2), Result::ScannerFailure, CheckScsiEntry(8, 610)},
      {AdapterFault(0x00, -1, 2, aspi::kHaStatTimeout), Result::ScannerFailure, CheckScsiEntry(0x0409, 610)},
      {BusyFault(0x12, 0xF0, 1), Result::Ok, CheckScsiEntry(8, 351)},
  };
  for (const auto& [fault, result, log] : cases) {
    SimBus p;
    p.bus.AddScanner(0, 0).AddFault(fault);
    // What the reads bring: 600 dpi, batch mode 2, edge emphasis 4, the addon page.
    sim::test::SetWindowRaw(p.bus, sim::test::WindowData(600, 0, 0, 6000, 6000, 0, 1));
    sim::test::DefinePage(p.bus, sim::test::ScanModePage(0x40, 2));
    sim::test::DefinePage(p.bus, ShortPageBytes(0x36, {{3, 4}}));
    p.bus.ClearRecords();
    p.state.scanner.probed = 1;
    const bool ok = result == Result::Ok;
    const auto hit = [&](std::uint8_t op, int type) { return fault.opcode == op && fault.dataType == type; };
    EXPECT_EQ(Probe(p.context.Link()), result) << log;
    EXPECT_EQ(p.state.scanner.probed, ok ? 1 : 0);
    EXPECT_EQ(Commands(p.bus), Strings(after.begin(), after.end() - (ok ? 0 : 1)));
    EXPECT_EQ(p.ScanLog(), log);
    const ScanSettings& s = p.context.settings;
    EXPECT_EQ(std::tuple(s.batchMode, s.edgeEmphasis, s.xResolution, p.context.addonPage[4]),
              std::tuple(hit(0xD5, 0x32) ? 0 : 2, hit(0xD5, 0x36) ? 0 : 4, hit(0x25, -1) ? 300 : 600,
                         hit(0xD5, 0x34) ? 0 : 0x34));
    EXPECT_EQ(p.state.scanner.scannerCaps.batchCapable, ok && !hit(0x12, 0xF0));
  }
  SimBus p;  // without adapters nothing is sent
  p.bus.AddScanner(0, 0);
  p.bus.SetSupportStatus(aspi::kSsNoAdapters);
  p.state.scanner.probed = 1, p.state.scanner.adapterCount = 4;
  EXPECT_EQ(Probe(p.context.Link()), Result::ScannerFailure);
  EXPECT_EQ(std::tuple(p.state.scanner.adapterCount, p.state.scanner.probed), std::tuple(0, 0));
  EXPECT_TRUE(p.bus.Records().empty());
  EXPECT_EQ(FindScanner(p.context.Link()), kNoTarget);
}

TEST(Probe, ScannerCapabilities) {
  for (const auto& [flags, batch, keys] : {std::tuple{0x80, true, false}, {0x20, false, true}, {0x5F, false, false}}) {
    SimContext sim;
    sim.scanner.Info().vendorFlags = static_cast<std::uint8_t>(flags);
    sim.scanner.Info().capability = 0x01020304u * static_cast<std::uint32_t>(flags);
    ASSERT_EQ(ReadScannerInfo(sim.context.Link()), Result::Ok);
    const ScannerCaps& caps = sim.context.state.scanner.scannerCaps;
    EXPECT_EQ(std::tuple(caps.batchCapable, caps.flag5, caps.value), std::tuple(batch, keys, sim.scanner.Info().capability))
        << flags;
  }
}

TEST(Probe, FirmwareRevisionAndFailingInquiries) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"2.10", 2010}, {"1.07", 1007}, {"9.9", 909},  // padded "9.9 "
      {"A.10", 0},    {"2A10", 2010}, {"21.0", 20}, {"-1.5", 0}, {"3.1x", 301}};
  for (const auto& [text, number] : cases) {
    SimContext sim;
    sim.scanner.Info().identity.revision = text;
    std::int32_t revision = -7;
    ASSERT_EQ(GetFirmwareRevision(sim.context.Link(), &revision), 0u);
    EXPECT_EQ(revision, number) << text;
  }
  // A failing INQUIRY gives the raw status and keeps the number; nothing is logged.
  SimContext sim;
  sim.scanner.AddFault(BusyFault(0x12, -1, 1));
  std::int32_t revision = -7;
  EXPECT_EQ(GetFirmwareRevision(sim.context.Link(), &revision), 8u);
  EXPECT_EQ(std::pair(revision, sim.ScanLog()), std::pair(-7, std::string()));
}

}  // namespace
}  // namespace tarvo
