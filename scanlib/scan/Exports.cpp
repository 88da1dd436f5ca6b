// The exported functions: each reaches the process's driver context and
// hands the call to the operation that does the work.
#include "tarvoscn.h"

#include "scan/Diagnostics.h"
#include "scan/DriverContext.h"
#include "scan/Info.h"

using tarvo::ProcessContext;

extern "C" {

TSD_API uint32_t TSD_CALL TsdDispErrDlg(uint32_t on) {
  return tarvo::SetMessageBoxes(ProcessContext(), on);
}

TSD_API uint32_t TSD_CALL TsdGetDriverName(char* fileName, char* version) {
  return tarvo::GetDriverName(ProcessContext(), fileName, version);
}

TSD_API uint32_t TSD_CALL TsdGetScannerName(char* name) { return tarvo::GetScannerName(name); }

TSD_API uint32_t TSD_CALL TsdAbortScan(void) {
  return tarvo::ToCode(tarvo::AbortScan(ProcessContext()));
}

TSD_API uint32_t TSD_CALL disp_page(uint32_t unused) {
  (void)unused;
  return 1;
}

TSD_API uint32_t TSD_CALL dll_test(void) { return tarvo::AskAreYouSure(ProcessContext()); }

}  // extern "C"
