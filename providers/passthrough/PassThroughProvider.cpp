#include "PassThroughProvider.h"

#include <ntddscsi.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/Bytes.h"
#include "common/Outcome.h"

namespace tarvo::providers {
namespace {

// IOCTL_SCSI_GET_INQUIRY_DATA answer, little-endian, natural alignment:
//   SCSI_ADAPTER_BUS_INFO   0  1  NumberOfBuses
//                           4  8  BusData[NumberOfBuses]
//   SCSI_BUS_DATA           0  1  NumberOfLogicalUnits
//                           1  1  InitiatorBusId
//                           4  4  InquiryDataOffset (from the start of the answer; 0 none)
//   SCSI_INQUIRY_DATA       0  1  PathId
//                           1  1  TargetId
//                           2  1  Lun
//                           3  1  DeviceClaimed
//                           4  4  InquiryDataLength
//                           8  4  NextInquiryDataOffset (0 ends the chain)
//                          12  n  InquiryData
constexpr std::size_t kBusCount = offsetof(SCSI_ADAPTER_BUS_INFO, NumberOfBuses);
constexpr std::size_t kBusData = offsetof(SCSI_ADAPTER_BUS_INFO, BusData);
constexpr std::size_t kBusDataSize = sizeof(SCSI_BUS_DATA);
constexpr std::size_t kBusInquiryOffset = offsetof(SCSI_BUS_DATA, InquiryDataOffset);
constexpr std::size_t kUnitPath = offsetof(SCSI_INQUIRY_DATA, PathId);
constexpr std::size_t kUnitTarget = offsetof(SCSI_INQUIRY_DATA, TargetId);
constexpr std::size_t kUnitLun = offsetof(SCSI_INQUIRY_DATA, Lun);
constexpr std::size_t kUnitClaimed = offsetof(SCSI_INQUIRY_DATA, DeviceClaimed);
constexpr std::size_t kUnitInquiryLength = offsetof(SCSI_INQUIRY_DATA, InquiryDataLength);
constexpr std::size_t kUnitNext = offsetof(SCSI_INQUIRY_DATA, NextInquiryDataOffset);
constexpr std::size_t kUnitInquiry = offsetof(SCSI_INQUIRY_DATA, InquiryData);
// Units on one bus at most (the walk stops there whatever the chain says).
constexpr unsigned kMaxUnitsPerBus = 256;

// The pass-through request and the sense bytes behind it, in one block.
struct PassThroughWithSense {
  SCSI_PASS_THROUGH_DIRECT request;
  ULONG filler;  // keeps the sense buffer aligned
  UCHAR sense[kPassThroughSenseLength];
};

// Last errors of a refused pass-through.
constexpr std::array<SystemErrorRule, 10> kErrorRules{{
    {ERROR_DEVICE_NOT_CONNECTED, aspi::kSsErr, aspi::kHaStatSelectionTimeout},
    {ERROR_SEM_TIMEOUT, aspi::kSsErr, aspi::kHaStatTimeout},
    {ERROR_TIMEOUT, aspi::kSsErr, aspi::kHaStatTimeout},
    {ERROR_BUS_RESET, aspi::kSsErr, aspi::kHaStatBusReset},
    {ERROR_IO_DEVICE, aspi::kSsErr, aspi::kHaStatPhaseError},
    {ERROR_FILE_NOT_FOUND, aspi::kSsNoDevice, 0},
    {ERROR_DEV_NOT_EXIST, aspi::kSsNoDevice, 0},
    {ERROR_NOT_READY, aspi::kSsNoDevice, 0},
    {ERROR_INVALID_PARAMETER, aspi::kSsInvalidSrb, 0},
    {ERROR_NOT_ENOUGH_MEMORY, aspi::kSsBufferTooBig, 0},
}};

UCHAR DataInCode(Direction direction) {
  switch (direction) {
    case Direction::kIn:
      return SCSI_IOCTL_DATA_IN;
    case Direction::kOut:
      return SCSI_IOCTL_DATA_OUT;
    case Direction::kNone:
      break;
  }
  return SCSI_IOCTL_DATA_UNSPECIFIED;
}

// What one worker thread is given. It finishes the request, signals the
// request's event (its last access to the request), then `done`, and drops
// its reference on this module as it ends, so that the library is not
// unloaded under a thread still returning from it.
struct ThreadStart {
  PassThroughProvider* provider;
  aspi::SrbExecScsiCmd* srb;
  PortAdapter adapter;
  HANDLE done;
  HMODULE self;
};

DWORD WINAPI WorkerMain(LPVOID param) {
  const ThreadStart start = *static_cast<ThreadStart*>(param);
  delete static_cast<ThreadStart*>(param);
  const HANDLE event = static_cast<HANDLE>(start.srb->SRB_PostProc);
  start.provider->Execute(*start.srb, start.adapter);
  SetEvent(event);
  SetEvent(start.done);
  if (start.self != nullptr) FreeLibraryAndExitThread(start.self, 0);
  return 0;
}

}  // namespace

PortSystem SystemPorts() {
  PortSystem s;
  s.open = [](unsigned port) {
    char name[32];
    std::snprintf(name, sizeof name, "\\\\.\\Scsi%u:", port);
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
  };
  s.close = [](HANDLE h) { CloseHandle(h); };
  s.control = [](HANDLE port, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned) {
    return DeviceIoControl(port, code, in, inSize, out, outSize, returned, nullptr);
  };
  return s;
}

PassThroughProvider::PassThroughProvider(PortSystem system) : system_(std::move(system)) {}

PassThroughProvider::~PassThroughProvider() {
  Join();
  CloseAll();
}

void PassThroughProvider::Join() {
  if (worker_ == nullptr) return;
  // The event, not the thread's end: ending needs the loader lock, which an
  // unloading thread holds while it destroys the provider.
  WaitForSingleObject(done_, INFINITE);
  CloseHandle(done_);
  CloseHandle(worker_);
  worker_ = nullptr;
  done_ = nullptr;
}

void PassThroughProvider::CloseAll() {
  HANDLE last = INVALID_HANDLE_VALUE;
  for (const PortAdapter& a : adapters_) {
    if (a.handle != last && a.handle != INVALID_HANDLE_VALUE) system_.close(a.handle);
    last = a.handle;
  }
  adapters_.clear();
  devices_.clear();
}

void PassThroughProvider::Rescan() {
  scanned_ = true;
  CloseAll();
  notes_.clear();
  for (unsigned port = 0; port < kMaxScsiPorts; ++port) {
    const HANDLE handle = system_.open(port);
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) AddPort(port, handle);
  }
  if (adapters_.empty()) notes_ = "no SCSI port answers (\\\\.\\Scsi0: to \\\\.\\Scsi15:)\n";
}

