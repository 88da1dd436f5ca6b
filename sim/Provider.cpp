// librt650sim: the simulator as an ASPI provider library. It holds one bus,
// built at the first call from the file that RT650SIM_CONFIG names, or with
// the default configuration (an RT650 at adapter 0, target 0 with three
// synthetic pages). A configuration that fails to load leaves a bus without
// adapters and a message on stderr. The bus is destroyed when the library is
// unloaded, which waits for a request still completing on its worker thread.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "Bus.h"
#include "Config.h"

#ifdef _WIN32
#define RT650SIM_EXPORT extern "C" __declspec(dllexport)
#define RT650SIM_CALL __cdecl
#else
#define RT650SIM_EXPORT extern "C" __attribute__((visibility("default")))
#define RT650SIM_CALL
#endif

namespace {

std::unique_ptr<tarvo::sim::Bus> MakeBus() {
  auto bus = std::make_unique<tarvo::sim::Bus>(1);
  const char* path = std::getenv("RT650SIM_CONFIG");
  if (path == nullptr || *path == '\0') {
    tarvo::sim::ApplyDefaultConfig(*bus);
    bus->KeepHistory(false);
    return bus;
  }
  std::string error;
  if (!tarvo::sim::ApplyConfigFile(path, *bus, error)) {
    std::fprintf(stderr, "rt650sim: %s: %s\n", path, error.c_str());
    bus = std::make_unique<tarvo::sim::Bus>(0);
    bus->SetSupportStatus(tarvo::aspi::kSsNoAdapters);
  }
  bus->KeepHistory(false);  // nobody inspects the records: memory stays flat
  return bus;
}

tarvo::sim::Bus& TheBus() {
  static const std::unique_ptr<tarvo::sim::Bus> bus = MakeBus();
  return *bus;
}

}  // namespace

RT650SIM_EXPORT std::uint32_t RT650SIM_CALL GetASPI32SupportInfo(void) {
  return TheBus().GetSupportInfo();
}

RT650SIM_EXPORT std::uint32_t RT650SIM_CALL SendASPI32Command(void* srb) {
  return TheBus().SendCommand(static_cast<tarvo::aspi::SrbExecScsiCmd*>(srb));
}
