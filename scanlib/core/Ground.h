// What the ground room needs of the driver: the platform, the message-box
// switch and the one step above it that a failed file creation takes (the
// sheet is ejected). The driver context is one; the rooms above see it
// through this base or the SCSI room's.
#pragma once

#include <cstdint>

#include "platform/Platform.h"

namespace tarvo {

struct GroundContext {
  explicit GroundContext(Platform& platformRef) : platform(platformRef) {}
  GroundContext(const GroundContext&) = delete;
  GroundContext& operator=(const GroundContext&) = delete;

  Platform& platform;
  // The message-box switch (non-zero: boxes show); none: they do not.
  const std::int32_t* messageSwitch = nullptr;
  // Run when a guarded file cannot be created; none: nothing.
  void (*onCreateFailure)(GroundContext&) = nullptr;
};

}  // namespace tarvo
