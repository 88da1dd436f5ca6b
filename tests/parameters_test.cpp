// Every parameter ID 1..130 of TsdParSet / TsdParGet against the in-process
// simulator: not-a-parameter IDs, accepted and refused values, what is stored,
// what is sent to the scanner right after, and what a get writes after its
// refresh from the scanner.
#include "scan/Parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "scan/ModeOperations.h"
#include "scan/ModePages.h"
#include "sim_ops_support.h"
#include "tarvoscn.h"

namespace tarvo {
namespace {

using test::BusyFault;
using test::Commands;
using test::SenseFault;
using Strings = std::vector<std::string>;
using S = ScanSettings;

// Every number of the record, its name pointer and the addon mirror, to show
// that nothing changed.
std::vector<std::int64_t> Snapshot(const DriverContext& c) {
  const std::vector<std::int32_t> fields = test::Fields(c.settings);
  std::vector<std::int64_t> out(fields.begin(), fields.end());
  out.push_back(static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(c.settings.docName)));
  out.insert(out.end(), c.addonPage.begin(), c.addonPage.end());
  return out;
}

// Parameters that can only be read.
const std::set<std::int32_t> kGetOnly = {
    PAR_SEPARATOR_B, PAR_SEPARATOR_DETECTED, PAR_MAX_WIDTH,   PAR_MAX_LENGTH,
    PAR_BASE_RESOLUTION, PAR_COUNTER_1,      PAR_COUNTER_2,   PAR_COUNTER_3,
    PAR_PAGE_LENGTH,  PAR_PAGE_WIDTH,        PAR_BATCH_CAPABLE};

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
  std::uint8_t& Addon(std::size_t pageByte) { return context.addonPage[4 + pageByte]; }

  test::SimContext sim;
  DriverContext& context = sim.context;
  ScanSettings& s = sim.context.settings;
};

const Strings kRefresh = {"getscanmode 32", "getscanmode 36", "read 84", "getwindow",
                          "getscanmode 34"};

TEST_F(ParameterTest, NotAParameterAnswers3BothWaysAndAGetStillRefreshes) {
  std::vector<std::int32_t> ids(kGetOnly.begin(), kGetOnly.end());  // set direction only
  for (std::int32_t id = 0; id <= 131; ++id) {
    if (FindParameter(id) == nullptr) ids.push_back(id);
  }
  for (std::int32_t id : {-1, 0x7FFFFFFF, -0x7FFFFFFF - 1}) ids.push_back(id);
  EXPECT_GT(ids.size(), 60u);
  for (std::int32_t id : ids) {
    SCOPED_TRACE(id);
    const auto before = Snapshot(context);
    sim.bus.ClearRecords();
    EXPECT_EQ(Set(id, 1), Result::UnknownParameter);
    EXPECT_TRUE(sim.bus.Records().empty());
    EXPECT_EQ(Snapshot(context), before);
  }
  // The get refreshes from the scanner first: 600 dpi in its window reaches
  // the record.
  sim::test::SetWindowRaw(sim.bus, sim::test::WindowData(600, 0, 0, 1200, 1200, 0, 1));
  s.xResolution = 300;
  sim.bus.ClearRecords();
  Get(131, Result::UnknownParameter);
  EXPECT_EQ(Commands(sim.bus), kRefresh);
  EXPECT_EQ(s.xResolution, 600);
  // The last parameter is known; page 0x37 cannot be read.
  EXPECT_NE(FindParameter(PAR_BACKGROUND_ERASE), nullptr);
  std::int32_t pair[2] = {1, 2};
  auto cell = reinterpret_cast<std::uintptr_t>(pair);
  EXPECT_EQ(ParGet(context, PAR_DEVICE_PAGE_37, &cell), Result::UnknownParameter);
  EXPECT_EQ(pair[0], 1);
}

// ---- refused values
// ------------------------------------------------------------------------

