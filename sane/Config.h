// tarvoscn.conf: where the backend finds the scanner.
//
//   # a comment
//   aspi /usr/lib/x86_64-linux-gnu/libwnaspi32.so   the ASPI provider library
//   simulator /etc/sane.d/rt650sim.conf             the simulated RT650's configuration
//   adapter 0                                       search this adapter (repeatable)
//
// Without an "aspi" line the system's provider library is used; without an
// "adapter" line every adapter is searched. Unknown lines are ignored.
#pragma once

#include <string>
#include <vector>

#include "Device.h"

namespace tarvo::sanebackend {

inline constexpr const char* kConfigFile = "tarvoscn.conf";
inline constexpr const char* kSystemConfigFolder = "/etc/sane.d";

// The folders searched for tarvoscn.conf, in order: those of SANE_CONFIG_DIR
// (colon-separated; a trailing colon adds the system folder), else the
// system folder.
std::vector<std::string> ConfigFolders(const char* configDir);
// The first tarvoscn.conf found in `folders`; relative paths in it are taken
// from its folder. No file: the defaults.
DriverConfig ReadConfig(const std::vector<std::string>& folders);
DriverConfig ParseConfig(const std::string& text, const std::string& folder);

}  // namespace tarvo::sanebackend
