// Backup files of approved transactions and the binding's loops that undo or
// confirm what a stopped process left pending. Each loop tries one entry at
// most kTentativasPorPendencia times, resumes after the last step that
// succeeded, and leaves what keeps failing on disk for a later run.

#include <algorithm>

#include "platform/Platform.h"
#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefClass.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

constexpr int kMaximoBackups = 999;

std::string Delimitador() {
  return std::string(1, platform::Current().PathDelimiter());
}

// Every line of a record file carries a key "NNN-NNN = ".
bool ConteudoValido(const TVornCliSiTefArquivo& conteudo) {
  if (conteudo.GetCount() == 0) {
    return false;
  }
  return std::all_of(conteudo.Linhas().begin(), conteudo.Linhas().end(), [](const AnsiString& l) {
    const auto separador = l.find(" = ");
    if (separador == AnsiString::npos || separador < 5) {
      return false;
    }
    const auto traco = l.find('-');
    if (traco == AnsiString::npos || traco > separador) {
      return false;
    }
    for (std::size_t i = 0; i < separador; ++i) {
      if (i != traco && !CharIsNum(l[i])) {
        return false;
      }
    }
    return true;
  });
}

}  // namespace

std::string TVornCliSiTefClass::MascaraBackup() const {
  return Componente().PathBackup() + Delimitador() + "VornCliSiTef_" + Name() + "_*.tef";
}

std::string TVornCliSiTefClass::ProximoArquivoBackup() const {
  const std::string prefixo =
      Componente().PathBackup() + Delimitador() + "VornCliSiTef_" + Name() + "_";
  for (int numero = 1; numero <= kMaximoBackups; ++numero) {
    const std::string arquivo = prefixo + VornCliSiTefStr(IntToStrZero(numero, 3)) + ".tef";
    if (!platform::Current().FileExists(arquivo)) {
      return arquivo;
    }
  }
  throw EVornCliSiTefArquivo("Limite de " + std::to_string(kMaximoBackups) +
                             " arquivos de backup atingido em:\r\n" + Componente().PathBackup() +
                             "\r\nConfirme ou desfaça as transações pendentes antes de continuar.");
}

void TVornCliSiTefClass::GravarArquivoSeguro(TVornCliSiTefArquivo& conteudo,
                                             const std::string& arquivo) {
  platform::Platform& os = platform::Current();
  const std::string temporario = arquivo + ".tmp";
  try {
    conteudo.GravarArquivo(temporario, false);
    // A backup that may not be on disk protects nothing: the payment stops
    // as if it could not be written at all.
    if (!os.FlushFileToDisk(temporario)) {
      throw EVornCliSiTefArquivo("Erro ao gravar o arquivo:\r\n" + temporario);
    }
  } catch (...) {
    os.DeleteFile(temporario);
    throw;
  }
  if (!os.RenameFile(temporario, arquivo)) {
    os.DeleteFile(temporario);
    throw EVornCliSiTefArquivo("Erro ao Renomear:\r\n" + temporario + "para:" + "\r\n" + arquivo);
  }
}

std::string TVornCliSiTefClass::NomeLivreInvalido(const std::string& arquivo) {
  // Backup numbers are reused once free, so an earlier set-aside file of the
  // same number may be there: it keeps its name, this one gets the next.
  std::string nome = arquivo + ".invalido";
  for (int copia = 2; platform::Current().FileExists(nome); ++copia) {
    nome = arquivo + "." + std::to_string(copia) + ".invalido";
  }
  return nome;
}

bool TVornCliSiTefClass::LerBackup(const std::string& arquivo) {
  fpResp->LeArquivo(arquivo);
  if (ConteudoValido(fpResp->Conteudo())) {
    return true;
  }
  fpResp->Clear();
  const std::string aparte = NomeLivreInvalido(arquivo);
  const bool renomeou = platform::Current().RenameFile(arquivo, aparte);
  const std::string relato = renomeou ? "Arquivo de backup TEF ilegível guardado como:\r\n" + aparte
                                      : "Arquivo de backup TEF ilegível mantido em:\r\n" + arquivo;
  GravaLog(Name() + " LerBackup: " + relato);
  Componente().DoExibeMsg(opmOK, relato);
  return false;
}

