// The dialogs against the simulated RT650: what they read, what they send,
// and how they answer its failures.
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "Bus.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "scsi/Commands.h"
#include "support/DialogTestContext.h"
#include "support/HeadlessSurface.h"
#include "tarvoscn.h"
#include "ui/AddonDialog.h"
#include "ui/DetailsDialog.h"
#include "ui/DialogExports.h"
#include "ui/FunctionKeyDialog.h"
#include "ui/GammaDialog.h"
#include "ui/SettingsDialog.h"

namespace tarvo {
namespace {

using namespace test;
using Block = std::array<std::uint8_t, 4>;

class WithScanner : public ::testing::Test {
 protected:
  ~WithScanner() override { SetProvider(t.context.transport, nullptr); }
  void Attach() {
    scanner = &bus.AddScanner(0, 0, {});
    SetProvider(t.context.transport, &bus);
    EXPECT_EQ(Probe(t.context), Result::Ok);
    bus.ClearRecords();
  }
  // Commands with `opcode` (and READ/SEND data type) sent so far.
  std::size_t Count(std::uint8_t opcode, int dataType = -1) {
    return std::count_if(bus.Records().begin(), bus.Records().end(), [&](const sim::CommandRecord& r) {
      return r.Opcode() == opcode && (dataType < 0 || (r.cdb.size() > 2 && r.cdb[2] == dataType));
    });
  }
  std::int32_t Get(std::int32_t id) {
    std::int32_t v = -1;
    EXPECT_EQ(ParGet(t.context, id, &v), Result::Ok) << id;
    return v;
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

TEST_F(WithScanner, StartScanAndSettingsRunOnTheModulesInstance) {
  Attach();
  t.context.state.moduleHandle = Handle(0x50);
  runner.Plan(DialogTemplate::kStartScan, [&](HeadlessSurface& s) {
    const std::size_t sent = bus.Records().size();
    s.Choose(startscan::kJobSeparator, 1);
    s.Click(kIdOkButton);
    EXPECT_EQ(bus.Records().size(), sent);  // the choice is written, nothing sent
  });
  runner.Plan(DialogTemplate::kSetting, [&](HeadlessSurface& s) { s.Click(kIdOkButton); });
  EXPECT_EQ(RunStartScanDialog(t.context, runner, Handle(1), Handle(2)), 0u);
  EXPECT_EQ(RunSettingsDialog(t.context, runner, Handle(1), Handle(3)), 0u);
  ASSERT_EQ(runner.openings.size(), 2u);
  const auto& o = runner.openings[1];
  EXPECT_EQ(std::tuple(runner.openings[0].instance, runner.openings[0].owner, o.which, o.instance, o.owner),
            std::tuple(Handle(0x50), Handle(2), DialogTemplate::kSetting, Handle(0x50), Handle(3)));
  EXPECT_EQ(Get(PAR_JOB_SEPARATOR), 3);
  EXPECT_TRUE(t.platform.boxes.empty());
}

TEST_F(WithScanner, SettingsPushFailureByCode) {
  Attach();
  scanner->AddFault({.opcode = wire::kOpDefineScanMode, .sense = sim::kSenseJam});  // the mode page goes first
  OpenDialog<SettingsDialog> d(DialogTemplate::kSetting, t.context, runner);
  d.surface.Click(kIdOkButton);
  EXPECT_FALSE(d.surface.ended);
  EXPECT_TRUE(t.LastBox(1, Msg(200)));
  d.surface.Click(kIdOkButton);  // the fault fired once: the second push goes through
  EXPECT_TRUE(d.surface.ended);
}

TEST_F(WithScanner, DetailsOkPushesEveryMode) {
  Attach();
  OpenDialog<DetailsDialog> d(DialogTemplate::kDetailsUs, t.context, runner);
  bus.ClearRecords();
  d.surface.Click(kIdOkButton);
  std::vector<std::uint8_t> sent;
  for (const sim::CommandRecord& r : bus.Records()) sent.push_back(r.Opcode());
  ASSERT_GE(sent.size(), 4u);
  const std::uint8_t mode = wire::kOpDefineScanMode;
  EXPECT_EQ(std::vector(sent.end() - 4, sent.end()), (std::vector<std::uint8_t>{mode, mode, wire::kOpSetWindow, mode}));
  EXPECT_EQ(scanner->ScanModeData(0x34).size(), 90u);
}

class GammaWithScanner : public WithScanner {
 protected:
  void SetUp() override {
    Attach();
    s.Start(dialog);
  }
  void ChooseCurve(const std::string& body) {
    s.nextChosenFile = t.platform.Scratch("curve.gmm");
    WriteFileBytes(*s.nextChosenFile, "GMM\nv1\n" + body);
  }
  GammaDialog dialog{t.context};
  HeadlessSurface s{DialogTemplate::kGamma};
};

TEST_F(GammaWithScanner, ListReadsTheScannersTableAndOkDownloadsTheChosenFile) {
  std::array<std::uint8_t, 256> curve, identity;
  for (std::size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<std::uint8_t>(255 - i);
  ASSERT_EQ(SendGammaTable(t.context, 1, curve.data()), Result::Ok);
  s.NotifyList(gamma::kCurve);
  EXPECT_EQ(t.context.dialogs.gammaTable, curve);
  EXPECT_EQ(Count(wire::kOpRead, wire::kDataGamma), 1u);
  ASSERT_EQ(SendGammaTable(t.context, 1, std::array<std::uint8_t, 256>{}.data()), Result::Ok);
  s.Click(kIdOkButton);  // the chooser cancelled: nothing sent
  EXPECT_EQ(Count(wire::kOpSend), 2u);
  ChooseCurve("");  // a header only sends the table read back
  s.Click(kIdOkButton);
  EXPECT_EQ(scanner->Gamma(1), curve);
  std::string body;
  for (int i = 0; i < 256; ++i) body += std::to_string(i) + "\n";
  ChooseCurve(body);
  s.Click(kIdOkButton);
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(scanner->Gamma(1), identity);
  EXPECT_EQ(Count(wire::kOpSend, wire::kDataGamma), 4u);
  EXPECT_TRUE(t.platform.boxes.empty() && !s.ended);
}

TEST_F(GammaWithScanner, DownloadFailureBoxByCode) {
  for (auto [sense, message] : {std::pair{sim::kSenseJam, 200u}, {sim::kSenseInvalidCdbField, 224u}}) {
    t.platform.boxes.clear();
    scanner->AddFault({.opcode = wire::kOpSend, .sense = sense});
    ChooseCurve("1\n2\n");
    s.Click(kIdOkButton);
    EXPECT_TRUE(t.LastBox(1, Msg(message)));
    EXPECT_EQ(t.context.dialogs.gammaTable[1], 2);
    EXPECT_FALSE(s.ended);
  }
}

TEST(AddonTiming, ListIndexAndValueBothWays) {
  std::int32_t v = 99;
  EXPECT_FALSE(TimingValue(kNoSelection, v) || TimingValue(6, v) || v != 99);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(TimingValue(i, v) && TimingIndex(v) == i) << i;
  EXPECT_EQ(TimingIndex(1), kNoSelection);
}

TEST_F(WithScanner, AddonReadFailureClosesTheDialogBeforeFilling) {  // no scanner attached
  OpenDialog<AddonDialog> d(DialogTemplate::kImprinter, t.context);
  const HeadlessSurface& s = d.surface;
  EXPECT_TRUE(t.LastBox(1, Msg(202)));
  EXPECT_EQ(std::tuple(s.ended, s.result, s.title, s[addon::kResetTiming].items.size(),
                       s[addon::kCountUpAmountUpDown].high, s[addon::kText].text),
            std::tuple(true, 0, Msg(277), 6u, 255, ""));
}

class AddonWithScanner : public WithScanner {
 protected:
  void SetUp() override {
    Attach();
    const char* text = "HELLO";
    auto address = reinterpret_cast<std::uintptr_t>(text);
    EXPECT_EQ(ParSet(t.context, PAR_ADDON_TEXT, &address), Result::Ok);
    for (auto [id, v] : {std::pair{PAR_ADDON_TIMING, 1}, {PAR_ADDON_X, 120}, {PAR_ADDON_Y, 30},
                         {PAR_ADDON_COUNTER_ON, 1}, {PAR_ADDON_COLOR, 2}, {PAR_COUNTUP_TIMING, 5},
                         {PAR_COUNTUP_AMOUNT, 3}, {PAR_RESET_TIMING, 3}, {PAR_RESET_VALUE, 9}}) {
      EXPECT_EQ(ParSet(t.context, id, &v), Result::Ok) << id;
    }
    t.context.addonPage.fill(0);  // what the dialog shows comes from the scanner
    bus.ClearRecords();
  }
  HeadlessSurface& Open() { return dialogs.emplace(DialogTemplate::kImprinter, t.context).surface; }
  std::optional<OpenDialog<AddonDialog>> dialogs;
};

TEST_F(AddonWithScanner, OpeningShowsThePageAndCancelSendsNothing) {
  using namespace addon;
  HeadlessSurface& s = Open();
  EXPECT_EQ(std::tuple(s[kText].text, s[kXEdit].text, s[kYEdit].text, s[kCountUpAmountEdit].text,
                       s[kResetValueEdit].text, s[kCountUpTiming].items.at(1)),
            std::tuple("HELLO", "120", " 30", "  3", "  9", Msg(271)));
  // The reset timing's value 3 is entry 4.
  EXPECT_EQ(std::tuple(s[kTiming].selection, s[kXUpDown].position, s[kCounterOn].checked, s[kColor].selection,
                       s[kCountUpTiming].selection, s[kResetTiming].selection),
            std::tuple(1, 120, true, 2, 1, 4));
  // The edits and up-downs clamp while the dialog is open, sending nothing.
  s.TypeAndLeave(kXEdit, "750");
  EXPECT_EQ(std::tuple(s[kXEdit].text, s[kXUpDown].position), std::tuple("500", 500));
  s.ScrollUpDown(kResetValueUpDown, 17);
  EXPECT_EQ(s[kResetValueEdit].text, " 17");
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, Count(wire::kOpDefineScanMode)), std::tuple(true, 0u));
}

TEST_F(AddonWithScanner, OkWritesEveryFieldAndSendsThePage) {
  using namespace addon;
  HeadlessSurface& s = Open();
  for (auto [edit, text] : {std::pair{kText, std::string(70, 'T')}, {kXEdit, "44"}, {kCountUpAmountEdit, "200"},
                            {kResetValueEdit, "5"}}) {
    s.Type(edit, text);
  }
  for (auto [list, entry] : {std::pair{kTiming, 0}, {kColor, 1}, {kCountUpTiming, 4}, {kResetTiming, 0}}) {
    s.Choose(list, entry);
  }
  s.Click(kCounterOn);
  s.Click(kIdOkButton);
  EXPECT_TRUE(s.ended && t.platform.boxes.empty());
  EXPECT_EQ(Count(wire::kOpDefineScanMode), 11u);  // ten sets and the final send
  t.context.addonPage.fill(0);
  EXPECT_EQ(AddonText(), std::string(63, 'T'));
  std::vector<std::int32_t> got;
  for (std::int32_t id : {PAR_ADDON_X, PAR_ADDON_Y, PAR_ADDON_TIMING, PAR_ADDON_COUNTER_ON, PAR_ADDON_COLOR,
                          PAR_COUNTUP_TIMING, PAR_COUNTUP_AMOUNT, PAR_RESET_TIMING, PAR_RESET_VALUE}) {
    got.push_back(Get(id));
  }
  EXPECT_EQ(got, (std::vector<std::int32_t>{44, 30, 0, 0, 1, 3, 200, 0, 5}));
}

// OK stops at a rejected value, or a failed final send, and closes only for code 2.
TEST_F(AddonWithScanner, OkStopsAtARejectedValueOrFailedSendAndClosesOnlyForTwo) {
  HeadlessSurface& s = Open();
  s.Type(addon::kText, "NEW");
  s.Type(addon::kXEdit, "750");  // confirmed with OK before the edit lost focus
  s.Click(kIdOkButton);
  EXPECT_TRUE(!s.ended && t.LastBox(1, Msg(203)));
  EXPECT_EQ(std::tuple(AddonText(), Get(PAR_ADDON_X)), std::tuple("NEW", 120));  // the text set before the stop
  s.Type(addon::kXEdit, "120");
  scanner->AddFault({.opcode = wire::kOpDefineScanMode, .occurrence = 11, .sense = sim::kSenseJam});
  s.Click(kIdOkButton);
  EXPECT_TRUE(!s.ended && t.LastBox(2, Msg(200)));
  HeadlessSurface& again = Open();  // its final send meets a selection timeout
  scanner->AddFault({.opcode = wire::kOpDefineScanMode, .occurrence = 11, .kind = sim::FaultKind::kHostAdapter,
                     .sense = {}, .value = 0x11});
  again.Click(kIdOkButton);
  EXPECT_TRUE(again.ended && t.LastBox(3, Msg(202)));
}

class FunctionKeysWithScanner : public WithScanner {
 protected:
  void SetUp() override { Attach(); }
  HeadlessSurface& Open() { return dialogs.emplace(DialogTemplate::kFunction, t.context).surface; }
  int IndexOf(std::uint32_t message) {
    const auto& items = dialogs->surface[fkey::kFunction].items;
    return static_cast<int>(std::find(items.begin(), items.end(), Msg(message)) - items.begin());
  }
  std::optional<OpenDialog<FunctionKeyDialog>> dialogs;
};

// The probed revision and capability shape the Function key list and the
// Settings dialog's image types and contrast label.
TEST_F(FunctionKeysWithScanner, ListsByRevisionAndCapability) {
  for (auto [revision, flags, capability, entries, imageTypes, label] :
       {std::tuple{"1.50", 0xA0, 0, 15u, 3u, 7u}, {"2.10", 0x80, 1, 16u, 6u, 301u}, {"2.00", 0x20, 1, 19u, 6u, 301u}}) {
    sim::Bus own;
    sim::ScannerInfo info;
    std::tie(info.identity.revision, info.vendorFlags, info.capability) = std::tuple(revision, flags, capability);
    own.AddScanner(0, 0, info);
    DialogTestContext ctx;
    SetProvider(ctx.context.transport, &own);
    ASSERT_EQ(Probe(ctx.context), Result::Ok);
    OpenDialog<FunctionKeyDialog> d(DialogTemplate::kFunction, ctx.context);
    OpenDialog<SettingsDialog> settings(DialogTemplate::kSetting, ctx.context, runner);
    const HeadlessSurface& set = settings.surface;
    EXPECT_EQ(std::tuple(d.surface[fkey::kFunction].items.size(), d.surface[fkey::kFunction].items.back(),
                         set[setting::kImageType].items.size(), set[setting::kContrastLabel].text),
              std::tuple(entries, Msg(182), imageTypes, Msg(label))) << revision;
    SetProvider(ctx.context.transport, nullptr);
  }
}

TEST_F(FunctionKeysWithScanner, OpeningAndKeyChangesShowTheScannersFunction) {
  std::array<std::uint8_t, 16> block{1, 0x20, 0x01, 0, 0};  // key 1: 182 read before 279
  ASSERT_EQ(Execute(t.context, t.context.state.scannerTarget, CmdDefineFunctionKey(block)).result, 0);
  HeadlessSurface& s = Open();
  EXPECT_EQ(std::tuple(s.title, s[fkey::kKey].items.size(), s[fkey::kKey].items.at(6), s[fkey::kKey].selection),
            std::tuple(Msg(170), 10u, "P1", 0));
  EXPECT_EQ(s[fkey::kFunction].selection, IndexOf(182));
  s.Choose(fkey::kKey, 1);  // key 2 has no bit set: the selection stays
  EXPECT_EQ(s[fkey::kFunction].selection, IndexOf(182));
  EXPECT_TRUE(t.platform.boxes.empty());
}

TEST_F(FunctionKeysWithScanner, FailedReads) {
  scanner->AddFault({.opcode = wire::kOpGetFunctionKey, .occurrence = 2, .sense = sim::kSenseNotReady});
  Open().Choose(fkey::kKey, 4);
  EXPECT_TRUE(t.LastBox(1, "Scsi error", "Roradiv"));
  EXPECT_FALSE(dialogs->surface.ended);
  scanner->AddFault({.opcode = wire::kOpGetFunctionKey, .sense = sim::kSenseJam});
  HeadlessSurface& closed = Open();
  EXPECT_EQ(std::tuple(closed.ended, closed.result), std::tuple(true, 0));
  EXPECT_TRUE(t.LastBox(2, Msg(200)));
}

// Of equal texts, the first in comparison order is sent.
TEST_F(FunctionKeysWithScanner, SetSendsTheChosenFunctionAndStaysOpen) {
  t.context.messages.Set(279, "Same");
  t.context.messages.Set(292, "Same");
  HeadlessSurface& s = Open();
  ASSERT_EQ(s[fkey::kFunction].items[0], "Same");  // 292 leads the list
  for (auto [key, entry] : {std::pair{7, IndexOf(280)}, {1, IndexOf(302)}, {0, 0}}) {  // 7: P2, key 8
    s.Choose(fkey::kKey, key);
    s.Choose(fkey::kFunction, entry);
    s.Click(kIdOkButton);
    EXPECT_FALSE(s.ended);
  }
  EXPECT_EQ(scanner->FunctionKey(8), (Block{0, 0x02, 0, 0}));  // 0x1000
  EXPECT_EQ(scanner->FunctionKey(2), (Block{0, 0, 0x80, 0}));  // 0x800000
  EXPECT_EQ(scanner->FunctionKey(1), (Block{0, 0x01, 0, 0}));  // 279: 0x2000
}

}  // namespace
}  // namespace tarvo
