// Where ASPI requests go: the two entry points of an ASPI for Win32
// provider, as an interface. The transport owns one; it is either a loaded
// provider library (WNASPI32.dll on Windows, libwnaspi32.so or the library
// that TARVOSCN_ASPI names on POSIX) or, in tests, an in-process simulator.
#pragma once

#include <cstdint>

#include "scsi/Srb.h"

namespace tarvo::aspi {

class Provider {
 public:
  Provider() = default;
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  virtual ~Provider() = default;

  // (SRB status << 8) | number of host adapters; status 1 (SS_COMP) when usable.
  virtual std::uint32_t GetSupportInfo() = 0;
  // Executes one request block. Returns SS_PENDING (0) when the request
  // completes later: the provider then sets SRB_Status and signals the event
  // in SRB_PostProc (SetEvent on Windows; an 8-byte write of 1 to the eventfd
  // on POSIX). Any other value means the request has already finished.
  virtual std::uint32_t SendCommand(SrbExecScsiCmd* srb) = 0;
};

}  // namespace tarvo::aspi
