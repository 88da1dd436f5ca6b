#include "scsi/Transport.h"

#include <algorithm>
#include <cstdio>

#include "scsi/Commands.h"
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

void LogFailure(ScsiContext& context, int site, int callSite, std::uint32_t value) {
  WriteScsiResult(context.platform, kTagAspiError, site, kModuleScsi, value);
  WriteScsiResult(context.platform, kTagAspiCaller, callSite, kModuleScsi, value);
}

// One request on `adapter`; its failures name `callSite`.
ScsiOutcome Run(ScsiContext& context, std::uint8_t adapter, std::uint8_t target,
                const ScsiCommand& command, int callSite) {
  Platform& platform = context.platform;
  ScsiOutcome outcome;
  UniqueEvent event(platform, platform.EventCreate());
  if (!event.valid()) {
    WriteScsiResult(platform, kTagAspiError, kSiteNoEvent, kModuleScsi, platform.LastError());
    outcome.result = kNoEventResult;
    return outcome;
  }

  // The provider takes a non-const buffer; it only reads out data.
  std::array<std::uint8_t, ScsiCommand::kOwnDataLength> own = command.ownData;
  const ByteSpan data =
      command.ownLength != 0 ? ByteSpan(own).first(command.ownLength) : command.data;
  const ConstByteSpan cdb = ConstByteSpan(command.cdb).first(command.cdbLength);
  aspi::SrbExecScsiCmd srb{};
  const std::size_t cdbLength = std::min(cdb.size(), sizeof srb.CDBByte);
  srb.SRB_Cmd = aspi::kScExecScsiCmd;
  srb.SRB_Status = aspi::kSsPending;
  srb.SRB_HaId = adapter;
  srb.SRB_Flags =
      static_cast<std::uint8_t>((command.direction & aspi::kSrbDirMask) | aspi::kSrbEventNotify);
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
  outcome.srbStatus = srb.SRB_Status;
  outcome.hostAdapterStatus = srb.SRB_HaStat;
  outcome.targetStatus = srb.SRB_TargStat;
  outcome.transferred = bufLen;

  if (srb.SRB_Status == aspi::kSsComp || srb.SRB_Status == aspi::kSsErr) {
    std::copy_n(srb.SenseArea, kSenseBufferLength, outcome.sense.bytes);
    if (srb.SRB_HaStat != 0) {
      LogFailure(context, kSiteHostAdapterError, callSite, FailureValue(srb));
      outcome.result = static_cast<std::uint16_t>(srb.SRB_Status * 256 + srb.SRB_HaStat);
    } else if (srb.SRB_TargStat != 0) {
      LogFailure(context, kSiteTargetError, callSite, FailureValue(srb));
      outcome.result = srb.SRB_TargStat;
    }
    return outcome;
  }
  LogFailure(context, kSiteSrbError, callSite, FailureValue(srb));
  outcome.result = static_cast<std::uint16_t>(srb.SRB_Status * 256 + srb.SRB_HaStat);
  return outcome;
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

ScsiOutcome Execute(ScsiContext& context, std::uint8_t target, const ScsiCommand& command) {
  context.transport.lastCallSite = command.callSite;
  return Run(context, context.transport.selectedAdapter, target, command, command.callSite);
}

std::uint16_t InquiryAt(ScsiContext& context, std::uint8_t adapter, std::uint8_t target,
                        std::uint8_t* sense, ByteSpan data, std::uint8_t allocationLength) {
  const ScsiOutcome outcome = Run(context, adapter, target, CmdInquiry(data, allocationLength),
                                  context.transport.lastCallSite);
  std::copy_n(outcome.sense.bytes, kSenseBufferLength, sense);
  return outcome.result;
}

}  // namespace tarvo
