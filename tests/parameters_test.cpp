// TsdParSet / TsdParGet against the in-process simulator, beyond what the
// descriptor table says: how values are normalised and where they are stored,
// what is sent, what a get writes after its refresh from the scanner, and the
// parameters that carry pointers, the addon mirror and function keys.
#include "scan/Parameters.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "scan/ModeOperations.h"
#include "scan/ModePages.h"
#include "sim_ops_support.h"
#include "tarvoscn.h"

namespace tarvo {
namespace {

using test::Commands;
using Strings = std::vector<std::string>;
using S = ScanSettings;

const Strings kRefresh = {"getscanmode 32", "getscanmode 36", "read 84", "getwindow",
                          "getscanmode 34"};

class ParameterTest : public ::testing::Test {
 protected:
  Result Set(std::int32_t id, std::int32_t value) { return ParSet(context, id, &value); }
  Result SetPointer(std::int32_t id, const void* data) {
    const auto cell = reinterpret_cast<std::uintptr_t>(data);
    return ParSet(context, id, &cell);
  }
  std::int32_t Get(std::int32_t id, Result expected = Result::Ok) {
    std::int32_t value = -12345;
    EXPECT_EQ(ParGet(context, id, &value), expected) << "get " << id;
    return value;
  }
  Result GetPointer(std::int32_t id, void* data) {
    auto cell = reinterpret_cast<std::uintptr_t>(data);
    return ParGet(context, id, &cell);
  }
  std::uint8_t& Addon(std::size_t pageByte) { return context.addonPage[4 + pageByte]; }

  test::SimContext sim;
  DriverContext& context = sim.context;
  ScanSettings& s = sim.context.settings;
};

TEST_F(ParameterTest, BitsPerPixelFollowTheImageType) {
  ASSERT_EQ(Set(PAR_BITS_PER_PIXEL, 1), Result::Ok);
  EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, 8), Result::InvalidValue);  // line art
  ASSERT_EQ(Set(PAR_IMAGE_TYPE, 4), Result::Ok);
  EXPECT_EQ(s.bitsPerPixel, 2);  // one bit becomes two
  EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, 1), Result::InvalidValue);
  EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, 3), Result::InvalidValue);
  sim.bus.ClearRecords();
  EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, 8), Result::Ok);
  EXPECT_EQ(Commands(sim.bus), Strings{"setwindow"});
  EXPECT_EQ(sim.scanner.Window()[34], 8);
  EXPECT_EQ(sim.scanner.Window()[33], 2);
  EXPECT_EQ(Get(PAR_BITS_PER_PIXEL), 8);

  // Gray keeps its depth; the line-art types go back to one bit.
  for (auto [type, bits, text] : {std::array{4, 8, 0}, {9, 1, 1}, {4, 2, 0}, {10, 1, 0}}) {
    ASSERT_EQ(Set(PAR_IMAGE_TYPE, type), Result::Ok);
    EXPECT_EQ(s.bitsPerPixel, bits) << type;
    EXPECT_EQ(s.textMode, text) << type;
  }
  EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, 1), Result::Ok);
  s.imageType = 5;  // written into the record directly: no depth is accepted
  for (std::int32_t bits : {1, 2, 4, 8})
    EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, bits), Result::InvalidValue);
}

