// The RT650 command set: one builder per command.
//
// A builder does no I/O: it clears a 6- or 10-byte CDB, fills the fields of
// its command (layouts in scsi/Wire.h), builds the fixed data block where
// there is one and returns a ScsiCommand with the command's own call-site
// number. Execute (scsi/Transport.h) runs it on the selected adapter and
// hands back the outcome unchanged; callers apply the check-condition rule
// (scsi/CheckCondition.h).
//
// Data blocks of fixed size are fixed-extent spans; where the caller chooses
// the length, the data phase is the smaller of that length and the span, so
// a command never lets the device write past the caller's buffer.
//
//   builder                  opcode  CDB  dir   data          call site
//   CmdTestUnitReady         00      6    in    0             563
//   CmdInquiry               12      6    in    L             573
//   CmdInquiryVendorPage     12/F0   6    in    L             582
//   CmdSetMeasurementUnit    15      6    out   12            594
//   CmdScan                  1B      6    out   1 or 2        604
//   CmdSetWindow             24      10   out   52            619
//   CmdGetWindow             25      10   in    52            628
//   CmdReadImage             28/00   10   in    L             646
//   CmdReadDetectedSize      28/80   10   in    16            654
//   CmdReadSeparatorStatus   28/81   10   in    1             662
//   CmdReadStatus            28/84   10   in    3             670
//   CmdReadGamma             28/03   10   in    256           687
//   CmdReadCounters          28/82   10   in    12            705
//   CmdSendGamma             2A/03   10   out   256           714
//   CmdUnloadObject          31/0    10   out   0             732
//   CmdLoadObject            31/1    10   out   0             740
//   CmdGetScanMode           D5      6    in    L             749
//   CmdDefineScanMode        D6      6    out   20 / L        756 / 764
//   CmdGetStatusPage         D5/33   6    in    20            781
//   CmdStopBatch             D8      6    none  0             788
//   CmdGetFunctionKey        DB      6    in    16            796
//   CmdDefineFunctionKey     DA      6    out   16            803
#pragma once

#include <cstdint>
#include <span>

#include "core/Bytes.h"
#include "scsi/Srb.h"
#include "scsi/Transport.h"
#include "scsi/Wire.h"

