#include "Outcome.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/Bytes.h"
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

// Descriptor-format sense (response code 0x72 or 0x73), as some bridges and
// newer targets send it, in the fixed format the driver reads:
//   0 response code, 1 key, 2 ASC, 3 ASCQ, 7 additional length, 8.. descriptors
//   (type, length, body); type 0x00 information (bytes 4..11, the low 32 bits
//   kept), type 0x04 stream commands (byte 3 bit 5 ILI).
constexpr std::uint8_t kDescriptorSense = 0x72;
constexpr std::size_t kDescriptorsStart = 8;
std::array<std::uint8_t, wire::kSenseLength> FixedFromDescriptor(std::span<const std::uint8_t> in) {
  std::array<std::uint8_t, wire::kSenseLength> out{};
  out[wire::kSenseResponse] = wire::kSenseCurrent;
  PutField(out, wire::kSenseKeyByte, wire::kSenseKeyMask, in.size() > 1 ? in[1] : 0);
  out[wire::kSenseAsc] = in.size() > 2 ? in[2] : 0;
  out[wire::kSenseAscq] = in.size() > 3 ? in[3] : 0;
  out[wire::kSenseAdditionalLength] = wire::kSenseLength - 8;
  for (std::size_t at = kDescriptorsStart; at + 2 <= in.size(); at += 2 + in[at + 1]) {
    const std::uint8_t type = in[at];
    const std::size_t end = at + 2 + in[at + 1];
    if (end > in.size()) break;
    if (type == 0x00 && end >= at + 12) PutBe32(out, wire::kSenseInformation, GetBe32(in, at + 8));
    if (type == 0x04 && end >= at + 4) {
      SetBits(out, wire::kSenseKeyByte, wire::kSenseIli, (in[at + 3] & wire::kSenseIli) != 0);
    }
  }
  return out;
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
  std::array<std::uint8_t, wire::kSenseLength> shortSense{};  // made here: short read, descriptor
  srb.SRB_TargStat = outcome.targetStatus;
  if (outcome.targetStatus == aspi::kTargetGood && outcome.residue > 0 && IsImageRead(srb)) {
    shortSense = ShortTransferSense(outcome.residue);
    sense = shortSense;
    srb.SRB_TargStat = aspi::kTargetCheckCondition;
  }
  if (!sense.empty() && (sense[0] & 0x7E) == kDescriptorSense) {
    shortSense = FixedFromDescriptor(sense);
    sense = shortSense;
  }
  if (srb.SRB_TargStat == aspi::kTargetCheckCondition) {
    const std::size_t n = std::min({sense.size(), std::size_t{srb.SRB_SenseLen},
                                    sizeof srb.SenseArea});
    if (n > 0) std::memcpy(srb.SenseArea, sense.data(), n);
  }
  srb.SRB_Status = srb.SRB_TargStat == aspi::kTargetGood ? aspi::kSsComp : aspi::kSsErr;
}

}  // namespace tarvo::providers
