// libwnaspi32.so: the SCSI generic provider behind the two ASPI entry points,
// and the notes that `rt650scan -L` shows. One provider per process, made at
// the first call; its devices stay open until the library is unloaded.
#include <cstdlib>
#include <string>

#include "SgProvider.h"

#define SGASPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The driver's scan.log: $TARVOSCN_ROOT, else ${XDG_DATA_HOME:-$HOME/.local/share}/tarvoscn.
std::string DriverLogPath() {
  if (const char* root = std::getenv("TARVOSCN_ROOT"); root != nullptr && *root != '\0') {
    return std::string(root) + "/scan.log";
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    return std::string(data) + "/tarvoscn/scan.log";
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return std::string(home) + "/.local/share/tarvoscn/scan.log";
  }
  return {};
}

tarvo::providers::SgProvider& TheProvider() {
  static tarvo::providers::SgProvider provider([] {
    tarvo::providers::SgSystem system;
    system.logPath = DriverLogPath();
    return system;
  }());
  return provider;
}

}  // namespace

SGASPI_EXPORT std::uint32_t GetASPI32SupportInfo(void) { return TheProvider().GetSupportInfo(); }

SGASPI_EXPORT std::uint32_t SendASPI32Command(void* srb) {
  return TheProvider().SendCommand(static_cast<tarvo::aspi::SrbExecScsiCmd*>(srb));
}

// What the provider found at its last look at the bus: one line per device,
// with the reason for each device it skipped.
SGASPI_EXPORT const char* TarvoAspiProviderNotes(void) { return TheProvider().Notes().c_str(); }