void TVornCliSiTefClass::EnviarFinalizacao(const std::function<void()>& passo) {
  const int antes = fpFinalizacoes;
  try {
    passo();
  } catch (const std::exception& erro) {
    if (fpFinalizacoes == antes) {
      throw;
    }
    GravaLog(Name() + " EnviarFinalizacao: enviada; o aviso que a segue falhou: " + erro.what());
  }
}

bool TVornCliSiTefClass::MarcarBackupConfirmado(const std::string& arquivo) {
  // A file-exchange binding reads a confirmed backup as a card of a sale
  // still open, which an undo cancels: there the file stays as it is.
  if (fpTipo != gpCliSiTef) {
    return false;
  }
  try {
    TVornCliSiTefResp backup;
    backup.LeArquivo(arquivo);
    backup.SetCNFEnviado(true);
    try {
      GravarArquivoSeguro(backup.Conteudo(), arquivo);
    } catch (const std::exception&) {
      // Where a file cannot be deleted it can seldom be replaced either, but
      // it can often still be written in place.
      backup.Conteudo().GravarArquivo(arquivo, false);
      if (!platform::Current().FlushFileToDisk(arquivo)) {
        throw EVornCliSiTefArquivo("Erro ao gravar o arquivo:\r\n" + arquivo);
      }
    }
    GravaLog(Name() + " MarcarBackupConfirmado: " + arquivo);
    return true;
  } catch (const std::exception& erro) {
    GravaLog(Name() + " MarcarBackupConfirmado: " + arquivo + " não marcado: " + erro.what());
    return false;
  }
}

bool TVornCliSiTefClass::BackupEncerrado() const {
  return fpTipo == gpCliSiTef && fpResp->CNFEnviado();
}

std::string TVornCliSiTefClass::CopiarResposta() {
  TVornCliSiTefResp& resp = Componente().Resp();
  const std::string arquivo = ProximoArquivoBackup();
  GravarArquivoSeguro(resp.Conteudo(), arquivo);
  resp.SetArqBackup(arquivo);
  GravaLog(Name() + " CopiarResposta: " + resp.Header() + " - " + std::to_string(resp.ID()) +
           " Arq: " + arquivo);
  return arquivo;
}