TEST_F(ParameterTest, RefusedValuesAnswer5AndChangeNothing) {
  struct Case {
    std::int32_t id;
    std::vector<std::int32_t> values;
  };
  const Case cases[] = {
      {PAR_BRIGHTNESS, {-1, 256}},          {PAR_RESOLUTION, {0, 250, 1200}},
      {PAR_COMPRESSION, {1, 6}},            {PAR_BITS_PER_PIXEL, {2, 8}},  // line art: 1 only
      {PAR_IMAGE_TYPE, {0, 5, 11}},         {PAR_MARGIN_AMOUNT, {-11, 11}},
      {PAR_COUNTUP_TIMING, {1, 8}},         {PAR_FKEY_1, {0, 0x10, 0x30, 0x1000000}},
  };
  for (const Case& c : cases) {
    for (std::int32_t value : c.values) {
      SCOPED_TRACE(testing::Message() << "ID " << c.id << " value " << value);
      context.addonPage[50] = 0x77;
      const auto before = Snapshot(context);
      sim.bus.ClearRecords();
      EXPECT_EQ(Set(c.id, value), Result::InvalidValue);
      EXPECT_TRUE(sim.bus.Records().empty());
      EXPECT_EQ(Snapshot(context), before);
    }
  }
}

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
  ASSERT_EQ(Set(PAR_IMAGE_TYPE, 4), Result::Ok);
  EXPECT_EQ(s.bitsPerPixel, 8);
  ASSERT_EQ(Set(PAR_IMAGE_TYPE, 9), Result::Ok);
  EXPECT_EQ(s.bitsPerPixel, 1);
  EXPECT_EQ(s.textMode, 1);
  ASSERT_EQ(Set(PAR_IMAGE_TYPE, 4), Result::Ok);
  EXPECT_EQ(s.bitsPerPixel, 2);
  EXPECT_EQ(s.textMode, 0);
  ASSERT_EQ(Set(PAR_IMAGE_TYPE, 10), Result::Ok);
  EXPECT_EQ(s.bitsPerPixel, 1);
  EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, 1), Result::Ok);

  s.imageType = 5;  // written into the record directly: no depth is accepted
  for (std::int32_t bits : {1, 2, 4, 8})
    EXPECT_EQ(Set(PAR_BITS_PER_PIXEL, bits), Result::InvalidValue);
}

// ---- what is stored, what is sent, what a get writes
// ------------------------------------------

TEST_F(ParameterTest, SetStoresThenSendsAndGetWritesTheRefreshedValue) {
  const std::string kWindow = "setwindow", kPage32 = "definescanmode 32",
                    kPage36 = "definescanmode 36", kAddon = "definescanmode 34";
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
      {PAR_SCAN_WIDTH, 1001, &S::scanWidth, 1001, {kWindow}, 1001},
      {PAR_SEPARATOR_LATCH, 0, &S::separatorLatch, 0, {}, 0},
      {PAR_BRIGHTNESS, 255, &S::brightness, 255, {kWindow}, 255},
      {PAR_RESOLUTION, 600, &S::yResolution, 600, {kWindow}, 600},
      {PAR_Y_RESOLUTION, 200, &S::xResolution, 200, {kWindow}, 200},
      {PAR_COMPRESSION, 5, &S::compression, 5, {kWindow}, 5},
      {PAR_JOB_SEPARATOR, 5, &S::separatorModeA, 5, {}, 5},
      {PAR_AUTO_SIZE, -3, &S::autoSize, 1, {kPage32}, 1},
      {PAR_KEY_START, 1, &S::keyStart, 1, {kPage32}, 1},
      {PAR_USER_16, -9, &S::user16, -9, {}, -9},
      {PAR_CONTINUOUS, 0, &S::continuousFeed, 0, {"getscanmode 32", kPage32}, 0},
      {PAR_USER_18, 123456, &S::user18, 123456, {}, 123456},
      {PAR_FILE_TYPE, 8, &S::fileType, 8, {}, 8},
      {PAR_BITS_PER_PIXEL, 1, &S::bitsPerPixel, 1, {kWindow}, 1},
      {PAR_CONTRAST, 200, &S::contrast, 200, {kWindow}, 200},
      {PAR_IMAGE_TYPE, 10, &S::imageType, 10, {kWindow}, 10},
      {PAR_MARGIN_SCAN, 3, &S::marginScan, 1, {kPage32}, 1},
      {PAR_MARGIN_AMOUNT, -10, &S::marginAmount, -10, {kPage32}, -10},
      {PAR_FRAME_AREA, 3, &S::frameArea, 3, {kWindow}, 3},
      {PAR_TOP_OFFSET, -5, &S::topOffset, -5, {kWindow}, -5},
      {PAR_SIDE_OFFSET, 40, &S::sideOffset, 40, {kWindow}, 40},
      // Kept in the record only; the image page read of the get brings the
      // scanner's 0.
      {PAR_TEXT_MODE, 2, &S::textMode, 1, {}, 0},
      {PAR_EDGE_EMPHASIS, 5, &S::edgeEmphasis, 5, {kPage36}, 5},
      {PAR_NOTCH_ERASE, 9, &S::notchErase, 1, {kPage36}, 1},
      {PAR_THIN_LINE, 1, &S::thinLine, 1, {kPage36}, 1},
      {PAR_AE, 17, &S::aeLevel, 17, {kPage36}, 17},
      {PAR_USER_GRC, 4, &S::userGrc, 1, {kWindow}, 1},
      // Sends the addon page; the scanner's page 0x32 still says off.
      {PAR_ADDON, 1, &S::addonOn, 1, {kAddon}, 0},
      {PAR_POLARITY, 2, &S::polarity, 2, {}, 0},
      {PAR_INVERT, 5, &S::invertData, 1, {}, 1},
      {PAR_JPEG_QUALITY, 100, &S::jpegQuality, 100, {}, 100},
      {PAR_GRC_MODE, 2, &S::grcMode, 2, {kPage36}, 2},
      {PAR_BATCH_MODE, 3, &S::batchMode, 3, {kPage32}, 3},
      {PAR_ROTATE, -1, &S::rotate, 1, {}, 1},
      {PAR_SEPARATOR_SENSE, 2, &S::separatorSense, 2, {}, 2},
      {PAR_BACKGROUND_ERASE, 3, &S::backgroundErase, 1, {kPage36}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ID " << c.id << " value " << c.value);
    test::SimContext fresh;
    DriverContext& ctx = fresh.context;
    std::int32_t value = c.value;
    ASSERT_EQ(ParSet(ctx, c.id, &value), Result::Ok);
    EXPECT_EQ(ctx.settings.*c.field, c.stored);
    EXPECT_EQ(Commands(fresh.bus), c.sent);
    fresh.bus.ClearRecords();
    std::int32_t got = -12345;
    EXPECT_EQ(ParGet(ctx, c.id, &got), Result::Ok);
    EXPECT_EQ(Commands(fresh.bus), kRefresh);
    EXPECT_EQ(got, c.got);
  }
}

