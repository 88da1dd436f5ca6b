#include "scsi/Commands.h"

#include <algorithm>
#include <array>

#include "scsi/Transport.h"

namespace tarvo {
namespace {

using Cdb = std::array<std::uint8_t, wire::kCdb10>;

Cdb NewCdb(const CommandForm& form) {
  Cdb cdb{};
  cdb[wire::kCdbOpcode] = form.opcode;
  return cdb;
}

// The provider only reads the buffer of an out command.
ByteSpan OutData(ConstByteSpan data) {
  return ByteSpan(const_cast<std::uint8_t*>(data.data()), data.size());
}

ByteSpan Bounded(ByteSpan data, std::size_t length) {
  return data.first(std::min(data.size(), length));
}

std::uint16_t Execute(ScsiContext& context, const CommandForm& form, std::uint8_t target,
                      std::uint8_t* sense, const Cdb& cdb, ByteSpan data) {
  context.transport.callSiteNumber = form.callSite;
  return ScsiExecute(context, target, sense, ConstByteSpan(cdb).first(form.cdbLength),
                     form.direction, data);
}

// READ and SEND: 28|2A 00 T 00 Q1 Q0 L2 L1 L0 00.
std::uint16_t Transfer(ScsiContext& context, const CommandForm& form, std::uint8_t target,
                       std::uint8_t* sense, std::uint8_t dataType, std::uint16_t qualifier,
                       ByteSpan data, std::uint32_t length) {
  Cdb cdb = NewCdb(form);
  cdb[wire::kCdb10DataType] = dataType;
  PutBe16(cdb, wire::kCdb10Qualifier, qualifier);
  PutBe24(cdb, wire::kCdb10TransferLength, length);
  return Execute(context, form, target, sense, cdb, Bounded(data, length));
}

// GET SCAN MODE: D5 00 P 00 L 00.
std::uint16_t GetPage(ScsiContext& context, const CommandForm& form, std::uint8_t target,
                      std::uint8_t* sense, std::uint8_t pageCode, ByteSpan buffer,
                      std::uint8_t length) {
  Cdb cdb = NewCdb(form);
  cdb[wire::kGetScanModePage] = pageCode;
  cdb[wire::kCdb6Length] = length;
  return Execute(context, form, target, sense, cdb, Bounded(buffer, length));
}

// DEFINE SCAN MODE: D6 10 00 00 L 00.
std::uint16_t DefinePage(ScsiContext& context, const CommandForm& form, std::uint8_t target,
                         std::uint8_t* sense, ConstByteSpan data, std::uint8_t length) {
  Cdb cdb = NewCdb(form);
  cdb[wire::kCdbFlags] = wire::kPageFormatBit;
  cdb[wire::kCdb6Length] = length;
  return Execute(context, form, target, sense, cdb, Bounded(OutData(data), length));
}

// OBJECT POSITION: 31 P 00 ...
std::uint16_t Position(ScsiContext& context, const CommandForm& form, std::uint8_t target,
                       std::uint8_t* sense, std::uint8_t positionType) {
  Cdb cdb = NewCdb(form);
  cdb[wire::kObjectPositionType] = positionType;
  return Execute(context, form, target, sense, cdb, {});
}

// SCAN window identifier lists by window argument; any other argument sends
// the first list (the single identifier 0x00).
struct WindowList {
  std::uint8_t window;
  std::uint8_t count;
  std::array<std::uint8_t, 2> ids;
};
constexpr std::array<WindowList, 4> kWindowLists{{
    {0, 1, {0x00, 0x00}},
    {1, 1, {0x01, 0x00}},
    {2, 2, {0x00, 0x01}},
    {255, 1, {0xFF, 0x00}},
}};

}  // namespace

std::uint16_t CmdTestUnitReady(ScsiContext& context, std::uint8_t target, std::uint8_t* sense) {
  return Execute(context, cmd::kTestUnitReady, target, sense, NewCdb(cmd::kTestUnitReady), {});
}

std::uint16_t CmdInquiry(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                         ByteSpan buffer, std::uint8_t allocationLength) {
  Cdb cdb = NewCdb(cmd::kInquiry);
  cdb[wire::kCdb6Length] = allocationLength;
  return Execute(context, cmd::kInquiry, target, sense, cdb, Bounded(buffer, allocationLength));
}

std::uint16_t CmdInquiryVendorPage(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                                   ByteSpan buffer, std::uint8_t allocationLength) {
  Cdb cdb = NewCdb(cmd::kInquiryVendorPage);
  cdb[wire::kInquiryEvpd] = wire::kEvpdBit;
  cdb[wire::kInquiryPageCode] = wire::kVendorPageCode;
  cdb[wire::kCdb6Length] = allocationLength;
  return Execute(context, cmd::kInquiryVendorPage, target, sense, cdb,
                 Bounded(buffer, allocationLength));
}

std::uint16_t CmdSetMeasurementUnit(ScsiContext& context, std::uint8_t target,
                                    std::uint8_t* sense, std::uint16_t divisor) {
  Cdb cdb = NewCdb(cmd::kSetMeasurementUnit);
  cdb[wire::kCdbFlags] = wire::kPageFormatBit;
  cdb[wire::kCdb6Length] = wire::kModeSelectLength;
  std::array<std::uint8_t, wire::kModeSelectLength> data{};
  data[wire::kMuPageCode] = wire::kMeasurementUnitsPage;
  data[wire::kMuPageLength] = wire::kMeasurementUnitsPageLength;
  data[wire::kMuBasicUnit] = 0;  // inch
  PutBe16(data, wire::kMuDivisor, divisor);
  return Execute(context, cmd::kSetMeasurementUnit, target, sense, cdb, data);
}

std::uint16_t CmdScan(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                      std::uint8_t window) {
  const auto* found =
      std::find_if(kWindowLists.begin(), kWindowLists.end(),
                   [window](const WindowList& list) { return list.window == window; });
  const WindowList& list = found != kWindowLists.end() ? *found : kWindowLists[0];
  std::array<std::uint8_t, 2> ids = list.ids;
  Cdb cdb = NewCdb(cmd::kScan);
  cdb[wire::kCdb6Length] = list.count;
  return Execute(context, cmd::kScan, target, sense, cdb, ByteSpan(ids).first(list.count));
}

std::uint16_t CmdSetWindow(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                           ConstWindowSpan window) {
  Cdb cdb = NewCdb(cmd::kSetWindow);
  PutBe24(cdb, wire::kCdb10TransferLength, wire::kWindowDataLength);
  return Execute(context, cmd::kSetWindow, target, sense, cdb, OutData(window));
}

std::uint16_t CmdGetWindow(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                           std::uint8_t windowId, WindowSpan window) {
  Cdb cdb = NewCdb(cmd::kGetWindow);
  cdb[wire::kCdbFlags] = wire::kSingleWindowBit;
  cdb[wire::kCdb10WindowId] = windowId;
  PutBe24(cdb, wire::kCdb10TransferLength, wire::kWindowDataLength);
  return Execute(context, cmd::kGetWindow, target, sense, cdb, window);
}

std::uint16_t CmdReadImage(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                           ByteSpan buffer, std::uint32_t length) {
  return Transfer(context, cmd::kReadImage, target, sense, wire::kDataImage, 0, buffer, length);
}

std::uint16_t CmdReadDetectedSize(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                                  std::span<std::uint8_t, wire::kDetectedSizeLength> buffer) {
  return Transfer(context, cmd::kReadDetectedSize, target, sense, wire::kDataDetectedSize, 0,
                  buffer, wire::kDetectedSizeLength);
}

std::uint16_t CmdReadSeparatorStatus(ScsiContext& context, std::uint8_t target,
                                     std::uint8_t* sense,
                                     std::span<std::uint8_t, wire::kSeparatorStatusLength> buffer) {
  return Transfer(context, cmd::kReadSeparatorStatus, target, sense, wire::kDataSeparatorStatus, 0,
                  buffer, wire::kSeparatorStatusLength);
}

std::uint16_t CmdReadStatus(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                            std::span<std::uint8_t, wire::kStatusLength> buffer) {
  return Transfer(context, cmd::kReadStatus, target, sense, wire::kDataStatus, 0, buffer,
                  wire::kStatusLength);
}

std::uint16_t CmdReadGamma(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                           std::uint16_t qualifier, GammaSpan table) {
  return Transfer(context, cmd::kReadGamma, target, sense, wire::kDataGamma, qualifier, table,
                  wire::kGammaLength);
}

std::uint16_t CmdReadCounters(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                              std::span<std::uint8_t, wire::kCountersLength> buffer) {
  return Transfer(context, cmd::kReadCounters, target, sense, wire::kDataCounters, 0, buffer,
                  wire::kCountersLength);
}

std::uint16_t CmdSendGamma(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                           std::uint16_t qualifier, ConstGammaSpan table) {
  return Transfer(context, cmd::kSendGamma, target, sense, wire::kDataGamma, qualifier,
                  OutData(table), wire::kGammaLength);
}

std::uint16_t CmdUnloadObject(ScsiContext& context, std::uint8_t target, std::uint8_t* sense) {
  return Position(context, cmd::kUnloadObject, target, sense, wire::kObjectUnload);
}

std::uint16_t CmdLoadObject(ScsiContext& context, std::uint8_t target, std::uint8_t* sense) {
  return Position(context, cmd::kLoadObject, target, sense, wire::kObjectLoad);
}

std::uint16_t CmdGetScanMode(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                             std::uint8_t pageCode, ByteSpan buffer,
                             std::uint8_t allocationLength) {
  return GetPage(context, cmd::kGetScanMode, target, sense, pageCode, buffer, allocationLength);
}

std::uint16_t CmdDefineScanMode(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                                ConstShortPageSpan data) {
  return DefinePage(context, cmd::kDefineScanMode, target, sense, data, wire::kShortPageDataLength);
}

std::uint16_t CmdDefineScanMode(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                                ConstByteSpan data, std::uint8_t length) {
  return DefinePage(context, cmd::kDefineScanModeLength, target, sense, data, length);
}

std::uint16_t CmdGetStatusPage(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                               ShortPageSpan buffer) {
  return GetPage(context, cmd::kGetStatusPage, target, sense, wire::kPageStatus, buffer,
                 wire::kShortPageDataLength);
}

std::uint16_t CmdStopBatch(ScsiContext& context, std::uint8_t target, std::uint8_t* sense) {
  return Execute(context, cmd::kStopBatch, target, sense, NewCdb(cmd::kStopBatch), {});
}

std::uint16_t CmdGetFunctionKey(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                                std::uint8_t key, FunctionKeySpan buffer) {
  Cdb cdb = NewCdb(cmd::kGetFunctionKey);
  cdb[wire::kFunctionKeyNumber] = key;
  cdb[wire::kCdb6Length] = wire::kFunctionKeyBlockLength;
  return Execute(context, cmd::kGetFunctionKey, target, sense, cdb, buffer);
}

std::uint16_t CmdDefineFunctionKey(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                                   ConstFunctionKeySpan data) {
  Cdb cdb = NewCdb(cmd::kDefineFunctionKey);
  cdb[wire::kCdb6Length] = wire::kFunctionKeyBlockLength;
  return Execute(context, cmd::kDefineFunctionKey, target, sense, cdb, OutData(data));
}

}  // namespace tarvo