void TVornCliSiTefClass::CancelarTransacoesPendentesClass() {
  platform::Platform& os = platform::Current();
  GravaLog(Name() + " CancelarTransacoesPendentesClass ");
  std::vector<std::string> arquivos;
  FindFiles(MascaraBackup(), arquivos, true);

  // Administrative, cancellation and unconfirmed transactions first: those
  // are undone with NCN before confirmed payments are undone with CNC.
  int frente = 0;
  int tras = static_cast<int>(arquivos.size()) - 1;
  while (tras > frente) {
    bool vaiParaFrente = false;
    if (os.FileExists(arquivos[tras]) && LerBackup(arquivos[tras])) {
      const std::string& header = fpResp->Header();
      vaiParaFrente = header == "CNC" || header == "ADM" || !fpResp->CNFEnviado();
    }
    if (vaiParaFrente) {
      std::string arquivo = std::move(arquivos[tras]);
      arquivos.erase(arquivos.begin() + tras);
      arquivos.insert(arquivos.begin() + frente, std::move(arquivo));
      ++frente;
    } else {
      --tras;
    }
  }
  if (!fArqResp.empty() && os.FileExists(fArqResp)) {
    arquivos.push_back(fArqResp);
  }

  std::vector<std::unique_ptr<TVornCliSiTefResp>> desfeitas;
  const auto jaTratada = [&] {
    return std::any_of(desfeitas.begin(), desfeitas.end(), [&](const auto& anterior) {
      if (dynamic_cast<const TVornCliSiTefRespTXT*>(anterior.get()) != nullptr ||
          fpTipo == gpVeSPague) {
        return anterior->Rede() == fpResp->Rede() && anterior->NSU() == fpResp->NSU() &&
               anterior->Finalizacao() == fpResp->Finalizacao() &&
               anterior->ValorTotal() == fpResp->ValorTotal();
      }
      return anterior->DocumentoVinculado() == fpResp->DocumentoVinculado();
    });
  };

  TVornCliSiTef& componente = Componente();
  std::unique_ptr<TVornCliSiTefResp> copia;
  bool desfeita = false;
  bool encerrada = false;
  int tentativas = 0;
  const auto proxima = [&] {
    arquivos.erase(arquivos.begin());
    copia.reset();
    desfeita = false;
    encerrada = false;
    tentativas = 0;
  };
  while (!arquivos.empty()) {
    const std::string arquivo = arquivos.front();
    if (!os.FileExists(arquivo)) {
      proxima();
      continue;
    }
    try {
      if (!desfeita && !encerrada) {
        if (!LerBackup(arquivo)) {
          proxima();
          continue;
        }
        encerrada = BackupEncerrado();
      }
      if (encerrada) {
        ApagaEVerifica(arquivo);
        proxima();
        continue;
      }
      if (!desfeita) {
        if (copia == nullptr && jaTratada()) {
          ApagaEVerifica(arquivo);
          proxima();
          continue;
        }
        if (copia == nullptr) {
          copia = CriarResposta(fpTipo);
          copia->Assign(*fpResp);
          if (componente.OnAntesCancelarTransacao) {
            try {
              componente.OnAntesCancelarTransacao(*copia);
            } catch (...) {
              // The host's notice never stops the undo.
            }
          }
        }
        if (!fpResp->CNFEnviado() || fpResp->Header() == "CHQ") {
          EnviarFinalizacao([this] { NCN(); });
        } else if (!CNC()) {
          throw EVornCliSiTefErro("CNC nao efetuado");
        }
        desfeita = true;
      }
      ApagaEVerifica(arquivo);
      desfeitas.push_back(std::move(copia));
      proxima();
    } catch (const std::exception& erro) {
      if (++tentativas >= kTentativasPorPendencia) {
        const std::string situacao = encerrada  ? "confirmado, não apagado"
                                     : desfeita ? "desfeito, não apagado"
                                                : "não desfeito";
        GravaLog(Name() + " CancelarTransacoesPendentesClass: " + arquivo +
                 " deixado para depois (" + situacao + "): " + erro.what());
        if (desfeita) {
          // Undone with the manager: no later undo or start-up confirmation
          // may take it up again, which would undo it twice or report it as
          // approved.
          MarcarBackupConfirmado(arquivo);
          desfeitas.push_back(std::move(copia));
        }
        proxima();
      }
    }
  }
  if (fpTipo == gpTefAuttar && !desfeitas.empty()) {
    componente.DoExibeMsg(opmOK, "Transação TEF não Efetuada Reter o Cupom Fiscal!");
  }
}

void TVornCliSiTefClass::ConfirmarTransacoesAnteriores() {
  TVornCliSiTef& componente = Componente();
  TVornCliSiTefRespostasPendentes& pendentes = componente.RespostasPendentes();
  GravaLog("ConfirmarTransacoesAnteriores");
  for (int i = 0; i < pendentes.Count(); ++i) {
    TVornCliSiTefResp& resp = pendentes[i];
    if (resp.CNFEnviado() || resp.TipoGP() != componente.GPAtual() ||
        !TransacaoEPagamento(resp.Header())) {
      continue;
    }
    CNF(std::string(resp.Rede()), std::string(resp.NSU()), std::string(resp.Finalizacao()),
        std::string(resp.DocumentoVinculado()));
    resp.SetCNFEnviado(true);
    if (!resp.ArqBackup().empty()) {
      GravarArquivoSeguro(resp.Conteudo(), resp.ArqBackup());
    }
    ApagaEVerifica(resp.ArqRespPendente());
  }
}

