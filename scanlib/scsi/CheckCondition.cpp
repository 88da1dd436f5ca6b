#include "scsi/CheckCondition.h"

#include <array>

#include "core/Diagnostics.h"
#include "scsi/Srb.h"
#include "scsi/Wire.h"

namespace tarvo {
namespace {

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

Result OutcomeResult(const ScsiOutcome& outcome) {
  const std::uint16_t transportResult = outcome.result;
  if (transportResult == 0) return Result::Ok;
  if (IsCheckCondition(transportResult)) {
    return SenseToResult(ConstByteSpan(outcome.sense.bytes, wire::kSenseLength));
  }
  return Result::ScannerFailure;
}

Result CheckScsi(GroundContext& context, const ScsiOutcome& outcome, int callSite,
                 const char* module) {
  const std::uint16_t transportResult = outcome.result;
  if (transportResult != 0 && !IsCheckCondition(transportResult)) {
    DriverLog(context, kTagCheckScsi, callSite, module, transportResult);
  }
  return OutcomeResult(outcome);
}

}  // namespace tarvo
