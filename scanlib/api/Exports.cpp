// The exported functions: each reaches the process's driver context and
// hands the call to the operation that does the work.
#include "tarvoscn.h"

#include "core/Diagnostics.h"
#include "scan/Documents.h"
#include "scan/Batch.h"
#include "scan/DriverContext.h"
#include "scan/Info.h"
#include "scan/ModeOperations.h"
#include "scan/Parameters.h"
#include "scan/Probe.h"
#include "tiff/TiffUtilities.h"
#include "ui/DialogExports.h"
#include "platform/DialogSurface.h"

using tarvo::ProcessContext;

namespace {
// The one open batch document of the process.
tarvo::OpenDocument& ProcessDocument() { return ProcessContext().state.document; }
}  // namespace

extern "C" {

TSD_API uint32_t TSD_CALL TsdDispErrDlg(uint32_t on) {
  return tarvo::SetMessageBoxes(ProcessContext(), on);
}

TSD_API uint32_t TSD_CALL TsdGetDriverName(char* fileName, char* version) {
  return tarvo::GetDriverName(ProcessContext(), fileName, version);
}

TSD_API uint32_t TSD_CALL TsdGetScannerName(char* name) { return tarvo::GetScannerName(name); }

TSD_API uint32_t TSD_CALL TsdProbe(void) {
  return tarvo::ToCode(tarvo::Probe(ProcessContext().Link()));
}

TSD_API int32_t TSD_CALL TsdParSet(int32_t id, void* value) {
  return static_cast<int32_t>(tarvo::ToCode(tarvo::ParSet(ProcessContext(), id, value)));
}

TSD_API int32_t TSD_CALL TsdParGet(int32_t id, void* value) {
  return static_cast<int32_t>(tarvo::ToCode(tarvo::ParGet(ProcessContext(), id, value)));
}

TSD_API uint32_t TSD_CALL TsdSetModeToScanner(void) {
  return tarvo::ToCode(tarvo::PushAllModes(ProcessContext().Link()));
}

TSD_API uint32_t TSD_CALL TsdGetModeFromScanner(void) {
  return tarvo::ToCode(tarvo::RefreshFromScanner(ProcessContext().Link()));
}

TSD_API uint32_t TSD_CALL TsdStartScan(const char* docFileName, uint32_t* pagePosition,
                                       uint32_t* value) {
  return tarvo::ToCode(tarvo::StartScan(ProcessContext(), docFileName, pagePosition, value));
}

TSD_API uint32_t TSD_CALL TsdScanOnePage(const char* docFileName, uint32_t* pagePosition,
                                         void* pageBuffer) {
  return tarvo::ToCode(tarvo::ScanOnePage(ProcessContext(), docFileName, pagePosition,
                                          static_cast<uint8_t*>(pageBuffer)));
}

TSD_API uint32_t TSD_CALL TsdReadPage(const char* outputFileName, void* pageBuffer,
                                      TsdCancelCallback cancel) {
  return tarvo::ToCode(tarvo::ReadPage(ProcessContext(), outputFileName,
                                       static_cast<uint8_t*>(pageBuffer), cancel));
}

TSD_API uint32_t TSD_CALL TsdContScan(void) {
  return tarvo::ToCode(tarvo::ContinueScan(ProcessContext()));
}

TSD_API uint32_t TSD_CALL TsdStopScan(void) { return tarvo::ToCode(tarvo::StopScan(ProcessContext())); }

TSD_API uint32_t TSD_CALL TsdPageExist(void) { return tarvo::ToCode(tarvo::PageExist(ProcessContext())); }

TSD_API uint32_t TSD_CALL TsdAbortScan(void) {
  return tarvo::ToCode(tarvo::AbortScan(ProcessContext().Link()));
}

TSD_API uint32_t TSD_CALL TsdCloseFile(void) {
  return tarvo::ToCode(tarvo::CloseDocument(ProcessContext(), ProcessDocument()));
}

TSD_API uint32_t TSD_CALL TsdMakeTiff(const char* fileName, const void* image, int32_t width,
                                      int32_t length, int32_t xResolution, int32_t yResolution) {
  return tarvo::ToCode(
      tarvo::MakeTiff(ProcessContext(), fileName, image, width, length, xResolution, yResolution));
}

TSD_API uint32_t TSD_CALL TsdGetFileSize(uint32_t* size) {
  return tarvo::ToCode(tarvo::GetDocumentFileSize(ProcessContext(), ProcessDocument(), size));
}

TSD_API void TSD_CALL TsdDocnameSet(const char* name) {
  tarvo::SetDocumentName(ProcessContext(), name);
}

TSD_API void TSD_CALL TsdPagenameSet(const char* name) { tarvo::SetPageName(ProcessContext(), name); }

TSD_API int32_t TSD_CALL ConcatTiff(const char* destination, const char* source) {
  return tarvo::ConcatCode(tarvo::ConcatTiff(ProcessContext(), destination, source));
}

TSD_API int32_t TSD_CALL ChangeDocname(const char* fileName, const char* newName) {
  return tarvo::ChangeDocnameCode(tarvo::ChangeDocname(ProcessContext(), fileName, newName));
}

TSD_API uint32_t TSD_CALL disp_page(uint32_t unused) {
  (void)unused;
  return 1;
}

TSD_API uint32_t TSD_CALL dll_test(void) { return tarvo::AskAreYouSure(ProcessContext()); }

// The dialogs. Without a window system (POSIX) they run the steps before the
// dialog and then fail as a dialog that cannot be created, with 50.

TSD_API uint32_t TSD_CALL TsdDrvSetDialog(TSD_HINSTANCE instance, TSD_HWND owner) {
  return tarvo::RunSettingsDialog(ProcessContext(), tarvo::SystemDialogRunner(), instance, owner);
}

TSD_API uint32_t TSD_CALL TsdDetailsSetDialog(TSD_HINSTANCE instance, TSD_HWND owner,
                                              void* unused) {
  (void)unused;
  return tarvo::RunDetailsDialog(ProcessContext(), tarvo::SystemDialogRunner(), instance, owner);
}

TSD_API uint32_t TSD_CALL GammaSetDialog(TSD_HINSTANCE instance, TSD_HWND owner, void* unused) {
  (void)unused;
  return tarvo::RunGammaDialog(ProcessContext(), tarvo::SystemDialogRunner(), instance, owner);
}

TSD_API uint32_t TSD_CALL ImprinterSetDialog(TSD_HINSTANCE instance, TSD_HWND owner,
                                             void* unused) {
  (void)unused;
  return tarvo::RunAddonDialog(ProcessContext(), tarvo::SystemDialogRunner(), instance, owner);
}

TSD_API uint32_t TSD_CALL FKeySetDialog(TSD_HINSTANCE instance, TSD_HWND owner, void* unused) {
  (void)unused;
  return tarvo::RunFunctionKeyDialog(ProcessContext(), tarvo::SystemDialogRunner(), instance,
                                     owner);
}

TSD_API uint32_t TSD_CALL TsdStartScanDialog(TSD_HINSTANCE instance, TSD_HWND owner) {
  return tarvo::RunStartScanDialog(ProcessContext(), tarvo::SystemDialogRunner(), instance, owner);
}

}  // extern "C"