// Walks the port's inquiry data: one adapter per bus, its units as devices.
void PassThroughProvider::AddPort(unsigned port, HANDLE handle) {
  std::vector<std::uint8_t> buffer(kInquiryDataBufferSize);
  DWORD returned = 0;
  char line[160];
  if (!system_.control(handle, IOCTL_SCSI_GET_INQUIRY_DATA, nullptr, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &returned) ||
      returned < kBusData) {
    std::snprintf(line, sizeof line, "port %u skipped: its buses cannot be listed (error %lu)\n",
                  port, static_cast<unsigned long>(GetLastError()));
    notes_ += line;
    system_.close(handle);
    return;
  }
  const ConstByteSpan data(buffer.data(), std::min<std::size_t>(returned, buffer.size()));
  const unsigned buses = data[kBusCount];
  bool unused = true;  // no bus took the handle
  for (unsigned bus = 0; bus < buses && adapters_.size() < 0xFF; ++bus) {
    const std::size_t entry = kBusData + bus * kBusDataSize;
    if (entry + kBusDataSize > data.size()) break;
    const auto adapter = static_cast<std::uint8_t>(adapters_.size());
    adapters_.push_back(PortAdapter{port, handle, static_cast<std::uint8_t>(bus)});
    unused = false;
    std::snprintf(line, sizeof line, "adapter %u: \\\\.\\Scsi%u: bus %u\n", adapter, port, bus);
    notes_ += line;
    // Each unit's offset must lie beyond the one before: the walk ends.
    std::size_t at = GetLe32(data, entry + kBusInquiryOffset);
    std::size_t previous = 0;
    for (unsigned n = 0; n < kMaxUnitsPerBus && at > previous && at + kUnitInquiry <= data.size();
         ++n) {
      PortDevice device;
      device.adapter = adapter;
      device.target = data[at + kUnitTarget];
      device.lun = data[at + kUnitLun];
      device.claimed = data[at + kUnitClaimed] != 0;
      if (GetLe32(data, at + kUnitInquiryLength) > 0 && at + kUnitInquiry < data.size()) {
        device.type = data[at + kUnitInquiry] & 0x1F;
      }
      if (data[at + kUnitPath] == bus) {
        devices_.push_back(device);
        std::snprintf(line, sizeof line, "  target %u lun %u: type %u%s\n", device.target,
                      device.lun, device.type, device.claimed ? ", claimed by a class driver" : "");
        notes_ += line;
      }
      previous = at;
      at = GetLe32(data, at + kUnitNext);
    }
  }
  if (unused) system_.close(handle);  // a port without buses
}

