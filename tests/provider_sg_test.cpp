// The SCSI generic provider over a fake kernel: a sysfs tree and device nodes
// in a temporary folder, and SG_IO answered by the simulated bus. The driver's
// session over it must give the same results, logs and documents as over the
// simulator's own provider, for a clean batch and for every kind of fault.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

#include "Request.h"
#include "sg/SgProvider.h"
#include "support/ProviderScenario.h"
#include "support/ScsiTestSupport.h"
#include "support/TempDir.h"

namespace tarvo {
namespace {

using providers::SgProvider;
using providers::SgSystem;

// The device side of SG_IO: the bus at the address a node stands for.
class FakeSgKernel {
 public:
  struct Node {
    const char* name;
    const char* hctl;  // the sysfs address
    std::uint8_t adapter, target;
    bool present;  // false: no /dev node, the open fails
  };
  static constexpr std::array<Node, 3> kNodes{{
      {"sg0", "7:0:3:0", test::kScenarioScannerAdapter, test::kScenarioScannerTarget, true},
      {"sg1", "2:0:0:0", 0, 0, true},
      {"sg2", "2:0:5:0", 0, 5, false},
  }};

  explicit FakeSgKernel(bool bridge) : bridge_(bridge) {
    for (const char* d : {"/sys", "/sys/devices", "/dev"}) ::mkdir((dir_.path() + d).c_str(), 0755);
    for (const Node& n : kNodes) {
      const std::string sys = dir_.path() + "/sys/" + n.name;
      ::mkdir(sys.c_str(), 0755);
      ::mkdir((dir_.path() + "/sys/devices/" + n.hctl).c_str(), 0755);
      EXPECT_EQ(::symlink((std::string("../devices/") + n.hctl).c_str(), (sys + "/device").c_str()), 0);
      if (n.present) std::ofstream(dir_.path() + "/dev/" + n.name).put('\0');
    }
  }
  SgSystem System() {
    SgSystem s;
    s.classRoot = dir_.path() + "/sys";
    s.deviceRoot = dir_.path() + "/dev";
    s.logPath = dir_.File("provider.log");
    s.submit = [this](int fd, sg_io_hdr_t& io) { return Answer(fd, io); };
    return s;
  }
  std::string ProviderLog() { return test::ReadFileBytes(dir_.File("provider.log")); }

  sim::Bus bus;
  std::vector<sg_io_hdr_t> seen;

 private:
  int Answer(int fd, sg_io_hdr_t& io) {
    seen.push_back(io);
    char path[512] = {};
    if (::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1) <= 0) {
      errno = EBADF;
      return -1;
    }
    const char* name = std::strrchr(path, '/') + 1;
    const auto node = std::find_if(kNodes.begin(), kNodes.end(),
                                   [&](const Node& n) { return std::strcmp(n.name, name) == 0; });
    std::uint8_t direction = 0;
    if (io.dxfer_direction == SG_DXFER_FROM_DEV) direction = aspi::kSrbDirIn;
    if (io.dxfer_direction == SG_DXFER_TO_DEV) direction = aspi::kSrbDirOut;
    aspi::SrbExecScsiCmd srb{};
    srb.SRB_Cmd = aspi::kScExecScsiCmd;
    srb.SRB_HaId = node->adapter;
    srb.SRB_Target = node->target;
    srb.SRB_Flags = direction;
    srb.SRB_BufLen = io.dxfer_len;
    srb.SRB_BufPointer = static_cast<std::uint8_t*>(io.dxferp);
    srb.SRB_SenseLen = 14;
    srb.SRB_CDBLen = io.cmd_len;
    std::memcpy(srb.CDBByte, io.cmdp, io.cmd_len);
    bus.SendCommand(&srb);
    if (srb.SRB_Status != aspi::kSsComp && srb.SRB_Status != aspi::kSsErr) {
      errno = srb.SRB_Status == aspi::kSsNoDevice ? ENODEV : EIO;
      return -1;
    }
    // The midlayer's names for what the adapter saw.
    const std::map<std::uint8_t, unsigned short> hostStatus{
        {aspi::kHaStatSelectionTimeout, 0x01}, {aspi::kHaStatTimeout, 0x03}};
    io.host_status = srb.SRB_HaStat == 0 ? 0 : hostStatus.at(srb.SRB_HaStat);
    io.status = srb.SRB_TargStat;
    io.resid = static_cast<int>(io.dxfer_len - bus.Records().back().transferred);
    io.sb_len_wr = 0;
    const bool shortRead = (srb.SenseArea[2] & 0x2F) == 0x20;  // NO SENSE with ILI
    if (bridge_ && io.status == aspi::kTargetCheckCondition && shortRead) {
      io.status = 0;  // a bridge that reports only the residue
    } else if (io.status == aspi::kTargetCheckCondition) {
      io.sb_len_wr = std::min<unsigned char>(io.mx_sb_len, 18);
      std::memset(io.sbp, 0, io.sb_len_wr);
      std::memcpy(io.sbp, srb.SenseArea, 14);
    }
    return 0;
  }

