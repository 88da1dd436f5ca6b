#include "scan/ModeOperations.h"

#include <cstring>

#include "core/Diagnostics.h"
#include "scan/ScannerLink.h"
#include "scsi/CheckCondition.h"
#include "scsi/Commands.h"

namespace tarvo {
namespace {

using namespace wire;

// Call-site numbers of the operations' log entries.
constexpr int kSitePushScanModePage = 723;
constexpr int kSitePushImagePage = 755;
constexpr int kSiteReadAddonPage = 766;
constexpr int kSitePushAddonPage = 781;
constexpr int kSitePushDevicePage37 = 800;
constexpr int kSiteReadStatusBytes = 812;
constexpr int kSiteReadScanModePage = 873;
constexpr int kSiteReadImagePage = 885;
constexpr int kSiteReadWindow = 970;
constexpr int kSitePushWindow = 1077;
constexpr int kSiteReadFunctionKey = 1088;

// Runs the steps in order and stops at the first that fails.
template <typename... Steps>
Result Sequence(const ScannerLink& link, Steps... steps) {
  Result result = Result::Ok;
  ((result == Result::Ok ? (void)(result = steps(link)) : (void)0), ...);
  return result;
}

// Runs `command` on the scanner with the failure convention.
Result Check(const ScannerLink& link, const ScsiCommand& command, int site) {
  return CheckScsi(link.scsi, Execute(link.scsi, link.Target(), command), site);
}

// GET SCAN MODE of `code` into the whole of `page`, with the failure convention.
Result ReadModePage(const ScannerLink& link, std::uint8_t code, ByteSpan page, int site) {
  return Check(link, CmdGetScanMode(code, page, static_cast<std::uint8_t>(page.size())), site);
}

}  // namespace

Result PushWindow(const ScannerLink& link) {
  const WindowData data = BuildWindowData(link.settings);
  return Check(link, CmdSetWindow(data), kSitePushWindow);
}

Result PushScanModePage(const ScannerLink& link) {
  const ShortPage page = BuildScanModePage(link.settings);
  return Check(link, CmdDefineScanMode(page), kSitePushScanModePage);
}

Result PushImagePage(const ScannerLink& link) {
  const ShortPage page = BuildImagePage(link.settings);
  return Check(link, CmdDefineScanMode(page), kSitePushImagePage);
}

Result ReadWindow(const ScannerLink& link) {
  WindowData data{};
  Result r = Check(link, CmdGetWindow(0, data), kSiteReadWindow);
  if (r == Result::Ok) ApplyWindowData(link.settings, data);
  return r;
}

Result ReadScanModePage(const ScannerLink& link) {
  ShortPage page{};
  Result r = ReadModePage(link, kPageScanMode, page, kSiteReadScanModePage);
  if (r == Result::Ok) ApplyScanModePage(link.settings, page);
  return r;
}

Result ReadImagePage(const ScannerLink& link) {
  ShortPage page{};
  Result r = ReadModePage(link, kPageImage, page, kSiteReadImagePage);
  if (r == Result::Ok) ApplyImagePage(link.settings, page);
  return r;
}

Result ReadStatusBytes(const ScannerLink& link) {
  std::array<std::uint8_t, kStatusLength> status{};  // read and discarded
  return Check(link, CmdReadStatus(status), kSiteReadStatusBytes);
}

Result PushScanMode(const ScannerLink& link) {
  return Sequence(link, PushScanModePage, PushImagePage, PushWindow);
}

Result PushAllModes(const ScannerLink& link) {
  return Sequence(link, PushScanModePage, PushImagePage, PushWindow, PushAddonPage);
}

Result RefreshFromScanner(const ScannerLink& link) {
  return Sequence(link, ReadScanModePage, ReadImagePage, ReadStatusBytes, ReadWindow,
                  ReadAddonPage);
}

Result ReadAddonPage(const ScannerLink& link) {
  AddonPageData page{};
  Result r = ReadModePage(link, kPageAddon, page, kSiteReadAddonPage);
  if (r == Result::Ok) link.addonPage = page;
  return r;
}

Result PushAddonPage(const ScannerLink& link) {
  PrepareAddonPageForSend(link.addonPage);
  return Check(link,
               CmdDefineScanMode(link.addonPage, static_cast<std::uint8_t>(link.addonPage.size())),
               kSitePushAddonPage);
}

Result PushDevicePage37(const ScannerLink& link, const std::int32_t (&values)[2]) {
  const ShortPage page = BuildDevicePage37(values[0], values[1]);
  return Check(link, CmdDefineScanMode(page), kSitePushDevicePage37);
}

std::uint32_t DefineFunctionKey(const ScannerLink& link, std::uint8_t key, std::uint32_t code) {
  const auto block = BuildFunctionKeyBlock(key, code);
  if (!block) return ToCode(Result::InvalidValue);  // nothing is sent
  return Execute(link.scsi, link.Target(), CmdDefineFunctionKey(*block)).result;
}

Result ReadFunctionKey(const ScannerLink& link, std::int32_t key, std::uint32_t* code) {
  FunctionKeyBlock block{};
  Result r =
      Check(link, CmdGetFunctionKey(static_cast<std::uint8_t>(key), block), kSiteReadFunctionKey);
  if (r != Result::Ok) return r;
  if (const auto found = FunctionCodeFromBlock(block); found && code != nullptr) *code = *found;
  return Result::Ok;
}

Result SendGammaTable(const ScannerLink& link, std::uint16_t qualifier, const std::uint8_t* table) {
  if (table == nullptr) return Result::InvalidValue;
  const std::span<const std::uint8_t, kGammaLength> data(table, kGammaLength);
  return OutcomeResult(
      Execute(link.scsi, link.Target(), CmdSendGamma(qualifier, data)));  // not logged
}

Result ReadGammaTable(const ScannerLink& link, std::uint16_t qualifier, std::uint8_t* table) {
  if (table == nullptr) return Result::InvalidValue;
  const std::span<std::uint8_t, kGammaLength> data(table, kGammaLength);
  return OutcomeResult(
      Execute(link.scsi, link.Target(), CmdReadGamma(qualifier, data)));  // not logged
}

}  // namespace tarvo
