// wnaspi32.dll over SCSI pass-through: the provider behind the two ASPI
// entry points (ordinals 1 and 2, cdecl, as the driver imports them), and the
// provider's notes on the bus. One provider per process, made at the first
// call; the ports stay open until the library is unloaded.
#include "PassThroughProvider.h"

namespace {

tarvo::providers::PassThroughProvider& TheProvider() {
  static tarvo::providers::PassThroughProvider provider(tarvo::providers::SystemPorts());
  return provider;
}

}  // namespace

extern "C" __declspec(dllexport) std::uint32_t __cdecl GetASPI32SupportInfo(void) {
  return TheProvider().GetSupportInfo();
}

extern "C" __declspec(dllexport) std::uint32_t __cdecl SendASPI32Command(void* srb) {
  return TheProvider().SendCommand(static_cast<tarvo::aspi::SrbExecScsiCmd*>(srb));
}

extern "C" __declspec(dllexport) const char* __cdecl TarvoAspiProviderNotes(void) {
  return TheProvider().Notes().c_str();
}
