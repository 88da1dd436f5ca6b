// The RT650's SCSI wire format: opcodes, CDB fields and data block layouts.
// Shared by the driver's command builders and mode operations and by the
// simulator, so that both sides name every byte the same way. All multi-byte
// numbers are big-endian (see base/Bytes.h); bytes not named are 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarvo::wire {

// ---- opcodes -----------------------------------------------------------------

inline constexpr std::uint8_t kOpTestUnitReady = 0x00;
inline constexpr std::uint8_t kOpRequestSense = 0x03;
inline constexpr std::uint8_t kOpInquiry = 0x12;
inline constexpr std::uint8_t kOpModeSelect = 0x15;
inline constexpr std::uint8_t kOpReserveUnit = 0x16;
inline constexpr std::uint8_t kOpReleaseUnit = 0x17;
inline constexpr std::uint8_t kOpModeSense = 0x1A;
inline constexpr std::uint8_t kOpScan = 0x1B;
inline constexpr std::uint8_t kOpDiagnostic = 0x1D;
inline constexpr std::uint8_t kOpSetWindow = 0x24;
inline constexpr std::uint8_t kOpGetWindow = 0x25;
inline constexpr std::uint8_t kOpRead = 0x28;
inline constexpr std::uint8_t kOpSend = 0x2A;
inline constexpr std::uint8_t kOpObjectPosition = 0x31;
inline constexpr std::uint8_t kOpGetScanMode = 0xD5;
inline constexpr std::uint8_t kOpDefineScanMode = 0xD6;
inline constexpr std::uint8_t kOpStopBatch = 0xD8;
inline constexpr std::uint8_t kOpDefineFunctionKey = 0xDA;
inline constexpr std::uint8_t kOpGetFunctionKey = 0xDB;

inline constexpr std::size_t kCdb6 = 6;
inline constexpr std::size_t kCdb10 = 10;

// ---- CDB fields ----------------------------------------------------------------
//
// INQUIRY          12 EV PG 00 L  00      EV bit 0 = vital product data, PG page code
// MODE SELECT(6)   15 10 00 00 0C 00      PF bit, parameter list length 12
// SCAN             1B 00 00 00 N  00      N window identifiers follow
// SET WINDOW       24 00 00 00 00 00 L2 L1 L0 00
// GET WINDOW       25 01 00 00 00 W  L2 L1 L0 00   single-window bit, W window id
// READ / SEND      28|2A 00 T 00 Q1 Q0 L2 L1 L0 00  T data type, Q qualifier, L length
// OBJECT POSITION  31 P  00 ...            P position type: 0 unload, 1 load
// GET SCAN MODE    D5 00 P  00 L  00       P page code, L allocation length
// DEFINE SCAN MODE D6 10 00 00 L  00       PF bit, L parameter list length
// STOP BATCH       D8 00 00 00 00 00
// read fn key      DB 00 K  00 10 00       K key number 1..10
// define fn key    DA 00 00 00 10 00

inline constexpr std::size_t kCdbOpcode = 0;
inline constexpr std::size_t kCdbFlags = 1;            // PF bit, single-window bit
inline constexpr std::size_t kObjectPositionType = 1;  // OBJECT POSITION: 0 unload, 1 load
inline constexpr std::size_t kCdb6Length = 4;          // 6-byte CDBs: length/count byte
inline constexpr std::size_t kInquiryEvpd = 1;         // bit 0
inline constexpr std::size_t kInquiryPageCode = 2;
inline constexpr std::size_t kGetScanModePage = 2;
inline constexpr std::size_t kFunctionKeyNumber = 2;   // read function key
inline constexpr std::size_t kCdb10DataType = 2;       // READ / SEND
inline constexpr std::size_t kCdb10WindowId = 5;       // GET WINDOW
inline constexpr std::size_t kCdb10Qualifier = 4;      // 16-bit, READ / SEND
inline constexpr std::size_t kCdb10TransferLength = 6; // 24-bit
inline constexpr std::uint8_t kPageFormatBit = 0x10;   // MODE SELECT, DEFINE SCAN MODE byte 1
inline constexpr std::uint8_t kSingleWindowBit = 0x01; // GET WINDOW byte 1
inline constexpr std::uint8_t kObjectUnload = 0;
inline constexpr std::uint8_t kObjectLoad = 1;
inline constexpr std::uint8_t kEvpdBit = 0x01;         // INQUIRY byte 1

