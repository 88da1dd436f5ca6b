// The simulator's configuration: a plain line-based text (see
// docs/simulator.md) that builds a bus with its devices, pages, page
// conditions, fault script, completion mode and wire log.
#pragma once

#include <string>

#include "Bus.h"

namespace tarvo::sim {

// Applies `text` to `bus`. On a bad line returns false with `error` naming
// the line number and the problem; lines before it have been applied.
bool ApplyConfig(const std::string& text, Bus& bus, std::string& error);
// Reads the file at `path` (at most 1 MiB) and applies it.
bool ApplyConfigFile(const std::string& path, Bus& bus, std::string& error);
// The configuration used when none is given: an RT650 at adapter 0, target 0
// with three synthetic A4 pages at 300 dpi.
void ApplyDefaultConfig(Bus& bus);

}  // namespace tarvo::sim
