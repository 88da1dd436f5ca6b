#include "Outcome.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/Bytes.h"
#include "scsi/Wire.h"

namespace tarvo::providers {
namespace {

struct OpcodeTimeout {
  std::uint8_t opcode;
  std::uint32_t seconds;
};
// SCAN feeds the first sheet, READ waits for the head, OBJECT POSITION moves
// a sheet in or out.
constexpr std::array<OpcodeTimeout, 3> kLongCommands{{
    {wire::kOpScan, kLongTimeoutSeconds},
    {wire::kOpRead, kLongTimeoutSeconds},
    {wire::kOpObjectPosition, kLongTimeoutSeconds},
}};

bool IsImageRead(const aspi::SrbExecScsiCmd& srb) {
  return srb.CDBByte[wire::kCdbOpcode] == wire::kOpRead && srb.SRB_CDBLen >= wire::kCdb10 &&
         srb.CDBByte[wire::kCdb10DataType] == wire::kDataImage;
}

// Fixed-format sense of a short transfer: key NO SENSE, ILI, the residue.
std::array<std::uint8_t, wire::kSenseLength> ShortTransferSense(std::uint32_t residue) {
  std::array<std::uint8_t, wire::kSenseLength> sense{};
  sense[wire::kSenseResponse] = wire::kSenseCurrent;
  PutField(sense, wire::kSenseKeyByte, wire::kSenseKeyMask, wire::kKeyNoSense);
  SetBits(sense, wire::kSenseKeyByte, wire::kSenseIli, true);
  PutBe32(sense, wire::kSenseInformation, residue);
  sense[wire::kSenseAdditionalLength] = wire::kSenseLength - 8;
  return sense;
}

}  // namespace

std::uint32_t TimeoutSeconds(std::uint8_t opcode) {
  for (const OpcodeTimeout& row : kLongCommands) {
    if (row.opcode == opcode) return row.seconds;
  }
  return kShortTimeoutSeconds;
}

Direction RequestDirection(const aspi::SrbExecScsiCmd& srb) {
  if (srb.SRB_BufLen == 0 || srb.SRB_BufPointer == nullptr) return Direction::kNone;
  switch (srb.SRB_Flags & aspi::kSrbDirMask) {
    case aspi::kSrbDirIn:
      return Direction::kIn;
    case aspi::kSrbDirOut:
      return Direction::kOut;
    default:
      return Direction::kNone;
  }
}

PassOutcome FromSystemError(std::span<const SystemErrorRule> rules, int code) {
  PassOutcome outcome;
  outcome.delivered = false;
  outcome.srbStatus = aspi::kSsAborted;
  for (const SystemErrorRule& rule : rules) {
    if (rule.code != code) continue;
    outcome.srbStatus = rule.srbStatus;
    outcome.delivered = rule.srbStatus == aspi::kSsErr;
    outcome.hostAdapterStatus = rule.hostAdapterStatus;
    break;
  }
  return outcome;
}

void CompleteRequest(aspi::SrbExecScsiCmd& srb, const PassOutcome& outcome) {
  srb.SRB_HaStat = aspi::kHaStatOk;
  srb.SRB_TargStat = aspi::kTargetGood;
  std::memset(srb.SenseArea, 0, sizeof srb.SenseArea);
  if (!outcome.delivered) {
    srb.SRB_Status = outcome.srbStatus;
    return;
  }
  if (outcome.hostAdapterStatus != aspi::kHaStatOk) {
    srb.SRB_Status = aspi::kSsErr;
    srb.SRB_HaStat = outcome.hostAdapterStatus;
    srb.SRB_TargStat = outcome.targetStatus;
    return;
  }
  std::span<const std::uint8_t> sense = outcome.sense;
  std::array<std::uint8_t, wire::kSenseLength> shortSense{};
  srb.SRB_TargStat = outcome.targetStatus;
  if (outcome.targetStatus == aspi::kTargetGood && outcome.residue > 0 && IsImageRead(srb)) {
    shortSense = ShortTransferSense(outcome.residue);
    sense = shortSense;
    srb.SRB_TargStat = aspi::kTargetCheckCondition;
  }
  if (srb.SRB_TargStat == aspi::kTargetCheckCondition) {
    const std::size_t n = std::min({sense.size(), std::size_t{srb.SRB_SenseLen},
                                    sizeof srb.SenseArea});
    if (n > 0) std::memcpy(srb.SenseArea, sense.data(), n);
  }
  srb.SRB_Status = srb.SRB_TargStat == aspi::kTargetGood ? aspi::kSsComp : aspi::kSsErr;
}

}  // namespace tarvo::providers
