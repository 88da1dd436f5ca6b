// The platform of the running system, for the process instance of the driver.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace tarvo {

// `module` is the library's own module handle (Windows); unused elsewhere.
std::unique_ptr<Platform> CreateSystemPlatform(void* module);

}  // namespace tarvo
