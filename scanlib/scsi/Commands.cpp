#include "scsi/Commands.h"

#include <algorithm>
#include <array>

namespace tarvo {
namespace {

ScsiCommand NewCommand(const CommandForm& form, ByteSpan data = {}) {
  ScsiCommand command;
  command.cdb[wire::kCdbOpcode] = form.opcode;
  command.cdbLength = form.cdbLength;
  command.direction = form.direction;
  command.data = data;
  command.callSite = form.callSite;
  return command;
}

// The provider only reads the buffer of an out command.
ByteSpan OutData(ConstByteSpan data) {
  return ByteSpan(const_cast<std::uint8_t*>(data.data()), data.size());
}

ByteSpan Bounded(ByteSpan data, std::size_t length) {
  return data.first(std::min(data.size(), length));
}

// READ and SEND: 28|2A 00 T 00 Q1 Q0 L2 L1 L0 00.
ScsiCommand Transfer(const CommandForm& form, std::uint8_t dataType, std::uint16_t qualifier,
                     ByteSpan data, std::uint32_t length) {
  ScsiCommand command = NewCommand(form, Bounded(data, length));
  auto& cdb = command.cdb;
  cdb[wire::kCdb10DataType] = dataType;
  PutBe16(cdb, wire::kCdb10Qualifier, qualifier);
  PutBe24(cdb, wire::kCdb10TransferLength, length);
  return command;
}

// GET SCAN MODE: D5 00 P 00 L 00.
ScsiCommand GetPage(const CommandForm& form, std::uint8_t pageCode, ByteSpan buffer,
                    std::uint8_t length) {
  ScsiCommand command = NewCommand(form, Bounded(buffer, length));
  auto& cdb = command.cdb;
  cdb[wire::kGetScanModePage] = pageCode;
  cdb[wire::kCdb6Length] = length;
  return command;
}

// DEFINE SCAN MODE: D6 10 00 00 L 00.
ScsiCommand DefinePage(const CommandForm& form, ConstByteSpan data, std::uint8_t length) {
  ScsiCommand command = NewCommand(form, Bounded(OutData(data), length));
  command.cdb[wire::kCdbFlags] = wire::kPageFormatBit;
  command.cdb[wire::kCdb6Length] = length;
  return command;
}

// OBJECT POSITION: 31 P 00 ...
ScsiCommand Position(const CommandForm& form, std::uint8_t positionType) {
  ScsiCommand command = NewCommand(form);
  command.cdb[wire::kObjectPositionType] = positionType;
  return command;
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

ScsiCommand CmdTestUnitReady() { return NewCommand(cmd::kTestUnitReady); }

ScsiCommand CmdInquiry(ByteSpan buffer, std::uint8_t allocationLength) {
  ScsiCommand command = NewCommand(cmd::kInquiry, Bounded(buffer, allocationLength));
  command.cdb[wire::kCdb6Length] = allocationLength;
  return command;
}

ScsiCommand CmdInquiryVendorPage(ByteSpan buffer, std::uint8_t allocationLength) {
  ScsiCommand command = NewCommand(cmd::kInquiryVendorPage, Bounded(buffer, allocationLength));
  auto& cdb = command.cdb;
  cdb[wire::kInquiryEvpd] = wire::kEvpdBit;
  cdb[wire::kInquiryPageCode] = wire::kVendorPageCode;
  cdb[wire::kCdb6Length] = allocationLength;
  return command;
}

ScsiCommand CmdSetMeasurementUnit(std::uint16_t divisor) {
  ScsiCommand command = NewCommand(cmd::kSetMeasurementUnit);
  command.cdb[wire::kCdbFlags] = wire::kPageFormatBit;
  command.cdb[wire::kCdb6Length] = wire::kModeSelectLength;
  auto& data = command.ownData;
  data[wire::kMuPageCode] = wire::kMeasurementUnitsPage;
  data[wire::kMuPageLength] = wire::kMeasurementUnitsPageLength;
  data[wire::kMuBasicUnit] = 0;  // inch
  PutBe16(data, wire::kMuDivisor, divisor);
  command.ownLength = wire::kModeSelectLength;
  return command;
}

ScsiCommand CmdScan(std::uint8_t window) {
  const auto* found =
      std::find_if(kWindowLists.begin(), kWindowLists.end(),
                   [window](const WindowList& list) { return list.window == window; });
  const WindowList& list = found != kWindowLists.end() ? *found : kWindowLists[0];
  ScsiCommand command = NewCommand(cmd::kScan);
  command.cdb[wire::kCdb6Length] = list.count;
  std::copy_n(list.ids.begin(), list.count, command.ownData.begin());
  command.ownLength = list.count;
  return command;
}

ScsiCommand CmdSetWindow(ConstWindowSpan window) {
  ScsiCommand command = NewCommand(cmd::kSetWindow, OutData(window));
  PutBe24(command.cdb, wire::kCdb10TransferLength, wire::kWindowDataLength);
  return command;
}

ScsiCommand CmdGetWindow(std::uint8_t windowId, WindowSpan window) {
  ScsiCommand command = NewCommand(cmd::kGetWindow, window);
  auto& cdb = command.cdb;
  cdb[wire::kCdbFlags] = wire::kSingleWindowBit;
  cdb[wire::kCdb10WindowId] = windowId;
  PutBe24(cdb, wire::kCdb10TransferLength, wire::kWindowDataLength);
  return command;
}

ScsiCommand CmdReadImage(ByteSpan buffer, std::uint32_t length) {
  return Transfer(cmd::kReadImage, wire::kDataImage, 0, buffer, length);
}

ScsiCommand CmdReadDetectedSize(std::span<std::uint8_t, wire::kDetectedSizeLength> buffer) {
  return Transfer(cmd::kReadDetectedSize, wire::kDataDetectedSize, 0, buffer,
                  wire::kDetectedSizeLength);
}

ScsiCommand CmdReadSeparatorStatus(std::span<std::uint8_t, wire::kSeparatorStatusLength> buffer) {
  return Transfer(cmd::kReadSeparatorStatus, wire::kDataSeparatorStatus, 0, buffer,
                  wire::kSeparatorStatusLength);
}

ScsiCommand CmdReadStatus(std::span<std::uint8_t, wire::kStatusLength> buffer) {
  return Transfer(cmd::kReadStatus, wire::kDataStatus, 0, buffer, wire::kStatusLength);
}

ScsiCommand CmdReadGamma(std::uint16_t qualifier, GammaSpan table) {
  return Transfer(cmd::kReadGamma, wire::kDataGamma, qualifier, table, wire::kGammaLength);
}

ScsiCommand CmdReadCounters(std::span<std::uint8_t, wire::kCountersLength> buffer) {
  return Transfer(cmd::kReadCounters, wire::kDataCounters, 0, buffer, wire::kCountersLength);
}

ScsiCommand CmdSendGamma(std::uint16_t qualifier, ConstGammaSpan table) {
  return Transfer(cmd::kSendGamma, wire::kDataGamma, qualifier, OutData(table), wire::kGammaLength);
}

ScsiCommand CmdUnloadObject() { return Position(cmd::kUnloadObject, wire::kObjectUnload); }

ScsiCommand CmdLoadObject() { return Position(cmd::kLoadObject, wire::kObjectLoad); }

ScsiCommand CmdGetScanMode(std::uint8_t pageCode, ByteSpan buffer, std::uint8_t allocationLength) {
  return GetPage(cmd::kGetScanMode, pageCode, buffer, allocationLength);
}

ScsiCommand CmdDefineScanMode(ConstShortPageSpan data) {
  return DefinePage(cmd::kDefineScanMode, data, wire::kShortPageDataLength);
}

ScsiCommand CmdDefineScanMode(ConstByteSpan data, std::uint8_t length) {
  return DefinePage(cmd::kDefineScanModeLength, data, length);
}

ScsiCommand CmdGetStatusPage(ShortPageSpan buffer) {
  return GetPage(cmd::kGetStatusPage, wire::kPageStatus, buffer, wire::kShortPageDataLength);
}

ScsiCommand CmdStopBatch() { return NewCommand(cmd::kStopBatch); }

ScsiCommand CmdGetFunctionKey(std::uint8_t key, FunctionKeySpan buffer) {
  ScsiCommand command = NewCommand(cmd::kGetFunctionKey, buffer);
  command.cdb[wire::kFunctionKeyNumber] = key;
  command.cdb[wire::kCdb6Length] = wire::kFunctionKeyBlockLength;
  return command;
}

ScsiCommand CmdDefineFunctionKey(ConstFunctionKeySpan data) {
  ScsiCommand command = NewCommand(cmd::kDefineFunctionKey, OutData(data));
  command.cdb[wire::kCdb6Length] = wire::kFunctionKeyBlockLength;
  return command;
}

}  // namespace tarvo
