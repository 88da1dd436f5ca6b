#include "Bus.h"

#include <algorithm>
#include <cstring>

namespace tarvo::sim {

Bus::~Bus() {
  worker_.Join();
  if (wireLog_ != nullptr) std::fclose(wireLog_);
}

std::uint32_t Bus::GetSupportInfo() {
  worker_.Join();
  return aspi::SupportInfo(supportStatus_, adapters_);
}

Bus::Slot* Bus::Find(std::uint8_t adapter, std::uint8_t target) {
  const auto it = std::find_if(slots_.begin(), slots_.end(), [&](const Slot& s) {
    return s.adapter == adapter && s.target == target;
  });
  return it == slots_.end() ? nullptr : &*it;
}

void Bus::Place(std::uint8_t adapter, std::uint8_t target, std::unique_ptr<Device> device,
                Rt650* scanner) {
  if (Slot* slot = Find(adapter, target)) {
    slot->device = std::move(device);
    slot->scanner = scanner;
    return;
  }
  slots_.push_back(Slot{adapter, target, std::move(device), scanner});
  if (adapter >= adapters_) adapters_ = static_cast<std::uint8_t>(adapter + 1);
}

Rt650& Bus::AddScanner(std::uint8_t adapter, std::uint8_t target, ScannerInfo info) {
  auto scanner = std::make_unique<Rt650>(std::move(info));
  Rt650* raw = scanner.get();
  Place(adapter, target, std::move(scanner), raw);
  return *raw;
}

void Bus::AddDevice(std::uint8_t adapter, std::uint8_t target, const Identity& identity) {
  Place(adapter, target, std::make_unique<OtherDevice>(identity), nullptr);
}

Rt650* Bus::ScannerAt(std::uint8_t adapter, std::uint8_t target) {
  Slot* slot = Find(adapter, target);
  return slot == nullptr ? nullptr : slot->scanner;
}

void Bus::SetCompletion(Completion mode, std::uint32_t delayMs) {
  worker_.Join();
  completion_ = mode;
  delayMs_ = delayMs;
}

bool Bus::OpenWireLog(const std::string& path) {
  if (wireLog_ != nullptr) std::fclose(wireLog_);
  wireLog_ = std::fopen(path.c_str(), "a");
  return wireLog_ != nullptr;
}

const std::vector<CommandRecord>& Bus::Records() {
  worker_.Join();
  return records_;
}

void Bus::ClearRecords() {
  worker_.Join();
  records_.clear();
}

std::uint32_t Bus::SendCommand(aspi::SrbExecScsiCmd* srb) {
  worker_.Join();
  if (srb == nullptr) return aspi::kSsInvalidSrb;
  if (srb->SRB_Cmd != aspi::kScExecScsiCmd) {
    srb->SRB_Status = aspi::kSsInvalidCmd;
    return srb->SRB_Status;
  }
  if (completion_ == Completion::kPending) {
    srb->SRB_Status = aspi::kSsPending;
    const std::uint32_t delay = delayMs_;
    const bool started = worker_.Run([this, srb, delay] {
      if (delay > 0) os::SleepMs(delay);
      Execute(srb);
      os::SignalEvent(srb->SRB_PostProc);  // the last access to the request
    });
    if (started) return aspi::kSsPending;
  }
  Execute(srb);
  return srb->SRB_Status;
}

void Bus::Execute(aspi::SrbExecScsiCmd* srb) {
  CommandRecord record;
  record.adapter = srb->SRB_HaId;
  record.target = srb->SRB_Target;
  record.flags = srb->SRB_Flags;
  record.bufferLength = srb->SRB_BufLen;
  const std::size_t cdbLength = std::min<std::size_t>(srb->SRB_CDBLen, sizeof srb->CDBByte);
  record.cdb.assign(srb->CDBByte, srb->CDBByte + cdbLength);
  srb->SRB_HaStat = aspi::kHaStatOk;
  srb->SRB_TargStat = aspi::kTargetGood;
  std::memset(srb->SenseArea, 0, sizeof srb->SenseArea);

  Slot* slot = srb->SRB_HaId < adapters_ ? Find(srb->SRB_HaId, srb->SRB_Target) : nullptr;
  if (srb->SRB_HaId >= adapters_) {
    srb->SRB_Status = aspi::kSsInvalidHa;
  } else if (slot == nullptr || srb->SRB_Lun != 0) {
    srb->SRB_Status = aspi::kSsNoDevice;
  } else if ((srb->SRB_BufLen > 0 && srb->SRB_BufPointer == nullptr) || cdbLength < wire::kCdb6) {
    srb->SRB_Status = aspi::kSsInvalidSrb;
  } else {
    Exchange x;
    x.cdb = std::span<const std::uint8_t>(srb->CDBByte, cdbLength);
    x.direction = srb->SRB_Flags & aspi::kSrbDirMask;
    x.data = ByteSpan(srb->SRB_BufPointer, srb->SRB_BufPointer == nullptr ? 0 : srb->SRB_BufLen);
    if (x.direction == aspi::kSrbDirOut) record.dataOut.assign(x.data.begin(), x.data.end());
    slot->device->Execute(x);
    record.transferred = x.transferred;
    if (x.srbStatus != 0) {
      srb->SRB_Status = x.srbStatus;
      srb->SRB_HaStat = x.hostAdapterStatus;
    } else {
      srb->SRB_TargStat = x.targetStatus;
      srb->SRB_Status = x.targetStatus == aspi::kTargetGood ? aspi::kSsComp : aspi::kSsErr;
      if (x.targetStatus == aspi::kTargetCheckCondition) {
        record.sense = x.sense.Bytes();
        std::memcpy(
            srb->SenseArea, record.sense.data(),
            std::min<std::size_t>({record.sense.size(), srb->SRB_SenseLen, sizeof srb->SenseArea}));
      }
    }
    const bool image = record.cdb[0] == wire::kOpRead && cdbLength >= wire::kCdb10 &&
                       record.cdb[wire::kCdb10DataType] == wire::kDataImage;
    if (x.direction != aspi::kSrbDirOut && (!image || keepImageData_)) {
      record.dataIn.assign(x.data.begin(),
                           x.data.begin() + static_cast<std::ptrdiff_t>(x.transferred));
    }
  }
  record.srbStatus = srb->SRB_Status;
  record.hostAdapterStatus = srb->SRB_HaStat;
  record.targetStatus = srb->SRB_TargStat;
  Log(record);
  if (keepHistory_) records_.push_back(std::move(record));
}

void Bus::KeepHistory(bool keep) {
  keepHistory_ = keep;
  if (!keep) records_.clear();
  for (Slot& slot : slots_) {
    if (slot.scanner != nullptr) slot.scanner->KeepHistory(keep);
  }
}

// Wire log line:
//   ha:target CDB hex | flags 0xFF len N | out/in: first 32 data bytes hex |
//   srb 0xSS ha 0xHH target 0xTT [sense: 14 bytes hex]
void Bus::Log(const CommandRecord& r) {
  if (wireLog_ == nullptr) return;
  std::fprintf(wireLog_, "%u:%u", r.adapter, r.target);
  for (const std::uint8_t b : r.cdb) std::fprintf(wireLog_, " %02X", b);
  std::fprintf(wireLog_, " | flags 0x%02X len %u xfer %zu", r.flags, r.bufferLength, r.transferred);
  const std::vector<std::uint8_t>& data = r.dataOut.empty() ? r.dataIn : r.dataOut;
  if (!data.empty()) {
    std::fprintf(wireLog_, " | %s", r.dataOut.empty() ? "in" : "out");
    for (std::size_t i = 0; i < std::min<std::size_t>(data.size(), 32); ++i)
      std::fprintf(wireLog_, " %02X", data[i]);
    if (data.size() > 32) std::fprintf(wireLog_, " ...");
  }
  std::fprintf(wireLog_, " | srb 0x%02X ha 0x%02X target 0x%02X", r.srbStatus, r.hostAdapterStatus,
               r.targetStatus);
  if (r.targetStatus == aspi::kTargetCheckCondition) {
    std::fprintf(wireLog_, " | sense");
    for (const std::uint8_t b : r.sense) std::fprintf(wireLog_, " %02X", b);
  }
  std::fprintf(wireLog_, "\n");
  std::fflush(wireLog_);
}

}  // namespace tarvo::sim
