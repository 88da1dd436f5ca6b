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

using Sense = SenseBuffer;

std::uint8_t Target(const DriverContext& c) { return c.state.scanner.scannerTarget; }

// Runs the steps in order and stops at the first that fails.
template <typename... Steps>
Result Sequence(DriverContext& c, Steps... steps) {
  Result result = Result::Ok;
  ((result == Result::Ok ? (void)(result = steps(c)) : (void)0), ...);
  return result;
}

// Gamma transfers are not logged: 0 is Ok, 2 is what the sense bytes say,
// anything else a scanner failure.
Result GammaResult(std::uint16_t transport, const Sense& sense) {
  if (transport == 0) return Result::Ok;
  if (IsCheckCondition(transport)) return SenseToResult(ConstByteSpan(sense.bytes, kSenseLength));
  return Result::ScannerFailure;
}

// GET SCAN MODE of `code` into the whole of `page`, with the failure convention.
Result ReadModePage(DriverContext& c, std::uint8_t code, ByteSpan page, int site) {
  Sense s;
  return CheckScsi(c,
                   CmdGetScanMode(c, Target(c), s.bytes, code, page,
                                  static_cast<std::uint8_t>(page.size())),
                   s.bytes, site);
}

}  // namespace

Result PushWindow(DriverContext& c) {
  const WindowData data = BuildWindowData(c.settings);
  Sense s;
  return CheckScsi(c, CmdSetWindow(c, Target(c), s.bytes, data), s.bytes, kSitePushWindow);
}

Result PushScanModePage(DriverContext& c) {
  const ShortPage page = BuildScanModePage(c.settings);
  Sense s;
  return CheckScsi(c, CmdDefineScanMode(c, Target(c), s.bytes, page), s.bytes,
                   kSitePushScanModePage);
}

Result PushImagePage(DriverContext& c) {
  const ShortPage page = BuildImagePage(c.settings);
  Sense s;
  return CheckScsi(c, CmdDefineScanMode(c, Target(c), s.bytes, page), s.bytes,
                   kSitePushImagePage);
}

Result ReadWindow(DriverContext& c) {
  WindowData data{};
  Sense s;
  Result r = CheckScsi(c, CmdGetWindow(c, Target(c), s.bytes, 0, data), s.bytes, kSiteReadWindow);
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
  Sense s;
  return CheckScsi(c, CmdReadStatus(c, Target(c), s.bytes, status), s.bytes,
                   kSiteReadStatusBytes);
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
  Sense s;
  return CheckScsi(c,
                   CmdDefineScanMode(c, Target(c), s.bytes, c.addonPage,
                                     static_cast<std::uint8_t>(c.addonPage.size())),
                   s.bytes, kSitePushAddonPage);
}

Result PushDevicePage37(DriverContext& c, const std::int32_t (&values)[2]) {
  const ShortPage page = BuildDevicePage37(values[0], values[1]);
  Sense s;
  return CheckScsi(c, CmdDefineScanMode(c, Target(c), s.bytes, page), s.bytes,
                   kSitePushDevicePage37);
}

std::uint32_t DefineFunctionKey(DriverContext& c, std::uint8_t key, std::uint32_t code) {
  const auto block = BuildFunctionKeyBlock(key, code);
  if (!block) return ToCode(Result::InvalidValue);  // nothing is sent
  Sense s;
  return CmdDefineFunctionKey(c, Target(c), s.bytes, *block);
}

Result ReadFunctionKey(DriverContext& c, std::int32_t key, std::uint32_t* code) {
  FunctionKeyBlock block{};
  Sense s;
  Result r = CheckScsi(c,
                       CmdGetFunctionKey(c, Target(c), s.bytes, static_cast<std::uint8_t>(key),
                                         block),
                       s.bytes, kSiteReadFunctionKey);
  if (r != Result::Ok) return r;
  if (const auto found = FunctionCodeFromBlock(block); found && code != nullptr) *code = *found;
  return Result::Ok;
}

Result SendGammaTable(DriverContext& c, std::uint16_t qualifier, const std::uint8_t* table) {
  if (table == nullptr) return Result::InvalidValue;
  Sense s;
  const std::uint16_t r = CmdSendGamma(c, Target(c), s.bytes, qualifier,
                                       std::span<const std::uint8_t, kGammaLength>(table,
                                                                                   kGammaLength));
  return GammaResult(r, s);
}

Result ReadGammaTable(DriverContext& c, std::uint16_t qualifier, std::uint8_t* table) {
  if (table == nullptr) return Result::InvalidValue;
  Sense s;
  const std::uint16_t r = CmdReadGamma(
      c, Target(c), s.bytes, qualifier, std::span<std::uint8_t, kGammaLength>(table, kGammaLength));
  return GammaResult(r, s);
}

}  // namespace tarvo
