#include "scsi/Transport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "scsi/ScsiLog.h"
#include "scsi/Srb.h"
#include "scsi/Wire.h"

// "GetScsiMaxTransferSize" uses the standard Windows calling convention.
#ifdef _WIN32
#define TARVO_SYSTEM_CALL __stdcall
#else
#define TARVO_SYSTEM_CALL
#endif

namespace tarvo {
namespace {

using MaxTransferFn = std::uint32_t(TARVO_SYSTEM_CALL*)(std::uint32_t adapter);

constexpr std::uint32_t kBufLenMask = 0xFFFF;

aspi::Provider* EnsureProvider(ScsiContext& context) {
  ScsiTransport& transport = context.transport;
  if (transport.provider != nullptr) return transport.provider;
  transport.library.reset();
  transport.library.emplace(context.platform);
  if (!transport.library->loaded()) {
    transport.library.reset();
    return nullptr;
  }
  transport.provider = &*transport.library;
  return transport.provider;
}

// target<<24 | status<<16 | HaStat<<8 | TargStat, as both log lines print it.
std::uint32_t FailureValue(const aspi::SrbExecScsiCmd& srb) {
  return (std::uint32_t{srb.SRB_Target} << 24) | (std::uint32_t{srb.SRB_Status} << 16) |
         (std::uint32_t{srb.SRB_HaStat} << 8) | srb.SRB_TargStat;
}

void LogFailure(ScsiContext& context, int site, std::uint32_t value) {
  WriteScsiResult(context.platform, kTagAspiError, site, kModuleScsi, value);
  WriteScsiResult(context.platform, kTagAspiCaller, context.transport.callSiteNumber, kModuleScsi,
                  value);
}

}  // namespace

void SetProvider(ScsiTransport& transport, aspi::Provider* provider) {
  transport.library.reset();
  transport.provider = provider;
}

std::uint16_t AspiInit(ScsiContext& context) {
  aspi::Provider* provider = EnsureProvider(context);
  const std::uint32_t info =
      provider != nullptr ? provider->GetSupportInfo() : aspi::SupportInfo(aspi::kSsNoAdapters, 0);
  const std::uint8_t status = aspi::SupportStatus(info);
  if (status != aspi::kSsComp) return status;

  ScsiTransport& transport = context.transport;
  transport.adapterCount = aspi::SupportAdapterCount(info);
  const std::size_t filled = std::min<std::size_t>(transport.adapterCount, kMaxAdapters);
  for (std::size_t adapter = 0; adapter < filled; ++adapter) {
    transport.maxTransfer[adapter] = QueryMaxTransfer(context, static_cast<std::uint32_t>(adapter));
  }
  return 0;
}

std::uint16_t AspiAdapterCount(ScsiContext& context) {
  return AspiInit(context) == 0 ? context.transport.adapterCount : 0;
}

std::uint32_t QueryMaxTransfer(ScsiContext& context, std::uint32_t adapter) {
  Platform& platform = context.platform;
  LibraryHandle library = platform.LibraryLoad(kMaxTransferLibrary);
  if (library == nullptr) return kDefaultMaxTransfer;
  ProcAddress entry = platform.LibrarySymbol(library, kMaxTransferSymbol);
  if (entry == nullptr) return kDefaultMaxTransfer;  // the library stays loaded
  const std::uint32_t size = reinterpret_cast<MaxTransferFn>(entry)(adapter);
  if (!platform.LibraryFree(library)) {
    char text[32];
    std::snprintf(text, sizeof text, "GetLastError %d", static_cast<int>(platform.LastError()));
    platform.ShowMessageBox(nullptr, text, nullptr, kMbOk);
  }
  return size;
}

std::uint32_t AdapterMaxTransfer(const ScsiContext& context, std::uint32_t adapter) {
  return adapter < kMaxAdapters ? context.transport.maxTransfer[adapter] : 0;
}

void SelectAdapter(ScsiContext& context, std::uint8_t adapter) {
  context.transport.selectedAdapter = adapter;
}

std::uint16_t AspiExecute(ScsiContext& context, std::uint8_t adapter, std::uint8_t target,
                          std::uint8_t* sense, ConstByteSpan cdb, std::uint8_t direction,
                          ByteSpan data) {
  Platform& platform = context.platform;
  UniqueEvent event(platform, platform.EventCreate());
  if (!event.valid()) {
    WriteScsiResult(platform, kTagAspiError, kSiteNoEvent, kModuleScsi, platform.LastError());
    return kNoEventResult;
  }

  std::memset(sense, 0, kSenseBufferLength);
  aspi::SrbExecScsiCmd srb{};
  const std::size_t cdbLength = std::min(cdb.size(), sizeof srb.CDBByte);
  srb.SRB_Cmd = aspi::kScExecScsiCmd;
  srb.SRB_Status = aspi::kSsPending;
  srb.SRB_HaId = adapter;
  srb.SRB_Flags =
      static_cast<std::uint8_t>((direction & aspi::kSrbDirMask) | aspi::kSrbEventNotify);
  srb.SRB_Target = target;
  srb.SRB_Lun = 0;
  const std::uint32_t bufLen = static_cast<std::uint32_t>(data.size()) & kBufLenMask;
  srb.SRB_BufLen = bufLen;
  srb.SRB_BufPointer = data.data();
  srb.SRB_SenseLen = kSenseBufferLength;
  srb.SRB_CDBLen = static_cast<std::uint8_t>(cdbLength);
  srb.SRB_PostProc = event.get().native;
  std::copy_n(cdb.begin(), cdbLength, srb.CDBByte);

  aspi::Provider* provider = EnsureProvider(context);
  if (provider == nullptr) {
    srb.SRB_Status = aspi::kSsNoAdapters;
  } else if (provider->SendCommand(&srb) == aspi::kSsPending) {
    platform.EventWait(event.get());
  }
  // The event is closed by its owner on return; nothing signals it any more.

  TraceCommand(platform, context.cdbTraceOn, target, srb.SenseArea, cdb.first(cdbLength),
               data.first(bufLen), srb.SRB_Status);

  if (srb.SRB_Status == aspi::kSsComp || srb.SRB_Status == aspi::kSsErr) {
    std::copy_n(srb.SenseArea, kSenseBufferLength, sense);
    if (srb.SRB_HaStat != 0) {
      LogFailure(context, kSiteHostAdapterError, FailureValue(srb));
      return static_cast<std::uint16_t>(srb.SRB_Status * 256 + srb.SRB_HaStat);
    }
    if (srb.SRB_TargStat != 0) {
      LogFailure(context, kSiteTargetError, FailureValue(srb));
      return srb.SRB_TargStat;
    }
    return 0;
  }
  LogFailure(context, kSiteSrbError, FailureValue(srb));
  return static_cast<std::uint16_t>(srb.SRB_Status * 256 + srb.SRB_HaStat);
}

std::uint16_t ScsiExecute(ScsiContext& context, std::uint8_t target, std::uint8_t* sense,
                          ConstByteSpan cdb, std::uint8_t direction, ByteSpan data) {
  return AspiExecute(context, context.transport.selectedAdapter, target, sense, cdb, direction,
                     data);
}

std::uint16_t InquiryAt(ScsiContext& context, std::uint8_t adapter, std::uint8_t target,
                        std::uint8_t* sense, ByteSpan data, std::uint8_t allocationLength) {
  std::array<std::uint8_t, wire::kCdb6> cdb{};
  cdb[wire::kCdbOpcode] = wire::kOpInquiry;
  cdb[wire::kCdb6Length] = allocationLength;
  return AspiExecute(context, adapter, target, sense, cdb, aspi::kSrbDirIn,
                     data.first(std::min<std::size_t>(data.size(), allocationLength)));
}

}  // namespace tarvo