// READ / SEND data type codes.
inline constexpr std::uint8_t kDataImage = 0x00;
inline constexpr std::uint8_t kDataGamma = 0x03;
inline constexpr std::uint8_t kDataDetectedSize = 0x80;
inline constexpr std::uint8_t kDataSeparatorStatus = 0x81;
inline constexpr std::uint8_t kDataCounters = 0x82;
inline constexpr std::uint8_t kDataStatus = 0x84;

inline constexpr std::size_t kGammaLength = 256;
inline constexpr std::size_t kDetectedSizeLength = 16;
inline constexpr std::size_t kSeparatorStatusLength = 1;
inline constexpr std::size_t kCountersLength = 12;
inline constexpr std::size_t kStatusLength = 3;

// Detected size (READ 0x80), 16 bytes:
//   0  8  not used
//   8  4  page width, 1/1200 inch
//  12  4  page length, 1/1200 inch
inline constexpr std::size_t kDetectedWidth = 8;
inline constexpr std::size_t kDetectedLength = 12;

// Separator status (READ 0x81), 1 byte: bit 7 with bit 1 or bit 0 marks a separator sheet.
inline constexpr std::uint8_t kSeparatorMark = 0x80;
inline constexpr std::uint8_t kSeparatorBit1 = 0x02;
inline constexpr std::uint8_t kSeparatorBit0 = 0x01;

// Counters (READ 0x82), 12 bytes: three 32-bit counters at 0, 4, 8.
inline constexpr std::size_t kCounter1 = 0;
inline constexpr std::size_t kCounter2 = 4;
inline constexpr std::size_t kCounter3 = 8;

// Status bytes (READ 0x84), 3 bytes: byte 0 bit 0 flags the page.
inline constexpr std::size_t kStatusFlagByte = 0;
inline constexpr std::uint8_t kStatusFlagBit = 0x01;

// ---- MODE SELECT data: measurement units page, 12 bytes ---------------------------
//   0  4  mode parameter header, 0
//   4  1  page code 0x03
//   5  1  page length 6
//   6  1  basic measurement unit, 0 = inch
//   7  1  0
//   8  2  measurement unit divisor (1200: coordinates in 1/1200 inch)
//  10  2  0
inline constexpr std::size_t kModeSelectLength = 12;
inline constexpr std::size_t kMuPageCode = 4;
inline constexpr std::size_t kMuPageLength = 5;
inline constexpr std::size_t kMuBasicUnit = 6;
inline constexpr std::size_t kMuDivisor = 8;
inline constexpr std::uint8_t kMeasurementUnitsPage = 0x03;
inline constexpr std::uint8_t kMeasurementUnitsPageLength = 6;
// The divisor the driver selects at scan start: window and size coordinates
// are in 1/1200 inch.
inline constexpr std::int32_t kUnitsPerInch = 1200;

// ---- window data of SET WINDOW / GET WINDOW, 52 bytes -------------------------------
//   0  6  reserved
//   6  2  window descriptor length, 44
//   8  1  window identifier
//  10  2  X resolution, dpi
//  12  2  Y resolution, dpi
//  14  4  upper left X, 1/1200 inch
//  18  4  upper left Y, 1/1200 inch
//  22  4  width, 1/1200 inch
//  26  4  length, 1/1200 inch
//  30  1  brightness
//  31  1  threshold
//  32  1  contrast
//  33  1  image composition: 0 line art, 1 halftone, 2 gray
//  34  1  bits per pixel
//  35  2  halftone pattern
//  37  1  RIF (bit 7), line-fill type (bits 0-2)
//  38  2  bit ordering
//  40  1  compression type
//  41  1  compression argument
//  42  6  reserved
//  48  2  vendor-specific
//  50  1  vendor flags: bit 3 user GRC, bits 0-1 frame area
//  51  1  vendor-specific
inline constexpr std::size_t kWindowDataLength = 52;
inline constexpr std::size_t kWindowDescriptorLength = 44;
inline constexpr std::size_t kWinDescLength = 6;
inline constexpr std::size_t kWinId = 8;
inline constexpr std::size_t kWinXResolution = 10;
inline constexpr std::size_t kWinYResolution = 12;
inline constexpr std::size_t kWinUpperLeftX = 14;
inline constexpr std::size_t kWinUpperLeftY = 18;
inline constexpr std::size_t kWinWidth = 22;
inline constexpr std::size_t kWinLength = 26;
inline constexpr std::size_t kWinBrightness = 30;
inline constexpr std::size_t kWinThreshold = 31;
inline constexpr std::size_t kWinContrast = 32;
inline constexpr std::size_t kWinComposition = 33;
inline constexpr std::size_t kWinBitsPerPixel = 34;
inline constexpr std::size_t kWinHalftonePattern = 35;
inline constexpr std::size_t kWinRifLineFill = 37;
inline constexpr std::size_t kWinBitOrdering = 38;
inline constexpr std::size_t kWinCompressionType = 40;
inline constexpr std::size_t kWinCompressionArg = 41;
inline constexpr std::size_t kWinVendorFlags = 50;
inline constexpr std::uint8_t kWinUserGrcBit = 0x08;
inline constexpr std::uint8_t kWinFrameAreaMask = 0x03;