bool PassThroughProvider::Known(const aspi::SrbExecScsiCmd& srb) const {
  return std::any_of(devices_.begin(), devices_.end(), [&](const PortDevice& d) {
    return d.adapter == srb.SRB_HaId && d.target == srb.SRB_Target && d.lun == srb.SRB_Lun;
  });
}

std::uint32_t PassThroughProvider::GetSupportInfo() {
  Join();
  Rescan();
  if (adapters_.empty()) return aspi::SupportInfo(aspi::kSsNoAdapters, 0);
  return aspi::SupportInfo(aspi::kSsComp, static_cast<std::uint8_t>(adapters_.size()));
}

std::uint32_t PassThroughProvider::SendCommand(aspi::SrbExecScsiCmd* srb) {
  Join();
  if (srb == nullptr) return aspi::kSsInvalidSrb;
  if (!scanned_) Rescan();
  std::uint8_t status = aspi::kSsPending;
  if (srb->SRB_Cmd != aspi::kScExecScsiCmd) {
    status = aspi::kSsInvalidCmd;
  } else if (srb->SRB_HaId >= adapters_.size()) {
    status = aspi::kSsInvalidHa;
  } else if (!Known(*srb)) {
    status = aspi::kSsNoDevice;
  } else if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > sizeof srb->CDBByte ||
             (srb->SRB_BufLen > 0 && srb->SRB_BufPointer == nullptr)) {
    status = aspi::kSsInvalidSrb;
  }
  if (status != aspi::kSsPending) {
    srb->SRB_Status = status;
    return status;
  }
  const PortAdapter adapter = adapters_[srb->SRB_HaId];
  if ((srb->SRB_Flags & aspi::kSrbEventNotify) != 0 && srb->SRB_PostProc != nullptr) {
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (done != nullptr) {
      HMODULE self = nullptr;
      GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCSTR>(&WorkerMain), &self);
      srb->SRB_Status = aspi::kSsPending;
      auto* start = new ThreadStart{this, srb, adapter, done, self};
      HANDLE thread = CreateThread(nullptr, 0, WorkerMain, start, 0, nullptr);
      if (thread != nullptr) {
        worker_ = thread;
        done_ = done;
        return aspi::kSsPending;
      }
      delete start;
      if (self != nullptr) FreeLibrary(self);
      CloseHandle(done);
    }
  }
  Execute(*srb, adapter);
  return srb->SRB_Status;
}

void PassThroughProvider::Execute(aspi::SrbExecScsiCmd& srb, PortAdapter adapter) {
  auto block = std::make_unique<PassThroughWithSense>();
  std::memset(block.get(), 0, sizeof *block);
  SCSI_PASS_THROUGH_DIRECT& r = block->request;
  const Direction direction = RequestDirection(srb);
  r.Length = sizeof r;
  r.PathId = adapter.pathId;
  r.TargetId = srb.SRB_Target;
  r.Lun = srb.SRB_Lun;
  r.CdbLength = srb.SRB_CDBLen;
  r.SenseInfoLength = kPassThroughSenseLength;
  r.DataIn = DataInCode(direction);
  r.DataTransferLength = direction == Direction::kNone ? 0 : srb.SRB_BufLen;
  r.TimeOutValue = TimeoutSeconds(srb.CDBByte[0]);
  r.DataBuffer = direction == Direction::kNone ? nullptr : srb.SRB_BufPointer;
  r.SenseInfoOffset = offsetof(PassThroughWithSense, sense);
  std::memcpy(r.Cdb, srb.CDBByte, std::min<std::size_t>(srb.SRB_CDBLen, sizeof r.Cdb));
  const ULONG requested = r.DataTransferLength;

  DWORD returned = 0;
  PassOutcome outcome;
  if (!system_.control(adapter.handle, IOCTL_SCSI_PASS_THROUGH_DIRECT, block.get(), sizeof *block,
                       block.get(), sizeof *block, &returned)) {
    outcome = FromSystemError(kErrorRules, static_cast<int>(GetLastError()));
  } else {
    outcome.targetStatus = r.ScsiStatus;
    outcome.sense = std::span<const std::uint8_t>(
        block->sense, std::min<std::size_t>(r.SenseInfoLength, kPassThroughSenseLength));
    outcome.residue = r.DataTransferLength < requested ? requested - r.DataTransferLength : 0;
  }
  CompleteRequest(srb, outcome);
}

}  // namespace tarvo::providers
