#include "scan/ModeOperations.h"

#include <cstring>

#include "core/Diagnostics.h"
#include "scan/DriverContext.h"
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

std::uint8_t Target(const DriverContext& c) { return c.state.scanner.scannerTarget; }

// Runs the steps in order and stops at the first that fails.
template <typename... Steps>
Result Sequence(DriverContext& c, Steps... steps) {
  Result result = Result::Ok;
  ((result == Result::Ok ? (void)(result = steps(c)) : (void)0), ...);
  return result;
}

// Runs `command` on the scanner with the failure convention.
Result Check(DriverContext& c, const ScsiCommand& command, int site) {
  return CheckScsi(c, Execute(c, Target(c), command), site);
}

// GET SCAN MODE of `code` into the whole of `page`, with the failure convention.
Result ReadModePage(DriverContext& c, std::uint8_t code, ByteSpan page, int site) {
  return Check(c, CmdGetScanMode(code, page, static_cast<std::uint8_t>(page.size())), site);
}

}  // namespace

Result PushWindow(DriverContext& c) {
  const WindowData data = BuildWindowData(c.settings);
  return Check(c, CmdSetWindow(data), kSitePushWindow);
}

Result PushScanModePage(DriverContext& c) {
  const ShortPage page = BuildScanModePage(c.settings);
  return Check(c, CmdDefineScanMode(page), kSitePushScanModePage);
}

Result PushImagePage(DriverContext& c) {
  const ShortPage page = BuildImagePage(c.settings);
  return Check(c, CmdDefineScanMode(page), kSitePushImagePage);
}

Result ReadWindow(DriverContext& c) {
  WindowData data{};
  Result r = Check(c, CmdGetWindow(0, data), kSiteReadWindow);
  if (r == Result::Ok) ApplyWindowData(c.settings, data);
  return r;
}

Result ReadScanModePage(DriverContext& c) {
  ShortPage page{};
  Result r = ReadModePage(c, kPageScanMode, page, kSiteReadScanModePage);
  if (r == Result::Ok) ApplyScanModePage(c.settings, page);
  return r;
}

Result ReadImagePage(DriverContext& c) {
  ShortPage page{};
  Result r = ReadModePage(c, kPageImage, page, kSiteReadImagePage);
  if (r == Result::Ok) ApplyImagePage(c.settings, page);
  return r;
}

Result ReadStatusBytes(DriverContext& c) {
  std::array<std::uint8_t, kStatusLength> status{};  // read and discarded
  return Check(c, CmdReadStatus(status), kSiteReadStatusBytes);
}

Result PushScanMode(DriverContext& c) {
  return Sequence(c, PushScanModePage, PushImagePage, PushWindow);
}

Result PushAllModes(DriverContext& c) {
  return Sequence(c, PushScanModePage, PushImagePage, PushWindow, PushAddonPage);
}

Result RefreshFromScanner(DriverContext& c) {
  return Sequence(c, ReadScanModePage, ReadImagePage, ReadStatusBytes, ReadWindow, ReadAddonPage);
}

Result ReadAddonPage(DriverContext& c) {
  AddonPageData page{};
  Result r = ReadModePage(c, kPageAddon, page, kSiteReadAddonPage);
  if (r == Result::Ok) c.addonPage = page;
  return r;
}

Result PushAddonPage(DriverContext& c) {
  PrepareAddonPageForSend(c.addonPage);
  return Check(c, CmdDefineScanMode(c.addonPage, static_cast<std::uint8_t>(c.addonPage.size())),
               kSitePushAddonPage);
}

Result PushDevicePage37(DriverContext& c, const std::int32_t (&values)[2]) {
  const ShortPage page = BuildDevicePage37(values[0], values[1]);
  return Check(c, CmdDefineScanMode(page), kSitePushDevicePage37);
}

std::uint32_t DefineFunctionKey(DriverContext& c, std::uint8_t key, std::uint32_t code) {
  const auto block = BuildFunctionKeyBlock(key, code);
  if (!block) return ToCode(Result::InvalidValue);  // nothing is sent
  return Execute(c, Target(c), CmdDefineFunctionKey(*block)).result;
}

Result ReadFunctionKey(DriverContext& c, std::int32_t key, std::uint32_t* code) {
  FunctionKeyBlock block{};
  Result r =
      Check(c, CmdGetFunctionKey(static_cast<std::uint8_t>(key), block), kSiteReadFunctionKey);
  if (r != Result::Ok) return r;
  if (const auto found = FunctionCodeFromBlock(block); found && code != nullptr) *code = *found;
  return Result::Ok;
}

Result SendGammaTable(DriverContext& c, std::uint16_t qualifier, const std::uint8_t* table) {
  if (table == nullptr) return Result::InvalidValue;
  const std::span<const std::uint8_t, kGammaLength> data(table, kGammaLength);
  return OutcomeResult(Execute(c, Target(c), CmdSendGamma(qualifier, data)));  // not logged
}

Result ReadGammaTable(DriverContext& c, std::uint16_t qualifier, std::uint8_t* table) {
  if (table == nullptr) return Result::InvalidValue;
  const std::span<std::uint8_t, kGammaLength> data(table, kGammaLength);
  return OutcomeResult(Execute(c, Target(c), CmdReadGamma(qualifier, data)));  // not logged
}

}  // namespace tarvo
