#include "ui/FunctionKeyDialog.h"

#include <array>
#include <cstring>

#include "core/Diagnostics.h"
#include "scan/DriverContext.h"
#include "scan/ModeOperations.h"
#include "scan/ModePages.h"
#include "scan/Probe.h"
#include "scsi/Commands.h"
#include "ui/DialogCommon.h"
#include "ui/DialogTemplates.h"

namespace tarvo {
namespace {

constexpr Caption kCaptions[] = {
    {kDialogTitle, 170},
    {kIdOkButton, 184},
    {kIdCancelButton, 185},
    {fkey::kKeyLabel, 171},
    {fkey::kFunctionLabel, 293},
};

constexpr const char* kKeyNames[] = {"F1", "F2", "F3", "F4", "F5",
                                     "F6", "P1", "P2", "P3", "P4"};

// Display order. Revisions below 2000 offer the first 14 and 182; without
// the function-key flag the first 15 and 182; else all 19 (182 last).
constexpr std::uint32_t kAllFunctions[] = {292, 283, 282, 279, 280, 281, 286, 287, 288, 289,
                                           284, 291, 290, 294, 302, 295, 296, 285, 182};
constexpr std::uint32_t kFirst14[] = {292, 283, 282, 279, 280, 281, 286, 287,
                                      288, 289, 284, 291, 290, 294, 182};
constexpr std::uint32_t kFirst15[] = {292, 283, 282, 279, 280, 281, 286, 287,
                                      288, 289, 284, 291, 290, 294, 302, 182};
constexpr std::int32_t kFullListRevision = 2000;


// The dialogs' own name in the diagnostics log, and the call site of a
// failed key read.
constexpr const char* kModuleDialogs = "Dialog";
constexpr int kSiteReadKey = 759;

constexpr const char* kKeyReadErrorText = "Scsi error";
constexpr const char* kKeyReadErrorCaption = "Roradiv";

}  // namespace

std::span<const std::uint32_t> FunctionListMessages(std::int32_t firmwareRevision,
                                                    bool functionKeyFlag) {
  if (firmwareRevision < kFullListRevision) return kFirst14;
  if (!functionKeyFlag) return kFirst15;
  return kAllFunctions;
}

std::uint32_t BlockFunctionMessage(std::span<const std::uint8_t> block) {
  if (block.size() < wire::kFunctionKeyBlockLength) return 0;
  const std::optional<std::uint32_t> code = FunctionCodeFromBlock(block);
  return code ? FunctionMessage(*code) : 0;
}

std::uint32_t FunctionMessage(std::uint32_t code) {
  for (const FunctionChoice& f : kFunctionChoices) {
    if (f.code == code) return f.message;
  }
  return 0;
}

void FunctionKeyDialog::OnInit(DialogSurface& surface) {
  SetCaptions(surface, context_, kCaptions);
  for (const char* name : kKeyNames) surface.ListAdd(fkey::kKey, name);
  surface.ListSelect(fkey::kKey, 0);

  std::int32_t revision = 0;
  (void)GetFirmwareRevision(context_.Link(), &revision);
  FillList(surface, context_, fkey::kFunction,
           FunctionListMessages(revision, context_.state.scanner.scannerCaps.flag5));

  const Result r = ReadKey(surface, 1);
  if (r != Result::Ok) {
    ShowDriverErrorBox(context_, ToCode(r));
    surface.End(0);
  }
}

void FunctionKeyDialog::OnEvent(DialogSurface& surface, const DialogEvent& event) {
  if (event.kind == EventKind::kListSelChanged && event.control == fkey::kKey) {
    const int index = surface.ListSelection(fkey::kKey);
    if (index == kNoSelection) return;
    if (ReadKey(surface, index + 1) != Result::Ok) {
      context_.platform.ShowMessageBox(nullptr, kKeyReadErrorText, kKeyReadErrorCaption, kMbOk);
    }
    return;
  }
  if (event.kind != EventKind::kClicked) return;
  if (event.control == kIdOkButton) {
    Assign(surface);
  } else if (event.control == kIdCancelButton) {
    surface.End(0);
  }
}

Result FunctionKeyDialog::ReadKey(DialogSurface& surface, std::int32_t key) {
  std::array<std::uint8_t, wire::kFunctionKeyBlockLength> block{};
  const ScsiOutcome outcome = Execute(context_, context_.state.scanner.scannerTarget,
                                      CmdGetFunctionKey(static_cast<std::uint8_t>(key), block));
  if (outcome.result != 0) return CheckScsi(context_, outcome, kSiteReadKey, kModuleDialogs);
  const std::uint32_t message = BlockFunctionMessage(block);
  if (message == 0) return Result::Ok;  // no function bit: the selection stays

  const char* wanted = LookupMessage(context_, message);
  const std::size_t length = std::strlen(wanted);
  const int count = surface.ListCount(fkey::kFunction);
  for (int i = 0; i < count; ++i) {
    char text[kMessageTextSize] = {};
    if (surface.ListText(fkey::kFunction, i, text, sizeof text) &&
        std::strncmp(text, wanted, length) == 0) {
      surface.ListSelect(fkey::kFunction, i);
      break;
    }
  }
  return Result::Ok;
}

void FunctionKeyDialog::Assign(DialogSurface& surface) {
  const int keyIndex = surface.ListSelection(fkey::kKey);
  const int entry = surface.ListSelection(fkey::kFunction);
  if (keyIndex == kNoSelection || entry == kNoSelection) return;
  char text[kMessageTextSize] = {};
  if (!surface.ListText(fkey::kFunction, entry, text, sizeof text)) return;
  for (const FunctionChoice& f : kFunctionChoices) {
    if (std::strcmp(text, LookupMessage(context_, f.message)) == 0) {
      (void)DefineFunctionKey(context_.Link(), static_cast<std::uint8_t>(keyIndex + 1), f.code);
      return;
    }
  }
}

}  // namespace tarvo
