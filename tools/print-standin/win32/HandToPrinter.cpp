// Windows: the stand-in renders no PDF, so without a spool folder it has
// nothing to hand the file to; it says so and fails, and the gateway reports
// the print as failed.

#include "../HandToPrinter.h"

#include <windows.h>

#include <cstdio>

int HandToPrinter(const std::string& printer, const std::string& file) {
  std::fprintf(stderr,
               "SumatraPDF.exe: substituto de teste sem impressão; defina GATEWAY_PRINT_SPOOL "
               "para receber %s (impressora %s)\n",
               file.c_str(), printer.c_str());
  return 1;
}

long ProcessId() {
  return static_cast<long>(GetCurrentProcessId());
}
