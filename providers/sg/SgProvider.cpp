#include "SgProvider.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <tuple>

#include "common/Outcome.h"

namespace tarvo::providers {
namespace {

// Host statuses of the SCSI midlayer (sg_io_hdr.host_status) and the ASPI
// host adapter status each one is reported as. Unlisted non-zero values are
// phase errors.
struct HostStatusRule {
  std::uint16_t hostStatus;
  std::uint8_t haStat;
};
constexpr std::array<HostStatusRule, 9> kHostStatusRules{{
    {0x01, aspi::kHaStatSelectionTimeout},  // DID_NO_CONNECT: selection timed out
    {0x02, aspi::kHaStatBusFree},           // DID_BUS_BUSY
    {0x03, aspi::kHaStatTimeout},           // DID_TIME_OUT: the command's timeout passed
    {0x04, aspi::kHaStatSelectionTimeout},  // DID_BAD_TARGET
    {0x05, aspi::kHaStatTimeout},           // DID_ABORT
    {0x06, aspi::kHaStatParityError},       // DID_PARITY
    {0x08, aspi::kHaStatBusReset},          // DID_RESET
    {0x0E, aspi::kHaStatBusFree},           // DID_TRANSPORT_DISRUPTED
    {0x0F, aspi::kHaStatBusFree},           // DID_TRANSPORT_FAILFAST
}};
constexpr std::uint16_t kDriverTimeout = 0x06;  // sg_io_hdr.driver_status, low nibble

// The call-site number of the scan.log entry of a device that cannot be opened.
constexpr int kSiteOpenDevice = 101;

// errno of a refused SG_IO.
constexpr std::array<SystemErrorRule, 6> kErrnoRules{{
    {ENODEV, aspi::kSsNoDevice, 0},  // the device went away
    {ENXIO, aspi::kSsNoDevice, 0},
    {EINVAL, aspi::kSsInvalidSrb, 0},  // a CDB or length the kernel does not take
    {EFAULT, aspi::kSsInvalidSrb, 0},
    {ENOMEM, aspi::kSsBufferTooBig, 0},  // more data than the adapter can map
    {ETIMEDOUT, aspi::kSsErr, aspi::kHaStatTimeout},
}};

std::uint8_t HostAdapterStatus(const sg_io_hdr_t& io) {
  if (io.host_status != 0) {
    for (const HostStatusRule& rule : kHostStatusRules) {
      if (rule.hostStatus == io.host_status) return rule.haStat;
    }
    return aspi::kHaStatPhaseError;
  }
  if ((io.driver_status & 0x0F) == kDriverTimeout) return aspi::kHaStatTimeout;
  return aspi::kHaStatOk;
}

int DirectionCode(Direction direction) {
  switch (direction) {
    case Direction::kIn:
      return SG_DXFER_FROM_DEV;
    case Direction::kOut:
      return SG_DXFER_TO_DEV;
    case Direction::kNone:
      break;
  }
  return SG_DXFER_NONE;
}

int SystemSubmit(int fd, sg_io_hdr_t& request) { return ::ioctl(fd, SG_IO, &request); }

// "sg12" -> true.
bool IsSgNode(const char* name) {
  if (std::strncmp(name, "sg", 2) != 0 || name[2] == '\0') return false;
  for (const char* p = name + 2; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
  }
  return true;
}

// The device link's last part "H:C:T:L".
bool ReadAddress(const std::string& classRoot, const std::string& node, SgDevice& device) {
  const std::string link = classRoot + "/" + node + "/device";
  char target[512];
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  target[n] = '\0';
  const char* last = std::strrchr(target, '/');
  last = last == nullptr ? target : last + 1;
  unsigned h = 0, c = 0, t = 0, l = 0;
  char end = 0;
  if (std::sscanf(last, "%u:%u:%u:%u%c", &h, &c, &t, &l, &end) != 4) return false;
  device.host = h;
  device.channel = c;
  device.target = t;
  device.lun = l;
  return true;
}

}  // namespace

SgProvider::SgProvider(SgSystem system) : system_(std::move(system)) {
  if (!system_.submit) system_.submit = SystemSubmit;
}

SgProvider::~SgProvider() {
  Join();
  for (SgDevice& device : devices_) {
    if (device.fd >= 0) ::close(device.fd);
  }
}

void SgProvider::Join() {
  if (worker_.joinable()) worker_.join();
}

void SgProvider::Rescan() {
  scanned_ = true;
  std::vector<SgDevice> found;
  if (DIR* dir = ::opendir(system_.classRoot.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (!IsSgNode(entry->d_name)) continue;
      SgDevice device;
      device.node = entry->d_name;
      if (!ReadAddress(system_.classRoot, device.node, device)) continue;
      if (device.target > 0xFF || device.lun > 0xFF) continue;
      found.push_back(device);
      if (found.size() == kMaxSgNodes) break;
    }
    ::closedir(dir);
  }
  std::sort(found.begin(), found.end(), [](const SgDevice& a, const SgDevice& b) {
    return std::tie(a.host, a.channel, a.target, a.lun, a.node) <
           std::tie(b.host, b.channel, b.target, b.lun, b.node);
  });

  // Adapters in order; devices already open keep their descriptor.
  std::uint32_t adapters = 0;
  for (std::size_t i = 0; i < found.size(); ++i) {
    SgDevice& device = found[i];
    if (i > 0 && (device.host != found[i - 1].host || device.channel != found[i - 1].channel)) {
      ++adapters;
    }
    device.adapter = static_cast<std::uint8_t>(std::min<std::uint32_t>(adapters, 0xFF));
    for (SgDevice& old : devices_) {
      if (old.node == device.node && old.fd >= 0 && old.host == device.host &&
          old.channel == device.channel && old.target == device.target && old.lun == device.lun) {
        std::swap(device.fd, old.fd);
      }
    }
    if (device.fd < 0) {
      const std::string path = system_.deviceRoot + "/" + device.node;
      device.fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
      if (device.fd < 0) {
        device.openError = errno;
        LogSkipped(device);
      }
    }
  }
  for (SgDevice& old : devices_) {
    if (old.fd >= 0) ::close(old.fd);  // gone from sysfs or moved
  }
  devices_ = std::move(found);
  adapterCount_ = devices_.empty() ? 0 : static_cast<std::uint8_t>(std::min<std::uint32_t>(adapters + 1, 0xFF));
  WriteNotes();
}

void SgProvider::WriteNotes() {
  notes_.clear();
  char line[512];
  for (const SgDevice& d : devices_) {
    if (d.fd >= 0) {
      std::snprintf(line, sizeof line,
                    "adapter %u target %u lun %u: %s/%s (host %u channel %u)\n", d.adapter,
                    d.target, d.lun, system_.deviceRoot.c_str(), d.node.c_str(), d.host,
                    d.channel);
    } else {
      std::snprintf(line, sizeof line,
                    "adapter %u target %u lun %u: %s/%s skipped: %s; the user needs read and "
                    "write access to it (the device's group, or a udev rule: docs/hardware.md)\n",
                    d.adapter, d.target, d.lun, system_.deviceRoot.c_str(), d.node.c_str(),
                    std::strerror(d.openError));
    }
    notes_ += line;
  }
  if (devices_.empty()) {
    notes_ = "no SCSI generic devices under " + system_.classRoot +
             " (is the sg module loaded? modprobe sg)\n";
  }
}

// One scan.log entry per node, in the driver's own form: the report line,
// then the system's text.
void SgProvider::LogSkipped(const SgDevice& device) {
  if (system_.logPath.empty() || !reported_.insert(device.node).second) return;
  std::FILE* log = std::fopen(system_.logPath.c_str(), "ab");
  if (log == nullptr) return;
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  // The driver's stamp: MM/DD/YY HH:MM:SS.
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d/%02d/%02d %02d:%02d:%02d", local.tm_mon + 1,
                local.tm_mday, local.tm_year % 100, local.tm_hour, local.tm_min, local.tm_sec);
  std::fprintf(log,
               "%s Open %s/%s %d returned from line %d of SgAspi\r\n"
               "%s: host %u channel %u target %u lun %u skipped\r\n",
               stamp, system_.deviceRoot.c_str(), device.node.c_str(), device.openError,
               kSiteOpenDevice, std::strerror(device.openError), device.host, device.channel,
               device.target, device.lun);
  std::fclose(log);
}

