// Load and unload of the shared library: the constructor and destructor run
// when the library is loaded into a process and when it is unloaded (also on
// dlclose).
#include "platform/SystemPlatform.h"
#include "platform/posix/PosixPlatform.h"
#include "platform/Process.h"

namespace tarvo {

std::unique_ptr<Platform> CreateSystemPlatform(void* module) {
  (void)module;
  return std::make_unique<PosixPlatform>(PosixOptionsFromEnvironment(), InstalledDataFolder());
}

namespace {

__attribute__((constructor)) void LibraryLoaded() { ProcessAttach(CreateSystemPlatform(nullptr), nullptr); }

__attribute__((destructor)) void LibraryUnloaded() { ProcessDetach(); }

}  // namespace
}  // namespace tarvo
