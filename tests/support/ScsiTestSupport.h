// An in-process ASPI provider that records every request and answers from a
// script, and a test platform that keeps the command trace in its root.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "scsi/AspiProvider.h"
#include "scsi/Srb.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

struct ScriptedReply {
  std::uint8_t srbStatus = aspi::kSsComp, haStat = 0, targStat = 0;
  std::vector<std::uint8_t> sense;   // copied into SenseArea
  std::vector<std::uint8_t> dataIn;  // copied into the buffer (up to SRB_BufLen)
  bool pending = false;              // answer SS_PENDING and complete from another thread
};

class RecordingProvider : public aspi::Provider {
 public:
  ~RecordingProvider() override { Join(); }

  struct Request {  // as the provider saw it: the block, its CDB, the buffer as sent
    aspi::SrbExecScsiCmd srb;
    std::vector<std::uint8_t> cdb, dataOut;
  };
  std::uint32_t supportInfo = (std::uint32_t{aspi::kSsComp} << 8) | 1;
  ScriptedReply reply;
  std::vector<Request> requests;

  std::uint32_t GetSupportInfo() override { return supportInfo; }

  std::uint32_t SendCommand(aspi::SrbExecScsiCmd* srb) override {
    Join();
    const std::uint8_t* data = srb->SRB_BufPointer;
    requests.push_back({*srb, {srb->CDBByte, srb->CDBByte + srb->SRB_CDBLen},
                        {data, data == nullptr ? data : data + srb->SRB_BufLen}});
    if (!reply.pending) {
      Complete(srb, reply);
      return srb->SRB_Status;
    }
    worker_ = std::thread([srb, r = reply] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      Complete(srb, r);
      const std::uint64_t one = 1;
      (void)!::write(static_cast<int>(reinterpret_cast<std::intptr_t>(srb->SRB_PostProc)), &one, 8);
    });
    return aspi::kSsPending;
  }

  void Join() {
    if (worker_.joinable()) worker_.join();
  }

 private:
  static void Complete(aspi::SrbExecScsiCmd* srb, const ScriptedReply& r) {
    std::copy_n(r.sense.begin(), std::min(r.sense.size(), sizeof srb->SenseArea), srb->SenseArea);
    if (srb->SRB_BufPointer != nullptr) {
      std::copy_n(r.dataIn.begin(), std::min<std::size_t>(r.dataIn.size(), srb->SRB_BufLen),
                  srb->SRB_BufPointer);
    }
    srb->SRB_HaStat = r.haStat;
    srb->SRB_TargStat = r.targStat;
    srb->SRB_Status = r.srbStatus;
  }

  std::thread worker_;
};

// The command trace, normally in the current folder, lands in the root ("c:\cdb.log").
class ScsiTestPlatform : public TestPlatform {
 public:
  ScsiTestPlatform() { fixedTime = LocalTime{2000, 5, 22, 17, 4, 9, 0}; }

  static std::string Rooted(const char* name) {
    if (name == nullptr) return "";
    return std::strncmp(name, "cdb", 3) == 0 ? std::string("c:\\") + name : name;
  }
  FileHandle FileOpen(const char* name, std::uint32_t access, std::uint32_t share,
                      std::uint32_t disposition, std::uint32_t flags) override {
    return TestPlatform::FileOpen(Rooted(name).c_str(), access, share, disposition, flags);
  }
  bool FileCopy(const char* from, const char* to, bool failIfExists) override {
    return TestPlatform::FileCopy(Rooted(from).c_str(), Rooted(to).c_str(), failIfExists);
  }
  bool FileDelete(const char* name) override {
    return TestPlatform::FileDelete(Rooted(name).c_str());
  }

  std::string Log(const std::string& name) { return ReadFileBytes(RootFile(name)); }
};

// Fixed-format sense data, 14 bytes.
inline std::vector<std::uint8_t> Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return {0x70, 0, key, 0, 0, 0, 0, 6, 0, 0, 0, 0, asc, ascq};
}

}  // namespace tarvo::test
