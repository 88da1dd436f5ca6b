#include "ui/DialogExports.h"

#include "platform/Platform.h"
#include "scan/DriverContext.h"
#include "scan/Probe.h"
#include "ui/AddonDialog.h"
#include "ui/DetailsDialog.h"
#include "ui/DialogCommon.h"
#include "ui/FunctionKeyDialog.h"
#include "ui/GammaDialog.h"
#include "ui/SettingsDialog.h"
#include "ui/StartScanDialog.h"

namespace tarvo {
namespace {

constexpr const char* kNotProbedText = "Scanner is not probed.";
constexpr const char* kNotProbedCaption = "Vasko/ferrule driver";

// A window or instance handle as the 32-bit result of an export.
std::uint32_t HandleCode(void* handle) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(handle));
}

// The export's result: `done` after the dialog ran, or the system's error
// code (shown in a box) when it could not be created.
std::uint32_t Finish(DriverContext& context, const DialogOutcome& outcome, std::uint32_t done) {
  if (outcome.created) return done;
  ShowDialogBoxFailure(context, outcome.error);
  return outcome.error;
}

}  // namespace

std::uint32_t RunSettingsDialog(DriverContext& context, DialogRunner& runner, void* instance,
                                void* owner) {
  (void)instance;  // the template comes from the driver's own module
  const Result probed = Probe(context.Link());
  if (probed != Result::Ok) return ToCode(probed);
  (void)ReadScannerInfo(context.Link());
  SettingsDialog dialog(context, runner);
  return Finish(context,
                runner.Run(DialogTemplate::kSetting, context.state.moduleHandle, owner, dialog), 0);
}

std::uint32_t RunDetailsDialog(DriverContext& context, DialogRunner& runner, void* instance,
                               void* owner) {
  context.dialogs.instance = instance;
  DetailsDialog dialog(context, runner);
  const DialogTemplate which = DetailsTemplate(context.state.currentLanguage.data());
  return Finish(context, runner.Run(which, instance, owner, dialog), HandleCode(instance));
}

std::uint32_t RunGammaDialog(DriverContext& context, DialogRunner& runner, void* instance,
                             void* owner) {
  context.dialogs.instance = instance;
  GammaDialog dialog(context);
  return Finish(context, runner.Run(DialogTemplate::kGamma, instance, owner, dialog),
                HandleCode(instance));
}

std::uint32_t RunAddonDialog(DriverContext& context, DialogRunner& runner, void* instance,
                             void* owner) {
  AddonDialog dialog(context);
  return Finish(context, runner.Run(DialogTemplate::kImprinter, instance, owner, dialog),
                HandleCode(owner));
}

std::uint32_t RunFunctionKeyDialog(DriverContext& context, DialogRunner& runner, void* instance,
                                   void* owner) {
  FunctionKeyDialog dialog(context);
  return Finish(context, runner.Run(DialogTemplate::kFunction, instance, owner, dialog),
                HandleCode(owner));
}

std::uint32_t RunStartScanDialog(DriverContext& context, DialogRunner& runner, void* instance,
                                 void* owner) {
  (void)instance;  // the template comes from the driver's own module
  if (Probe(context.Link()) == Result::ScannerFailure) {
    context.platform.ShowMessageBox(nullptr, kNotProbedText, kNotProbedCaption, kMbOk);
    return 0;
  }
  StartScanDialog dialog(context);
  return Finish(context,
                runner.Run(DialogTemplate::kStartScan, context.state.moduleHandle, owner, dialog),
                0);
}

}  // namespace tarvo
