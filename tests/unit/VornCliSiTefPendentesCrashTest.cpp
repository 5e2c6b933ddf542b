// What a crash leaves behind: a child process writing backups is killed with
// SIGKILL at random moments, and a restart finds either no backup or a whole
// one, undone exactly once.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>
#include <random>
#include <thread>

#include "TefTestSupport.h"

namespace {

// A child process that writes backups (large ones, so a kill can land in the
// middle of a write) and is killed with SIGKILL.
class BackupCrash : public testing::Test {
 protected:
  static constexpr int kLinhas = 4000;

  static void MontarConteudo(TVornCliSiTefArquivo& conteudo) {
    conteudo.GravaInformacao(0, 0, "CRT");
    conteudo.GravaInformacao(3, 0, "1000");
    conteudo.GravaInformacao(9, 0, "0");
    conteudo.GravaInformacao(10, 0, "REDE");
    conteudo.GravaInformacao(12, 0, "4242");
    conteudo.GravaInformacao(899, 1, "N");
    for (int i = 1; i <= kLinhas; ++i) {
      conteudo.GravaInformacao(29 + i / 1000, i % 1000,
                               VornAnsiStr("linha do comprovante " + std::to_string(i)));
    }
  }

  // In the child: writes backups until killed; with umaVez, writes one,
  // reports it through the pipe and waits to be killed.
  [[noreturn]] static void Filho(const std::string& pasta, bool umaVez, int aviso) {
    TestClockPlatform os;
    TVornCliSiTef tef;
    auto binding = std::make_unique<TestBinding>(tef, pasta);
    TestBinding& teste = *binding;
    tef.Bindings().Add(std::move(binding));
    tef.SetPathBackup(pasta + "TEF");
    platform::Current().ForceDirectories(pasta + "TEF");
    tef.SetGPAtual(gpTefDisc);
    MontarConteudo(teste.Resp().Conteudo());
    const char pronto = 1;
    if (umaVez) {
      teste.CopiarResposta();
      (void)!write(aviso, &pronto, 1);
      pause();
    }
    (void)!write(aviso, &pronto, 1);
    while (true) {
      const std::string backup = teste.CopiarResposta();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      platform::Current().DeleteFile(backup);
    }
  }

  pid_t Criar(bool umaVez, int aviso) {
    const pid_t pid = fork();
    if (pid == 0) {
      Filho(pasta.Path(), umaVez, aviso);
    }
    return pid;
  }

  static void Matar(pid_t pid) {
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
  }

  std::vector<std::string> Backups() const {
    std::vector<std::string> backups;
    FindFiles(pasta.Path() + "TEF/VornCliSiTef_Teste_*.tef", backups, true);
    return backups;
  }

  TempDir pasta;
};

TEST_F(BackupCrash, AKillWhileWritingLeavesNoBackupOrAWholeOne) {
  TVornCliSiTefArquivo esperado;
  MontarConteudo(esperado);
  std::mt19937 sorteio(20261210);
  int completos = 0;
  int canal[2];
  ASSERT_EQ(pipe(canal), 0);
  for (int rodada = 0; rodada < 25; ++rodada) {
    const pid_t pid = Criar(false, canal[1]);
    char pronto = 0;
    ASSERT_EQ(read(canal[0], &pronto, 1), 1);
    std::this_thread::sleep_for(std::chrono::microseconds(sorteio() % 5000));
    Matar(pid);
    const std::vector<std::string> backups = Backups();
    ASSERT_LE(backups.size(), 1u) << rodada;
    for (const std::string& backup : backups) {
      TVornCliSiTefArquivo lido;
      lido.LeArquivo(backup);
      EXPECT_EQ(lido.Linhas(), esperado.Linhas()) << rodada;
      platform::Current().DeleteFile(backup);
      ++completos;
    }
  }
  close(canal[0]);
  close(canal[1]);
  std::cout << completos << " of 25 kills left a whole backup, the rest none\n";
}

TEST_F(BackupCrash, AfterAKillTheRestartUndoesTheBackupExactlyOnce) {
  int canal[2];
  ASSERT_EQ(pipe(canal), 0);
  const pid_t pid = Criar(true, canal[1]);
  char pronto = 0;
  ASSERT_EQ(read(canal[0], &pronto, 1), 1);
  Matar(pid);
  close(canal[0]);
  close(canal[1]);
  ASSERT_EQ(Backups().size(), 1u);

  TefFixture f;
  f.tef.SetPathBackup(pasta.Path() + "TEF");
  f.tef.Inicializar(gpTefDisc);
  EXPECT_EQ(f.manager->Operacoes(), std::vector<std::string>{"NCN 4242"});
  EXPECT_TRUE(Backups().empty());
  f.tef.DesInicializar(gpTefDisc);
  f.tef.Inicializar(gpTefDisc);
  EXPECT_EQ(f.manager->Operacoes(), std::vector<std::string>{"NCN 4242"});
}

}  // namespace
