// The two SCSI logs.
//
// Result log "c:\scsi.log" (generations "c:\scsi0.log" .. "c:\scsi4.log"):
// one line per report of the transport,
//   "MM/DD/YY HH:MM:SS <tag> 0x%08X returned from line <n> of <module>" CR LF
// with the tag "ASPI error" (the transport's own report) or "ASPI caller"
// (the report naming the failed command's call site).
//
// Command trace "cdb.log" in the current folder (generations "cdb0.log" ..
// "cdb4.log"), written only while the trace switch is on: per command
//   "MM/DD/YY HH:MM:SS TID:%02X <name, 15 chars> CDB:<30 chars> STATUS:%02X DATA:<data>" CR LF
// CDB: ten "%02X " slots, slots past the CDB length are three spaces.
// DATA: the first min(length, 128) data bytes as "%02X ", or 384 spaces when
// the length is 0. When the SRB status is 4 (SS_ERR) a second line follows:
//   18 spaces, "SENSE:", the 14 sense bytes as "%02X " each, CR LF.
//
// Both logs rotate past 524288 bytes; every failure of a log is silent.
#pragma once

#include <cstdint>

#include "core/Bytes.h"
#include "platform/Platform.h"
#include "core/LogFile.h"

namespace tarvo {

inline constexpr std::uint32_t kScsiLogLimit = 0x80000;  // 524288 bytes
inline constexpr std::size_t kTraceDataBytes = 128;
inline constexpr std::size_t kTraceCdbSlots = 10;
inline constexpr std::size_t kTraceSenseBytes = 14;

extern const RotatingLog kScsiResultLog;
extern const RotatingLog kCommandTraceLog;

// The trace's 15-character name of an opcode ("UnknownCommand " when not listed).
const char* TraceCommandName(std::uint8_t opcode);

void WriteScsiResult(Platform& platform, const char* tag, int callSite, const char* module,
                     std::uint32_t value);

// `sense` holds at least 14 bytes. Does nothing while `traceOn` is false.
void TraceCommand(Platform& platform, bool traceOn, std::uint8_t target, const std::uint8_t* sense,
                  ConstByteSpan cdb, ConstByteSpan data, std::uint8_t srbStatus);

}  // namespace tarvo
