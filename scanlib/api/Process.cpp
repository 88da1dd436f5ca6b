#include "platform/Process.h"

#include <cstdlib>
#include <utility>

#include "scan/DriverContext.h"

namespace tarvo {
namespace {

struct ProcessInstance {
  explicit ProcessInstance(std::unique_ptr<Platform> p)
      : platform(std::move(p)), context(*platform) {}
  std::unique_ptr<Platform> platform;
  DriverContext context;
};

// Owned between ProcessAttach and ProcessDetach. A plain pointer on purpose:
// its lifetime is the loader's attach/detach, not static destruction, whose
// order against the library's unload hook is not defined.
constinit ProcessInstance* g_process = nullptr;

}  // namespace

void ProcessAttach(std::unique_ptr<Platform> platform, void* moduleHandle) {
  if (g_process != nullptr || platform == nullptr) return;
  g_process = new ProcessInstance(std::move(platform));
  DriverLoad(g_process->context, moduleHandle);
}

void ProcessDetach() {
  if (g_process == nullptr) return;
  DriverUnload(g_process->context);
  delete std::exchange(g_process, nullptr);
}

bool ProcessContextExists() { return g_process != nullptr; }

DriverContext& ProcessContext() {
  if (g_process == nullptr) std::abort();  // an export ran outside load..unload
  return g_process->context;
}

}  // namespace tarvo
