#include "scsi/LibraryProvider.h"

namespace tarvo::aspi {
namespace {

// By ordinal where the system has ordinals, else by name.
ProcAddress EntryPoint(Platform& platform, LibraryHandle library, std::uint16_t ordinal,
                       const char* name) {
  if (ProcAddress byOrdinal = platform.LibraryOrdinal(library, ordinal)) return byOrdinal;
  return platform.LibrarySymbol(library, name);
}

}  // namespace

LibraryProvider::LibraryProvider(Platform& platform)
    : library_(platform, platform.LibraryLoad(kProviderLibrary)) {
  if (!library_) return;
  ProcAddress info =
      EntryPoint(platform, library_.get(), kOrdinalGetSupportInfo, kSymbolGetSupportInfo);
  ProcAddress send = EntryPoint(platform, library_.get(), kOrdinalSendCommand, kSymbolSendCommand);
  if (info == nullptr || send == nullptr) {
    library_.Reset();
    return;
  }
  getSupportInfo_ = reinterpret_cast<GetSupportInfoFn>(info);
  sendCommand_ = reinterpret_cast<SendCommandFn>(send);
}

std::uint32_t LibraryProvider::GetSupportInfo() {
  if (!loaded()) return SupportInfo(kSsNoAdapters, 0);
  return getSupportInfo_();
}

std::uint32_t LibraryProvider::SendCommand(SrbExecScsiCmd* srb) {
  if (!loaded()) {
    srb->SRB_Status = kSsNoAdapters;
    return kSsNoAdapters;
  }
  return sendCommand_(srb);
}

}  // namespace tarvo::aspi
