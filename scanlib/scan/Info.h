// The informational exports' work: driver and scanner names, the message-box
// switch, and the two exports that only answer.
#pragma once

#include <cstdint>

namespace tarvo {

struct DriverContext;

std::uint32_t SetMessageBoxes(DriverContext& context, std::uint32_t on);
std::uint32_t GetDriverName(DriverContext& context, char* fileName, char* version);
std::uint32_t GetScannerName(char* name);
std::uint32_t AskAreYouSure(DriverContext& context);

}  // namespace tarvo