inline constexpr std::uint8_t kCompositionLineArt = 0;
inline constexpr std::uint8_t kCompositionHalftone = 1;
inline constexpr std::uint8_t kCompositionGray = 2;

// ---- scan mode pages (GET / DEFINE SCAN MODE) ---------------------------------------
// Data: a 4-byte header (0 when sent, not examined when read), then the page
// code byte, the page length byte and the page's bytes. Total = length + 6.
// Page byte n lies at data offset kPageStart + n.
inline constexpr std::size_t kScanModeHeaderLength = 4;
inline constexpr std::size_t kPageStart = kScanModeHeaderLength;
inline constexpr std::size_t kPageCodeByte = 0;
inline constexpr std::size_t kPageLengthByte = 1;
constexpr std::size_t PageOffset(std::size_t pageByte) { return kPageStart + pageByte; }

inline constexpr std::uint8_t kPageScanMode = 0x32;
inline constexpr std::uint8_t kPageStatus = 0x33;
inline constexpr std::uint8_t kPageAddon = 0x34;
inline constexpr std::uint8_t kPageImage = 0x36;
inline constexpr std::uint8_t kPageDevice37 = 0x37;

inline constexpr std::uint8_t kShortPageLength = 14;  // pages 0x32, 0x33, 0x36, 0x37
inline constexpr std::size_t kShortPageDataLength = 20;
inline constexpr std::uint8_t kAddonPageLength = 0x54;
inline constexpr std::size_t kAddonPageDataLength = 90;

// Scan mode page 0x32, page bytes:
//   6  bit 7 scanModeFlag7, bit 6 continuousFeed, bit 5 autoSize, bit 3 addonOn
//   7  bit 7 separator A on, bit 6 A bit 1, bit 5 A bit 2,
//      bit 3 separator B on, bit 2 B bit 1, bit 1 B bit 2
//  10  bit 2 marginScan, bit 0 keyStart
//  11  marginAmount, signed -10..10
//  13  batchMode 1..3
inline constexpr std::size_t kSmFeedByte = 6;
inline constexpr std::uint8_t kSmFlag7 = 0x80;
inline constexpr std::uint8_t kSmContinuousFeed = 0x40;
inline constexpr std::uint8_t kSmAutoSize = 0x20;
inline constexpr std::uint8_t kSmAddonOn = 0x08;
inline constexpr std::size_t kSmSeparatorByte = 7;
inline constexpr std::uint8_t kSmSeparatorAOn = 0x80;
inline constexpr std::uint8_t kSmSeparatorAScan = 0x40;      // separatorModeA bit 1
inline constexpr std::uint8_t kSmSeparatorAContinue = 0x20;  // separatorModeA bit 2
inline constexpr std::uint8_t kSmSeparatorBOn = 0x08;
inline constexpr std::uint8_t kSmSeparatorBScan = 0x04;
inline constexpr std::uint8_t kSmSeparatorBContinue = 0x02;
inline constexpr std::size_t kSmMarginByte = 10;
inline constexpr std::uint8_t kSmMarginScan = 0x04;
inline constexpr std::uint8_t kSmKeyStart = 0x01;
inline constexpr std::size_t kSmMarginAmount = 11;
inline constexpr std::size_t kSmBatchMode = 13;

// Status page 0x33, page bytes: 2 bit 0 set = document present, 3 bit 0 set = page ready.
inline constexpr std::size_t kStPaperByte = 2;
inline constexpr std::uint8_t kStPaperPresent = 0x01;
inline constexpr std::size_t kStReadyByte = 3;
inline constexpr std::uint8_t kStPageReady = 0x01;