TEST_F(ParameterTest, ContinuousFeedReadsThePageFirst) {
  // The scanner's page 0x32 carries auto size and batch mode 3; the push keeps
  // them.
  std::vector<std::uint8_t> page = sim::test::ScanModePage(0x60);
  page[4 + 13] = 3;
  sim::test::DefinePage(sim.bus, page);
  sim.bus.ClearRecords();
  ASSERT_EQ(Set(PAR_CONTINUOUS, 0), Result::Ok);
  EXPECT_EQ(Commands(sim.bus), (Strings{"getscanmode 32", "definescanmode 32"}));
  const std::vector<std::uint8_t> sent = sim.bus.Records().back().dataOut;
  EXPECT_EQ(sent[4 + 6], 0x20);
  EXPECT_EQ(sent[4 + 13], 3);
  EXPECT_EQ(Get(PAR_CONTINUOUS), 0);
  ASSERT_EQ(Set(PAR_CONTINUOUS, 7), Result::Ok);
  EXPECT_EQ(Get(PAR_CONTINUOUS), 1);
}

TEST_F(ParameterTest, AddonFieldsEditTheMirrorAndSendTheWholePage) {
  struct Case {
    std::int32_t id, value;
    std::size_t pageByte;
    std::uint8_t before, after;
    std::int32_t got;
  };
  const Case cases[] = {
      {PAR_ADDON_TIMING, 1, 70, 0, 1, 1},
      {PAR_ADDON_COUNTER_ON, 0, 71, 0xFF, 0x3F, 0},  // clears bits 6 and 7
      {PAR_ADDON_COUNTER_ON, 1, 71, 0x00, 0x40, 1},
      {PAR_ADDON_COLOR, 2, 71, 0xFF, 0xEF, 2},
      {PAR_ADDON_STYLE, 3, 71, 0xFF, 0xF3, 3},
      {PAR_ADDON_FLAG, 9, 72, 0, 1, 1},
      {PAR_COUNTUP_AMOUNT, 255, 74, 0, 255, 255},
      {PAR_RESET_VALUE, 200, 76, 0, 200, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ID " << c.id << " value " << c.value);
    Addon(c.pageByte) = c.before;
    Addon(79) = 0x79;  // kept from the last read
    sim.bus.ClearRecords();
    ASSERT_EQ(Set(c.id, c.value), Result::Ok);
    EXPECT_EQ(Commands(sim.bus), Strings{"definescanmode 34"});
    const std::vector<std::uint8_t>& out = sim.bus.Records().back().dataOut;
    EXPECT_EQ(out, std::vector<std::uint8_t>(context.addonPage.begin(), context.addonPage.end()));
    EXPECT_EQ(out[4 + c.pageByte], c.after);
    EXPECT_EQ(out[4 + 79], 0x79);
    EXPECT_EQ(Get(c.id), c.got);
  }

  // Positions are 16-bit big-endian.
  ASSERT_EQ(Set(PAR_ADDON_X, 500), Result::Ok);
  ASSERT_EQ(Set(PAR_ADDON_Y, 300), Result::Ok);
  const std::vector<std::uint8_t> page = sim.scanner.ScanModeData(0x34);
  EXPECT_EQ(GetBe16(page, 4 + 66), 500u);
  EXPECT_EQ(GetBe16(page, 4 + 68), 300u);
  EXPECT_EQ(Get(PAR_ADDON_X), 500);
  EXPECT_EQ(Get(PAR_ADDON_Y), 300);
}

TEST_F(ParameterTest, TimingTablesBothWays) {
  const std::pair<std::int32_t, std::uint8_t> valueToCode[] = {{5, 1}, {3, 4}};
  for (auto [id, pageByte] : {std::pair{PAR_COUNTUP_TIMING, 73}, std::pair{PAR_RESET_TIMING, 75}}) {
    for (auto [value, code] : valueToCode) {
      SCOPED_TRACE(testing::Message() << "ID " << id << " value " << value);
      ASSERT_EQ(Set(id, value), Result::Ok);
      EXPECT_EQ(sim.scanner.ScanModeData(0x34)[4 + static_cast<std::size_t>(pageByte)], code);
      EXPECT_EQ(Get(id), value);
    }
    // A code the table does not know: 5 from the get, the cell untouched.
    std::vector<std::uint8_t> page = sim.scanner.ScanModeData(0x34);
    page[4 + static_cast<std::size_t>(pageByte)] = 6;
    sim::test::DefinePage(sim.bus, page);
    EXPECT_EQ(Get(id, Result::InvalidValue), -12345);
  }
}

TEST_F(ParameterTest, AddonText) {
  const std::string text63(63, 'T');
  context.addonPage.fill(0xAB);
  ASSERT_EQ(SetPointer(PAR_ADDON_TEXT, "HELLO"), Result::Ok);
  std::vector<std::uint8_t> field(64, 0);
  std::memcpy(field.data(), "HELLO", 5);
  const std::vector<std::uint8_t> out = sim.bus.Records().back().dataOut;
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 6, out.begin() + 70), field);
  EXPECT_EQ(out[70], 0xAB);  // the field only

  ASSERT_EQ(SetPointer(PAR_ADDON_TEXT, text63.c_str()), Result::Ok);
  std::array<char, 64> read{};
  read.fill('x');
  auto cell = reinterpret_cast<std::uintptr_t>(read.data());
  ASSERT_EQ(ParGet(context, PAR_ADDON_TEXT, &cell), Result::Ok);
  EXPECT_EQ(std::string(read.data()), text63);

  // Longer than the field holds: refused, nothing changed or sent.
  const std::string text64(64, 'L');
  const auto before = Snapshot(context);
  sim.bus.ClearRecords();
  EXPECT_EQ(SetPointer(PAR_ADDON_TEXT, text64.c_str()), Result::InvalidValue);
  EXPECT_EQ(SetPointer(PAR_ADDON_TEXT, nullptr), Result::InvalidValue);
  EXPECT_TRUE(sim.bus.Records().empty());
  EXPECT_EQ(Snapshot(context), before);
}

