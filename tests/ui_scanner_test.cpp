// The dialogs against the simulated RT650: what they read from the scanner,
// what they send, and how they answer its failures.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <tuple>

#include "Bus.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"
#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "tarvoscn.h"
#include "ui/AddonDialog.h"
#include "ui/DetailsDialog.h"
#include "ui/DialogExports.h"
#include "ui/FunctionKeyDialog.h"
#include "ui/GammaDialog.h"
#include "ui/SettingsDialog.h"
#include "ui/StartScanDialog.h"

namespace tarvo {
namespace {

using namespace test;

class WithScanner : public ::testing::Test {
 protected:
  ~WithScanner() override { SetProvider(t.context.transport, nullptr); }

  sim::Rt650& Attach(sim::ScannerInfo info = {}) {
    scanner = &bus.AddScanner(0, 0, std::move(info));
    SetProvider(t.context.transport, &bus);
    EXPECT_EQ(Probe(t.context), Result::Ok);
    bus.ClearRecords();
    return *scanner;
  }
  // Commands with `opcode` (and READ/SEND data type or scan mode page) sent so far.
  std::size_t Count(std::uint8_t opcode, int dataType = -1) {
    std::size_t n = 0;
    for (const sim::CommandRecord& r : bus.Records()) {
      if (r.Opcode() != opcode) continue;
      if (dataType >= 0 && (r.cdb.size() < 3 || r.cdb[2] != dataType)) continue;
      ++n;
    }
    return n;
  }
  // The `occurrence`-th command with `opcode` from now on fails with `sense`
  // (or, given a kind, with that kind of failure).
  void Fault(std::uint8_t opcode, std::uint32_t occurrence, const sim::Sense& sense,
             std::optional<sim::FaultKind> kind = {}, std::uint8_t value = 0) {
    sim::FaultRule rule;
    rule.opcode = opcode;
    rule.occurrence = occurrence;
    rule.sense = sense;
    if (kind) std::tie(rule.kind, rule.value) = std::tuple(*kind, value);
    scanner->AddFault(rule);
  }
  std::int32_t Get(std::int32_t id) {
    std::int32_t v = -1;
    EXPECT_EQ(ParGet(t.context, id, &v), Result::Ok) << id;
    return v;
  }
  // The parameters' values, in order.
  std::vector<std::int32_t> Get(std::initializer_list<std::int32_t> ids) {
    std::vector<std::int32_t> out;
    for (std::int32_t id : ids) out.push_back(Get(id));
    return out;
  }
  void Set(std::int32_t id, std::int32_t v) { EXPECT_EQ(ParSet(t.context, id, &v), Result::Ok) << id; }
  void SetText(const char* text) {
    auto address = reinterpret_cast<std::uintptr_t>(text);
    EXPECT_EQ(ParSet(t.context, PAR_ADDON_TEXT, &address), Result::Ok);
  }
  std::string AddonText() {
    char text[65] = {};
    auto address = reinterpret_cast<std::uintptr_t>(text);
    EXPECT_EQ(ParGet(t.context, PAR_ADDON_TEXT, &address), Result::Ok);
    return text;
  }

