// An ASPI provider in a shared library, loaded through the platform:
// "WNASPI32.dll" on Windows (entry points by ordinal 1 and 2); on POSIX the
// library that TARVOSCN_ASPI names, else "libwnaspi32.so" (entry points by
// the names GetASPI32SupportInfo and SendASPI32Command, since shared objects
// have no ordinals). The contract for outside providers is in docs/aspi.md.
#pragma once

#include "platform/Platform.h"
#include "scsi/AspiProvider.h"

namespace tarvo::aspi {

inline constexpr const char* kProviderLibrary = "WNASPI32.dll";
inline constexpr std::uint16_t kOrdinalGetSupportInfo = 1;
inline constexpr std::uint16_t kOrdinalSendCommand = 2;
inline constexpr const char* kSymbolGetSupportInfo = "GetASPI32SupportInfo";
inline constexpr const char* kSymbolSendCommand = "SendASPI32Command";

class LibraryProvider final : public Provider {
 public:
  // Loads the library; loaded() tells whether both entry points were found.
  explicit LibraryProvider(Platform& platform);

  bool loaded() const { return getSupportInfo_ != nullptr && sendCommand_ != nullptr; }

  std::uint32_t GetSupportInfo() override;
  std::uint32_t SendCommand(SrbExecScsiCmd* srb) override;

 private:
  UniqueLibrary library_;
  GetSupportInfoFn getSupportInfo_ = nullptr;
  SendCommandFn sendCommand_ = nullptr;
};

}  // namespace tarvo::aspi
