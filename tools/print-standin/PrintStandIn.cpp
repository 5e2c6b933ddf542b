// The printing program of the app folder, installed as SumatraPDF.exe beside
// the gateway: it takes the command line the gateway gives the PDF program,
//
//   -print-to "PRINTER" -silent "FILE"
//
// When the environment variable GATEWAY_PRINT_SPOOL names a folder, the file
// is copied there, as "<printer>-<nanoseconds>-<pid>.pdf" (written under a
// temporary name, then renamed, so a watcher never sees half a file).
// Otherwise the file goes to the system's printing (HandToPrinter.h).
// Exit code: 0 handed over, 2 bad command line, 1 the copy or the hand-over
// failed.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "HandToPrinter.h"

namespace {

// The printer name as a file name: anything but letters, digits, "-" and "_" becomes "_".
std::string FileNamePart(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_';
    out += plain ? c : '_';
  }
  return out;
}

int CopyToSpool(const std::filesystem::path& spool, const std::string& printer,
                const std::string& file) {
  const auto stamp = std::chrono::system_clock::now().time_since_epoch().count();
  const std::string name =
      FileNamePart(printer) + "-" + std::to_string(stamp) + "-" + std::to_string(ProcessId());
  const std::filesystem::path partial = spool / ("." + name + ".part");
  std::error_code error;
  std::filesystem::copy_file(file, partial, std::filesystem::copy_options::overwrite_existing,
                             error);
  if (!error) {
    std::filesystem::rename(partial, spool / (name + ".pdf"), error);
  }
  if (error) {
    std::fprintf(stderr, "SumatraPDF.exe: cópia para %s falhou: %s\n", spool.string().c_str(),
                 error.message().c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string printer;
  std::string file;
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string option = argv[i];
    if (option == "-print-to") {
      printer = argv[++i];
    } else if (option == "-silent") {
      file = argv[++i];
    }
  }
  if (printer.empty() || file.empty()) {
    std::fprintf(stderr, "Uso: SumatraPDF.exe -print-to \"IMPRESSORA\" -silent \"ARQUIVO\"\n");
    return 2;
  }
  const char* spool = std::getenv("GATEWAY_PRINT_SPOOL");
  if (spool != nullptr && *spool != '\0') {
    return CopyToSpool(spool, printer, file);
  }
  return HandToPrinter(printer, file);
}