  sim::Bus bus;  // outlives the context that points at it
  DialogTestContext t;
  HeadlessRunner runner;
  sim::Rt650* scanner = nullptr;
};

// ---- Start-scan --------------------------------------------------------------------------

TEST_F(WithScanner, StartScanWritesThreeAndSendsNothing) {
  Attach();
  t.context.state.moduleHandle = Handle(0x50);
  t.context.settings.separatorModeA = 5;
  runner.Plan(DialogTemplate::kStartScan, [&](HeadlessSurface& s) {
    EXPECT_EQ(s.selection(startscan::kJobSeparator), 0);
    const std::size_t sent = bus.Records().size();
    s.Choose(startscan::kJobSeparator, 1);
    s.Click(kIdOkButton);
    EXPECT_EQ(bus.Records().size(), sent);
  });
  EXPECT_EQ(RunStartScanDialog(t.context, runner, Handle(1), Handle(2)), 0u);
  ASSERT_EQ(runner.openings_().size(), 1u);
  EXPECT_EQ(runner.openings_()[0].instance, Handle(0x50));
  EXPECT_EQ(runner.openings_()[0].owner, Handle(2));
  EXPECT_EQ(Get(PAR_JOB_SEPARATOR), 3);
  EXPECT_TRUE(t.platform.boxes.empty());
}

// ---- Settings ------------------------------------------------------------------------------

TEST_F(WithScanner, SettingsRunsOnTheModulesInstance) {
  Attach();
  t.context.state.moduleHandle = Handle(0x50);
  runner.Plan(DialogTemplate::kSetting, [&](HeadlessSurface& s) {
    s.Click(kIdOkButton);
    EXPECT_TRUE(s.ended());
  });
  EXPECT_EQ(RunSettingsDialog(t.context, runner, Handle(1), Handle(2)), 0u);
  ASSERT_EQ(runner.openings_().size(), 1u);
  EXPECT_EQ(runner.openings_()[0].which, DialogTemplate::kSetting);
  EXPECT_EQ(runner.openings_()[0].instance, Handle(0x50));
  EXPECT_TRUE(t.platform.boxes.empty());
}

TEST_F(WithScanner, SettingsPushFailureByCode) {
  Attach();
  Fault(wire::kOpDefineScanMode, 1, sim::kSenseJam);  // the scan mode page goes first
  OpenDialog<SettingsDialog> d(DialogTemplate::kSetting, t.context, runner);
  HeadlessSurface& s = d.surface;
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_TRUE(t.LastBox(1, Msg(200)));
  s.Click(kIdOkButton);  // the fault fired once: the second push goes through
  EXPECT_TRUE(s.ended());
}

// ---- Details -------------------------------------------------------------------------------

TEST_F(WithScanner, DetailsOkPushesEveryMode) {
  Attach();
  OpenDialog<DetailsDialog> d(DialogTemplate::kDetailsUs, t.context, runner);
  bus.ClearRecords();
  d.surface.Click(kIdOkButton);
  std::vector<std::uint8_t> tail;
  for (const sim::CommandRecord& r : bus.Records()) tail.push_back(r.Opcode());
  ASSERT_GE(tail.size(), 4u);
  tail.erase(tail.begin(), tail.end() - 4);
  EXPECT_EQ(tail, (std::vector<std::uint8_t>{wire::kOpDefineScanMode, wire::kOpDefineScanMode,
                                             wire::kOpSetWindow, wire::kOpDefineScanMode}));
  EXPECT_EQ(scanner->ScanModeData(0x34).size(), 90u);
}

// ---- Gamma ---------------------------------------------------------------------------------

class GammaWithScanner : public WithScanner {
 protected:
  void SetUp() override {
    Attach();
    surface.Start(dialog);
    bus.ClearRecords();
  }
  std::string Curve(const std::string& body) {
    const std::string name = t.platform.Scratch("curve.gmm");
    test::WriteFileBytes(name, "GMM\nv1\n" + body);
    return name;
  }
  GammaDialog dialog{t.context};
  HeadlessSurface surface{DialogTemplate::kGamma};
};

TEST_F(GammaWithScanner, CancelledChooserSendsNothingAndTheIdentityCurveIsDownloaded) {
  surface.Click(kIdOkButton);
  EXPECT_EQ(Count(wire::kOpSend), 0u);
  std::string body;
  for (int i = 0; i < 256; ++i) body += std::to_string(i) + "\n";
  surface.nextChosenFile = Curve(body);
  surface.Click(kIdOkButton);
  std::array<std::uint8_t, 256> identity;
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(scanner->Gamma(1), identity);
  EXPECT_EQ(Count(wire::kOpSend, wire::kDataGamma), 1u);
  EXPECT_TRUE(t.platform.boxes.empty());
  EXPECT_FALSE(surface.ended());
}

TEST_F(GammaWithScanner, ListReadsTheScannersTableAndAHeaderOnlyFileSendsItBack) {
  std::array<std::uint8_t, 256> curve;
  for (std::size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<std::uint8_t>(255 - i);
  ASSERT_EQ(SendGammaTable(t.context, 1, curve.data()), Result::Ok);
  surface.NotifyList(gamma::kCurve);
  EXPECT_EQ(t.context.dialogs.gammaTable, curve);
  EXPECT_EQ(Count(wire::kOpRead, wire::kDataGamma), 1u);

  ASSERT_EQ(SendGammaTable(t.context, 1, std::array<std::uint8_t, 256>{}.data()), Result::Ok);
  surface.nextChosenFile = Curve("");
  surface.Click(kIdOkButton);
  EXPECT_EQ(scanner->Gamma(1), curve);
}

TEST_F(GammaWithScanner, DownloadFailureBoxByCode) {
  struct Case {
    sim::Sense sense;
    std::uint32_t message;
  };
  for (const Case& c : {Case{sim::kSenseJam, 200}, Case{sim::kSenseInvalidParameter, 203},
                        Case{sim::kSenseInvalidCdbField, 224}}) {
    t.platform.boxes.clear();
    Fault(wire::kOpSend, 1, c.sense);
    surface.nextChosenFile = Curve("1\n2\n");
    surface.Click(kIdOkButton);
    EXPECT_TRUE(t.LastBox(1, Msg(c.message)));
    EXPECT_EQ(t.context.dialogs.gammaTable[1], 2);
    EXPECT_FALSE(surface.ended());
  }
}

// ---- Addon ---------------------------------------------------------------------------------

class AddonWithScanner : public WithScanner {
 protected:
  void SetUp() override {
    Attach();
    SetText("HELLO");
    for (auto [id, v] : {std::pair{PAR_ADDON_TIMING, 1}, {PAR_ADDON_X, 120}, {PAR_ADDON_Y, 30},
                         {PAR_ADDON_COUNTER_ON, 1}, {PAR_ADDON_COLOR, 2}, {PAR_COUNTUP_TIMING, 5},
                         {PAR_COUNTUP_AMOUNT, 3}, {PAR_RESET_TIMING, 3}, {PAR_RESET_VALUE, 9}}) {
      Set(id, v);
    }
    t.context.addonPage.fill(0);  // what the dialog shows comes from the scanner
    bus.ClearRecords();
  }
  HeadlessSurface& Open() { return dialogs.Open(DialogTemplate::kImprinter, t.context); }
  Reopening<AddonDialog> dialogs;
};

TEST_F(AddonWithScanner, OpeningShowsThePageAndCancelSendsNothing) {
  using namespace addon;
  HeadlessSurface& s = Open();
  EXPECT_FALSE(s.ended());
  EXPECT_EQ(std::tuple(s.text(kText), s.text(kXEdit), s.text(kYEdit), s.text(kCountUpAmountEdit),
                       s.text(kResetValueEdit), s.selectedText(kCountUpTiming)),
            std::tuple("HELLO", "120", " 30", "  3", "  9", Msg(271)));
  // The reset timing's value 3 is entry 4.
  EXPECT_EQ(std::tuple(s.selection(kTiming), s.position(kXUpDown), s.checked(kCounterOn),
                       s.selection(kColor), s.selection(kCountUpTiming), s.selection(kResetTiming)),
            std::tuple(1, 120, true, 2, 1, 4));
  // The edits and up-downs clamp while the dialog is open.
  s.TypeAndLeave(kXEdit, "750");
  EXPECT_EQ(s.text(kXEdit), "500");
  EXPECT_EQ(s.position(kXUpDown), 500);
  s.TypeAndLeave(kYEdit, "301");
  EXPECT_EQ(s.text(kYEdit), "300");
  s.ScrollUpDown(kResetValueUpDown, 17);
  EXPECT_EQ(s.text(kResetValueEdit), " 17");
  // Nothing reaches the scanner while open, nor on Cancel.
  EXPECT_EQ(Count(wire::kOpDefineScanMode), 0u);
  s.Click(kIdCancelButton);
  EXPECT_TRUE(s.ended());
  EXPECT_EQ(Count(wire::kOpDefineScanMode), 0u);
}

TEST_F(AddonWithScanner, OkStopsAtARejectedValue) {
  using namespace addon;
  HeadlessSurface& s = Open();
  s.Type(kText, "NEW");
  s.Type(kXEdit, "750");  // confirmed with OK before the edit lost focus
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_TRUE(t.LastBox(1, Msg(203)));
  EXPECT_EQ(AddonText(), "NEW");  // set before the stop
  EXPECT_EQ(Get(PAR_ADDON_X), 120);
}

TEST_F(AddonWithScanner, OkWritesEveryFieldAndSendsThePage) {
  using namespace addon;
  HeadlessSurface& s = Open();
  s.Type(kText, std::string(70, 'T'));
  s.Type(kXEdit, "44");
  s.Choose(kTiming, 0);
  s.Click(kCounterOn);
  s.Choose(kColor, 1);
  s.Choose(kCountUpTiming, 4);
  s.Type(kCountUpAmountEdit, "200");
  s.Choose(kResetTiming, 0);
  s.Type(kResetValueEdit, "5");
  s.Click(kIdOkButton);
  EXPECT_TRUE(s.ended());
  EXPECT_TRUE(t.platform.boxes.empty());
  EXPECT_EQ(Count(wire::kOpDefineScanMode), 11u);  // ten sets and the final send
  t.context.addonPage.fill(0);
  EXPECT_EQ(AddonText(), std::string(63, 'T'));
  EXPECT_EQ(Get({PAR_ADDON_X, PAR_ADDON_Y, PAR_ADDON_TIMING, PAR_ADDON_COUNTER_ON, PAR_ADDON_COLOR,
                 PAR_COUNTUP_TIMING, PAR_COUNTUP_AMOUNT, PAR_RESET_TIMING, PAR_RESET_VALUE}),
            (std::vector<std::int32_t>{44, 30, 0, 0, 1, 3, 200, 0, 5}));
}

TEST_F(AddonWithScanner, FinalSendFailureClosesOnlyForTwo) {
  HeadlessSurface& s = Open();
  Fault(wire::kOpDefineScanMode, 11, sim::kSenseJam);
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_TRUE(t.LastBox(1, Msg(200)));

  HeadlessSurface& again = Open();
  // The final send of this second OK meets a selection timeout.
  Fault(wire::kOpDefineScanMode, 11, {}, sim::FaultKind::kHostAdapter, 0x11);
  again.Click(kIdOkButton);
  EXPECT_TRUE(again.ended());
  EXPECT_TRUE(t.LastBox(2, Msg(202)));
}

// ---- Function keys -------------------------------------------------------------------------

class FunctionKeysWithScanner : public WithScanner {
 protected:
  HeadlessSurface& Open() { return dialogs.Open(DialogTemplate::kFunction, t.context); }
  // Stores a raw block for `key` in the scanner (bytes 1..4).
  void Block(std::uint8_t key, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3, std::uint8_t b4) {
    std::array<std::uint8_t, 16> block{key, b1, b2, b3, b4};
    std::array<std::uint8_t, wire::kSenseLength> sense{};
    ASSERT_EQ(CmdDefineFunctionKey(t.context, t.context.state.scannerTarget, sense.data(), block),
              0);
  }
  int IndexOf(std::uint32_t message) {
    const auto& items = dialogs.opened->surface.items(fkey::kFunction);
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i] == Msg(message)) return static_cast<int>(i);
    }
    return -1;
  }
  Reopening<FunctionKeyDialog> dialogs;
};