std::uint32_t SgProvider::GetSupportInfo() {
  Join();
  Rescan();
  if (adapterCount_ == 0) return aspi::SupportInfo(aspi::kSsNoAdapters, 0);
  return aspi::SupportInfo(aspi::kSsComp, adapterCount_);
}

SgDevice* SgProvider::Find(std::uint8_t adapter, std::uint8_t target, std::uint8_t lun) {
  for (SgDevice& d : devices_) {
    if (d.adapter == adapter && d.target == target && d.lun == lun) return &d;
  }
  return nullptr;
}

std::uint32_t SgProvider::SendCommand(aspi::SrbExecScsiCmd* srb) {
  Join();
  if (srb == nullptr) return aspi::kSsInvalidSrb;
  if (!scanned_) Rescan();
  std::uint8_t status = aspi::kSsPending;
  const SgDevice* device = nullptr;
  if (srb->SRB_Cmd != aspi::kScExecScsiCmd) {
    status = aspi::kSsInvalidCmd;
  } else if (srb->SRB_HaId >= adapterCount_) {
    status = aspi::kSsInvalidHa;
  } else if (device = Find(srb->SRB_HaId, srb->SRB_Target, srb->SRB_Lun);
             device == nullptr || device->fd < 0) {
    status = aspi::kSsNoDevice;
  } else if (srb->SRB_CDBLen == 0 || srb->SRB_CDBLen > sizeof srb->CDBByte ||
             (srb->SRB_BufLen > 0 && srb->SRB_BufPointer == nullptr)) {
    status = aspi::kSsInvalidSrb;
  }
  if (status != aspi::kSsPending) {
    srb->SRB_Status = status;
    return status;
  }
  const int fd = device->fd;
  if ((srb->SRB_Flags & aspi::kSrbEventNotify) != 0 && srb->SRB_PostProc != nullptr) {
    srb->SRB_Status = aspi::kSsPending;
    worker_ = std::thread([this, srb, fd] {
      Execute(*srb, fd);
      const int event = static_cast<int>(reinterpret_cast<std::intptr_t>(srb->SRB_PostProc));
      const std::uint64_t one = 1;
      (void)!::write(event, &one, sizeof one);  // the last access to the request
    });
    return aspi::kSsPending;
  }
  Execute(*srb, fd);
  return srb->SRB_Status;
}

