#include "util/ServiceLog.h"

#include "platform/CodePage1252.h"
#include "platform/Platform.h"
#include "util/DateTime.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"
#include "util/VornSysUtils.h"

namespace {

// The long month name with its first letter upper-cased, "-", the year.
std::string MonthFolderName(const platform::CivilTime& now) {
  const std::string name = FormatDateTime("mmmm-yyyy", now);
  std::size_t firstEnd = 0;
  platform::NextCodePoint(name, firstEnd);
  return UpperCase(name.substr(0, firstEnd)) + name.substr(firstEnd);
}

}  // namespace

bool GravaLog(const std::string& text) {
  try {
    platform::Platform& os = platform::Current();
    const platform::CivilTime now = os.LocalNow();
    const char delimiter = os.PathDelimiter();
    const std::string folder = VornAppDir() + "Log" + delimiter + MonthFolderName(now);
    if (!os.ForceDirectories(folder)) {
      return false;
    }
    const std::string file =
        folder + delimiter + kServiceName + " " + FormatDateTime("dd-mm-yyyy", now) + ".log";
    std::string line;
    if (!Trim(text).empty()) {
      line = "[" + FormatDateTime("dd/mm/yyyy hh:nn:ss", now) + "] " + text;
    }
    os.WriteFile(file, os.Utf8ToAnsi(line) + "\r\n", true);
    return true;
  } catch (...) {
    return false;
  }
}

std::string TefTracePath() {
  platform::Platform& os = platform::Current();
  const platform::CivilTime now = os.LocalNow();
  const char delimiter = os.PathDelimiter();
  const std::string base = VornAppDir() + "Log" + delimiter;
  os.ForceDirectories(base);
  const std::string month = base + FormatDateTime("mm-yyyy", now) + delimiter;
  os.ForceDirectories(month);
  return month + "TEF-" + FormatDateTime("dd-mm-yyyy", now) + ".log";
}
