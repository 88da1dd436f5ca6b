// The process instance of the driver: created at load, destroyed at unload.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace tarvo {

// Builds the process's driver context over `platform` and runs the load steps.
void ProcessAttach(std::unique_ptr<Platform> platform, void* moduleHandle);
// Runs the unload steps and destroys the process's driver context.
void ProcessDetach();

}  // namespace tarvo
