// The record's data blocks: window, pages 0x32, 0x36, 0x37, the addon page
// and the function-key block, byte for byte and back.
#include <gtest/gtest.h>

#include <vector>

#include "scan/ModePages.h"

namespace tarvo {
namespace {

std::int32_t Be32(const WindowData& d, std::size_t at) {
  return static_cast<std::int32_t>(GetBe32(d, at));
}

TEST(WindowData, DefaultWindowAt300Dpi) {
  ScanSettings s;
  WindowData d = BuildWindowData(s);
  const std::vector<std::uint8_t> expected = {
      0, 0, 0, 0, 0, 0, 0x00, 0x2C,  // header, descriptor length 44
      0, 0, 0x01, 0x2C, 0x01, 0x2C,  // window 0, 300 x 300 dpi
      0xFF, 0xFF, 0xFF, 0xB4,        // upper left X -76
      0, 0, 0, 0,                    // upper left Y 0
      0x00, 0x00, 0x36, 0xCC,        // width 14028
      0x00, 0x00, 0x26, 0x80,        // length 9856
      0, 0, 0,                       // brightness, threshold, contrast
      0, 1,                          // line art, 1 bit
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // bytes 35..51
  };
  ASSERT_EQ(expected.size(), d.size());
  EXPECT_EQ(std::vector<std::uint8_t>(d.begin(), d.end()), expected);
}

TEST(WindowData, GeometryArithmetic) {
  struct Case {
    std::int32_t resolution, width, length, top, side;
    std::int32_t ulx, uly, w, l;
  };
  const Case cases[] = {
      {600, 6976, 10272, 0, 0, 0, 0, 13952, 20544},
      {300, 2552, 3304, 17, 0, (3488 - 2552) * 4, 68, 10208, 13216},
      {200, 1704, 2200, 11, 10, (2325 - 10 - 1704) * 1200 / 200, 66, 10224, 13200},
      {200, 1, 1, 1, 0, (2325 - 1) * 6, 6, 6, 6},
      {300, 3507, 2464, -5, 40, (3488 - 40 - 3507) * 4, -20, 14028, 9856},
  };
  for (const Case& c : cases) {
    ScanSettings s;
    s.xResolution = s.yResolution = c.resolution;
    s.scanWidth = c.width;
    s.scanLength = c.length;
    s.topOffset = c.top;
    s.sideOffset = c.side;
    WindowData d = BuildWindowData(s);
    EXPECT_EQ(Be32(d, wire::kWinUpperLeftX), c.ulx) << c.resolution << "/" << c.width;
    EXPECT_EQ(Be32(d, wire::kWinUpperLeftY), c.uly);
    EXPECT_EQ(Be32(d, wire::kWinWidth), c.w);
    EXPECT_EQ(Be32(d, wire::kWinLength), c.l);
  }
}

TEST(WindowData, CompositionBrightnessAndVendorByte) {
  struct Case {
    std::int32_t imageType, bits;
    std::uint8_t composition, wireBits;
  };
  for (Case c : {Case{1, 0, 0, 1}, Case{9, 0, 0, 1}, Case{10, 8, 1, 1}, Case{4, 4, 2, 4},
                 Case{4, 8, 2, 8}}) {
    ScanSettings s;
    s.imageType = c.imageType;
    s.bitsPerPixel = c.bits;
    s.brightness = 0x1A0;  // low byte only
    s.contrast = 77;
    s.userGrc = 5;
    s.frameArea = 6;  // two low bits
    WindowData d = BuildWindowData(s);
    EXPECT_EQ(d[wire::kWinComposition], c.composition) << c.imageType;
    EXPECT_EQ(d[wire::kWinBitsPerPixel], c.wireBits) << c.imageType;
    EXPECT_EQ(d[wire::kWinBrightness], 0xA0);
    EXPECT_EQ(d[wire::kWinThreshold], 0xA0);
    EXPECT_EQ(d[wire::kWinContrast], 77);
    EXPECT_EQ(d[wire::kWinRifLineFill], 0);
    EXPECT_EQ(d[wire::kWinVendorFlags], 0x08 | 0x02);
  }
}

TEST(WindowData, ReadBackRestoresTheRecord) {
  for (std::int32_t resolution : {200, 300, 600}) {
    ScanSettings sent;
    sent.xResolution = sent.yResolution = resolution;
    sent.scanWidth = kPageSizes[3].width[PageSizeColumn(resolution)];
    sent.scanLength = kPageSizes[3].length[PageSizeColumn(resolution)];
    sent.topOffset = kPageSizes[3].frameTopOffset[PageSizeColumn(resolution)];
    sent.sideOffset = 0;
    sent.imageType = 4;
    sent.bitsPerPixel = 8;
    sent.brightness = 90;
    sent.contrast = 12;
    sent.userGrc = 1;
    sent.frameArea = 3;
    WindowData d = BuildWindowData(sent);
    ScanSettings got;
    ApplyWindowData(got, d);
    EXPECT_EQ(got.xResolution, resolution);
    EXPECT_EQ(got.yResolution, resolution);
    EXPECT_EQ(got.scanWidth, sent.scanWidth);
    EXPECT_EQ(got.scanLength, sent.scanLength);
    EXPECT_EQ(got.topOffset, sent.topOffset);
    EXPECT_EQ(got.sideOffset, 0);
    EXPECT_EQ(got.imageType, 4);
    EXPECT_EQ(got.bitsPerPixel, 8);
    EXPECT_EQ(got.brightness, 90);
    EXPECT_EQ(got.contrast, 12);
    EXPECT_EQ(got.userGrc, 1);
    EXPECT_EQ(got.frameArea, 3);
  }
}

TEST(WindowData, ReadRules) {
  WindowData d{};
  d[wire::kWinComposition] = 1;  // halftone: 10, one bit whatever byte 34 says
  d[wire::kWinBitsPerPixel] = 8;
  d[wire::kWinBrightness] = 40;
  d[wire::kWinThreshold] = 50;
  ScanSettings s;
  s.textMode = 1;
  ApplyWindowData(s, d);
  EXPECT_EQ(s.xResolution, 300);  // a resolution of 0 reads as 300
  EXPECT_EQ(s.yResolution, 300);
  EXPECT_EQ(s.imageType, 10);
  EXPECT_EQ(s.bitsPerPixel, 1);
  EXPECT_EQ(s.brightness, 40);

  d[wire::kWinComposition] = 0;  // line art: threshold is the brightness; text mode gives 9
  ApplyWindowData(s, d);
  EXPECT_EQ(s.imageType, 9);
  EXPECT_EQ(s.brightness, 50);

  // Another window: only the frame area is taken.
  WindowData other{};
  other[wire::kWinId] = 1;
  other[wire::kWinVendorFlags] = 0x0A;
  other[wire::kWinContrast] = 99;
  ApplyWindowData(s, other);
  EXPECT_EQ(s.frameArea, 2);
  EXPECT_NE(s.contrast, 99);
}

TEST(ScanModePage, BitsAndReadBack) {
  ScanSettings s;
  s.scanModeFlag7 = 1;
  s.continuousFeed = 1;
  s.autoSize = 2;
  s.addonOn = 1;
  s.separatorModeA = 7;
  s.separatorModeB = 2;
  s.marginScan = 1;
  s.keyStart = 1;
  s.marginAmount = -10;
  s.batchMode = 3;
  ShortPage p = BuildScanModePage(s);
  const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 0x32, 14, 0, 0, 0, 0,
                                              0xE8, 0xEC, 0, 0, 0x05, 0xF6, 0, 3, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(p.begin(), p.end()), expected);

