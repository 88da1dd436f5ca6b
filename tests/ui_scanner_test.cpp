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
#include "support/HeadlessSurface.h"
#include "tarvoscn.h"
#include "ui/AddonDialog.h"
#include "ui/DialogCommon.h"
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
  void SetUp() override {
    scanner = &bus.AddScanner(0, 0, {});
    SetProvider(t.context.transport, &bus);
    EXPECT_EQ(Probe(t.context.Link()), Result::Ok);
    bus.ClearRecords();
  }
  // Commands with `opcode` (and READ/SEND data type) sent so far.
  std::size_t Count(std::uint8_t opcode, int dataType = -1) {
    return std::count_if(bus.Records().begin(), bus.Records().end(), [&](const sim::CommandRecord& r) {
      return r.Opcode() == opcode && (dataType < 0 || (r.cdb.size() > 2 && r.cdb[2] == dataType));
    });
  }
  std::vector<std::int32_t> Get(std::initializer_list<std::int32_t> ids) {
    std::vector<std::int32_t> values;
    for (std::int32_t id : ids) EXPECT_EQ(ParGet(t.context, id, &values.emplace_back(-1)), Result::Ok) << id;
    return values;
  }
  std::string AddonText() {
    char text[65] = {};
    auto address = reinterpret_cast<std::uintptr_t>(text);
    EXPECT_EQ(ParGet(t.context, PAR_ADDON_TEXT, &address), Result::Ok);
    return text;
  }

  sim::Bus bus;  // outlives the context that points at it
  DialogTestContext t;
  sim::Rt650* scanner = nullptr;
};

using RunExport = std::uint32_t (*)(DriverContext&, DialogRunner&, void*, void*);

// Start scan and Settings run on the module's instance (Start scan's choice is written, nothing sent; Settings'
// OK pushes the mode page first, a jam showing its box and keeping it open; Details' OK pushes every mode), the others
// on theirs, giving it or the owner; when they cannot be created (1407: no window class; 50: no window system) the
// error and a box without caption. Without a scanner Start scan shows the notice and Settings gives the probe's
// code and no box. Code 38 boxes as 223 whatever the message switch.
TEST_F(WithScanner, EveryExportOpensItsTemplate) {
  t.context.state.moduleHandle = Handle(0x50);
  t.runner.Plan(DialogTemplate::kStartScan, [&](HeadlessSurface& s) {
    const std::size_t sent = bus.Records().size();
    s.Choose(startscan::kJobSeparator, 1);
    s.Click(kIdOkButton);
    EXPECT_EQ(bus.Records().size(), sent);
  });
  t.runner.Plan(DialogTemplate::kSetting, [&](HeadlessSurface& s) {
    scanner->AddFault({.opcode = wire::kOpDefineScanMode, .sense = sim::kSenseJam});  // the mode page goes first
    s.Click(kIdOkButton);
    EXPECT_TRUE(!s.ended && t.LastBox(1, Msg(200)));
    s.Click(kIdOkButton);  // the fault fired once: the second push goes through
    EXPECT_TRUE(s.ended);
  });
  t.runner.Plan(DialogTemplate::kDetailsUs, [&](HeadlessSurface& s) {  // OK pushes every mode
    bus.ClearRecords();
    s.Click(kIdOkButton);
    std::vector<std::uint8_t> sent;
    for (const sim::CommandRecord& r : bus.Records()) sent.push_back(r.Opcode());
    const std::uint8_t mode = wire::kOpDefineScanMode;
    ASSERT_GE(sent.size(), 4u);
    EXPECT_EQ(std::vector(sent.end() - 4, sent.end()), (std::vector<std::uint8_t>{mode, mode, wire::kOpSetWindow, mode}));
    EXPECT_EQ(scanner->ScanModeData(0x34).size(), 90u);
  });
  for (auto [i, run, which, instance, result] :
       {std::tuple{0u, RunExport{&RunStartScanDialog}, DialogTemplate::kStartScan, 0x50u, 0u},
        {1u, &RunSettingsDialog, DialogTemplate::kSetting, 0x50u, 0u},
        {2u, &RunDetailsDialog, DialogTemplate::kDetailsUs, 0x12u, 0x12u},
        {3u, &RunGammaDialog, DialogTemplate::kGamma, 0x13u, 0x13u},
        {4u, &RunAddonDialog, DialogTemplate::kImprinter, 0x14u, 0x24u},
        {5u, &RunFunctionKeyDialog, DialogTemplate::kFunction, 0x15u, 0x25u}}) {
    EXPECT_EQ(run(t.context, t.runner, Handle(0x10 + i), Handle(0x20 + i)), result) << i;
    const auto& o = t.runner.openings.back();
    EXPECT_EQ(std::tuple(o.which, o.instance, o.owner), std::tuple(which, Handle(instance), Handle(0x20 + i)));
    DialogTestContext failing;  // no scanner
    if (i < 2) {
      EXPECT_EQ(run(failing.context, failing.runner, Handle(1), Handle(2)), i == 0 ? 0u : 2u);
      EXPECT_TRUE(failing.runner.openings.empty() &&
                  failing.LastBox(1 - i, "Scanner is not probed.", "Vasko/ferrule driver"));
      EXPECT_TRUE(i == 1 || failing.platform.boxes[0].style == kMbOk);
      continue;
    }
    std::tie(failing.context.state.showMessages, failing.runner.failWith) = std::tuple(0, 1407u);
    EXPECT_EQ(run(failing.context, failing.runner, Handle(1), Handle(2)), 1407u);
    EXPECT_TRUE(failing.LastBox(1, "DialogBox return code is 1407", ""));
    EXPECT_EQ(run(failing.context, SystemDialogRunner(), nullptr, nullptr), kErrorNotSupported);
    EXPECT_TRUE(failing.LastBox(2, "DialogBox return code is 50", ""));
  }
  EXPECT_EQ(t.context.dialogs.instance, Handle(0x13));  // Gamma remembers its instance too
  EXPECT_EQ(Get({PAR_JOB_SEPARATOR}), std::vector{3});
  t.context.state.showMessages = 0;
  ShowDriverErrorBox(t.context, 38);
  EXPECT_TRUE(t.LastBox(2, Msg(223)));
  EXPECT_EQ(t.platform.boxes[1].style, kMbOk);
}