// Addon page 0x34, page bytes:
//   2 64  addon text, NUL-padded
//  66  2  x position, mm (0..500)
//  68  2  y position, mm (0..300)
//  70  1  print timing (0 or 1)
//  71  1  bit 6 counter on, bits 4-5 colour (0..2), bits 0-3 style (0..3)
//  72  1  addon flag (0 or 1)
//  73  1  count-up timing code (0..5)
//  74  1  count-up amount
//  75  1  reset timing code (0..5)
//  76  1  reset value
//  77  3  kept as last read from the scanner
//  80  6  0 when sent
inline constexpr std::size_t kAdText = 2;
inline constexpr std::size_t kAdTextLength = 64;
inline constexpr std::size_t kAdX = 66;
inline constexpr std::size_t kAdY = 68;
inline constexpr std::size_t kAdPrintTiming = 70;
inline constexpr std::size_t kAdFlags = 71;
inline constexpr std::uint8_t kAdCounterOn = 0x40;
inline constexpr std::uint8_t kAdCounterBit7 = 0x80;
inline constexpr std::uint8_t kAdColorMask = 0x30;
inline constexpr std::uint8_t kAdStyleMask = 0x0F;
inline constexpr std::size_t kAdFlag = 72;
inline constexpr std::size_t kAdCountUpTiming = 73;
inline constexpr std::size_t kAdCountUpAmount = 74;
inline constexpr std::size_t kAdResetTiming = 75;
inline constexpr std::size_t kAdResetValue = 76;
inline constexpr std::size_t kAdKept = 77;
inline constexpr std::size_t kAdKeptLength = 3;

// Image page 0x36, page bytes:
//   3  edgeEmphasis 1..5
//   4  bits 0-1 polarity (1 sets bit 0, 2 sets bit 1), bit 2 textMode,
//      bit 3 backgroundErase, bits 4-5 grcMode
//   5  aeLevel 1..17
//   6  bit 2 notchErase, bit 3 thinLine
inline constexpr std::size_t kImEdgeEmphasis = 3;
inline constexpr std::size_t kImFlags = 4;
inline constexpr std::uint8_t kImPolarityMask = 0x03;
inline constexpr std::uint8_t kImTextMode = 0x04;
inline constexpr std::uint8_t kImBackgroundErase = 0x08;
inline constexpr std::uint8_t kImGrcMask = 0x30;
inline constexpr std::size_t kImAeLevel = 5;
inline constexpr std::size_t kImEraseByte = 6;
inline constexpr std::uint8_t kImNotchErase = 0x04;
inline constexpr std::uint8_t kImThinLine = 0x08;

// Page 0x37, page bytes 2 and 6: low bytes of the two values of parameter 104.
inline constexpr std::size_t kD37First = 2;
inline constexpr std::size_t kD37Second = 6;

// ---- function-key block, 16 bytes ---------------------------------------------------
//   0  1  key number 1..10 (define only)
//   1  4  one bit for the function assigned (table below)
//   5 11  0
inline constexpr std::size_t kFunctionKeyBlockLength = 16;
inline constexpr std::size_t kFkKeyNumber = 0;

struct FunctionBit {
  std::uint32_t code;     // function code, one bit set
  std::uint8_t byte;      // byte of the block
  std::uint8_t mask;      // bit within that byte
  std::uint8_t readRank;  // a block read back names the set bit of lowest rank
  std::uint32_t message;  // the function's name in the language table
};

// The one table of the functions: code -> bit when defining, bit -> code (by
// rank) when reading, and the name the Function key dialog shows.
inline constexpr std::array<FunctionBit, 19> kFunctionBits{{
    {0x20, 1, 0x20, 0, 182},       {0x40, 2, 0x80, 8, 286},       {0x80, 2, 0x40, 7, 285},
    {0x100, 2, 0x20, 6, 284},      {0x200, 2, 0x10, 5, 283},      {0x400, 2, 0x08, 4, 282},
    {0x800, 2, 0x04, 3, 281},      {0x1000, 2, 0x02, 2, 280},     {0x2000, 2, 0x01, 1, 279},
    {0x4000, 3, 0x20, 14, 292},    {0x8000, 3, 0x10, 13, 291},    {0x10000, 3, 0x08, 12, 290},
    {0x20000, 3, 0x04, 11, 289},   {0x40000, 3, 0x02, 10, 288},   {0x80000, 3, 0x01, 9, 287},
    {0x100000, 3, 0x40, 15, 294},  {0x200000, 4, 0x80, 16, 295},  {0x400000, 4, 0x40, 17, 296},
    {0x800000, 3, 0x80, 18, 302},
}};

