#pragma once

#include "Scenario.h"

namespace clisitef_sim {

// Appends `record` as one line of compact JSON to the ledger: the file named
// by CLISITEF_SIM_LEDGER, else CliSiTefSim.ledger beside the library. A ledger
// that cannot be written is reported on the standard error stream; the call
// itself goes on.
void AppendToLedger(const Json& record);

}  // namespace clisitef_sim
