// The SCSI pass-through provider over a fake port driver (\\.\Scsi0:, two buses)
// answered by the simulated bus, against the simulator's own provider: the same
// results, logs (without time stamps) and document, and every request as sent.
#include <windows.h>
#include <ntddscsi.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <tuple>

#include "passthrough/PassThroughProvider.h"
#include "platform/SystemPlatform.h"
#include "support/ProviderScenario.h"

namespace {

using namespace tarvo;

const HANDLE kPort0 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5C50));

// Bus 0 holds the disk at target 0, bus 1 the scanner at target 3.
class FakePort {
 public:
  sim::Bus bus;

  providers::PortSystem System() {
    return {[](unsigned port) { return port == 0 ? kPort0 : INVALID_HANDLE_VALUE; },
            [](HANDLE) {},
            [this](HANDLE, DWORD code, void* in, DWORD, void* out, DWORD outSize, DWORD* returned) {
              return code == IOCTL_SCSI_GET_INQUIRY_DATA ? InquiryData(out, outSize, returned)
                                                         : PassThrough(in);
            }};
  }

 private:
  BOOL PassThrough(void* in) {
    auto& r = *static_cast<SCSI_PASS_THROUGH_DIRECT*>(in);
    if (r.Length != sizeof r || test::Refused(r.Cdb, r.CdbLength, r.SenseInfoLength, r.DataIn != SCSI_IOCTL_DATA_UNSPECIFIED,
                                              r.DataTransferLength, r.TimeOutValue * 1000)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const std::uint8_t direction = r.DataIn == SCSI_IOCTL_DATA_IN    ? aspi::kSrbDirIn
                                   : r.DataIn == SCSI_IOCTL_DATA_OUT ? aspi::kSrbDirOut : 0;
    const test::BusAnswer a = test::AnswerFromBus(bus, r.PathId, r.TargetId, direction, r.DataBuffer,
                                                  r.DataTransferLength, r.Cdb, r.CdbLength);
    const std::uint8_t ha = a.srb.SRB_HaStat;
    if ((a.srb.SRB_Status != aspi::kSsComp && a.srb.SRB_Status != aspi::kSsErr) || ha != 0) {
      SetLastError(ha == aspi::kHaStatSelectionTimeout ? ERROR_DEVICE_NOT_CONNECTED
                   : ha == aspi::kHaStatTimeout        ? ERROR_SEM_TIMEOUT
                   : a.srb.SRB_Status == aspi::kSsNoDevice ? ERROR_DEV_NOT_EXIST : ERROR_GEN_FAILURE);
      return FALSE;
    }
    r.ScsiStatus = a.srb.SRB_TargStat;
    r.DataTransferLength = static_cast<ULONG>(a.transferred);
    r.SenseInfoLength = r.ScsiStatus == aspi::kTargetCheckCondition ? 18 : 0;
    std::memset(static_cast<std::uint8_t*>(in) + r.SenseInfoOffset, 0, r.SenseInfoLength);
    std::memcpy(static_cast<std::uint8_t*>(in) + r.SenseInfoOffset, a.srb.SenseArea,
                std::min<std::size_t>(r.SenseInfoLength, 14));
    return TRUE;
  }

  static BOOL InquiryData(void* out, DWORD outSize, DWORD* returned) {
    std::vector<std::uint8_t> answer(1024, 0);
    reinterpret_cast<SCSI_ADAPTER_BUS_INFO*>(answer.data())->NumberOfBuses = 2;
    for (std::uint8_t path = 0; path < 2; ++path) {
      const ULONG at = 64 + path * 80u;
      auto* data = reinterpret_cast<SCSI_BUS_DATA*>(
          answer.data() + offsetof(SCSI_ADAPTER_BUS_INFO, BusData) + path * sizeof(SCSI_BUS_DATA));
      data->NumberOfLogicalUnits = 1;
      data->InquiryDataOffset = at;
      auto* unit = reinterpret_cast<SCSI_INQUIRY_DATA*>(answer.data() + at);
      unit->PathId = path;
      unit->TargetId = path == 0 ? 0 : 3;
      unit->InquiryDataLength = 36;
      unit->InquiryData[0] = path == 0 ? 0x00 : 0x06;
    }
    *returned = std::min<DWORD>(static_cast<DWORD>(answer.size()), outSize);
    std::memcpy(out, answer.data(), *returned);
    return TRUE;
  }
};

std::string ReadAll(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The logs, without their "MM/DD/YY HH:MM:SS" stamps.
std::string Logs() {
  return std::regex_replace(ReadAll("c:\\scan.log") + ReadAll("c:\\scsi.log") + ReadAll("cdb.log"),
                            std::regex(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)"), "");
}

// The results, the logs and the document of one session.
std::tuple<std::vector<int>, std::string, std::string> Session(aspi::Provider& provider, const char* document) {
  for (const char* file : {"c:\\scan.log", "c:\\scsi.log", "cdb.log", document}) DeleteFileA(file);
  std::unique_ptr<Platform> platform = CreateSystemPlatform(nullptr);
  std::vector<int> results = test::RunScenario(*platform, provider, document);
  return {results, Logs(), ReadAll(document)};
}

}  // namespace

int main() {
  int failures = 0;
  for (const test::ScenarioFault& fault : test::ScenarioFaults()) {
    sim::Bus reference;
    test::BuildScenarioBus(reference, fault);
    const auto expected = Session(reference, "c:\\reference.tif");
    FakePort port;
    test::BuildScenarioBus(port.bus, fault);
    providers::PassThroughProvider provider(port.System());
    if (Session(provider, "c:\\passthrough.tif") != expected || std::get<1>(expected).empty()) {
      std::printf("FAILED: %s\n", fault.name), ++failures;
    }
  }
  std::printf("pass-through provider: %d sessions failed\n", failures);
  return failures == 0 ? 0 : 1;
}
