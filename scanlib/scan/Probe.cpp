#include "scan/Probe.h"

#include <cstring>

#include "core/Diagnostics.h"
#include "scan/ModeOperations.h"
#include "scan/ScannerLink.h"
#include "scsi/CheckCondition.h"
#include "scsi/Commands.h"
#include "scsi/Transport.h"

namespace tarvo {
namespace {

using namespace wire;

constexpr int kSiteProbeTestUnitReady = 610;
constexpr int kSiteReadScannerInfo = 351;
constexpr std::uint8_t kLastTarget = 6;  // ID 7 belongs to the host adapter

constexpr char kVendor[] = "TARVO";
constexpr char kProduct[] = "RT650";

using Sense = SenseBuffer;

bool IsRt650(const std::uint8_t* inquiry) {
  return std::memcmp(inquiry + kInqVendor, kVendor, sizeof kVendor - 1) == 0 &&
         std::memcmp(inquiry + kInqProduct, kProduct, sizeof kProduct - 1) == 0;
}

}  // namespace

std::uint8_t FindScanner(const ScannerLink& link) {
  if (link.scanner.adapterCount < 1) return kNoTarget;
  for (std::int32_t adapter = 0; adapter < link.scanner.adapterCount; ++adapter) {
    for (std::uint8_t target = 0; target <= kLastTarget; ++target) {
      std::array<std::uint8_t, kInquiryScanLength> inquiry{};
      Sense s;
      (void)InquiryAt(link.scsi, static_cast<std::uint8_t>(adapter), target, s.bytes, inquiry,
                      static_cast<std::uint8_t>(inquiry.size()));
      if (!IsRt650(inquiry.data())) continue;
      SelectAdapter(link.scsi, static_cast<std::uint8_t>(adapter));
      link.scanner.scannerAdapter = static_cast<std::uint32_t>(adapter);
      link.scanner.maxTransferSize =
          AdapterMaxTransfer(link.scsi, static_cast<std::uint32_t>(adapter));
      return target;
    }
  }
  return kNoTarget;
}

Result ReadScannerInfo(const ScannerLink& link) {
  std::array<std::uint8_t, kVendorPageLength> page{};
  Result r = CheckScsi(link.scsi,
                       Execute(link.scsi, link.Target(),
                               CmdInquiryVendorPage(page, static_cast<std::uint8_t>(page.size()))),
                       kSiteReadScannerInfo);
  if (r != Result::Ok) return r;
  link.scanner.scannerCaps.batchCapable = TestBits(page, kVpFlags, kVpBatchCapable);
  link.scanner.scannerCaps.flag5 = TestBits(page, kVpFlags, kVpFlag5);
  link.scanner.scannerCaps.value = GetBe32(page, kVpCapability);
  return Result::Ok;
}

std::uint32_t GetFirmwareRevision(const ScannerLink& link, std::int32_t* revision) {
  std::array<std::uint8_t, kInquiryRevisionLength> inquiry{};
  const std::uint16_t status =
      Execute(link.scsi, link.Target(),
              CmdInquiry(inquiry, static_cast<std::uint8_t>(inquiry.size())))
          .result;
  if (status != 0) return status;
  // "2.10": the dot becomes '0' and the leading digits are read: 2010.
  char text[kInqRevisionLength + 1] = {};
  std::memcpy(text, inquiry.data() + kInqRevision, kInqRevisionLength);
  text[1] = '0';
  std::int32_t value = 0;
  for (const char* p = text; *p >= '0' && *p <= '9'; ++p) value = value * 10 + (*p - '0');
  if (revision != nullptr) *revision = value;
  return 0;
}

Result Probe(const ScannerLink& link) {
  link.scanner.probed = false;
  link.scanner.adapterCount = AspiAdapterCount(link.scsi);
  link.scanner.scannerTarget = FindScanner(link);
  if (link.Target() == kNoTarget) return Result::ScannerFailure;

  (void)Execute(link.scsi, link.Target(), CmdTestUnitReady());
  // The scanner's modes into the record, each read on its own.
  (void)ReadScanModePage(link);
  (void)ReadImagePage(link);
  (void)ReadStatusBytes(link);
  (void)ReadWindow(link);
  (void)ReadAddonPage(link);

  Result r = CheckScsi(link.scsi, Execute(link.scsi, link.Target(), CmdTestUnitReady()),
                       kSiteProbeTestUnitReady);
  if (r != Result::Ok) return r;
  link.scanner.probed = true;
  (void)ReadScannerInfo(link);
  return Result::Ok;
}

}  // namespace tarvo
