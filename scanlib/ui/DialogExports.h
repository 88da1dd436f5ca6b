// The work of the six dialog exports: the steps before the dialog (a probe,
// for example), the template, the modal run and the result. When a dialog
// cannot be created, each shows "DialogBox return code is %d" with the
// system's error code and returns that code.
#pragma once

#include <cstdint>

namespace tarvo {

struct DriverContext;
class DialogRunner;

// TsdDrvSetDialog: probe (its failure code is returned, no dialog), page
// 0xF0 re-read, SETTING from the driver's own module; 0 after OK or Cancel.
std::uint32_t RunSettingsDialog(DriverContext& context, DialogRunner& runner, void* instance,
                                void* owner);
// TsdDetailsSetDialog: DETAILS for the language "Japanese", else
// DETAILS_US, from `instance`; returns `instance`.
std::uint32_t RunDetailsDialog(DriverContext& context, DialogRunner& runner, void* instance,
                               void* owner);
// GammaSetDialog: GAMMA from `instance`; returns `instance`.
std::uint32_t RunGammaDialog(DriverContext& context, DialogRunner& runner, void* instance,
                             void* owner);
// ImprinterSetDialog: IMPRINTER from `instance`; returns `owner`.
std::uint32_t RunAddonDialog(DriverContext& context, DialogRunner& runner, void* instance,
                             void* owner);
// FKeySetDialog: FUNCTION from `instance`; returns `owner`.
std::uint32_t RunFunctionKeyDialog(DriverContext& context, DialogRunner& runner, void* instance,
                                   void* owner);
// TsdStartScanDialog: probe result 2 shows "Scanner is not probed." and
// returns 0 without a dialog; STARTSCAN from the driver's own module; 0.
std::uint32_t RunStartScanDialog(DriverContext& context, DialogRunner& runner, void* instance,
                                 void* owner);

}  // namespace tarvo