namespace tarvo {

// What a builder sends besides its fields: opcode, CDB length, direction
// and call-site number.
struct CommandForm {
  std::uint8_t opcode;
  std::uint8_t cdbLength;
  std::uint8_t direction;  // aspi::kSrbDirIn, aspi::kSrbDirOut or 0
  int callSite;
};

namespace cmd {
using wire::kCdb10;
using wire::kCdb6;
inline constexpr std::uint8_t kIn = aspi::kSrbDirIn;
inline constexpr std::uint8_t kOut = aspi::kSrbDirOut;
inline constexpr std::uint8_t kNone = 0;

inline constexpr CommandForm kTestUnitReady{wire::kOpTestUnitReady, kCdb6, kIn, 563};
inline constexpr CommandForm kInquiry{wire::kOpInquiry, kCdb6, kIn, 573};
inline constexpr CommandForm kInquiryVendorPage{wire::kOpInquiry, kCdb6, kIn, 582};
inline constexpr CommandForm kSetMeasurementUnit{wire::kOpModeSelect, kCdb6, kOut, 594};
inline constexpr CommandForm kScan{wire::kOpScan, kCdb6, kOut, 604};
inline constexpr CommandForm kSetWindow{wire::kOpSetWindow, kCdb10, kOut, 619};
inline constexpr CommandForm kGetWindow{wire::kOpGetWindow, kCdb10, kIn, 628};
inline constexpr CommandForm kReadImage{wire::kOpRead, kCdb10, kIn, 646};
inline constexpr CommandForm kReadDetectedSize{wire::kOpRead, kCdb10, kIn, 654};
inline constexpr CommandForm kReadSeparatorStatus{wire::kOpRead, kCdb10, kIn, 662};
inline constexpr CommandForm kReadStatus{wire::kOpRead, kCdb10, kIn, 670};
inline constexpr CommandForm kReadGamma{wire::kOpRead, kCdb10, kIn, 687};
inline constexpr CommandForm kReadCounters{wire::kOpRead, kCdb10, kIn, 705};
inline constexpr CommandForm kSendGamma{wire::kOpSend, kCdb10, kOut, 714};
inline constexpr CommandForm kUnloadObject{wire::kOpObjectPosition, kCdb10, kOut, 732};
inline constexpr CommandForm kLoadObject{wire::kOpObjectPosition, kCdb10, kOut, 740};
inline constexpr CommandForm kGetScanMode{wire::kOpGetScanMode, kCdb6, kIn, 749};
inline constexpr CommandForm kDefineScanMode{wire::kOpDefineScanMode, kCdb6, kOut, 756};
inline constexpr CommandForm kDefineScanModeLength{wire::kOpDefineScanMode, kCdb6, kOut, 764};
inline constexpr CommandForm kGetStatusPage{wire::kOpGetScanMode, kCdb6, kIn, 781};
inline constexpr CommandForm kStopBatch{wire::kOpStopBatch, kCdb6, kNone, 788};
inline constexpr CommandForm kGetFunctionKey{wire::kOpGetFunctionKey, kCdb6, kIn, 796};
inline constexpr CommandForm kDefineFunctionKey{wire::kOpDefineFunctionKey, kCdb6, kOut, 803};
}  // namespace cmd

using WindowSpan = std::span<std::uint8_t, wire::kWindowDataLength>;
using ConstWindowSpan = std::span<const std::uint8_t, wire::kWindowDataLength>;
using ShortPageSpan = std::span<std::uint8_t, wire::kShortPageDataLength>;
using ConstShortPageSpan = std::span<const std::uint8_t, wire::kShortPageDataLength>;
using GammaSpan = std::span<std::uint8_t, wire::kGammaLength>;
using ConstGammaSpan = std::span<const std::uint8_t, wire::kGammaLength>;
using FunctionKeySpan = std::span<std::uint8_t, wire::kFunctionKeyBlockLength>;
using ConstFunctionKeySpan = std::span<const std::uint8_t, wire::kFunctionKeyBlockLength>;

ScsiCommand CmdTestUnitReady();
ScsiCommand CmdInquiry(ByteSpan buffer, std::uint8_t allocationLength);
ScsiCommand CmdInquiryVendorPage(ByteSpan buffer, std::uint8_t allocationLength);
// MODE SELECT of the measurement units page with `divisor` (1200 at scan start).
ScsiCommand CmdSetMeasurementUnit(std::uint16_t divisor);
// Window argument 0, 1 or 255 sends that one identifier, 2 sends the pair
// 0x00 0x01; any other value sends 0x00.
ScsiCommand CmdScan(std::uint8_t window);
ScsiCommand CmdSetWindow(ConstWindowSpan window);
ScsiCommand CmdGetWindow(std::uint8_t windowId, WindowSpan window);
// `length` uses 24 bits in the CDB (and 16 in the request block).
ScsiCommand CmdReadImage(ByteSpan buffer, std::uint32_t length);
ScsiCommand CmdReadDetectedSize(std::span<std::uint8_t, wire::kDetectedSizeLength> buffer);
ScsiCommand CmdReadSeparatorStatus(std::span<std::uint8_t, wire::kSeparatorStatusLength> buffer);
ScsiCommand CmdReadStatus(std::span<std::uint8_t, wire::kStatusLength> buffer);
ScsiCommand CmdReadGamma(std::uint16_t qualifier, GammaSpan table);
ScsiCommand CmdReadCounters(std::span<std::uint8_t, wire::kCountersLength> buffer);
ScsiCommand CmdSendGamma(std::uint16_t qualifier, ConstGammaSpan table);
ScsiCommand CmdUnloadObject();
ScsiCommand CmdLoadObject();
ScsiCommand CmdGetScanMode(std::uint8_t pageCode, ByteSpan buffer, std::uint8_t allocationLength);
// A 20-byte page (0x32, 0x36, 0x37) ...
ScsiCommand CmdDefineScanMode(ConstShortPageSpan data);
// ... or a page of the caller's length (the 90-byte addon page).
ScsiCommand CmdDefineScanMode(ConstByteSpan data, std::uint8_t length);
ScsiCommand CmdGetStatusPage(ShortPageSpan buffer);
ScsiCommand CmdStopBatch();
ScsiCommand CmdGetFunctionKey(std::uint8_t key, FunctionKeySpan buffer);
ScsiCommand CmdDefineFunctionKey(ConstFunctionKeySpan data);

}  // namespace tarvo
