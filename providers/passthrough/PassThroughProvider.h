// The ASPI provider over Windows SCSI pass-through (wnaspi32.dll), for
// Windows versions that ship no ASPI layer.
//
// The SCSI ports \\.\Scsi0: to \\.\Scsi15: that open are asked for their
// buses and devices (IOCTL_SCSI_GET_INQUIRY_DATA); every bus of every port,
// in port and bus order, is one ASPI host adapter; the SCSI target ID is the
// ASPI target. Each request becomes one IOCTL_SCSI_PASS_THROUGH_DIRECT on the
// port's handle, with a sense buffer behind the structure. Opening a port,
// closing it and the device I/O control itself are given at construction, so
// that tests can stand a scanner model behind them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scsi/AspiProvider.h"

namespace tarvo::providers {

struct PortSystem {
  // \\.\ScsiN: opened read-write; INVALID_HANDLE_VALUE when there is none.
  std::function<HANDLE(unsigned port)> open;
  std::function<void(HANDLE)> close;
  // Does what DeviceIoControl does without an OVERLAPPED: TRUE when the
  // request went through, FALSE with the last error set when not.
  std::function<BOOL(HANDLE port, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned)>
      control;
};
// The real CreateFileA, CloseHandle and DeviceIoControl.
PortSystem SystemPorts();

inline constexpr unsigned kMaxScsiPorts = 16;
// IOCTL_SCSI_GET_INQUIRY_DATA answers fit in this.
inline constexpr DWORD kInquiryDataBufferSize = 64 * 1024;
inline constexpr std::size_t kPassThroughSenseLength = 32;

struct PortAdapter {
  unsigned port = 0;
  HANDLE handle = INVALID_HANDLE_VALUE;  // the port's, shared by its buses
  std::uint8_t pathId = 0;
};
struct PortDevice {
  std::uint8_t adapter = 0, target = 0, lun = 0;
  bool claimed = false;       // a class driver owns it (a disk, a CD drive)
  std::uint8_t type = 0x1F;   // peripheral device type from its inquiry data
};

class PassThroughProvider final : public aspi::Provider {
 public:
  explicit PassThroughProvider(PortSystem system);
  ~PassThroughProvider() override;

  std::uint32_t GetSupportInfo() override;
  std::uint32_t SendCommand(aspi::SrbExecScsiCmd* srb) override;

  const std::vector<PortAdapter>& Adapters() const { return adapters_; }
  const std::vector<PortDevice>& Devices() const { return devices_; }
  const std::string& Notes() const { return notes_; }

  // Runs one request to its end; public for the worker thread.
  void Execute(aspi::SrbExecScsiCmd& srb, PortAdapter adapter);

 private:
  void Rescan();
  void CloseAll();
  void AddPort(unsigned port, HANDLE handle);
  bool Known(const aspi::SrbExecScsiCmd& srb) const;
  void Join();

  PortSystem system_;
  bool scanned_ = false;
  std::vector<PortAdapter> adapters_;
  std::vector<PortDevice> devices_;
  std::string notes_;
  HANDLE worker_ = nullptr;  // the thread completing the one pending request
  HANDLE done_ = nullptr;    // signalled when it has finished with the request
};

}  // namespace tarvo::providers