  test::TempDir dir_;
  bool bridge_;
};

struct SessionRun {
  test::ScenarioTranscript transcript;
  std::string scanLog, scsiLog, cdbLog, document;
};

SessionRun Session(aspi::Provider& provider) {
  test::ScsiTestPlatform platform;
  platform.commandTrace = true;
  SessionRun run;
  const std::string path = platform.Scratch("batch.tif");
  run.transcript = test::RunScenario(platform, provider, path);
  run.scanLog = platform.Log("scan.log");
  run.scsiLog = platform.Log("scsi.log");
  run.cdbLog = platform.Log("cdb.log");
  run.document = test::ReadFileBytes(path);
  return run;
}

TEST(SgProviderTest, SessionsMatchTheSimulatorsProviderForEveryFault) {
  for (const bool bridge : {false, true}) {
    for (const test::ScenarioFault& fault : test::ScenarioFaults()) {
      SCOPED_TRACE(std::string(fault.name) + (bridge ? " (bridge)" : ""));
      sim::Bus reference;
      test::BuildScenarioBus(reference, fault);
      const SessionRun expected = Session(reference);

      FakeSgKernel kernel(bridge);
      test::BuildScenarioBus(kernel.bus, fault);
      SgProvider provider(kernel.System());
      const SessionRun actual = Session(provider);

      EXPECT_EQ(actual.transcript.results, expected.transcript.results);
      EXPECT_EQ(actual.transcript.adapter, test::kScenarioScannerAdapter);
      EXPECT_EQ(actual.transcript.target, test::kScenarioScannerTarget);
      EXPECT_EQ(actual.transcript.gamma, expected.transcript.gamma);
      EXPECT_EQ(actual.transcript.functionKey, expected.transcript.functionKey);
      EXPECT_EQ(actual.scanLog, expected.scanLog);
      EXPECT_EQ(actual.scsiLog, expected.scsiLog);
      EXPECT_EQ(actual.cdbLog, expected.cdbLog);
      EXPECT_EQ(actual.document, expected.document);

      // Every SG_IO as the bus saw it: direction, lengths, sense room, timeout.
      const std::vector<sim::CommandRecord>& records = kernel.bus.Records();
      ASSERT_EQ(kernel.seen.size(), records.size());
      for (std::size_t i = 0; i < records.size(); ++i) {
        const sg_io_hdr_t& io = kernel.seen[i];
        const sim::CommandRecord& r = records[i];
        EXPECT_EQ(io.interface_id, 'S');
        EXPECT_EQ(io.cmd_len, r.Opcode() < 0x20 || r.Opcode() >= 0xC0 ? 6 : 10) << i;
        EXPECT_EQ(io.dxfer_len, r.bufferLength) << i;
        const int direction = r.bufferLength == 0              ? SG_DXFER_NONE
                              : (r.flags & aspi::kSrbDirIn) != 0 ? SG_DXFER_FROM_DEV
                                                                 : SG_DXFER_TO_DEV;
        EXPECT_EQ(io.dxfer_direction, direction) << i;
        EXPECT_GE(io.mx_sb_len, 18) << i;
        const bool slow = r.Opcode() == 0x28 || r.Opcode() == 0x1B;
        EXPECT_GE(io.timeout, slow ? 60000u : 5000u) << i;
        EXPECT_LE(io.timeout, 600000u) << i;
      }
      if (fault.rule.opcode == 0xFF && !bridge) {
        EXPECT_NE(expected.document.size(), 0u);
        EXPECT_NE(expected.cdbLog.find("SENSE:70 00 20"), std::string::npos);  // a short read
      }
    }
  }
}

TEST(SgProviderTest, AdaptersInAddressOrderAndTheUnopenableDeviceSkippedOnce) {
  FakeSgKernel kernel(false);
  test::BuildScenarioBus(kernel.bus, test::ScenarioFaults()[0]);
  SgProvider provider(kernel.System());
  EXPECT_EQ(provider.GetSupportInfo(), aspi::SupportInfo(aspi::kSsComp, 2));
  EXPECT_EQ(provider.GetSupportInfo(), aspi::SupportInfo(aspi::kSsComp, 2));  // rescanned
  const std::string log = kernel.ProviderLog();
  EXPECT_NE(log.find("/dev/sg2 2 returned from line 101 of SgAspi\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("returned from line"), log.rfind("returned from line")) << "one entry";
  EXPECT_NE(provider.Notes().find("sg2 skipped: No such file or directory"), std::string::npos)
      << provider.Notes();
  // The skipped device answers as an empty address; a target beyond answers the same.
  std::vector<std::uint8_t> inquiry(64);
  aspi::SrbExecScsiCmd srb = sim::MakeRequest({0x12, 0, 0, 0, 64, 0}, aspi::kSrbDirIn,
                                              inquiry.data(), 64, 0, 5);
  srb.SRB_Flags = aspi::kSrbDirIn;  // no event: completes in the call
  EXPECT_EQ(provider.SendCommand(&srb), aspi::kSsNoDevice);
  srb.SRB_HaId = 2;
  EXPECT_EQ(provider.SendCommand(&srb), aspi::kSsInvalidHa);
  srb.SRB_HaId = 0;
  srb.SRB_Target = 0;
  EXPECT_EQ(provider.SendCommand(&srb), aspi::kSsComp);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(inquiry.data()) + 8, 4), "ACME");
}

}  // namespace
}  // namespace tarvo