void TVornCliSiTefClass::ConfirmarESolicitarImpressaoTransacoesPendentes() {
  TVornCliSiTef& componente = Componente();
  TVornCliSiTefRespostasPendentes& pendentes = componente.RespostasPendentes();
  platform::Platform& os = platform::Current();
  pendentes.Clear();
  std::vector<std::string> arquivos;
  FindFiles(MascaraBackup(), arquivos, true);
  const std::size_t encontrados = arquivos.size();
  // The flag tells the confirmation below that these transactions were
  // already finished with the manager; it covers this run only.
  componente.TransacaoConfirmada = encontrados > 0;
  try {
    std::string nsus;
    std::string documentos;
    std::unique_ptr<TVornCliSiTefResp> copia;
    std::string nsu;
    std::string documento;
    bool confirmada = false;
    // Finished and reported by the run that marked its backup: it is only
    // deleted.
    bool jaConfirmada = false;
    std::size_t jaConfirmadas = 0;
    int tentativas = 0;
    const auto proxima = [&] {
      arquivos.erase(arquivos.begin());
      copia.reset();
      confirmada = false;
      jaConfirmadas += jaConfirmada ? 1 : 0;
      jaConfirmada = false;
      tentativas = 0;
    };
    while (!arquivos.empty()) {
      const std::string arquivo = arquivos.front();
      if (!os.FileExists(arquivo)) {
        proxima();
        continue;
      }
      try {
        if (!confirmada) {
          if (!LerBackup(arquivo)) {
            proxima();
            continue;
          }
          jaConfirmada = BackupEncerrado();
          if (!jaConfirmada) {
            if (copia == nullptr) {
              // Taken before the confirmation, which may start a new request.
              copia = CriarResposta(fpResp->TipoGP());
              copia->Assign(*fpResp);
              copia->SetPendente(true);
              copia->SetArqBackup(arquivo);
              nsu = fpResp->NSU();
              documento = fpResp->DocumentoVinculado();
            }
            if (componente.OnAntesConfirmarTransacoes) {
              // The host records the payment before its backup can go; when
              // it cannot, the backup stays for a later run.
              TVornCliSiTefRespostasPendentes registro;
              auto registrada = CriarResposta(copia->TipoGP());
              registrada->Assign(*copia);
              registro.Add(std::move(registrada));
              componente.OnAntesConfirmarTransacoes(registro);
            }
            CNF();
          }
          confirmada = true;
        }
        ApagaEVerifica(arquivo);
        // Only a transaction whose backup is gone is reported: one left on
        // disk is found and reported by a later run, so it must not be
        // reported now as well.
        if (!jaConfirmada) {
          pendentes.Add(std::move(copia));
          if (!Trim(nsu).empty()) {
            nsus += nsu + "\r\n";
          }
          if (!Trim(documento).empty()) {
            documentos += documento + "\r\n";
          }
        }
        proxima();
      } catch (const std::exception& erro) {
        if (++tentativas >= kTentativasPorPendencia) {
          GravaLog(Name() + " ConfirmarESolicitarImpressaoTransacoesPendentes: " + arquivo +
                   " deixado para depois (" +
                   (confirmada ? "confirmado, não apagado" : "não confirmado") +
                   "): " + erro.what());
          proxima();
        }
      }
    }
    try {
      if (componente.OnDepoisConfirmarTransacoes && pendentes.Count() > 0) {
        componente.OnDepoisConfirmarTransacoes(pendentes);
      }
    } catch (...) {
      pendentes.Clear();
      throw;
    }
    pendentes.Clear();
    // Backups that were confirmed already tell the operator nothing new.
    if (encontrados > jaConfirmadas) {
      componente.DoExibeMsg(
          opmOK, "Transação TEF efetuada.\r\nFavor reimprimir último Cupom.\r\nNSU: " + nsus +
                     "\r\nNº Documento: " + documentos +
                     "\r\n(Para Cielo utilizar os 6 últimos dígitos.)");
    }
  } catch (...) {
    componente.TransacaoConfirmada = false;
    throw;
  }
  componente.TransacaoConfirmada = false;
}