  s.keyStart = 2;  // only exactly 1 sets the key-start bit
  EXPECT_EQ(BuildScanModePage(s)[wire::PageOffset(wire::kSmMarginByte)], 0x04);

  ScanSettings got;
  got.separatorModeA = 4;
  got.separatorModeB = 0;
  ApplyScanModePage(got, p);
  EXPECT_EQ(got.scanModeFlag7, 1);
  EXPECT_EQ(got.autoSize, 1);
  EXPECT_EQ(got.addonOn, 1);
  EXPECT_EQ(got.marginScan, 1);
  EXPECT_EQ(got.keyStart, 1);
  EXPECT_EQ(got.marginAmount, -10);
  EXPECT_EQ(got.batchMode, 3);
  EXPECT_EQ(got.separatorModeA, 4);  // the separator bits are not read back
  EXPECT_EQ(got.separatorModeB, 0);
}

TEST(ImagePage, BitsAndReadBack) {
  ScanSettings s;
  s.edgeEmphasis = 5;
  s.polarity = 2;
  s.textMode = 1;
  s.backgroundErase = 1;
  s.grcMode = 2;
  s.aeLevel = 17;
  s.thinLine = 1;
  s.notchErase = 1;
  ShortPage p = BuildImagePage(s);
  const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 0x36, 14, 0, 5, 0x2E, 17,
                                              0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(p.begin(), p.end()), expected);
  s.polarity = 3;  // neither 1 nor 2 sets nothing
  EXPECT_EQ(BuildImagePage(s)[wire::PageOffset(wire::kImFlags)] & 3, 0);

