#include <cstdio>

#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "api/WireJson.h"
#include "platform/Platform.h"
#include "util/VornString.h"

std::string TDmSitef::GetFileVersion(const std::string& file) {
  const auto version = platform::Current().FileVersion(file);
  if (!version) {
    return "Versão não encontrada";
  }
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{(*version)[0]}, unsigned{(*version)[1]},
                unsigned{(*version)[2]}, unsigned{(*version)[3]});
  return text;
}

void TDmSitef::CheckFileVersion(const nlohmann::ordered_json& pMessage,
                                ClientConnection& pIdContext) {
  if (GetValue(pMessage, "type") != "version") {
    pIdContext.SendClientMessage(GetJsonError("Campo type diferente de version."));
    return;
  }
  try {
    const std::string category = GetValue(pMessage, "category");
    if (!VornStrIn(category, {"service_exe", "clisitef_dll"})) {
      pIdContext.SendClientMessage(
          GetJsonError("Categoria inválida. Valores permitidos [service_exe, clisitef_dll]"));
      return;
    }
    std::string file;
    if (category == "clisitef_dll") {
      file = CliSiTef().fPathDLL + CliSiTef().fNomeDLL;
    } else {
      const std::string executable = platform::Current().ExecutablePath();
      file = executable.substr(executable.find_last_of(platform::Current().PathDelimiter()) + 1);
    }
    pIdContext.SendClientMessage(TWireObject()
                                     .Add("type", "version")
                                     .Add("category", category)
                                     .Add("version", GetFileVersion(file))
                                     .Text());
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(
        GetJsonError(std::string("Erro ao verificar pinpad: ") + error.what()));
  }
}
