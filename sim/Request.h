// A request block filled as the driver's transport fills it (cleared, command
// 2, direction ORed with event notification, 14 sense bytes), for hosts and
// benchmarks that drive the simulator without the driver.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "scsi/Srb.h"

namespace tarvo::sim {

inline aspi::SrbExecScsiCmd MakeRequest(std::initializer_list<std::uint8_t> cdb,
                                        std::uint8_t direction, std::uint8_t* data,
                                        std::uint32_t length, std::uint8_t adapter = 0,
                                        std::uint8_t target = 0) {
  aspi::SrbExecScsiCmd srb;
  std::memset(&srb, 0, sizeof srb);
  srb.SRB_Cmd = aspi::kScExecScsiCmd;
  srb.SRB_HaId = adapter;
  srb.SRB_Flags =
      static_cast<std::uint8_t>((direction & aspi::kSrbDirMask) | aspi::kSrbEventNotify);
  srb.SRB_Target = target;
  srb.SRB_BufLen = length;
  srb.SRB_BufPointer = data;
  srb.SRB_SenseLen = 14;
  srb.SRB_CDBLen = static_cast<std::uint8_t>(std::min<std::size_t>(cdb.size(), sizeof srb.CDBByte));
  std::copy_n(cdb.begin(), srb.SRB_CDBLen, srb.CDBByte);
  return srb;
}

}  // namespace tarvo::sim