// The same rows in reading order (rank 0 first).
constexpr std::array<FunctionBit, kFunctionBits.size()> FunctionBitsByRank() {
  std::array<FunctionBit, kFunctionBits.size()> out{};
  for (const FunctionBit& bit : kFunctionBits) out[bit.readRank] = bit;
  return out;
}
inline constexpr std::array<FunctionBit, kFunctionBits.size()> kFunctionReadingOrder =
    FunctionBitsByRank();

// ---- INQUIRY data ---------------------------------------------------------------------
//   8  8  vendor ("TARVO" compared over 5 bytes)
//  16 16  product ("RT650" compared over 5 bytes)
//  32  4  product revision ("2.10": byte 33 read as '0' gives 2010)
inline constexpr std::size_t kInqVendor = 8;
inline constexpr std::size_t kInqVendorLength = 8;
inline constexpr std::size_t kInqProduct = 16;
inline constexpr std::size_t kInqProductLength = 16;
inline constexpr std::size_t kInqRevision = 32;
inline constexpr std::size_t kInqRevisionLength = 4;
inline constexpr std::size_t kInquiryScanLength = 64;
inline constexpr std::size_t kInquiryRevisionLength = 36;

// Standard INQUIRY header, as the scanner fills it:
//   0  peripheral device type (0x06 scanner, 0x00 disk)
//   2  version (2)
//   3  response data format (2)
//   4  additional length: bytes that follow byte 4
inline constexpr std::size_t kInqDeviceType = 0;
inline constexpr std::size_t kInqVersion = 2;
inline constexpr std::size_t kInqResponseFormat = 3;
inline constexpr std::size_t kInqAdditionalLength = 4;
inline constexpr std::uint8_t kDeviceTypeScanner = 0x06;

// Vital product data pages: 0 device type, 1 page code, 3 page length (bytes after byte 3).
inline constexpr std::size_t kVpdPageCode = 1;
inline constexpr std::size_t kVpdPageLength = 3;
inline constexpr std::uint8_t kSupportedPagesPage = 0x00;

// Vendor page 0xF0 (40 bytes): 34..37 capability value, 39 bits 7, 6, 5 flags.
inline constexpr std::uint8_t kVendorPageCode = 0xF0;
inline constexpr std::size_t kVendorPageLength = 40;
inline constexpr std::size_t kVpCapability = 34;
inline constexpr std::size_t kVpFlags = 39;
inline constexpr std::uint8_t kVpBatchCapable = 0x80;
inline constexpr std::uint8_t kVpFlag6 = 0x40;
inline constexpr std::uint8_t kVpFlag5 = 0x20;

// ---- fixed-format sense data ------------------------------------------------------------
//   0  response code 0x70
//   2  bits 0-3 sense key, bit 5 ILI (short transfer)
//   3  4  information (residue)
//   7  additional length
//  12  ASC
//  13  ASCQ
inline constexpr std::size_t kSenseLength = 14;
inline constexpr std::size_t kSenseResponse = 0;
inline constexpr std::uint8_t kSenseCurrent = 0x70;
inline constexpr std::size_t kSenseKeyByte = 2;
inline constexpr std::uint8_t kSenseKeyMask = 0x0F;
inline constexpr std::uint8_t kSenseIli = 0x20;
inline constexpr std::size_t kSenseInformation = 3;
inline constexpr std::size_t kSenseAdditionalLength = 7;
inline constexpr std::size_t kSenseAsc = 12;
inline constexpr std::size_t kSenseAscq = 13;

inline constexpr std::uint8_t kKeyNoSense = 0x0;
inline constexpr std::uint8_t kKeyRecovered = 0x1;
inline constexpr std::uint8_t kKeyNotReady = 0x2;
inline constexpr std::uint8_t kKeyMediumError = 0x3;
inline constexpr std::uint8_t kKeyHardwareError = 0x4;
inline constexpr std::uint8_t kKeyIllegalRequest = 0x5;
inline constexpr std::uint8_t kKeyUnitAttention = 0x6;
inline constexpr std::uint8_t kKeyAbortedCommand = 0xB;
inline constexpr std::uint8_t kKeyMiscompare = 0xE;

}  // namespace tarvo::wire