TEST_F(ParameterTest, DocumentNameKeepsTheHostsPointer) {
  const char name[] = "Invoice 7";
  ASSERT_EQ(SetPointer(PAR_DOC_NAME, name), Result::Ok);
  EXPECT_EQ(s.docName, name);
  EXPECT_TRUE(sim.bus.Records().empty());
  std::uintptr_t cell = 0;
  ASSERT_EQ(ParGet(context, PAR_DOC_NAME, &cell), Result::Ok);
  EXPECT_EQ(cell, reinterpret_cast<std::uintptr_t>(name));
  ASSERT_EQ(SetPointer(PAR_DOC_NAME, nullptr), Result::Ok);  // no name
  EXPECT_EQ(s.docName, nullptr);
}

TEST_F(ParameterTest, DevicePage37) {
  const std::int32_t pair[2] = {0x1234, 0x1FF};
  ASSERT_EQ(SetPointer(PAR_DEVICE_PAGE_37, pair), Result::Ok);
  EXPECT_EQ(Commands(sim.bus), Strings{"definescanmode 37"});
  const std::vector<std::uint8_t> page = sim.scanner.ScanModeData(0x37);
  EXPECT_EQ(page[4 + 2], 0x34);
  EXPECT_EQ(page[4 + 6], 0xFF);
  EXPECT_EQ(SetPointer(PAR_DEVICE_PAGE_37, nullptr), Result::InvalidValue);
}