// The list reads the scanner's table; OK downloads the chosen file or, on a
// failure, keeps its values and shows the box by code; a cancelled chooser
// and an unopenable file leave the dialog open.
TEST_F(WithScanner, GammaReadsAndDownloadsTheScannersTable) {
  HeadlessSurface& s = t.Open<GammaDialog>(DialogTemplate::kGamma).surface;
  EXPECT_EQ(std::tuple(s.title, s[kIdOkButton].text, s[gamma::kCurve].items, s[gamma::kCurve].selection),
            std::tuple(Msg(160), Msg(166), std::vector{Msg(162)}, 0));
  EXPECT_FALSE(s[gamma::kFromFile].enabled || s[gamma::kToFile].enabled);
  auto choose = [&](const std::string& body) {
    s.nextChosenFile = t.platform.Scratch("curve.gmm");
    WriteFileBytes(*s.nextChosenFile, "GMM\nv1\n" + body);
  };
  std::array<std::uint8_t, 256> curve, identity;
  for (std::size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<std::uint8_t>(255 - i);
  ASSERT_EQ(SendGammaTable(t.context.Link(), 1, curve.data()), Result::Ok);
  s.NotifyList(gamma::kCurve);
  EXPECT_EQ(t.context.dialogs.gammaTable, curve);
  EXPECT_EQ(Count(wire::kOpRead, wire::kDataGamma), 1u);
  ASSERT_EQ(SendGammaTable(t.context.Link(), 1, std::array<std::uint8_t, 256>{}.data()), Result::Ok);
  s.Click(kIdOkButton);  // the chooser cancelled: nothing sent
  EXPECT_EQ(std::tuple(Count(wire::kOpSend), s.chooserFilter), std::tuple(2u, Msg(303) + "|*.gmm|" + Msg(304) + "|*.*|"));
  choose("");  // a header only sends the table read back
  s.Click(kIdOkButton);
  EXPECT_EQ(scanner->Gamma(1), curve);
  std::string body;
  for (int i = 0; i < 256; ++i) body += std::to_string(i) + "\n";
  choose(body);
  s.Click(kIdOkButton);
  std::iota(identity.begin(), identity.end(), 0);
  EXPECT_EQ(scanner->Gamma(1), identity);
  EXPECT_EQ(Count(wire::kOpSend, wire::kDataGamma), 4u);
  EXPECT_TRUE(t.platform.boxes.empty());
  for (auto [sense, message, boxes] : {std::tuple{sim::kSenseJam, 200u, 1u}, {sim::kSenseInvalidCdbField, 224u, 2u}}) {
    scanner->AddFault({.opcode = wire::kOpSend, .sense = sense});
    choose("1\n2\n");
    s.Click(kIdOkButton);
    EXPECT_TRUE(t.LastBox(boxes, Msg(message)));
    EXPECT_EQ(t.context.dialogs.gammaTable[1], 2);
  }
  s.nextChosenFile = t.platform.Scratch("missing.gmm");
  s.Click(kIdOkButton);
  char expected[512] = {};
  t.platform.ErrorText(kErrorFileNotFound, expected, sizeof expected);
  EXPECT_TRUE(t.LastBox(3, expected, "") && s[kIdOkButton].enabled && !s.ended);
  s.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(s.ended, s.result, t.context.dialogs.gammaTable[1]), std::tuple(true, 0, 2));
}

