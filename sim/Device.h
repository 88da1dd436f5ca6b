// A device on the simulated bus and the exchange of one command with it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "core/Bytes.h"
#include "scsi/Srb.h"
#include "scsi/Wire.h"

namespace tarvo::sim {

// Fixed-format sense data in the scanner's terms.
struct Sense {
  std::uint8_t key = 0;
  std::uint8_t asc = 0;
  std::uint8_t ascq = 0;
  bool ili = false;               // short transfer (byte 2 bit 5)
  std::uint32_t information = 0;  // residue of a short transfer

  // The 14 bytes the scanner returns:
  //   0 response 0x70, 2 key | ILI, 3..6 information, 7 additional length 6,
  //   12 ASC, 13 ASCQ.
  std::array<std::uint8_t, wire::kSenseLength> Bytes() const;
};

// Common conditions, named as the fault script and the docs name them.
inline constexpr Sense kSenseNoPaper{wire::kKeyMediumError, 0x3A, 0x00};
inline constexpr Sense kSenseJam{wire::kKeyMediumError, 0x80, 0x00};
inline constexpr Sense kSenseNotReady{wire::kKeyNotReady, 0x04, 0x00};
inline constexpr Sense kSenseUnitAttention{wire::kKeyUnitAttention, 0x29, 0x00};
inline constexpr Sense kSenseInvalidOpcode{wire::kKeyIllegalRequest, 0x20, 0x00};
inline constexpr Sense kSenseInvalidCdbField{wire::kKeyIllegalRequest, 0x24, 0x00};
inline constexpr Sense kSenseInvalidParameter{wire::kKeyIllegalRequest, 0x26, 0x00};
inline constexpr Sense kSenseParameterLength{wire::kKeyIllegalRequest, 0x1A, 0x00};

// One command on its way through a device. The bus fills the request half;
// the device fills the answer half.
struct Exchange {
  std::span<const std::uint8_t> cdb;
  std::uint8_t direction = 0;  // SRB_Flags & 0x18
  ByteSpan data;               // the SRB's buffer, SRB_BufLen bytes
  // answer
  std::size_t transferred = 0;    // bytes of `data` the device wrote or read
  std::uint8_t targetStatus = 0;  // 0 good, 2 check condition, 8 busy
  Sense sense;
  std::uint8_t srbStatus = 0;  // non-zero: an ASPI-level error instead of a SCSI answer
  std::uint8_t hostAdapterStatus = 0;

  void Check(const Sense& s) {
    targetStatus = aspi::kTargetCheckCondition;
    sense = s;
  }
  // Copies `bytes` to the host, cut to the smaller of the allocation length and the buffer.
  void ReturnData(std::span<const std::uint8_t> bytes, std::size_t allocation);
};

class Device {
 public:
  Device() = default;
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;
  virtual ~Device() = default;
  virtual void Execute(Exchange& exchange) = 0;
};

// Identity of a device in its standard INQUIRY data.
struct Identity {
  std::uint8_t peripheralType = wire::kDeviceTypeScanner;  // 0x00 disk
  std::string vendor = "TARVO";                            // 8 bytes, space-padded
  std::string product = "RT650";                           // 16 bytes, space-padded
  std::string revision = "2.10";                           // 4 bytes, space-padded
};

// Standard INQUIRY data, 64 bytes: type, version 2, response format 2,
// additional length 59, then vendor, product and revision padded with spaces.
std::array<std::uint8_t, wire::kInquiryScanLength> StandardInquiry(const Identity& identity);

// A device that only answers INQUIRY and TEST UNIT READY (a disk, a scanner
// of another make). Every other command is an illegal request (5/20/00).
class OtherDevice final : public Device {
 public:
  explicit OtherDevice(Identity identity) : identity_(std::move(identity)) {}
  void Execute(Exchange& exchange) override;

 private:
  Identity identity_;
};

}  // namespace tarvo::sim