// The values a set normalises or stores elsewhere than its name says; the
// rest, and flags taken as 0 or 1, are checked against the descriptor table.
TEST_F(ParameterTest, SetStoresThenSendsAndGetWritesTheRefreshedValue) {
  const std::string kWindow = "setwindow";
  struct Case {
    std::int32_t id, value;
    std::int32_t S::*field;
    std::int32_t stored;
    Strings sent;
    std::int32_t got;  // after the refresh from the scanner
  };
  const Case cases[] = {
      {PAR_SCAN_LENGTH, 2465, &S::scanLength, 2464, {kWindow}, 2464},
      {PAR_SCAN_LENGTH, -33, &S::scanLength, -32, {kWindow}, -32},
      {PAR_SCAN_LENGTH, 31, &S::scanLength, 0, {kWindow}, 0},
      {PAR_RESOLUTION, 600, &S::yResolution, 600, {kWindow}, 600},
      {PAR_Y_RESOLUTION, 200, &S::xResolution, 200, {kWindow}, 200},
      // Kept in the record only; the image page read of the get brings the
      // scanner's 0.
      {PAR_TEXT_MODE, 2, &S::textMode, 1, {}, 0},
      // Sends the addon page; the scanner's page 0x32 still says off.
      {PAR_ADDON, 1, &S::addonOn, 1, {"definescanmode 34"}, 0},
      {PAR_POLARITY, 2, &S::polarity, 2, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    test::SimContext fresh;
    std::int32_t value = c.value;
    ASSERT_EQ(ParSet(fresh.context, c.id, &value), Result::Ok);
    EXPECT_EQ(fresh.context.settings.*c.field, c.stored);
    EXPECT_EQ(Commands(fresh.bus), c.sent);
    fresh.bus.ClearRecords();
    EXPECT_EQ(ParGet(fresh.context, c.id, &value), Result::Ok);
    EXPECT_EQ(Commands(fresh.bus), kRefresh);
    EXPECT_EQ(value, c.got);
  }
}

TEST_F(ParameterTest, ContinuousFeedReadsThePageFirst) {
  // The scanner's page 0x32 carries auto size and batch mode 3; the push keeps them.
  std::vector<std::uint8_t> page = sim::test::ScanModePage(0x60);
  page[4 + 13] = 3;
  sim::test::DefinePage(sim.bus, page);
  ASSERT_EQ(Set(PAR_CONTINUOUS, 0), Result::Ok);
  const std::vector<std::uint8_t> sent = sim.bus.Records().back().dataOut;
  EXPECT_EQ(sent[4 + 6], 0x20);
  EXPECT_EQ(sent[4 + 13], 3);
  ASSERT_EQ(Set(PAR_CONTINUOUS, 7), Result::Ok);
  EXPECT_EQ(Get(PAR_CONTINUOUS), 1);
}

TEST_F(ParameterTest, AddonFieldsEditTheMirrorAndSendTheWholePage) {
  struct Case {
    std::int32_t id, value;
    std::size_t pageByte;
    std::uint8_t before, after;
  };
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
    ASSERT_EQ(Set(c.id, c.value), Result::Ok);
    const std::vector<std::uint8_t>& out = sim.bus.Records().back().dataOut;
    EXPECT_EQ(out, std::vector<std::uint8_t>(context.addonPage.begin(), context.addonPage.end()));
    EXPECT_EQ(out[4 + c.pageByte], c.after) << c.id;
    EXPECT_EQ(out[4 + 79], 0x79);
  }

  // A timing code the table does not know: 5 from the get, the cell untouched.
  for (auto [id, at] : {std::pair{PAR_COUNTUP_TIMING, 73u}, std::pair{PAR_RESET_TIMING, 75u}}) {
    Addon(at) = 6;
    ASSERT_EQ(PushAddonPage(context), Result::Ok);
    EXPECT_EQ(Get(id, Result::InvalidValue), -12345);
  }
}

TEST_F(ParameterTest, AddonText) {
  context.addonPage.fill(0xAB);
  ASSERT_EQ(SetPointer(PAR_ADDON_TEXT, "HELLO"), Result::Ok);
  const std::vector<std::uint8_t> out = sim.bus.Records().back().dataOut;
  EXPECT_EQ(std::string(out.begin() + 6, out.begin() + 70), std::string("HELLO") + std::string(59, '\0'));
  EXPECT_EQ(out[70], 0xAB);  // the field only

  // No text: refused, nothing changed or sent.
  const auto before = test::Snapshot(context);
  sim.bus.ClearRecords();
  EXPECT_EQ(SetPointer(PAR_ADDON_TEXT, nullptr), Result::InvalidValue);
  EXPECT_TRUE(sim.bus.Records().empty());
  EXPECT_EQ(test::Snapshot(context), before);
}

TEST_F(ParameterTest, PointersOfNameBlockAndGamma) {
  const char name[] = "Invoice 7";  // the host's pointer is kept
  ASSERT_EQ(SetPointer(PAR_DOC_NAME, name), Result::Ok);
  std::uintptr_t cell = 0;
  ASSERT_EQ(ParGet(context, PAR_DOC_NAME, &cell), Result::Ok);
  EXPECT_EQ(cell, reinterpret_cast<std::uintptr_t>(name));
  ASSERT_EQ(SetPointer(PAR_DOC_NAME, nullptr), Result::Ok);  // no name
  EXPECT_EQ(s.docName, nullptr);

  EXPECT_EQ(SetPointer(PAR_DEVICE_PAGE_37, nullptr), Result::InvalidValue);

  std::array<std::uint8_t, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 3);
  ASSERT_EQ(SetPointer(PAR_GAMMA, table.data()), Result::Ok);
  EXPECT_EQ(sim.scanner.Gamma(1), table);
  EXPECT_EQ(SetPointer(PAR_GAMMA, nullptr), Result::InvalidValue);
  // The scanner refuses the table (illegal request, invalid field in CDB): 3.
  sim.scanner.AddFault(test::SenseFault(0x28, 3, 1, sim::kSenseInvalidCdbField));
  EXPECT_EQ(GetPointer(PAR_GAMMA, table.data()), Result::UnknownParameter);
}

