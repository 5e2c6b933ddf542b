#include "../LibraryFolder.h"

#include <windows.h>

namespace clisitef_sim {

std::string LibraryFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&LibraryFolder), &self)) {
    return {};
  }
  char file[MAX_PATH];
  const DWORD length = GetModuleFileNameA(self, file, MAX_PATH);
  if (length == 0 || length == MAX_PATH) {
    return {};
  }
  const std::string path(file, length);
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace clisitef_sim