void SgProvider::Execute(aspi::SrbExecScsiCmd& srb, int fd) {
  std::array<unsigned char, kSgSenseLength> sense{};
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  const Direction direction = RequestDirection(srb);
  io.dxfer_direction = DirectionCode(direction);
  io.cmd_len = srb.SRB_CDBLen;
  io.cmdp = srb.CDBByte;
  io.mx_sb_len = static_cast<unsigned char>(sense.size());
  io.sbp = sense.data();
  io.dxfer_len = direction == Direction::kNone ? 0 : srb.SRB_BufLen;
  io.dxferp = direction == Direction::kNone ? nullptr : srb.SRB_BufPointer;
  io.timeout = TimeoutSeconds(srb.CDBByte[0]) * 1000;

  PassOutcome outcome;
  if (system_.submit(fd, io) < 0) {
    outcome = FromSystemError(kErrnoRules, errno);
  } else {
    outcome.hostAdapterStatus = HostAdapterStatus(io);
    outcome.targetStatus = io.status;
    outcome.sense = std::span<const std::uint8_t>(
        sense.data(), std::min<std::size_t>(io.sb_len_wr, sense.size()));
    outcome.residue = static_cast<std::uint32_t>(std::clamp<int>(io.resid, 0, static_cast<int>(io.dxfer_len)));
  }
  CompleteRequest(srb, outcome);
}

}  // namespace tarvo::providers