// The probed revision and capability shape the Function key list and the
// Settings dialog's image types and contrast label.
TEST_F(FunctionKeysWithScanner, ListsByRevisionAndCapability) {
  struct Case {
    const char* revision;
    std::uint8_t flags, capability;
    std::size_t entries, imageTypes;
    std::uint32_t contrastLabel;
  };
  for (Case c : {Case{"1.50", 0xA0, 0, 15, 3, 7}, Case{"2.10", 0x80, 1, 16, 6, 301},
                 Case{"2.10", 0xA0, 1, 19, 6, 301}, Case{"2.00", 0x20, 1, 19, 6, 301}}) {
    sim::Bus own;
    sim::ScannerInfo info;
    info.identity.revision = c.revision;
    info.vendorFlags = c.flags;
    info.capability = c.capability;
    own.AddScanner(0, 0, info);
    DialogTestContext ctx;
    SetProvider(ctx.context.transport, &own);
    ASSERT_EQ(Probe(ctx.context), Result::Ok);
    OpenDialog<FunctionKeyDialog> d(DialogTemplate::kFunction, ctx.context);
    const HeadlessSurface& s = d.surface;
    EXPECT_EQ(s.items(fkey::kFunction).size(), c.entries) << c.revision;
    EXPECT_EQ(s.items(fkey::kFunction).back(), Msg(182));
    EXPECT_FALSE(s.ended());
    OpenDialog<SettingsDialog> settings(DialogTemplate::kSetting, ctx.context, runner);
    EXPECT_EQ(settings.surface.items(setting::kImageType).size(), c.imageTypes) << c.revision;
    EXPECT_EQ(settings.surface.text(setting::kContrastLabel), Msg(c.contrastLabel));
    SetProvider(ctx.context.transport, nullptr);
  }
}

