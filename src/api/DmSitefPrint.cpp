#include "api/Base64.h"
#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "platform/Platform.h"
#include "util/VornString.h"
#include "util/VornSysUtils.h"

namespace {

constexpr char kPrintProgram[] = "SumatraPDF.exe";
constexpr char kPrintLibrary[] = "libmupdf.dll";
constexpr std::uint16_t kHiddenWindow = 0;

}  // namespace

std::string LimparBase64(const std::string& text) {
  // Sized once and filled through a pointer: a document is megabytes long.
  std::string clean(text.size(), '\0');
  char* out = clean.data();
  for (const char c : text) {
    *out = c;
    out += c != '\n' && c != '\r' && c != ' ';
  }
  clean.resize(static_cast<std::size_t>(out - clean.data()));
  const auto comma = clean.find(',');
  return comma == std::string::npos ? clean : clean.substr(comma + 1);
}

bool ConverterBase64ParaPDF(const std::string& text, const std::string& path,
                            ClientConnection& connection) {
  try {
    const std::string bytes = Base64Decode(LimparBase64(text));
    platform::Current().WriteFile(path, bytes, false);
    return true;
  } catch (const std::exception& error) {
    connection.SendClientMessage(std::string("Erro na conversão do arquivo: ") + error.what());
    return false;
  }
}

void KillSumatraProcess() {
  platform::Current().TerminateProcessesNamed(kPrintProgram);
}

void TDmSitef::Print(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext) {
  if (GetValue(pMessage, "type") != "print") {
    pIdContext.SendClientMessage(GetJsonError("Campo type diferente de print."));
    return;
  }
  const std::string data = Trim(GetValue(pMessage, "data"));
  if (data.empty()) {
    pIdContext.SendClientMessage(GetJsonError("Campo \"data\" não foi preenchido."));
    return;
  }
  try {
    const std::string fileType = GetValue(pMessage, "file_type");
    if (fileType != "pdf") {
      pIdContext.SendClientMessage(GetJsonError("Tipo do arquivo inválido. Valor permitido [pdf]"));
      return;
    }
    PrintData(fileType, data, pIdContext);
  } catch (const EConnectionClosed&) {
    throw;
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(GetJsonError(std::string("Erro ao imprimir: ") + error.what()));
  }
}

void TDmSitef::PrintData(const std::string& FileType, const std::string& Data,
                         ClientConnection& pIdContext) {
  const platform::Platform& os = platform::Current();
  const std::string printer = fConfig.ReadString("sitef", "printer", "");
  if (printer.empty()) {
    pIdContext.SendClientMessage(GetJsonError("Impressora não definida."));
    return;
  }
  const std::string folder = VornAppDir();
  const std::string program = folder + kPrintProgram;
  if (!os.FileExists(program)) {
    pIdContext.SendClientMessage(GetJsonError("SumatraPDF não localizado."));
    return;
  }
  if (!os.FileExists(folder + kPrintLibrary)) {
    pIdContext.SendClientMessage(GetJsonError("libmupdf.dll não localizado."));
    return;
  }
  const std::string file = folder + "Temp." + FileType;
  if (FileType == "pdf" && !ConverterBase64ParaPDF(Data, file, pIdContext)) {
    return;
  }
  if (!os.FileExists(file)) {
    pIdContext.SendClientMessage(GetJsonError("Arquivo convertido não localizado."));
    return;
  }
  KillSumatraProcess();
  os.SleepMs(500);
  os.ShellOpen(program, "-print-to \"" + printer + "\" -silent \"" + file + "\"", kHiddenWindow);
}
