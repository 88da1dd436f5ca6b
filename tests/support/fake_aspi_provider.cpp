// A small ASPI provider library written from the provider contract alone
// (docs/aspi.md), as an outside host would. Two adapters; the target chooses the
// outcome: 0 good (INQUIRY: "TARVO   RT650"), 1 CHECK CONDITION with sense key 5
// ASC 0x24, 2 host adapter status 0x11, 3 SS_NO_DEVICE, 4 good, completed later
// from another thread through the eventfd.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

namespace {

#pragma pack(push, 1)
struct Srb {
  std::uint8_t SRB_Cmd, SRB_Status, SRB_HaId, SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target, SRB_Lun;
  std::uint16_t SRB_Rsvd1;
  std::uint32_t SRB_BufLen;
  std::uint8_t* SRB_BufPointer;
  std::uint8_t SRB_SenseLen, SRB_CDBLen, SRB_HaStat, SRB_TargStat;
  void* SRB_PostProc;
  std::uint8_t SRB_Rsvd2[20], CDBByte[16], SenseArea[16];
};
#pragma pack(pop)

constexpr std::uint8_t kSsComp = 0x01, kSsErr = 0x04, kSsNoDevice = 0x82;

// Joined before the next request and before the library is unloaded.
struct Worker {
  std::thread thread;
  void Join() { if (thread.joinable()) thread.join(); }
  ~Worker() { Join(); }
} g_worker;

}  // namespace

extern "C" __attribute__((visibility("default"))) std::uint32_t GetASPI32SupportInfo(void) {
  return (std::uint32_t{kSsComp} << 8) | 2;
}

extern "C" __attribute__((visibility("default"))) std::uint32_t SendASPI32Command(void* request) {
  static const char kInquiry[] = "\x03\x00\x02\x02\x1F\x00\x00\x00TARVO   RT650 SCANNER   1.10";
  static const std::uint8_t kSense[14] = {0x70, 0, 0x05, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0x24, 0};
  g_worker.Join();
  Srb* srb = static_cast<Srb*>(request);
  const std::uint8_t target = srb->SRB_Target;
  if (target == 4) {
    g_worker.thread = std::thread([srb] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      srb->SRB_Status = kSsComp;
      const std::uint64_t one = 1;
      (void)!write(static_cast<int>(reinterpret_cast<std::intptr_t>(srb->SRB_PostProc)), &one, sizeof one);
    });
    return 0;  // SS_PENDING
  }
  if (target == 0 && srb->CDBByte[0] == 0x12 && srb->SRB_BufPointer != nullptr) {
    std::memcpy(srb->SRB_BufPointer, kInquiry, std::min<std::size_t>(srb->SRB_BufLen, sizeof kInquiry - 1));
  }
  if (target == 1) std::memcpy(srb->SenseArea, kSense, sizeof kSense), srb->SRB_TargStat = 0x02;
  if (target == 2) srb->SRB_HaStat = 0x11;
  return srb->SRB_Status = target == 0 ? kSsComp : target <= 2 ? kSsErr : kSsNoDevice;
}
