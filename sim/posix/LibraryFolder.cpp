#include "../LibraryFolder.h"

#include <dlfcn.h>

namespace clisitef_sim {

std::string LibraryFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryFolder), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  const std::string file = info.dli_fname;
  const auto slash = file.find_last_of('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
}

}  // namespace clisitef_sim