TEST(AddonTiming, ListIndexAndValueBothWays) {
  std::int32_t v = 99;
  EXPECT_FALSE(TimingValue(kNoSelection, v) || TimingValue(6, v) || v != 99);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(TimingValue(i, v) && TimingIndex(v) == i) << i;
  EXPECT_EQ(TimingIndex(1), kNoSelection);
}

TEST(AddonDialog, ReadFailureClosesTheDialogBeforeFilling) {  // no scanner attached
  DialogTestContext t;
  const HeadlessSurface& s = t.Open<AddonDialog>(DialogTemplate::kImprinter).surface;
  EXPECT_TRUE(t.LastBox(1, Msg(202)));
  EXPECT_EQ(std::tuple(s.ended, s.result, s.title, s[addon::kResetTiming].items.size(),
                       s[addon::kCountUpAmountUpDown].high, s[addon::kText].text),
            std::tuple(true, 0, Msg(277), 6u, 255, ""));
}

class AddonWithScanner : public WithScanner {
 protected:
  void SetUp() override {
    WithScanner::SetUp();
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
  HeadlessSurface& Open() { return t.Open<AddonDialog>(DialogTemplate::kImprinter).surface; }
};

// Opening shows the scanner's page and Cancel sends nothing. OK stops at a rejected value or a failed
// final send, closing only for code 2; otherwise it writes every field and sends the page.
TEST_F(AddonWithScanner, OpeningShowsThePageOkWritesEveryFieldAndSendsThePageOrStops) {
  using namespace addon;
  HeadlessSurface& page = Open();
  EXPECT_EQ(std::tuple(page[kText].text, page[kXEdit].text, page[kYEdit].text, page[kCountUpAmountEdit].text,
                       page[kResetValueEdit].text, page[kCountUpTiming].items.at(1)),
            std::tuple("HELLO", "120", " 30", "  3", "  9", Msg(271)));
  // The reset timing's value 3 is entry 4.
  EXPECT_EQ(std::tuple(page[kTiming].selection, page[kXUpDown].position, page[kCounterOn].checked, page[kColor].selection,
                       page[kCountUpTiming].selection, page[kResetTiming].selection),
            std::tuple(1, 120, true, 2, 1, 4));
  page.TypeAndLeave(kXEdit, "750");  // clamped while open, nothing sent
  EXPECT_EQ(std::tuple(page[kXEdit].text, page[kXUpDown].position), std::tuple("500", 500));
  page.ScrollUpDown(kResetValueUpDown, 17);
  EXPECT_EQ(page[kResetValueEdit].text, " 17");
  page.Click(kIdCancelButton);
  EXPECT_EQ(std::tuple(page.ended, Count(wire::kOpDefineScanMode)), std::tuple(true, 0u));
  HeadlessSurface& s = Open();
  s.Type(kText, "NEW");
  s.Type(kXEdit, "750");  // confirmed with OK before the edit lost focus
  s.Click(kIdOkButton);
  EXPECT_TRUE(!s.ended && t.LastBox(1, Msg(203)));
  EXPECT_EQ(std::tuple(AddonText(), Get({PAR_ADDON_X})), std::tuple("NEW", std::vector{120}));  // the text set before the stop
  s.Type(kXEdit, "120");
  scanner->AddFault({.opcode = wire::kOpDefineScanMode, .occurrence = 11, .sense = sim::kSenseJam});
  s.Click(kIdOkButton);
  EXPECT_TRUE(!s.ended && t.LastBox(2, Msg(200)));
  for (auto [edit, text] : {std::pair{kText, std::string(70, 'T')}, {kXEdit, "44"}, {kCountUpAmountEdit, "200"},
                            {kResetValueEdit, "5"}}) s.Type(edit, text);
  for (auto [list, entry] : {std::pair{kTiming, 0}, {kColor, 1}, {kCountUpTiming, 4}, {kResetTiming, 0}}) s.Choose(list, entry);
  s.Click(kCounterOn);
  bus.ClearRecords();
  s.Click(kIdOkButton);
  EXPECT_TRUE(s.ended && t.LastBox(2, Msg(200)));
  EXPECT_EQ(Count(wire::kOpDefineScanMode), 11u);  // ten sets and the final send
  t.context.addonPage.fill(0);
  EXPECT_EQ(AddonText(), std::string(63, 'T'));
  EXPECT_EQ(Get({PAR_ADDON_X, PAR_ADDON_Y, PAR_ADDON_TIMING, PAR_ADDON_COUNTER_ON, PAR_ADDON_COLOR,
                 PAR_COUNTUP_TIMING, PAR_COUNTUP_AMOUNT, PAR_RESET_TIMING, PAR_RESET_VALUE}),
            (std::vector<std::int32_t>{44, 30, 0, 0, 1, 3, 200, 0, 5}));
  HeadlessSurface& again = Open();  // its final send meets a selection timeout
  scanner->AddFault({.opcode = wire::kOpDefineScanMode, .occurrence = 11, .kind = sim::FaultKind::kHostAdapter,
                     .sense = {}, .value = 0x11});
  again.Click(kIdOkButton);
  EXPECT_TRUE(again.ended && t.LastBox(3, Msg(202)));
}

class FunctionKeysWithScanner : public WithScanner {
 protected:
  HeadlessSurface& Open() { return *(open = &t.Open<FunctionKeyDialog>(DialogTemplate::kFunction).surface); }
  int IndexOf(std::uint32_t message) {
    const auto& items = (*open)[fkey::kFunction].items;
    return static_cast<int>(std::find(items.begin(), items.end(), Msg(message)) - items.begin());
  }
  HeadlessSurface* open = nullptr;
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
    ASSERT_EQ(Probe(ctx.context.Link()), Result::Ok);
    const HeadlessSurface& d = ctx.Open<FunctionKeyDialog>(DialogTemplate::kFunction).surface;
    const HeadlessSurface& set = ctx.Open<SettingsDialog>(DialogTemplate::kSetting, ctx.runner).surface;
    EXPECT_EQ(std::tuple(d[fkey::kFunction].items.size(), d[fkey::kFunction].items.back(),
                         set[setting::kImageType].items.size(), set[setting::kContrastLabel].text),
              std::tuple(entries, Msg(182), imageTypes, Msg(label))) << revision;
    SetProvider(ctx.context.transport, nullptr);
  }
}

