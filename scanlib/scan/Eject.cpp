#include "scan/Eject.h"

#include <array>

#include "scan/DriverContext.h"
#include "scsi/CheckCondition.h"
#include "scsi/Commands.h"

namespace tarvo {

Result EjectSheet(DriverContext& context) {
  std::array<std::uint8_t, 16> sense{};
  const std::uint16_t status =
      CmdUnloadObject(context, context.state.scanner.scannerTarget, sense.data());
  return CheckScsi(context, status, sense.data(), kSiteEjectSheet);
}

Result AbortScan(DriverContext& context) { return EjectSheet(context); }

}  // namespace tarvo
