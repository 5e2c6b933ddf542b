#include "../HostPath.h"

namespace clisitef_sim {

std::string HostPath(const std::string& path) {
  return path;
}

}  // namespace clisitef_sim
