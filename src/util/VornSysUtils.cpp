#include "util/VornSysUtils.h"

#include "platform/Platform.h"

std::string VornAppDir() {
  const std::string path = platform::Current().ExecutablePath();
  const auto delimiter = path.find_last_of(platform::Current().PathDelimiter());
  return delimiter == std::string::npos ? std::string() : path.substr(0, delimiter + 1);
}
