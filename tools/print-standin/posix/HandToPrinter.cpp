// Linux: the file goes to the CUPS spooler as `lp -d PRINTER FILE`.

#include "../HandToPrinter.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int HandToPrinter(const std::string& printer, const std::string& file) {
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("lp", "lp", "-d", printer.c_str(), file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "SumatraPDF.exe: lp -d %s %s falhou\n", printer.c_str(), file.c_str());
    return 1;
  }
  return 0;
}

long ProcessId() {
  return static_cast<long>(getpid());
}
