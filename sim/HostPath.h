#pragma once

#include <string>

namespace clisitef_sim {

// The file a path named in the stand-in's environment (CLISITEF_SIM_SCENARIO,
// CLISITEF_SIM_LEDGER) refers to. Tests on Linux give Linux paths; under Wine
// an absolute Linux path is a file of the drive that maps the Linux root.
std::string HostPath(const std::string& path);

}  // namespace clisitef_sim
