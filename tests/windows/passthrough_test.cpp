// The SCSI pass-through provider over a fake port driver: \\.\Scsi0: with two
// buses, its inquiry data and IOCTL_SCSI_PASS_THROUGH_DIRECT answered by the
// simulated bus. The driver's session over it must give the same results,
// logs (without their time stamps) and documents as over the simulator's own
// provider, for a clean batch and for every kind of fault. Run under Wine by
// scripts/windows-provider-test.sh; exit status 0 when every check held.
#include <windows.h>
#include <ntddscsi.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "passthrough/PassThroughProvider.h"
#include "platform/SystemPlatform.h"
#include "support/ProviderScenario.h"

namespace {

using namespace tarvo;

int failures = 0;
#define CHECK(condition, what)                                                       \
  do {                                                                               \
    if (!(condition)) {                                                              \
      ++failures;                                                                    \
      std::printf("FAILED %s:%d: %s (%s)\n", __FILE__, __LINE__, #condition, what); \
    }                                                                                \
  } while (0)

const HANDLE kPort0 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x5C50));

// The port driver: bus 0 holds the disk at target 0, bus 1 the scanner.
class FakePort {
 public:
  sim::Bus bus;
  std::vector<SCSI_PASS_THROUGH_DIRECT> seen;

  providers::PortSystem System() {
    providers::PortSystem s;
    s.open = [](unsigned port) { return port == 0 ? kPort0 : INVALID_HANDLE_VALUE; };
    s.close = [](HANDLE) {};
    s.control = [this](HANDLE h, DWORD code, void* in, DWORD, void* out, DWORD outSize,
                       DWORD* returned) { return Control(h, code, in, out, outSize, returned); };
    return s;
  }

 private:
  BOOL Control(HANDLE h, DWORD code, void* in, void* out, DWORD outSize, DWORD* returned) {
    if (h != kPort0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (code == IOCTL_SCSI_GET_INQUIRY_DATA) return InquiryData(out, outSize, returned);
    if (code != IOCTL_SCSI_PASS_THROUGH_DIRECT) {
      SetLastError(ERROR_INVALID_FUNCTION);
      return FALSE;
    }
    auto& r = *static_cast<SCSI_PASS_THROUGH_DIRECT*>(in);
    seen.push_back(r);
    aspi::SrbExecScsiCmd srb{};
    srb.SRB_Cmd = aspi::kScExecScsiCmd;
    srb.SRB_HaId = r.PathId;
    srb.SRB_Target = r.TargetId;
    srb.SRB_Lun = r.Lun;
    srb.SRB_Flags = r.DataIn == SCSI_IOCTL_DATA_IN    ? aspi::kSrbDirIn
                    : r.DataIn == SCSI_IOCTL_DATA_OUT ? aspi::kSrbDirOut
                                                      : 0;
    srb.SRB_BufLen = r.DataTransferLength;
    srb.SRB_BufPointer = static_cast<std::uint8_t*>(r.DataBuffer);
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = r.CdbLength;
    std::memcpy(srb.CDBByte, r.Cdb, r.CdbLength);
    bus.SendCommand(&srb);
    *returned = sizeof r;
    if (srb.SRB_Status != aspi::kSsComp && srb.SRB_Status != aspi::kSsErr) {
      SetLastError(srb.SRB_Status == aspi::kSsNoDevice ? ERROR_DEV_NOT_EXIST : ERROR_GEN_FAILURE);
      return FALSE;
    }
    // What the port reports for the adapter's failures.
    const std::map<std::uint8_t, DWORD> adapterErrors{
        {aspi::kHaStatSelectionTimeout, ERROR_DEVICE_NOT_CONNECTED},
        {aspi::kHaStatTimeout, ERROR_SEM_TIMEOUT}};
    if (srb.SRB_HaStat != 0) {
      SetLastError(adapterErrors.at(srb.SRB_HaStat));
      return FALSE;
    }
    r.ScsiStatus = srb.SRB_TargStat;
    r.DataTransferLength = static_cast<ULONG>(bus.Records().back().transferred);
    r.SenseInfoLength = 0;
    if (r.ScsiStatus == aspi::kTargetCheckCondition) {
      r.SenseInfoLength = 18;
      auto* sense = static_cast<std::uint8_t*>(in) + r.SenseInfoOffset;
      std::memset(sense, 0, 18);
      std::memcpy(sense, srb.SenseArea, 14);
    }
    return TRUE;
  }

  BOOL InquiryData(void* out, DWORD outSize, DWORD* returned) {
    std::vector<std::uint8_t> answer(1024, 0);
    auto* info = reinterpret_cast<SCSI_ADAPTER_BUS_INFO*>(answer.data());
    info->NumberOfBuses = 2;
    const ULONG first = 64;
    const std::uint8_t units[2][2] = {{0, 0}, {1, test::kScenarioScannerTarget}};  // path, target
    for (int i = 0; i < 2; ++i) {
      const ULONG at = first + static_cast<ULONG>(i) * 80;
      auto* data = reinterpret_cast<SCSI_BUS_DATA*>(
          answer.data() + offsetof(SCSI_ADAPTER_BUS_INFO, BusData) + i * sizeof(SCSI_BUS_DATA));
      data->NumberOfLogicalUnits = 1;
      data->InquiryDataOffset = at;
      auto* unit = reinterpret_cast<SCSI_INQUIRY_DATA*>(answer.data() + at);
      unit->PathId = units[i][0];
      unit->TargetId = units[i][1];
      unit->InquiryDataLength = 36;
      unit->InquiryData[0] = i == 0 ? 0x00 : 0x06;
    }
    *returned = static_cast<DWORD>(std::min<std::size_t>(answer.size(), outSize));
    std::memcpy(out, answer.data(), *returned);
    return TRUE;
  }
};

// A file's bytes; empty when it cannot be read.
std::string ReadAll(const char* path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path, "rb")) {
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}