// Every code, the keys in turn.
TEST_F(ParameterTest, FunctionKeysThroughTheScanner) {
  for (std::int32_t code = 0x20, id = PAR_FKEY_1; code <= 0x800000; code <<= 1) {
    id = id == PAR_FKEY_10 ? PAR_FKEY_1 : id + 1;
    sim.bus.ClearRecords();
    ASSERT_EQ(Set(id, code), Result::Ok);
    EXPECT_EQ(sim.bus.Records().back().dataOut[0], id - 109);
    EXPECT_EQ(Get(id), code);
    Strings expected = {"definekey"};
    expected.insert(expected.end(), kRefresh.begin(), kRefresh.end());
    expected.push_back("getkey " + std::to_string(id - 109));
    EXPECT_EQ(Commands(sim.bus), expected);
  }
}

// Even a get of an unknown ID refreshes the record from the scanner.
TEST_F(ParameterTest, GetOnlyParameters) {
  sim::test::SetWindowRaw(sim.bus, sim::test::WindowData(600, 0, 0, 1200, 1200, 0, 1));
  sim.bus.ClearRecords();
  Get(131, Result::UnknownParameter);
  EXPECT_EQ(Commands(sim.bus), kRefresh);
  EXPECT_EQ(s.xResolution, 600);
  s.separatorModeB = 6, s.pageLength = 3300, s.pageWidth = 2550;
  DriverState& st = context.state;
  st.page.separatorDetected = 1, st.page.counter1 = 1000, st.page.counter2 = 2, st.page.counter3 = 0xFFFFFFFF;
  const std::int32_t ids[] = {PAR_SEPARATOR_B, PAR_SEPARATOR_DETECTED, PAR_MAX_WIDTH, PAR_MAX_LENGTH,
                              PAR_BASE_RESOLUTION, PAR_COUNTER_1, PAR_COUNTER_2, PAR_COUNTER_3,
                              PAR_PAGE_LENGTH, PAR_PAGE_WIDTH, PAR_BATCH_CAPABLE};
  for (bool batchCapable : {true, false}) {
    st.scanner.scannerCaps.batchCapable = batchCapable;
    std::vector<std::int32_t> got;
    for (std::int32_t id : ids) got.push_back(Get(id));
    EXPECT_EQ(got, (std::vector<std::int32_t>{6, 1, 3488, 5136, 300, 1000, 2, -1, 3300, 2550,
                                              batchCapable ? 1 : 0}));
  }
}

TEST_F(ParameterTest, TheStoredValueStaysWhenItsPushFails) {
  sim.scanner.AddFault(test::BusyFault(0x24, -1, 1));
  sim.scanner.AddFault(test::SenseFault(0xD6, -1, 1, sim::kSenseNotReady));
  EXPECT_EQ(Set(PAR_BRIGHTNESS, 99), Result::ScannerFailure);
  EXPECT_EQ(s.brightness, 99);
  EXPECT_EQ(sim.ScanLog(), test::CheckScsiEntry(8, 1077));
  EXPECT_EQ(Set(PAR_BATCH_MODE, 2), Result::NotReady);
  EXPECT_EQ(s.batchMode, 2);
  // The next push of the same kind sends it.
  ASSERT_EQ(Set(PAR_CONTRAST, 1), Result::Ok);
  EXPECT_EQ(sim.scanner.Window()[30], 99);
  ASSERT_EQ(Set(PAR_KEY_START, 0), Result::Ok);
  EXPECT_EQ(sim.scanner.ScanModeData(0x32)[4 + 13], 2);
}

TEST(ParametersWithoutScanner, ConstantsAnswerAndTheFailedRefreshIsLogged) {
  test::OpsPlatform platform;
  DriverContext context{platform};
  sim::Bus empty;  // nobody at target 0
  SetProvider(context.transport, &empty);
  std::int32_t value = 0;
  EXPECT_EQ(ParGet(context, PAR_MAX_WIDTH, &value), Result::Ok);
  EXPECT_EQ(value, 3488);
  EXPECT_EQ(ParGet(context, PAR_SCAN_LENGTH, &value), Result::Ok);
  EXPECT_EQ(value, 2464);  // the cached default
  // The refresh stops at its first read: SS_NO_DEVICE (0x82) * 256.
  EXPECT_EQ(platform.Log("scan.log"),
            test::CheckScsiEntry(0x8200, 873) + test::CheckScsiEntry(0x8200, 873));
}

}  // namespace
}  // namespace tarvo
