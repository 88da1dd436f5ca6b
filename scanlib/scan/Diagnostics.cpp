#include "scan/Diagnostics.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "scan/DriverContext.h"
#include "scsi/Commands.h"
#include "scsi/LogFile.h"
#include "scsi/Wire.h"

namespace tarvo {
namespace {

const RotatingLog kDriverLog{
    "c:\\scan.log",
    {"c:\\scan0.log", "c:\\scan1.log", "c:\\scan2.log", "c:\\scan3.log", "c:\\scan4.log"},
    kDriverLogLimit,
    kFlagRandomAccess};

constexpr std::size_t kSystemTextSize = 128;  // at most 127 characters of system text

// One row of the sense translation; kAny matches every value. The first row
// that matches wins, so specific rows stand before the general row of their
// sense key.
constexpr int kAny = -1;
struct SenseRule {
  std::uint8_t key;
  int asc;
  int ascq;
  Result result;
};

using wire::kKeyAbortedCommand;
using wire::kKeyHardwareError;
using wire::kKeyIllegalRequest;
using wire::kKeyMediumError;
using wire::kKeyMiscompare;
using wire::kKeyNoSense;
using wire::kKeyNotReady;
using wire::kKeyRecovered;
using wire::kKeyUnitAttention;

constexpr std::array<SenseRule, 27> kSenseRules{{
    {kKeyNoSense, kAny, kAny, Result::Ok},
    {kKeyRecovered, kAny, kAny, Result::Ok},
    {kKeyNotReady, 0x04, 0x03, Result::NotReadyManual},
    {kKeyNotReady, kAny, kAny, Result::NotReady},
    {kKeyMediumError, 0x3A, 0x00, Result::NoPaper},
    {kKeyMediumError, 0x3A, 0x01, Result::MediumErrorQ1},
    {kKeyMediumError, 0x80, 0x01, Result::MediumErrorQ1},
    {kKeyMediumError, 0x80, 0x00, Result::PaperJam},
    {kKeyMediumError, kAny, kAny, Result::HardwareError},
    {kKeyHardwareError, kAny, kAny, Result::HardwareError},
    {kKeyIllegalRequest, 0x1A, kAny, Result::ParamListLength},
    {kKeyIllegalRequest, 0x20, kAny, Result::InvalidOpcode},
    {kKeyIllegalRequest, 0x24, kAny, Result::InvalidCdbField},
    {kKeyIllegalRequest, 0x25, kAny, Result::InvalidParamField},
    {kKeyIllegalRequest, 0x26, kAny, Result::InvalidParamField},
    {kKeyIllegalRequest, 0x2C, 0x00, Result::SequenceError},
    {kKeyIllegalRequest, 0x2C, 0x01, Result::SequenceErrorQ1},
    {kKeyIllegalRequest, 0x2C, kAny, Result::NoPaper},
    {kKeyIllegalRequest, 0x3A, kAny, Result::NoPaper},
    {kKeyIllegalRequest, 0x3D, kAny, Result::IdentifyBits},
    {kKeyIllegalRequest, 0x55, kAny, Result::ResourceFailure},
    {kKeyIllegalRequest, kAny, kAny, Result::IllegalRequest},
    {kKeyUnitAttention, kAny, kAny, Result::IllegalRequest},
    {kKeyAbortedCommand, kAny, kAny, Result::Aborted},
    {kKeyMiscompare, 0x3B, 0x0D, Result::VerifyMismatch},
    {kKeyMiscompare, 0x3B, 0x0E, Result::VerifyMismatch},
    {kKeyMiscompare, kAny, kAny, Result::ScannerFailure},
}};
// Sense keys 7 to 10, 12, 13 and 15 match no row and have no code of their own.
constexpr Result kUnlistedSenseKey = Result::ScannerFailure;

constexpr bool Matches(int pattern, std::uint8_t value) {
  return pattern == kAny || pattern == value;
}

}  // namespace

void DriverLog(DriverContext& context, const char* tag, int callSite, const char* module,
               std::int32_t code) {
  Platform& platform = context.platform;
  const LogStamp stamp = MakeLogStamp(platform.Now());
  char systemText[kSystemTextSize] = {};
  platform.ErrorText(static_cast<std::uint32_t>(code), systemText, sizeof systemText);
  // The entry goes out in one write: the report line, the system's text, CR LF.
  // The report line has room for a tag that names a full path; the system's
  // text and the closing CR LF are pieces of their own and are never cut.
  char line[512];
  const int length = std::snprintf(line, sizeof line, "%s %s %s %d returned from line %d of %s\r\n",
                                   stamp.date, stamp.time, tag, code, callSite, module);
  if (length <= 0) return;
  const std::string_view pieces[] = {
      std::string_view(line, std::min(static_cast<std::size_t>(length), sizeof line - 1)),
      std::string_view(systemText), std::string_view("\r\n")};
  AppendLogEntry(platform, kDriverLog, pieces);
}

Result SenseToResult(ConstByteSpan sense) {
  if (sense.size() < wire::kSenseLength) return Result::ScannerFailure;
  const auto key = static_cast<std::uint8_t>(sense[wire::kSenseKeyByte] & wire::kSenseKeyMask);
  const std::uint8_t asc = sense[wire::kSenseAsc];
  const std::uint8_t ascq = sense[wire::kSenseAscq];
  for (const SenseRule& rule : kSenseRules) {
    if (rule.key == key && Matches(rule.asc, asc) && Matches(rule.ascq, ascq)) return rule.result;
  }
  return kUnlistedSenseKey;
}

Result CheckScsi(DriverContext& context, std::uint16_t transportResult, const std::uint8_t* sense,
                 int callSite) {
  if (transportResult == 0) return Result::Ok;
  if (transportResult == aspi::kTargetCheckCondition) {
    return SenseToResult(ConstByteSpan(sense, wire::kSenseLength));
  }
  DriverLog(context, kTagCheckScsi, callSite, kModuleScan, transportResult);
  return Result::ScannerFailure;
}

void SpinWait(DriverContext& context, std::uint32_t milliseconds) {
  Platform& platform = context.platform;
  const std::uint32_t start = platform.Ticks();
  // Until the counter has passed start + milliseconds; differences survive its wrap.
  while (platform.Ticks() - start <= milliseconds) {
  }
}

void ReportFileSizeError(DriverContext& context, const char* caption, std::uint32_t code,
                         int callSite) {
  if (code == 0) return;
  char text[128];
  std::snprintf(text, sizeof text, "%d returned at line %d %s", static_cast<int>(code), callSite,
                kModuleScan);
  context.platform.ShowMessageBox(nullptr, text, caption, kMbOk);
}

Result EjectSheet(DriverContext& context) {
  std::array<std::uint8_t, 16> sense{};
  const std::uint16_t status = CmdUnloadObject(context, context.state.scannerTarget, sense.data());
  return CheckScsi(context, status, sense.data(), kSiteEjectSheet);
}

Result AbortScan(DriverContext& context) { return EjectSheet(context); }

}  // namespace tarvo
