// The SCSI generic provider over a fake kernel: sysfs and device nodes in a
// temporary folder, SG_IO answered by the simulated bus (ProviderScenario.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <tuple>

#include "sg/SgProvider.h"
#include "support/ProviderScenario.h"
#include "support/ScsiTestSupport.h"

namespace tarvo {
namespace {

class FakeSgKernel {
 public:
  struct Node {
    const char* name;
    const char* hctl;
    std::uint8_t adapter, target;  // on the bus
    bool present;                  // false: no /dev node, the open fails
  };
  static constexpr Node kNodes[] = {
      {"sg0", "7:0:3:0", 1, 3, true}, {"sg1", "2:0:0:0", 0, 0, true}, {"sg2", "2:0:5:0", 0, 5, false}};

  // bridge: short image reads come back good with only the residue, other
  // sense in descriptor format.
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
  providers::SgSystem System() {
    return {dir_.path() + "/sys", dir_.path() + "/dev", dir_.File("provider.log"),
            [this](int fd, sg_io_hdr_t& io) { return Answer(fd, io); }};
  }
  std::string ProviderLog() const { return test::ReadFileBytes(dir_.File("provider.log")); }

  sim::Bus bus;

 private:
  int Answer(int fd, sg_io_hdr_t& io) {
    if (test::Refused(io.cmdp, io.cmd_len, io.mx_sb_len, io.dxfer_direction != SG_DXFER_NONE, io.dxfer_len,
                      io.timeout)) {
      errno = EINVAL;
      return -1;
    }
    char path[512] = {};
    (void)!::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
    const Node* node = kNodes;
    while (std::string(path).find(std::string("/") + node->name) == std::string::npos) ++node;
    const std::uint8_t direction = io.dxfer_direction == SG_DXFER_FROM_DEV ? aspi::kSrbDirIn
                                   : io.dxfer_direction == SG_DXFER_TO_DEV ? aspi::kSrbDirOut
                                                                           : 0;
    const test::BusAnswer a = test::AnswerFromBus(bus, node->adapter, node->target, direction,
                                                  io.dxferp, io.dxfer_len, io.cmdp, io.cmd_len);
    if (a.srb.SRB_Status != aspi::kSsComp && a.srb.SRB_Status != aspi::kSsErr) {
      errno = a.srb.SRB_Status == aspi::kSsNoDevice ? ENODEV : EIO;
      return -1;
    }
    // DID_NO_CONNECT, DID_TIME_OUT
    io.host_status = a.srb.SRB_HaStat == aspi::kHaStatSelectionTimeout ? 0x01
                     : a.srb.SRB_HaStat == aspi::kHaStatTimeout         ? 0x03
                                                                         : a.srb.SRB_HaStat;
    io.status = a.srb.SRB_TargStat;
    io.resid = static_cast<int>(io.dxfer_len - a.transferred);
    io.sb_len_wr = 0;
    if (bridge_ && io.status == aspi::kTargetCheckCondition && (a.srb.SenseArea[2] & 0x2F) == 0x20) {
      io.status = 0;  // NO SENSE with ILI
    } else if (io.status == aspi::kTargetCheckCondition && bridge_) {
      const std::uint8_t* f = a.srb.SenseArea;  // descriptor format: key, codes, information
      const std::uint8_t d[20] = {0x72, f[2], f[12], f[13], 0, 0, 0, 12, 0, 10, 0x80, 0,
                                  0,    0,    0,     0,     f[3], f[4], f[5], f[6]};
      io.sb_len_wr = sizeof d;
      std::memcpy(io.sbp, d, sizeof d);
    } else if (io.status == aspi::kTargetCheckCondition) {
      io.sb_len_wr = 18;
      std::memset(io.sbp, 0, 18);
      std::memcpy(io.sbp, a.srb.SenseArea, 14);
    }
    return 0;
  }

  test::TempDir dir_;
  bool bridge_;
};

// The results, the logs and the document of one session.
std::tuple<std::vector<int>, std::string, std::string> Session(aspi::Provider& provider) {
  test::ScsiTestPlatform platform;
  const std::string path = platform.Scratch("batch.tif");
  std::vector<int> results = test::RunScenario(platform, provider, path);
  return {results, platform.Log("scan.log") + platform.Log("scsi.log") + platform.Log("cdb.log"),
          test::ReadFileBytes(path)};
}

TEST(SgProviderTest, SessionsMatchTheSimulatorsProviderForEveryFaultAndSkipTheClosedNode) {
  for (const test::ScenarioFault& fault : test::ScenarioFaults()) {
    sim::Bus reference;
    test::BuildScenarioBus(reference, fault);
    const auto expected = Session(reference);
    EXPECT_TRUE(fault.opcode != 0xFF || std::get<1>(expected).find("SENSE:70 00 20") != std::string::npos);
    for (const bool bridge : {false, true}) {
      SCOPED_TRACE(std::string(fault.name) + (bridge ? " (bridge)" : ""));
      FakeSgKernel kernel(bridge);
      test::BuildScenarioBus(kernel.bus, fault);
      providers::SgProvider provider(kernel.System());
      EXPECT_EQ(Session(provider), expected);
      // The node that does not open: one scan.log entry, the reason in the notes.
      const std::string log = kernel.ProviderLog();
      EXPECT_NE(log.find("/dev/sg2 2 returned from line 101 of SgAspi\r\n"), std::string::npos);
      EXPECT_EQ(log.find("returned from"), log.rfind("returned from")) << log;
      EXPECT_NE(provider.Notes().find("sg2 skipped: No such file"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace tarvo
