// The SCSI transport over ASPI for Win32: one command at a time from the
// driver to the scanner and back.
//
// Execute runs one ScsiCommand (built by scsi/Commands.h): it fills an
// SRB_ExecSCSICmd on its own stack, sends it to the provider, waits without a
// time limit for the request's event when the provider answers SS_PENDING,
// writes the command trace and hands back a ScsiOutcome whose 16-bit
// transport result condenses the request's statuses:
//
//   0                        completed (SS_COMP or SS_ERR), host adapter and target status 0
//   target status (1..255)   completed with a non-zero target status (2 = CHECK CONDITION)
//   SRB status*256 + HaStat  completed with a non-zero host adapter status, or any SRB
//                            status other than SS_COMP and SS_ERR (0x8200: SS_NO_DEVICE)
//   800                      no event object could be made; nothing was sent
//
// Every failure leaves two lines in the SCSI result log, "ASPI error" with
// the transport's own call-site number (407 host adapter, 416 target, 428
// SRB status) and "ASPI caller" with the command's call site, both with the
// value target<<24 | status<<16 | HaStat<<8 | TargStat; a failed event
// creation leaves one "ASPI error" line with the system's error number (354).
//
// Where requests go: the provider library (LibraryProvider) is loaded at the
// first AspiInit or request that finds no provider. A test or an outside
// host may put any aspi::Provider in its place with SetProvider (the
// transport does not own it; it must outlive the context or be replaced).
// Without any provider there are no adapters (AspiInit answers 0xE8,
// SS_NO_ADAPTERS) and every request ends with SRB status 0xE8.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "core/Bytes.h"
#include "core/Ground.h"
#include "scsi/AspiProvider.h"
#include "scsi/LibraryProvider.h"
#include "scsi/Wire.h"

namespace tarvo {

inline constexpr std::size_t kMaxAdapters = 32;
inline constexpr std::uint32_t kDefaultMaxTransfer = 0x4000;  // without "RIZIDUD"
inline constexpr std::uint16_t kNoEventResult = 800;
inline constexpr std::uint8_t kSenseBufferLength = 14;  // sense bytes handed back

inline constexpr const char* kModuleScsi = "Scsi";
inline constexpr const char* kTagAspiError = "ASPI error";
inline constexpr const char* kTagAspiCaller = "ASPI caller";
inline constexpr int kSiteNoEvent = 354;
inline constexpr int kSiteHostAdapterError = 407;
inline constexpr int kSiteTargetError = 416;
inline constexpr int kSiteSrbError = 428;

// The optional library that knows each adapter's maximum transfer size.
inline constexpr const char* kMaxTransferLibrary = "RIZIDUD";
inline constexpr const char* kMaxTransferSymbol = "GetScsiMaxTransferSize";

// Driver-wide transport state, zero at load.
struct ScsiTransport {
  std::uint16_t adapterCount = 0;
  std::array<std::uint32_t, kMaxAdapters> maxTransfer{};
  std::uint8_t selectedAdapter = 0;
  int lastCallSite = 0;  // of the last command Execute ran; InquiryAt's failures name it

  aspi::Provider* provider = nullptr;            // where requests go
  std::optional<aspi::LibraryProvider> library;  // the loaded provider library, if any
};

// What the SCSI room needs of the driver: the ground's platform and message
// switch, the transport and the command-trace switch.
struct ScsiContext : GroundContext {
  using GroundContext::GroundContext;
  ScsiTransport transport;  // adapters, selected adapter, last call site, ASPI provider
  bool cdbTraceOn = false;  // SCSI command trace switch
};

// Routes every later request to `provider` (nullptr: load the library again
// at the next AspiInit).
void SetProvider(ScsiTransport& transport, aspi::Provider* provider);

// 0 on success, else the SRB status GetASPI32SupportInfo reported. On
// success stores the adapter count and the maximum transfer size of the
// first 32 adapters.
std::uint16_t AspiInit(ScsiContext& context);
// AspiInit, then the adapter count (0 when AspiInit failed).
std::uint16_t AspiAdapterCount(ScsiContext& context);
// "GetScsiMaxTransferSize" of the optional library, or 16384 without it.
std::uint32_t QueryMaxTransfer(ScsiContext& context, std::uint32_t adapter);
// The table entry of `adapter` (0 beyond the table).
std::uint32_t AdapterMaxTransfer(const ScsiContext& context, std::uint32_t adapter);
void SelectAdapter(ScsiContext& context, std::uint8_t adapter);

// The sense bytes of one command (the transport hands back 14).
struct SenseBuffer {
  std::uint8_t bytes[16] = {};
  // Byte 2 bit 5: the page's data ended before the requested length.
  bool ShortTransfer() const { return (bytes[wire::kSenseKeyByte] & wire::kSenseIli) != 0; }
};

// One command, built without any I/O: the CDB, the direction, the data phase
// and the call site the result log names when it fails. The data phase is
// the caller's buffer, or the few bytes of out data the builder made itself.
struct ScsiCommand {
  static constexpr std::size_t kOwnDataLength = wire::kModeSelectLength;

  std::array<std::uint8_t, wire::kCdb10> cdb{};
  std::uint8_t cdbLength = 0;
  std::uint8_t direction = 0;  // aspi::kSrbDirIn, aspi::kSrbDirOut or 0
  ByteSpan data;               // the caller's buffer; an out buffer is only read
  std::array<std::uint8_t, kOwnDataLength> ownData{};
  std::uint8_t ownLength = 0;  // non-zero: the data phase is ownData
  int callSite = 0;
};

// What one request came back with.
struct ScsiOutcome {
  std::uint16_t result = 0;  // the transport result above
  std::uint8_t srbStatus = 0, hostAdapterStatus = 0, targetStatus = 0;
  SenseBuffer sense;              // 14 bytes when the request completed, else zeros
  std::uint32_t transferred = 0;  // the data length the request carried
};

// Runs `command` on the selected adapter and remembers its call site. The
// direction is masked with 0x18; the data length goes out as its low 16 bits.
ScsiOutcome Execute(ScsiContext& context, std::uint8_t target, const ScsiCommand& command);
// INQUIRY 12 00 00 00 L 00 with L bytes in, on `adapter`; its failures name
// the call site of the last command Execute ran. `sense` receives 14 bytes.
// The data phase never exceeds `data`.
std::uint16_t InquiryAt(ScsiContext& context, std::uint8_t adapter, std::uint8_t target,
                        std::uint8_t* sense, ByteSpan data, std::uint8_t allocationLength);

}  // namespace tarvo
