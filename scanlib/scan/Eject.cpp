#include "scan/Eject.h"

#include "scan/ScannerLink.h"
#include "scsi/CheckCondition.h"
#include "scsi/Commands.h"

namespace tarvo {

Result EjectSheet(const ScannerLink& link) {
  return CheckScsi(link.scsi, Execute(link.scsi, link.Target(), CmdUnloadObject()),
                   kSiteEjectSheet);
}

Result AbortScan(const ScannerLink& link) { return EjectSheet(link); }

}  // namespace tarvo
