#include "../HostPath.h"

namespace clisitef_sim {

// Wine maps the Linux root to drive Z:. Without the drive, "/tmp/x.json"
// would name a file on the current drive, which for a service is C:.
std::string HostPath(const std::string& path) {
  const bool linuxAbsolute = path.size() > 1 && path[0] == '/' && path[1] != '/';
  return linuxAbsolute ? "Z:" + path : path;
}

}  // namespace clisitef_sim
