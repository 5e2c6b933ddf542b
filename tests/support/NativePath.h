#pragma once

#include <algorithm>
#include <string>

#include "platform/Platform.h"

// A path written with "/" in the running system's own separators, so a test
// states its expected paths once for both systems.
inline std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', platform::Current().PathDelimiter());
  return path;
}