  ScanSettings got;
  ApplyImagePage(got, p);
  EXPECT_EQ(got.edgeEmphasis, 5);
  EXPECT_EQ(got.polarity, 2);
  EXPECT_EQ(got.textMode, 1);
  EXPECT_EQ(got.backgroundErase, 1);
  EXPECT_EQ(got.grcMode, 2);
  EXPECT_EQ(got.aeLevel, 17);
  EXPECT_EQ(got.thinLine, 1);
  EXPECT_EQ(got.notchErase, 1);
}

TEST(OtherPages, DevicePage37AndAddonPreparation) {
  ShortPage p = BuildDevicePage37(0x1234, -1);
  const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 0x37, 14, 0x34, 0, 0, 0,
                                              0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(p.begin(), p.end()), expected);

  AddonPageData addon;
  addon.fill(0xEE);
  PrepareAddonPageForSend(addon);
  EXPECT_EQ(addon[0] | addon[1] | addon[2] | addon[3], 0);
  EXPECT_EQ(addon[4], 0x34);
  EXPECT_EQ(addon[5], 0x54);
  EXPECT_EQ(addon[wire::PageOffset(79)], 0xEE);  // page bytes 77..79 keep what was read
  for (std::size_t b = 80; b <= 85; ++b) EXPECT_EQ(addon[wire::PageOffset(b)], 0) << b;
}

TEST(FunctionKeyBlock, EveryCodeRoundTripsAndOthersAreRefused) {
  auto block = BuildFunctionKeyBlock(3, 0x800000);
  ASSERT_TRUE(block);
  const std::vector<std::uint8_t> expected = {3, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(block->begin(), block->end()), expected);

  int codes = 0;
  for (std::uint32_t code = 0x20; code <= 0x800000; code <<= 1) {
    auto b = BuildFunctionKeyBlock(10, code);
    ASSERT_TRUE(b) << std::hex << code;
    EXPECT_EQ(FunctionCodeFromBlock(*b), code) << std::hex << code;
    ++codes;
  }
  EXPECT_EQ(codes, 19);
  for (std::uint32_t bad : {0u, 0x10u, 0x30u, 0x1000000u, 0xFFFFFFFFu}) {
    EXPECT_FALSE(BuildFunctionKeyBlock(1, bad)) << std::hex << bad;
  }

  FunctionKeyBlock read{};
  EXPECT_FALSE(FunctionCodeFromBlock(read));
  read[2] = 0x81;  // bit 0 is examined before bit 7
  EXPECT_EQ(FunctionCodeFromBlock(read), 0x2000u);
  read = {};
  read[3] = 0xC0;  // bit 6 (0x100000) before bit 7 (0x800000)
  EXPECT_EQ(FunctionCodeFromBlock(read), 0x100000u);
  read[4] = 0x40;
  read[3] = 0x80;  // byte 4 bit 6 before byte 3 bit 7
  EXPECT_EQ(FunctionCodeFromBlock(read), 0x400000u);
}

}  // namespace
}  // namespace tarvo
