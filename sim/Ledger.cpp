#include "Ledger.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "HostPath.h"
#include "LibraryFolder.h"

namespace clisitef_sim {

void AppendToLedger(const Json& record) {
  const char* named = std::getenv("CLISITEF_SIM_LEDGER");
  const std::string path =
      named != nullptr && *named != 0 ? HostPath(named) : LibraryFolder() + "CliSiTefSim.ledger";
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << record.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
  out.flush();
  if (!out) {
    std::cerr << "CliSiTef stand-in: cannot write the ledger " << path << '\n';
  }
}

}  // namespace clisitef_sim
