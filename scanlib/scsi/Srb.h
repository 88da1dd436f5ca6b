// The ASPI for Win32 request block for executing a SCSI command
// (SRB_ExecSCSICmd), shared by the driver's transport and by ASPI providers
// such as the RT650 simulator. Packed to 1 byte with native pointers.
//
// Offsets on a 32-bit build (64-bit builds widen the two pointers):
//   0  SRB_Cmd        2 = SC_EXEC_SCSI_CMD
//   1  SRB_Status     SS_* completion status
//   2  SRB_HaId       host adapter index
//   3  SRB_Flags      0x08 data in, 0x10 data out, 0x40 event notify
//   4  SRB_Hdr_Rsvd
//   8  SRB_Target     target ID
//   9  SRB_Lun
//  10  SRB_Rsvd1
//  12  SRB_BufLen     data length
//  16  SRB_BufPointer data buffer
//  20  SRB_SenseLen   sense bytes wanted (14)
//  21  SRB_CDBLen     6 or 10
//  22  SRB_HaStat     host adapter status
//  23  SRB_TargStat   target status (2 = CHECK CONDITION)
//  24  SRB_PostProc   event: HANDLE on Windows, (void *)(intptr_t)eventfd on POSIX
//  28  SRB_Rsvd2[20]
//  48  CDBByte[16]
//  64  SenseArea[16]
#pragma once

#include <cstddef>
#include <cstdint>

namespace tarvo::aspi {

#pragma pack(push, 1)
struct SrbExecScsiCmd {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target;
  std::uint8_t SRB_Lun;
  std::uint16_t SRB_Rsvd1;
  std::uint32_t SRB_BufLen;
  std::uint8_t* SRB_BufPointer;
  std::uint8_t SRB_SenseLen;
  std::uint8_t SRB_CDBLen;
  std::uint8_t SRB_HaStat;
  std::uint8_t SRB_TargStat;
  void* SRB_PostProc;
  std::uint8_t SRB_Rsvd2[20];
  std::uint8_t CDBByte[16];
  std::uint8_t SenseArea[16];
};
#pragma pack(pop)

static_assert(offsetof(SrbExecScsiCmd, SRB_BufPointer) == 16);
static_assert(offsetof(SrbExecScsiCmd, SRB_SenseLen) == 16 + sizeof(void*));
static_assert(offsetof(SrbExecScsiCmd, CDBByte) == 40 + 2 * sizeof(void*));
static_assert(sizeof(SrbExecScsiCmd) == 72 + 2 * sizeof(void*));

// SRB_Cmd
inline constexpr std::uint8_t kScHaInquiry = 0x00;
inline constexpr std::uint8_t kScExecScsiCmd = 0x02;

// SRB_Status
inline constexpr std::uint8_t kSsPending = 0x00;
inline constexpr std::uint8_t kSsComp = 0x01;
inline constexpr std::uint8_t kSsAborted = 0x02;
inline constexpr std::uint8_t kSsErr = 0x04;
inline constexpr std::uint8_t kSsInvalidCmd = 0x80;
inline constexpr std::uint8_t kSsInvalidHa = 0x81;
inline constexpr std::uint8_t kSsNoDevice = 0x82;
inline constexpr std::uint8_t kSsInvalidSrb = 0xE0;
inline constexpr std::uint8_t kSsBufferTooBig = 0xE6;  // more data than the adapter takes
inline constexpr std::uint8_t kSsNoAdapters = 0xE8;

// SRB_Flags
inline constexpr std::uint8_t kSrbDirIn = 0x08;
inline constexpr std::uint8_t kSrbDirOut = 0x10;
inline constexpr std::uint8_t kSrbDirMask = 0x18;
inline constexpr std::uint8_t kSrbEventNotify = 0x40;

// SRB_HaStat values a provider may report.
inline constexpr std::uint8_t kHaStatOk = 0x00;
inline constexpr std::uint8_t kHaStatTimeout = 0x09;
inline constexpr std::uint8_t kHaStatBusReset = 0x0E;
inline constexpr std::uint8_t kHaStatParityError = 0x0F;
inline constexpr std::uint8_t kHaStatSelectionTimeout = 0x11;
inline constexpr std::uint8_t kHaStatDataOverrun = 0x12;
inline constexpr std::uint8_t kHaStatBusFree = 0x13;
inline constexpr std::uint8_t kHaStatPhaseError = 0x14;

// SRB_TargStat
inline constexpr std::uint8_t kTargetGood = 0x00;
inline constexpr std::uint8_t kTargetCheckCondition = 0x02;
inline constexpr std::uint8_t kTargetBusy = 0x08;

// The provider's two entry points. GetASPI32SupportInfo answers
// (SRB status << 8) | adapter count; SendASPI32Command answers SS_PENDING (0)
// when it will complete the request later through the SRB_PostProc event.
// On 32-bit Windows both are cdecl exports at ordinals 1 and 2.
using GetSupportInfoFn = std::uint32_t (*)();
using SendCommandFn = std::uint32_t (*)(void* srb);

// The support-information word: bits 8..15 the SRB status, bits 0..7 the
// number of host adapters.
inline constexpr std::uint32_t SupportInfo(std::uint8_t status, std::uint8_t adapters) {
  return (std::uint32_t{status} << 8) | adapters;
}
inline constexpr std::uint8_t SupportStatus(std::uint32_t info) {
  return static_cast<std::uint8_t>(info >> 8);
}
inline constexpr std::uint8_t SupportAdapterCount(std::uint32_t info) {
  return static_cast<std::uint8_t>(info);
}

}  // namespace tarvo::aspi
