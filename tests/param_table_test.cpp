// TsdParSet / TsdParGet against the in-process simulator. The public descriptor
// table is checked by using it: every row's values go through the set's checks,
// send the block the row names and come back from the get; refused values and
// every other ID answer without changing or sending anything; C sees the same
// table. Then what the table does not say: how values are normalised and where
// they are stored, the pointers, the addon mirror and the get-only values.
#include "tarvoscn_params.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "sim_test_support.h"
#include "tarvoscn.h"

extern "C" const TsdParamDesc* ParamTableFromC(size_t* count, size_t* rowSize);

namespace tarvo {
namespace {

using namespace test;
using Strings = std::vector<std::string>;

const Strings kRefresh = {"getscanmode 32", "getscanmode 36", "read 84", "getwindow", "getscanmode 34"};

Result Set(SimContext& sim, std::int32_t id, std::int32_t value) { return ParSet(sim.context, id, &value); }
Result SetPointer(SimContext& sim, std::int32_t id, const void* data) {
  const auto cell = reinterpret_cast<std::uintptr_t>(data);
  return ParSet(sim.context, id, &cell);
}
std::int32_t Get(SimContext& sim, std::int32_t id, Result expected = Result::Ok, std::int32_t value = -12345) {
  EXPECT_EQ(ParGet(sim.context, id, &value), expected) << "get " << id;
  return value;
}

const TsdParamDesc* Row(std::int32_t id) {
  const auto end = std::end(tsdParamTable);
  const auto it = std::find_if(std::begin(tsdParamTable), end, [&](auto& r) { return r.id == id; });
  return it == end ? nullptr : &*it;
}
std::vector<std::int32_t> Values(const TsdParamDesc& row) {
  std::vector<std::int32_t> out;
  for (const std::int32_t* v = row.values; v != nullptr && *v != TSD_TABLE_END; ++v) out.push_back(*v);
  return out;
}
bool Listed(const TsdParamDesc& row, std::int32_t v) { return std::ranges::count(Values(row), v) != 0; }
bool Has(const TsdParamDesc& row, std::uint32_t flag) { return (row.access & flag) != 0; }
bool IsPointer(const TsdParamDesc& row) { return row.type == TSD_PARAM_TEXT || row.type == TSD_PARAM_BLOCK; }

// A text of `value` letters or a 256-byte block for the pointer rows.
Result SetOn(SimContext& sim, const TsdParamDesc& row, std::int32_t value) {
  static std::int32_t block[64];
  const std::string text(static_cast<std::size_t>(IsPointer(row) ? value : 0), 'A');
  if (IsPointer(row)) return SetPointer(sim, row.id, row.type == TSD_PARAM_TEXT ? static_cast<const void*>(text.c_str()) : block);
  return Set(sim, row.id, value);
}

TEST(ParamTable, EveryIdIsARowOrAnswers3AndCSeesTheSameRows) {
  size_t count = 0, rowSize = 0;
  const TsdParamDesc* fromC = ParamTableFromC(&count, &rowSize);
  ASSERT_EQ(std::pair(count, rowSize), std::pair(size_t{TSD_PARAM_COUNT}, sizeof(TsdParamDesc)));
  std::int32_t previous = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const TsdParamDesc& row = tsdParamTable[i];
    EXPECT_GT(row.id, previous) << row.name;  // ascending, each ID once
    previous = row.id;
    EXPECT_EQ(std::tie(fromC[i].id, fromC[i].push), std::tie(row.id, row.push));
    EXPECT_STREQ(fromC[i].name, row.name);
    std::string name = "PAR_" + std::string(row.key);  // the key: the name in lower case without PAR_
    std::ranges::transform(name, name.begin(), [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    EXPECT_EQ(name, row.name);
    EXPECT_LE(row.min, row.max) << row.name;
  }
  SimContext sim;
  std::vector<std::int32_t> ids = {-1, INT32_MAX, INT32_MIN};
  for (std::int32_t id = 0; id <= 131; ++id) ids.push_back(id);
  for (std::int32_t id : ids) {
    const TsdParamDesc* row = Row(id);
    if (row == nullptr || !Has(*row, TSD_PARAM_SETTABLE)) {
      const auto before = Snapshot(sim.context);
      sim.bus.ClearRecords();
      EXPECT_EQ(Set(sim, id, 1), Result::UnknownParameter) << id;
      EXPECT_TRUE(sim.bus.Records().empty()) << id;
      EXPECT_EQ(Snapshot(sim.context), before) << id;
    }
    if (row == nullptr || !Has(*row, TSD_PARAM_GETTABLE)) Get(sim, id, Result::UnknownParameter);
  }
}

TEST(ParamTable, SettableRowsTakeTheirValuesRefuseOthersAndSendTheirBlock) {
  // What the simulator records last for a set of each push kind.
  const std::map<std::int32_t, std::string> pushed = {
      {TSD_PUSH_NONE, ""}, {TSD_PUSH_WINDOW, "setwindow"}, {TSD_PUSH_FUNCTION_KEY, "definekey"}, {TSD_PUSH_GAMMA, "send 03"},
      {TSD_PUSH_PAGE_32, "definescanmode 32"}, {TSD_PUSH_PAGE_36, "definescanmode 36"},
      {TSD_PUSH_ADDON_PAGE_34, "definescanmode 34"}, {TSD_PUSH_PAGE_37, "definescanmode 37"}};
  // Kept in the record only, or sent in a page the get does not read back.
  const std::set<std::int32_t> echoless = {PAR_TEXT_MODE, PAR_POLARITY, PAR_ADDON};
  for (const TsdParamDesc& row : tsdParamTable) {
    if (!Has(row, TSD_PARAM_SETTABLE) || Has(row, TSD_PARAM_DEPENDS)) continue;
    SCOPED_TRACE(row.name);
    const bool echoes = Has(row, TSD_PARAM_GETTABLE) && !echoless.count(row.id) && !IsPointer(row);
    std::vector<std::int32_t> good = Values(row), bad;
    if (good.empty()) good = {row.min, row.max};
    for (std::int64_t v : {std::int64_t{row.min} - 1, std::int64_t{row.max} + 1})
      if (v >= INT32_MIN && v <= INT32_MAX) bad.push_back(static_cast<std::int32_t>(v));
    for (std::int32_t v = row.min; row.type == TSD_PARAM_CHOICE && v < row.max && bad.size() < 3; ++v)
      if (!Listed(row, v)) bad.push_back(v);  // a gap in the list
    if (row.type == TSD_PARAM_TEXT) bad = {row.max + 1};
    if (row.type == TSD_PARAM_BLOCK || (row.type == TSD_PARAM_TEXT && row.max == 0)) bad.clear();
    for (std::int32_t value : good) {
      // Taken: checked and stored (a push the scanner refuses, such as gray at
      // the record's depth 0, still counts), then back from a get after its
      // refresh; line art in text mode reads back as line art.
      SimContext sim;
      const Result r = SetOn(sim, row, value);
      EXPECT_TRUE(r != Result::InvalidValue && r != Result::UnknownParameter) << value;
      const auto sent = Commands(sim.bus);
      EXPECT_EQ(sent.empty() ? "" : sent.back(), pushed.at(row.push)) << value;
      if (r == Result::Ok && echoes && !(row.id == PAR_IMAGE_TYPE && value == 9)) { EXPECT_EQ(Get(sim, row.id), value); }
    }
    for (std::int32_t value : bad) {
      SimContext sim;
      const auto before = Snapshot(sim.context);
      if (Has(row, TSD_PARAM_ANY_VALUE)) {  // taken as the nearest value of its kind: any nonzero flag is 1
        EXPECT_EQ(SetOn(sim, row, value), Result::Ok) << value;
        if (row.type == TSD_PARAM_FLAG && echoes) { EXPECT_EQ(Get(sim, row.id), 1) << value; }
        continue;
      }
      EXPECT_EQ(SetOn(sim, row, value), Result::InvalidValue) << value;
      EXPECT_TRUE(sim.bus.Records().empty()) << value;
      EXPECT_EQ(Snapshot(sim.context), before) << value;
    }
  }
}

class Parameters : public ::testing::Test {
 protected:
  std::uint8_t& Addon(std::size_t pageByte) { return sim.context.addonPage[4 + pageByte]; }
  const std::vector<std::uint8_t>& Sent() { return sim.bus.Records().back().dataOut; }

  SimContext sim;
  DriverContext& context = sim.context;
  ScanSettings& s = sim.context.settings;
};

TEST_F(Parameters, BitsPerPixelFollowTheImageType) {
  ASSERT_EQ(Set(sim, PAR_BITS_PER_PIXEL, 1), Result::Ok);
  EXPECT_EQ(Set(sim, PAR_BITS_PER_PIXEL, 8), Result::InvalidValue);  // line art
  ASSERT_EQ(Set(sim, PAR_IMAGE_TYPE, 4), Result::Ok);
  EXPECT_EQ(s.bitsPerPixel, 2);  // one bit becomes two
  sim.bus.ClearRecords();
  EXPECT_EQ(Set(sim, PAR_BITS_PER_PIXEL, 8), Result::Ok);
  EXPECT_EQ(Commands(sim.bus), Strings{"setwindow"});
  EXPECT_EQ(sim.scanner.Window()[33] << 8 | sim.scanner.Window()[34], 0x208);  // gray at 8 bits
  EXPECT_EQ(Get(sim, PAR_BITS_PER_PIXEL), 8);
  // Gray keeps its depth; the line-art types go back to one bit.
  for (auto [type, bits, text] : {std::array{4, 8, 0}, {9, 1, 1}, {4, 2, 0}, {10, 1, 0}}) {
    ASSERT_EQ(Set(sim, PAR_IMAGE_TYPE, type), Result::Ok);
    EXPECT_EQ(std::pair(s.bitsPerPixel, s.textMode), std::pair(bits, text)) << type;
  }
  s.imageType = 5;  // written into the record directly: no depth is accepted
  for (std::int32_t bits : {1, 2, 4, 8}) EXPECT_EQ(Set(sim, PAR_BITS_PER_PIXEL, bits), Result::InvalidValue);
  // Every depth is taken under some image type exactly when the table lists it.
  const TsdParamDesc& row = *Row(PAR_BITS_PER_PIXEL);
  for (std::int32_t value : {0, 1, 2, 3, 4, 8, 16}) {
    bool taken = false;
    for (std::int32_t type : Values(*Row(PAR_IMAGE_TYPE))) {
      SimContext fresh;
      ASSERT_NE(Set(fresh, PAR_IMAGE_TYPE, type), Result::InvalidValue);
      taken = taken || Set(fresh, row.id, value) != Result::InvalidValue;
    }
    EXPECT_EQ(taken, Listed(row, value)) << value;
  }
}

// The values a set normalises or stores elsewhere than its name says.
TEST(ParametersBeyondTheTable, SetStoresThenSendsAndGetWritesTheRefreshedValue) {
  // ID, value, where it is stored and as what, what is sent, what the get gives after the refresh from the scanner.
  const std::tuple<std::int32_t, std::int32_t, std::int32_t S::*, std::int32_t, Strings, std::int32_t> cases[] = {
      {PAR_SCAN_LENGTH, 2465, &S::scanLength, 2464, {"setwindow"}, 2464}, {PAR_SCAN_LENGTH, -33, &S::scanLength, -32, {"setwindow"}, -32},
      {PAR_SCAN_LENGTH, 31, &S::scanLength, 0, {"setwindow"}, 0}, {PAR_RESOLUTION, 600, &S::yResolution, 600, {"setwindow"}, 600},
      {PAR_Y_RESOLUTION, 200, &S::xResolution, 200, {"setwindow"}, 200},
      {PAR_TEXT_MODE, 2, &S::textMode, 1, {}, 0},  // the record only; the get reads the scanner's 0
      {PAR_ADDON, 1, &S::addonOn, 1, {"definescanmode 34"}, 0},  // the scanner's page 0x32 still says off
      {PAR_POLARITY, 2, &S::polarity, 2, {}, 0}};
  for (const auto& [id, value, field, stored, sent, got] : cases) {
    SimContext sim;
    ASSERT_EQ(Set(sim, id, value), Result::Ok);
    EXPECT_EQ(std::tuple(sim.context.settings.*field, Commands(sim.bus)), std::tuple(stored, sent)) << id;
    sim.bus.ClearRecords();
    EXPECT_EQ(Get(sim, id), got) << id;
    EXPECT_EQ(Commands(sim.bus), kRefresh) << id;
  }
}

TEST_F(Parameters, ContinuousFeedReadsThePageFirst) {
  // The scanner's page 0x32 carries auto size and batch mode 3; the push keeps them.
  sim::test::DefinePage(sim.bus, sim::test::ScanModePage(0x60, 3));
  ASSERT_EQ(Set(sim, PAR_CONTINUOUS, 0), Result::Ok);
  EXPECT_EQ(Sent()[4 + 6] << 8 | Sent()[4 + 13], 0x2003);
  ASSERT_EQ(Set(sim, PAR_CONTINUOUS, 7), Result::Ok);
  EXPECT_EQ(Get(sim, PAR_CONTINUOUS), 1);
}

TEST_F(Parameters, AddonFieldsEditTheMirrorAndSendTheWholePage) {
  struct Case { std::int32_t id, value; std::size_t pageByte; std::uint8_t before, after; };
  const Case cases[] = {
      {PAR_ADDON_TIMING, 1, 70, 0, 1},        {PAR_ADDON_COUNTER_ON, 0, 71, 0xFF, 0x3F},
      {PAR_ADDON_COUNTER_ON, 1, 71, 0, 0x40}, {PAR_ADDON_COLOR, 2, 71, 0xFF, 0xEF},
      {PAR_ADDON_STYLE, 3, 71, 0xFF, 0xF3},   {PAR_ADDON_FLAG, 9, 72, 0, 1},
      {PAR_COUNTUP_AMOUNT, 255, 74, 0, 255},  {PAR_RESET_VALUE, 200, 76, 0, 200},
      {PAR_COUNTUP_TIMING, 5, 73, 0, 1},      {PAR_COUNTUP_TIMING, 3, 73, 0, 4},
      {PAR_RESET_TIMING, 5, 75, 0, 1},        {PAR_RESET_TIMING, 3, 75, 0, 4},
      {PAR_ADDON_X, 500, 66, 0, 0x01},        {PAR_ADDON_X, 500, 67, 0, 0xF4},  // big-endian
      {PAR_ADDON_Y, 300, 68, 0xFF, 0x01},     {PAR_ADDON_Y, 300, 69, 0, 0x2C},
  };
  for (const Case& c : cases) {
    Addon(c.pageByte) = c.before;
    Addon(79) = 0x79;  // kept from the last read
    ASSERT_EQ(Set(sim, c.id, c.value), Result::Ok);
    EXPECT_EQ(Sent(), std::vector<std::uint8_t>(context.addonPage.begin(), context.addonPage.end()));
    EXPECT_EQ(Sent()[4 + c.pageByte] << 8 | Sent()[4 + 79], c.after << 8 | 0x79) << c.id;
  }
  // A timing code the table does not know: 5 from the get, the cell untouched.
  for (auto [id, at] : {std::pair{PAR_COUNTUP_TIMING, 73u}, std::pair{PAR_RESET_TIMING, 75u}}) {
    Addon(at) = 6;
    ASSERT_EQ(PushAddonPage(context.Link()), Result::Ok);
    EXPECT_EQ(Get(sim, id, Result::InvalidValue), -12345);
  }
  // The text: the field only, padded with zeros.
  context.addonPage.fill(0xAB);
  ASSERT_EQ(SetPointer(sim, PAR_ADDON_TEXT, "HELLO"), Result::Ok);
  EXPECT_EQ(std::string(Sent().begin() + 6, Sent().begin() + 71), std::string("HELLO") + std::string(59, '\0') + "\xAB");
}

TEST_F(Parameters, PointersOfNameBlockAndGamma) {
  const char name[] = "Invoice 7";  // the host's pointer is kept; a null one is no name, refused for the blocks
  ASSERT_EQ(SetPointer(sim, PAR_DOC_NAME, name), Result::Ok);
  std::uintptr_t cell = 0;
  ASSERT_EQ(ParGet(context, PAR_DOC_NAME, &cell), Result::Ok);
  EXPECT_EQ(cell, reinterpret_cast<std::uintptr_t>(name));
  ASSERT_EQ(SetPointer(sim, PAR_DOC_NAME, nullptr), Result::Ok);
  EXPECT_EQ(s.docName, nullptr);
  const auto before = Snapshot(context);  // refused, nothing changed or sent
  sim.bus.ClearRecords();
  for (std::int32_t id : {PAR_DEVICE_PAGE_37, PAR_GAMMA, PAR_ADDON_TEXT}) EXPECT_EQ(SetPointer(sim, id, nullptr), Result::InvalidValue) << id;
  EXPECT_TRUE(sim.bus.Records().empty());
  EXPECT_EQ(Snapshot(context), before);
  std::array<std::uint8_t, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 3);
  ASSERT_EQ(SetPointer(sim, PAR_GAMMA, table.data()), Result::Ok);
  EXPECT_EQ(sim.scanner.Gamma(1), table);
  // The scanner refuses the table (illegal request, invalid field in CDB): 3.
  sim.scanner.AddFault(SenseFault(0x28, 3, 1, sim::kSenseInvalidCdbField));
  cell = reinterpret_cast<std::uintptr_t>(table.data());
  EXPECT_EQ(ParGet(context, PAR_GAMMA, &cell), Result::UnknownParameter);
}

// Even a get of an unknown ID refreshes the record from the scanner; the get-only values are the record's.
TEST_F(Parameters, GetOnlyParameters) {
  sim::test::SetWindowRaw(sim.bus, sim::test::WindowData(600, 0, 0, 1200, 1200, 0, 1));
  sim.bus.ClearRecords();
  Get(sim, 131, Result::UnknownParameter);
  EXPECT_EQ(std::pair(Commands(sim.bus), s.xResolution), std::pair(kRefresh, 600));
  s.separatorModeB = 6, s.pageLength = 3300, s.pageWidth = 2550;
  context.state.page.separatorDetected = 1, context.state.page.counter3 = 0xFFFFFFFF;
  for (bool batchCapable : {true, false}) {
    context.state.scanner.scannerCaps.batchCapable = batchCapable;
    const std::vector<std::int32_t> got{Get(sim, PAR_SEPARATOR_B), Get(sim, PAR_SEPARATOR_DETECTED), Get(sim, PAR_COUNTER_3),
                                        Get(sim, PAR_PAGE_LENGTH), Get(sim, PAR_PAGE_WIDTH), Get(sim, PAR_BATCH_CAPABLE)};
    EXPECT_EQ(got, (std::vector<std::int32_t>{6, 1, -1, 3300, 2550, batchCapable}));
  }
}

TEST_F(Parameters, TheStoredValueStaysWhenItsPushFails) {
  sim.scanner.AddFault(BusyFault(0x24, -1, 1));
  sim.scanner.AddFault(SenseFault(0xD6, -1, 1, sim::kSenseNotReady));
  EXPECT_EQ(Set(sim, PAR_BRIGHTNESS, 99), Result::ScannerFailure);
  EXPECT_EQ(s.brightness, 99);
  EXPECT_EQ(sim.ScanLog(), CheckScsiEntry(8, 1077));
  EXPECT_EQ(Set(sim, PAR_BATCH_MODE, 2), Result::NotReady);
  EXPECT_EQ(s.batchMode, 2);
  // The next push of the same kind sends it.
  ASSERT_EQ(Set(sim, PAR_CONTRAST, 1), Result::Ok);
  EXPECT_EQ(sim.scanner.Window()[30], 99);
  ASSERT_EQ(Set(sim, PAR_KEY_START, 0), Result::Ok);
  EXPECT_EQ(sim.scanner.ScanModeData(0x32)[4 + 13], 2);
}

TEST(ParametersWithoutScanner, ConstantsAnswerAndTheFailedRefreshIsLogged) {
  SimBus empty;  // nobody at target 0
  std::int32_t width = 0, length = 0;
  EXPECT_EQ(ParGet(empty.context, PAR_MAX_WIDTH, &width), Result::Ok);
  EXPECT_EQ(ParGet(empty.context, PAR_SCAN_LENGTH, &length), Result::Ok);
  EXPECT_EQ(std::pair(width, length), std::pair(3488, 2464));  // the cached default length
  // The refresh stops at its first read: SS_NO_DEVICE (0x82) * 256.
  EXPECT_EQ(empty.ScanLog(), CheckScsiEntry(0x8200, 873) + CheckScsiEntry(0x8200, 873));
}

}  // namespace
}  // namespace tarvo