TEST_F(FunctionKeysWithScanner, OpeningAndKeyChangesShowTheScannersFunction) {
  Attach();
  Block(1, 0x20, 0x01, 0, 0);  // 182 wins over 279
  Block(2, 0, 0x81, 0, 0);     // bit 0 first: 279
  Block(3, 0, 0, 0x80, 0x40);  // byte 4 bit 6 before byte 3 bit 7: 296
  HeadlessSurface& s = Open();
  EXPECT_EQ(s.selection(fkey::kFunction), IndexOf(182));
  // Key 4 has no bit set: the selection stays.
  for (auto [entry, message] : {std::pair{1, 279u}, {2, 296u}, {3, 296u}}) {
    s.Choose(fkey::kKey, entry);
    EXPECT_EQ(s.selection(fkey::kFunction), IndexOf(message)) << entry;
  }
  EXPECT_TRUE(t.platform.boxes.empty());
}

TEST_F(FunctionKeysWithScanner, FailedReads) {
  Attach();
  Fault(wire::kOpGetFunctionKey, 2, sim::kSenseNotReady);
  HeadlessSurface& s = Open();
  Block(1, 0, 0, 0x20, 0);
  s.Choose(fkey::kKey, 4);
  EXPECT_TRUE(t.LastBox(1, "Scsi error", "Roradiv"));
  EXPECT_FALSE(s.ended());

  Fault(wire::kOpGetFunctionKey, 1, sim::kSenseJam);
  HeadlessSurface& closed = Open();
  EXPECT_TRUE(closed.ended());
  EXPECT_TRUE(t.LastBox(2, Msg(200)));
}