TEST_F(ParameterTest, Gamma) {
  std::array<std::uint8_t, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i * 3);
  ASSERT_EQ(SetPointer(PAR_GAMMA, table.data()), Result::Ok);
  EXPECT_EQ(sim.scanner.Gamma(1), table);
  // The scanner refuses the table (illegal request, invalid field in CDB): 3.
  sim.scanner.AddFault(SenseFault(0x2A, 3, 1, sim::kSenseInvalidCdbField));
  sim.scanner.AddFault(SenseFault(0x28, 3, 1, sim::kSenseInvalidCdbField));
  EXPECT_EQ(SetPointer(PAR_GAMMA, table.data()), Result::UnknownParameter);
  std::array<std::uint8_t, 256> read{};
  auto cell = reinterpret_cast<std::uintptr_t>(read.data());
  EXPECT_EQ(ParGet(context, PAR_GAMMA, &cell), Result::UnknownParameter);
  EXPECT_EQ(SetPointer(PAR_GAMMA, nullptr), Result::InvalidValue);
}

TEST_F(ParameterTest, FunctionKeysThroughTheScanner) {
  for (std::int32_t id = PAR_FKEY_1; id <= PAR_FKEY_10; ++id) {
    const std::uint32_t code = 0x40u << (id - PAR_FKEY_1);
    SCOPED_TRACE(id);
    sim.bus.ClearRecords();
    ASSERT_EQ(Set(id, static_cast<std::int32_t>(code)), Result::Ok);
    ASSERT_EQ(Commands(sim.bus), Strings{"definekey"});
    EXPECT_EQ(sim.bus.Records().back().dataOut[0], id - 109);
    sim.bus.ClearRecords();
    EXPECT_EQ(Get(id), static_cast<std::int32_t>(code));
    Strings expected = kRefresh;
    expected.push_back("getkey " + std::to_string(id - 109));
    EXPECT_EQ(Commands(sim.bus), expected);
  }
  EXPECT_EQ(sim.scanner.FunctionKey(10), (std::array<std::uint8_t, 4>{0, 0, 0x10, 0}));
}

TEST_F(ParameterTest, GetOnlyParameters) {
  s.separatorModeB = 6;
  s.pageLength = 3300;
  s.pageWidth = 2550;
  context.state.separatorDetected = 1;
  context.state.counter1 = 1000;
  context.state.counter2 = 2;
  context.state.counter3 = 0xFFFFFFFF;
  for (bool batchCapable : {true, false}) {
    context.state.scannerCaps.batchCapable = batchCapable;
    std::vector<std::int32_t> got;
    for (std::int32_t id : kGetOnly) got.push_back(Get(id));
    // In ID order: separator B, separator detected, maximum width and length,
    // base resolution, the three counters, page length and width, batch.
    EXPECT_EQ(got, (std::vector<std::int32_t>{6, 1, 3488, 5136, 300, 1000, 2, -1, 3300, 2550,
                                              batchCapable ? 1 : 0}));
  }
}

TEST_F(ParameterTest, TheStoredValueStaysWhenItsPushFails) {
  sim.scanner.AddFault(BusyFault(0x24, -1, 1));
  sim.scanner.AddFault(SenseFault(0xD6, -1, 1, sim::kSenseNotReady));
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
  EXPECT_EQ(ParGet(context, 4, &value), Result::UnknownParameter);
}

}  // namespace
}  // namespace tarvo
