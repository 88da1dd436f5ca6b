// What both real ASPI providers share: the timeout of a command, the data
// direction of a request block, and how the outcome of one pass-through
// request (Linux SG_IO, Windows SCSI pass-through) lands in the block.
//
// No operating-system headers here: each provider turns its system's answer
// into a PassOutcome, and CompleteRequest fills the request block from it the
// way the driver's transport reads it (docs/aspi.md).
#pragma once

#include <cstdint>
#include <span>

#include "scsi/Srb.h"

namespace tarvo::providers {

// Seconds a command may take. Commands that move paper or image data wait
// for the feeder and the scan head; every other command gets the short bound.
inline constexpr std::uint32_t kShortTimeoutSeconds = 30;
inline constexpr std::uint32_t kLongTimeoutSeconds = 180;
std::uint32_t TimeoutSeconds(std::uint8_t opcode);

enum class Direction : std::uint8_t { kNone, kIn, kOut };
// The request's data direction: none when it has no buffer or no length.
Direction RequestDirection(const aspi::SrbExecScsiCmd& srb);

// The outcome of one request as the operating system reported it.
struct PassOutcome {
  // False: the request never reached the target; srbStatus says why.
  bool delivered = true;
  std::uint8_t srbStatus = aspi::kSsComp;
  // Delivered requests: the host adapter's status in ASPI terms (0 fine),
  // the target's SCSI status byte, the sense bytes it returned and the bytes
  // of the data phase that were not transferred.
  std::uint8_t hostAdapterStatus = aspi::kHaStatOk;
  std::uint8_t targetStatus = aspi::kTargetGood;
  std::span<const std::uint8_t> sense;
  std::uint32_t residue = 0;
};

// A system error code and what it means for the request block: either an
// SRB status (not delivered) or, with srbStatus SS_ERR, a host adapter status.
struct SystemErrorRule {
  int code;
  std::uint8_t srbStatus;
  std::uint8_t hostAdapterStatus;
};
// The outcome of a request the system refused with `code`; codes without a
// rule are reported as aborted.
PassOutcome FromSystemError(std::span<const SystemErrorRule> rules, int code);

// Fills SRB_Status, SRB_HaStat, SRB_TargStat and SenseArea. An image READ
// that ends early with good status (a bridge that reports only the residue)
// is reported as the scanner itself reports it: CHECK CONDITION, sense key
// NO SENSE with ILI, the residue in the information field.
void CompleteRequest(aspi::SrbExecScsiCmd& srb, const PassOutcome& outcome);

}  // namespace tarvo::providers
