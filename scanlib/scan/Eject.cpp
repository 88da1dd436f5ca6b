#include "scan/Eject.h"

#include "scan/DriverContext.h"
#include "scsi/CheckCondition.h"
#include "scsi/Commands.h"

namespace tarvo {

Result EjectSheet(DriverContext& context) {
  return CheckScsi(context,
                   Execute(context, context.state.scanner.scannerTarget, CmdUnloadObject()),
                   kSiteEjectSheet);
}

Result AbortScan(DriverContext& context) { return EjectSheet(context); }

}  // namespace tarvo
