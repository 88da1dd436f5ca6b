// The driver context: every process-wide record of the driver in one object.
//
// The exports reach the one process instance (ProcessContext), which the
// library's load creates and its unload destroys. Tests build their own
// contexts over a platform of their choosing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "core/Diagnostics.h"
#include "image/G4Coder.h"
#include "platform/Platform.h"
#include "scan/DialogState.h"
#include "scan/DriverState.h"
#include "scan/Eject.h"
#include "scan/Language.h"
#include "scan/ModePages.h"
#include "scan/ScanSettings.h"
#include "scan/ScannerLink.h"
#include "scsi/CheckCondition.h"
#include "scsi/Transport.h"

namespace tarvo {

// The ground room sees it as a GroundContext (platform, message switch), the
// SCSI room as a ScsiContext (and the transport).
struct DriverContext : ScsiContext {
  explicit DriverContext(Platform& platformRef) : ScsiContext(platformRef) {
    messageSwitch = &state.showMessages;
    onCreateFailure = [](GroundContext& ground) {
      (void)EjectSheet(static_cast<DriverContext&>(ground).Link());
    };
  }

  DriverState state;
  ScanSettings settings;
  MessageTable messages;
  AddonPageData addonPage{};  // mirror of the scanner's addon page 0x34
  DialogState dialogs;        // what the dialogs keep between openings
  // The driver's copies of the names set by TsdDocnameSet and TsdPagenameSet
  // (docName and pageName of ScanSettings point here).
  std::array<char, 256> docNameBuffer{};
  std::array<char, 256> pageNameBuffer{};
  // The Group 4 coder's buffers, one set for the driver's life.
  std::unique_ptr<CoderBuffers> coderBuffers = std::make_unique<CoderBuffers>();

  // The scanner operations' share: the transport, the scanner, the settings
  // and the addon page.
  ScannerLink Link() { return ScannerLink{*this, state.scanner, settings, addonPage}; }
};

// Process attach: defaults, "ROTATE90", the marker file, the language.
void DriverLoad(DriverContext& context, void* moduleHandle);
// Process detach: writes "ROTATE90" back.
void DriverUnload(DriverContext& context);

// The text after the last path separator of `path` (all of it when it has
// none), copied with its NUL into `out` of `size` bytes.
void FileNamePart(const char* path, char* out, std::size_t size);

// One key of the settings file, in `section`. Without a settings path they do
// nothing (a read leaves `buffer` untouched).
void ReadDriverSetting(DriverContext& context, const char* section, const char* key,
                       const char* defaultValue, char* buffer, std::uint32_t size);
void WriteDriverSetting(DriverContext& context, const char* section, const char* key,
                        const char* value);
// The host's section name: the file name part of the host executable's path.
void HostSection(DriverContext& context, char* out, std::size_t size);

// The process instance; valid between load and unload.
DriverContext& ProcessContext();
bool ProcessContextExists();

}  // namespace tarvo
