// What the dialogs keep between openings, once per process.
#pragma once

#include <array>
#include <cstdint>

namespace tarvo {

struct DialogState {
  // The Gamma dialog's table: entry i is the output level for input level i.
  // Read from the scanner and filled from files; kept between dialogs.
  std::array<std::uint8_t, 256> gammaTable{};
  // The instance that TsdDetailsSetDialog and GammaSetDialog were given;
  // the Details dialog opens its sub-dialogs with it.
  void* instance = nullptr;
};

}  // namespace tarvo
