// A stand-in for the optional "RIZIDUD" library: the maximum transfer size
// of adapter n is 0x10000 + n bytes.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint32_t GetScsiMaxTransferSize(
    std::uint32_t adapter) {
  return 0x10000u + adapter;
}
