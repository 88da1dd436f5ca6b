// The ASPI provider over the Linux SCSI generic driver (libwnaspi32.so).
//
// Host adapters and targets come from sysfs: every /sys/class/scsi_generic/sgN
// has a `device` link whose last part is host:channel:target:lun. The
// (host, channel) pairs, in ascending order, are the ASPI host adapters
// 0, 1, ...; the SCSI target ID is the ASPI target, the LUN the ASPI LUN. A
// device whose /dev/sgN cannot be opened read-write keeps its place in that
// order but answers "no device"; it is reported once in scan.log and in the
// notes that `rt650scan -L` shows.
//
// Each request becomes one SG_IO on the device's /dev/sgN (opened once,
// read-write, kept open until the provider ends). The sysfs folder, the
// device folder, the log and the SG_IO call itself are given at construction,
// so that tests can stand a scanner model behind them.
#pragma once

#include <scsi/sg.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "scsi/AspiProvider.h"

namespace tarvo::providers {

// Does what ioctl(fd, SG_IO, &request) does: 0 when the request went to the
// device (its outcome in the header), -1 with errno set when it did not.
using SgSubmit = std::function<int(int fd, sg_io_hdr_t& request)>;

struct SgSystem {
  std::string classRoot = "/sys/class/scsi_generic";
  std::string deviceRoot = "/dev";
  std::string logPath;  // the driver's scan.log; empty: no log line
  SgSubmit submit;      // empty: the real ioctl
};

// Sense bytes asked of the kernel: a full fixed-format sense block.
inline constexpr unsigned char kSgSenseLength = 32;
// More sg nodes than this are not looked at.
inline constexpr std::size_t kMaxSgNodes = 256;

struct SgDevice {
  std::string node;  // "sg3"
  std::uint32_t host = 0, channel = 0, target = 0, lun = 0;
  std::uint8_t adapter = 0;  // ASPI host adapter index
  int fd = -1;               // -1: could not be opened
  int openError = 0;         // errno of the failed open
};

class SgProvider final : public aspi::Provider {
 public:
  explicit SgProvider(SgSystem system);
  ~SgProvider() override;

  // Looks at sysfs again (keeping the devices already open) and answers the
  // number of host adapters; SS_NO_ADAPTERS when there is none.
  std::uint32_t GetSupportInfo() override;
  std::uint32_t SendCommand(aspi::SrbExecScsiCmd* srb) override;

  const std::vector<SgDevice>& Devices() const { return devices_; }
  // One line per adapter and device, and why a device was skipped.
  const std::string& Notes() const { return notes_; }

 private:
  void Rescan();
  void WriteNotes();
  void LogSkipped(const SgDevice& device);
  SgDevice* Find(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun);
  void Execute(aspi::SrbExecScsiCmd& srb, int fd);
  void Join();

  SgSystem system_;
  bool scanned_ = false;
  std::uint8_t adapterCount_ = 0;
  std::vector<SgDevice> devices_;
  std::set<std::string> reported_;  // nodes whose failed open is in the log
  std::string notes_;
  std::thread worker_;  // completes the one pending request
};

}  // namespace tarvo::providers
