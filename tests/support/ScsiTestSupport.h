// An in-process ASPI provider that records every request and answers from a
// script, and a test platform that keeps the command trace in its root.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "scsi/AspiProvider.h"
#include "scsi/Srb.h"
#include "support/TestPlatform.h"

namespace tarvo::test {

struct ScriptedReply {
  std::uint8_t srbStatus = aspi::kSsComp, haStat = 0, targStat = 0;
  std::vector<std::uint8_t> sense;   // copied into SenseArea
  std::vector<std::uint8_t> dataIn;  // copied into the buffer (up to SRB_BufLen)
};

// Records every request (the block and its CDB as sent) and completes it at once.
class RecordingProvider : public aspi::Provider {
 public:
  struct Request { aspi::SrbExecScsiCmd srb; std::vector<std::uint8_t> cdb; };
  std::uint32_t supportInfo = (std::uint32_t{aspi::kSsComp} << 8) | 1;
  ScriptedReply reply;
  std::vector<Request> requests;

  std::uint32_t GetSupportInfo() override { return supportInfo; }
  std::uint32_t SendCommand(aspi::SrbExecScsiCmd* srb) override {
    requests.push_back({*srb, {srb->CDBByte, srb->CDBByte + srb->SRB_CDBLen}});
    std::copy_n(reply.sense.begin(), std::min(reply.sense.size(), sizeof srb->SenseArea), srb->SenseArea);
    const std::size_t in = srb->SRB_BufPointer != nullptr ? std::min<std::size_t>(reply.dataIn.size(), srb->SRB_BufLen) : 0;
    std::copy_n(reply.dataIn.begin(), in, srb->SRB_BufPointer);
    srb->SRB_HaStat = reply.haStat;
    srb->SRB_TargStat = reply.targStat;
    return srb->SRB_Status = reply.srbStatus;
  }
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
  bool FileDelete(const char* name) override { return TestPlatform::FileDelete(Rooted(name).c_str()); }

  std::string Log(const std::string& name) { return ReadFileBytes(RootFile(name)); }
};

// Bytes as "%02X" separated by single spaces ("12 00 00 00 24 00").
inline std::string Hex(ConstByteSpan bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) text += {' ', kDigits[b >> 4], kDigits[b & 0x0F]};
  return text.empty() ? text : text.substr(1);
}

// Fixed-format sense data, 14 bytes.
inline std::vector<std::uint8_t> Sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  return {0x70, 0, key, 0, 0, 0, 0, 6, 0, 0, 0, 0, asc, ascq};
}

}  // namespace tarvo::test
