// The configuration file: the keys the gateway reads, as text, integers and
// flags, plus a section and key named by the first line of the input.

#include "FuzzSupport.h"
#include "util/IniConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  const std::string path = fuzz::WriteScratch("config.ini", data, size);
  const TIniConfig ini(path);
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string first = text.substr(0, text.find('\n'));
  const auto dot = first.find('.');
  const std::string section = first.substr(0, dot);
  const std::string key = dot == std::string::npos ? std::string() : first.substr(dot + 1);
  (void)ini.ReadString(section, key, "x");
  (void)ini.ReadInteger(section, key, 7);
  for (const char* name : {"port", "max_connections", "max_message_bytes", "stall_timeout_ms"}) {
    (void)ini.ReadInteger("server", name, 0);
  }
  (void)ini.ReadBool("server", "keepalive", true);
  (void)ini.ReadString("sitef", "printer", "");
  (void)ini.ReadString("security", "jwt_secret", "");
  (void)ini.ReadInteger("security", "session_seconds", 1800);
  return 0;
}
