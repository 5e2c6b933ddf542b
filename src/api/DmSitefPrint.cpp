#include <cstdint>
#include <cstring>

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

std::string LimparBase64(std::string text) {
  // Dropping blanks moves no comma ahead of another, so the header is skipped
  // first; the rest is moved down over it and over the blanks in one pass.
  const auto comma = text.find(',');
  const char* in = text.data() + (comma == std::string::npos ? 0 : comma + 1);
  const char* const end = text.data() + text.size();
  char* out = text.data();
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  const auto has = [](std::uint64_t word, char c) {
    const std::uint64_t x = word ^ (kOnes * static_cast<unsigned char>(c));
    return ((x - kOnes) & ~x & kHighs) != 0;
  };
  while (in != end) {
    std::uint64_t word;
    // Eight bytes without LF, CR or blank (nearly all of them) in one move.
    if (end - in >= 8 &&
        (std::memcpy(&word, in, 8), !has(word, '\n') && !has(word, '\r') && !has(word, ' '))) {
      std::memcpy(out, &word, 8);
      out += 8;
      in += 8;
      continue;
    }
    const char c = *in++;
    *out = c;
    out += c != '\n' && c != '\r' && c != ' ';
  }
  text.resize(static_cast<std::size_t>(out - text.data()));
  return text;
}

bool ConverterBase64ParaPDF(std::string text, const std::string& path,
                            ClientConnection& connection) {
  try {
    const std::string bytes = Base64DecodeInPlace(LimparBase64(std::move(text)));
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

void TDmSitef::Print(nlohmann::ordered_json& pMessage, ClientConnection& pIdContext) {
  if (GetValue(pMessage, "type") != "print") {
    pIdContext.SendClientMessage(GetJsonError("Campo type diferente de print."));
    return;
  }
  const auto member = pMessage.find("data");
  std::string data = member != pMessage.end() && member->is_string()
                         ? std::move(member->get_ref<std::string&>())
                         : GetValue(pMessage, "data");
  const std::string_view trimmed = TrimView(data);
  const auto begin = static_cast<std::size_t>(trimmed.data() - data.data());
  data.resize(begin + trimmed.size());
  data.erase(0, begin);
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
    PrintData(fileType, std::move(data), pIdContext);
  } catch (const EConnectionClosed&) {
    throw;
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(GetJsonError(std::string("Erro ao imprimir: ") + error.what()));
  }
}

void TDmSitef::PrintData(const std::string& FileType, std::string Data,
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
  if (FileType == "pdf" && !ConverterBase64ParaPDF(std::move(Data), file, pIdContext)) {
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