TEST_F(FunctionKeysWithScanner, SetSendsTheChosenFunctionAndStaysOpen) {
  Attach();
  HeadlessSurface& s = Open();
  s.Choose(fkey::kKey, 7);  // P2: key 8
  s.Choose(fkey::kFunction, IndexOf(280));
  s.Click(kIdOkButton);
  EXPECT_FALSE(s.ended());
  EXPECT_EQ(scanner->FunctionKey(8), (std::array<std::uint8_t, 4>{0, 0x02, 0, 0}));  // 0x1000
  s.Choose(fkey::kKey, 0);
  s.Choose(fkey::kFunction, IndexOf(302));
  s.Click(kIdOkButton);
  s.Click(kIdCancelButton);
  EXPECT_EQ(s.result(), 0);
  EXPECT_EQ(scanner->FunctionKey(1), (std::array<std::uint8_t, 4>{0, 0, 0x80, 0}));  // 0x800000
  EXPECT_EQ(scanner->FunctionKey(8), (std::array<std::uint8_t, 4>{0, 0x02, 0, 0}));
}

TEST_F(FunctionKeysWithScanner, EqualTextsSendTheFirstInComparisonOrder) {
  Attach();
  t.context.messages.Set(279, "Same");
  t.context.messages.Set(292, "Same");
  HeadlessSurface& s = Open();
  ASSERT_EQ(s.items(fkey::kFunction)[0], "Same");  // 292 leads the list
  s.Choose(fkey::kFunction, 0);
  s.Click(kIdOkButton);
  EXPECT_EQ(scanner->FunctionKey(1), (std::array<std::uint8_t, 4>{0, 0x01, 0, 0}));  // 279: 0x2000
}

}  // namespace
}  // namespace tarvo

