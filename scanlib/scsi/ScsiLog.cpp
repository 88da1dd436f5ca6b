#include "scsi/ScsiLog.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "scsi/Srb.h"
#include "scsi/Wire.h"

namespace tarvo {

const RotatingLog kScsiResultLog{
    "c:\\scsi.log",
    {"c:\\scsi0.log", "c:\\scsi1.log", "c:\\scsi2.log", "c:\\scsi3.log", "c:\\scsi4.log"},
    kScsiLogLimit,
    kFlagWriteThrough};

const RotatingLog kCommandTraceLog{"cdb.log",
                                   {"cdb0.log", "cdb1.log", "cdb2.log", "cdb3.log", "cdb4.log"},
                                   kScsiLogLimit,
                                   kFlagWriteThrough};

namespace {

struct OpcodeName {
  std::uint8_t opcode;
  const char* name;  // 15 characters
};

constexpr std::array<OpcodeName, 17> kOpcodeNames{{
    {wire::kOpTestUnitReady, "TestUnitReady  "},
    {wire::kOpRequestSense, "RequestSense   "},
    {wire::kOpInquiry, "Inquiry        "},
    {wire::kOpModeSelect, "ModeSelect     "},
    {wire::kOpReserveUnit, "ReserveUnit    "},
    {wire::kOpReleaseUnit, "ReleaseUnit    "},
    {wire::kOpModeSense, "ModeSense      "},
    {wire::kOpScan, "Scan           "},
    {wire::kOpDiagnostic, "Diagnostic     "},
    {wire::kOpSetWindow, "SetWindow      "},
    {wire::kOpGetWindow, "GetWindow      "},
    {wire::kOpRead, "Read           "},
    {wire::kOpSend, "Send           "},
    {wire::kOpObjectPosition, "ObjectPosition "},
    {wire::kOpGetScanMode, "GetScanMode    "},
    {wire::kOpDefineScanMode, "DefineScanMode "},
    {wire::kOpStopBatch, "StopBatch      "},
}};
constexpr const char* kUnknownCommand = "UnknownCommand ";

constexpr std::size_t kHexSlot = 3;                                  // "%02X "
constexpr std::string_view kSenseLead = "                  SENSE:";  // 18 spaces

// Appends `bytes` as "%02X " each to `out` from `at`; returns the new end.
std::size_t PutHexBytes(char* out, std::size_t at, ConstByteSpan bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (std::uint8_t b : bytes) {
    out[at++] = kDigits[b >> 4];
    out[at++] = kDigits[b & 0x0F];
    out[at++] = ' ';
  }
  return at;
}

}  // namespace

const char* TraceCommandName(std::uint8_t opcode) {
  for (const OpcodeName& entry : kOpcodeNames) {
    if (entry.opcode == opcode) return entry.name;
  }
  return kUnknownCommand;
}

void WriteScsiResult(Platform& platform, const char* tag, int callSite, const char* module,
                     std::uint32_t value) {
  const LogStamp stamp = MakeLogStamp(platform.Now());
  char line[256];
  const int length =
      std::snprintf(line, sizeof line, "%s %s %s 0x%08X returned from line %d of %s\r\n",
                    stamp.date, stamp.time, tag, value, callSite, module);
  if (length <= 0) return;
  const std::string_view piece(line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
  AppendLogEntry(platform, kScsiResultLog, std::span(&piece, 1));
}

void TraceCommand(Platform& platform, bool traceOn, std::uint8_t target, const std::uint8_t* sense,
                  ConstByteSpan cdb, ConstByteSpan data, std::uint8_t srbStatus) {
  if (!traceOn) return;
  const LogStamp stamp = MakeLogStamp(platform.Now());

  std::array<char, kTraceCdbSlots * kHexSlot + 1> cdbText;
  cdbText.fill(' ');
  PutHexBytes(cdbText.data(), 0, cdb.first(std::min(cdb.size(), kTraceCdbSlots)));
  cdbText.back() = '\0';

  std::array<char, kTraceDataBytes * kHexSlot + 1> dataText;
  std::size_t dataEnd = dataText.size() - 1;
  if (data.empty()) {
    dataText.fill(' ');
  } else {
    dataEnd = PutHexBytes(dataText.data(), 0, data.first(std::min(data.size(), kTraceDataBytes)));
  }
  dataText[dataEnd] = '\0';

  char line[600];
  const int length =
      std::snprintf(line, sizeof line, "%s %s TID:%02X %s CDB:%s STATUS:%02X DATA:%s\r\n",
                    stamp.date, stamp.time, target, TraceCommandName(cdb.empty() ? 0xFF : cdb[0]),
                    cdbText.data(), srbStatus, dataText.data());
  if (length <= 0) return;

  std::array<char, kSenseLead.size() + kTraceSenseBytes * kHexSlot + 2> senseLine;
  std::copy(kSenseLead.begin(), kSenseLead.end(), senseLine.begin());
  std::size_t at =
      PutHexBytes(senseLine.data(), kSenseLead.size(), ConstByteSpan(sense, kTraceSenseBytes));
  senseLine[at++] = '\r';
  senseLine[at++] = '\n';

  const std::array<std::string_view, 2> pieces{
      std::string_view(line, std::min(static_cast<std::size_t>(length), sizeof line - 1)),
      std::string_view(senseLine.data(), at)};
  const std::size_t count = srbStatus == aspi::kSsErr ? 2 : 1;
  AppendLogEntry(platform, kCommandTraceLog, std::span(pieces).first(count));
}

}  // namespace tarvo