// Opening and key changes show the scanner's function; Set sends the chosen
// one (of equal texts, the first in comparison order) and stays open; failed reads.
TEST_F(FunctionKeysWithScanner, ShowAndSetTheScannersFunctions) {
  std::array<std::uint8_t, 16> block{1, 0x20, 0x01, 0, 0};  // key 1: 182 read before 279
  ASSERT_EQ(Execute(t.context, t.context.state.scanner.scannerTarget, CmdDefineFunctionKey(block)).result, 0);
  t.context.messages.Set(279, "Same");
  t.context.messages.Set(292, "Same");
  HeadlessSurface& s = Open();
  EXPECT_EQ(std::tuple(s.title, s[fkey::kKey].items.size(), s[fkey::kKey].items.at(6), s[fkey::kKey].selection),
            std::tuple(Msg(170), 10u, "P1", 0));
  EXPECT_EQ(std::tuple(s[fkey::kFunction].selection, s[fkey::kFunction].items[0]), std::tuple(IndexOf(182), "Same"));
  s.Choose(fkey::kKey, 1);  // key 2 has no bit set: the selection stays
  EXPECT_EQ(s[fkey::kFunction].selection, IndexOf(182));
  for (auto [key, entry] : {std::pair{7, IndexOf(280)}, {1, IndexOf(302)}, {0, 0}}) {  // 7: P2, key 8
    s.Choose(fkey::kKey, key);
    s.Choose(fkey::kFunction, entry);
    s.Click(kIdOkButton);
  }
  EXPECT_EQ(std::tuple(s.ended, t.platform.boxes.size()), std::tuple(false, 0u));
  EXPECT_EQ(scanner->FunctionKey(8), (Block{0, 0x02, 0, 0}));  // 0x1000
  EXPECT_EQ(scanner->FunctionKey(2), (Block{0, 0, 0x80, 0}));  // 0x800000
  EXPECT_EQ(scanner->FunctionKey(1), (Block{0, 0x01, 0, 0}));  // 292 leads the list; 279: 0x2000
  scanner->AddFault({.opcode = wire::kOpGetFunctionKey, .sense = sim::kSenseNotReady});
  s.Choose(fkey::kKey, 4);  // a failed read on a key change: the transport's box, still open
  EXPECT_TRUE(!s.ended && t.LastBox(1, "Scsi error", "Roradiv"));
  scanner->AddFault({.opcode = wire::kOpGetFunctionKey, .sense = sim::kSenseJam});
  HeadlessSurface& closed = Open();  // a failed read when opening closes the dialog
  EXPECT_TRUE(closed.ended && closed.result == 0 && t.LastBox(2, Msg(200)));
}

}  // namespace
}  // namespace tarvo