// The text with every "MM/DD/YY HH:MM:SS" stamp taken out.
std::string WithoutStamps(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const bool stamp = i + 17 <= text.size() && text[i + 2] == '/' && text[i + 5] == '/' &&
                       text[i + 8] == ' ' && text[i + 11] == ':' && text[i + 14] == ':';
    if (stamp) {
      i += 17;
    } else {
      out += text[i++];
    }
  }
  return out;
}

struct SessionRun {
  test::ScenarioTranscript transcript;
  std::string logs, document;
};

SessionRun Session(aspi::Provider& provider, const char* document) {
  for (const char* log : {"c:\\scan.log", "c:\\scsi.log", "cdb.log", document}) DeleteFileA(log);
  std::unique_ptr<Platform> platform = CreateSystemPlatform(nullptr);
  SessionRun run;
  run.transcript = test::RunScenario(*platform, provider, document);
  run.logs = WithoutStamps(ReadAll("c:\\scan.log") + ReadAll("c:\\scsi.log") + ReadAll("cdb.log"));
  run.document = ReadAll(document);
  return run;
}

}  // namespace

int main() {
  int sessions = 0;
  for (const test::ScenarioFault& fault : test::ScenarioFaults()) {
    sim::Bus reference;
    test::BuildScenarioBus(reference, fault);
    const SessionRun expected = Session(reference, "c:\\reference.tif");

    FakePort port;
    test::BuildScenarioBus(port.bus, fault);
    providers::PassThroughProvider provider(port.System());
    const SessionRun actual = Session(provider, "c:\\passthrough.tif");
    ++sessions;

    CHECK(actual.transcript.results == expected.transcript.results, fault.name);
    CHECK(actual.transcript.adapter == test::kScenarioScannerAdapter, fault.name);
    CHECK(actual.transcript.target == test::kScenarioScannerTarget, fault.name);
    CHECK(actual.transcript.gamma == expected.transcript.gamma, fault.name);
    CHECK(actual.transcript.functionKey == expected.transcript.functionKey, fault.name);
    CHECK(actual.logs == expected.logs, fault.name);
    CHECK(actual.document == expected.document, fault.name);
    CHECK(!expected.logs.empty(), fault.name);

    // Every pass-through request as the port saw it.
    const std::vector<sim::CommandRecord>& records = port.bus.Records();
    CHECK(port.seen.size() == records.size(), fault.name);
    for (std::size_t i = 0; i < std::min(port.seen.size(), records.size()); ++i) {
      const SCSI_PASS_THROUGH_DIRECT& r = port.seen[i];
      const sim::CommandRecord& c = records[i];
      const UCHAR dataIn = c.bufferLength == 0                   ? SCSI_IOCTL_DATA_UNSPECIFIED
                           : (c.flags & aspi::kSrbDirIn) != 0 ? SCSI_IOCTL_DATA_IN
                                                              : SCSI_IOCTL_DATA_OUT;
      CHECK(r.Length == sizeof(SCSI_PASS_THROUGH_DIRECT), fault.name);
      CHECK(r.DataIn == dataIn, fault.name);
      CHECK(r.CdbLength == c.cdb.size(), fault.name);
      CHECK(r.SenseInfoLength >= 18, fault.name);
      CHECK(r.DataTransferLength == c.bufferLength, fault.name);
      const bool slow = c.Opcode() == 0x28 || c.Opcode() == 0x1B;
      CHECK(r.TimeOutValue >= (slow ? 60u : 5u) && r.TimeOutValue <= 600, fault.name);
    }
  }
  std::printf("pass-through provider: %d sessions, %d failed checks\n", sessions, failures);
  return failures == 0 && sessions > 0 ? 0 : 1;
}
