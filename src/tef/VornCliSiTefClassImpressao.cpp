// Printing of an administrative or cancellation receipt as a non-fiscal
// report, then the confirmation (or undo) of its backup.

#include "platform/Platform.h"
#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefClass.h"

void TVornCliSiTefClass::ImprimirRelatorio() {
  VerificarIniciouRequisicao();
  if (fpResp->QtdLinhasComprovante() <= 0) {
    return;
  }
  TVornCliSiTef& componente = Componente();
  GravaLog(Name() + " ImprimirRelatorio: " + fpReq->Header());
  if (fpSalvarArquivoBackup) {
    CopiarResposta();
  }
  componente.BloquearMouseTeclado(true);

  bool imprimiu = false;
  while (true) {
    TVornCliSiTef::TMensagensExibidas mensagens;
    try {
      componente.LiberarECF([&](char) { componente.ComandarECF(opeCancelaCupom); });
      mensagens.inicio = Now();
      componente.MostrarMensagens(*fpResp, mensagens);
      bool aberto = false;
      for (int via = 1; via <= fpNumVias; ++via) {
        const std::vector<std::string>& linhas =
            via == 1 ? fpResp->ImagemComprovante1aVia() : fpResp->ImagemComprovante2aVia();
        if (linhas.empty()) {
          continue;
        }
        if (!aberto) {
          componente.ComandarECF(opeAbreGerencial);
          aberto = true;
        } else {
          componente.ComandarECF(opePulaLinhas);
          componente.DoExibeMsg(opmDestaqueVia, TextoDestaqueVia(via));
        }
        componente.ECFImprimeVia(trGerencial, via, linhas);
      }
      if (aberto) {
        componente.ComandarECF(opeFechaGerencial);
      }
      imprimiu = true;
      componente.RemoverMensagens(mensagens, true);
    } catch (const EVornCliSiTefECF&) {
      componente.RemoverMensagens(mensagens, false);
    } catch (...) {
      componente.RemoverMensagens(mensagens, false);
      throw;
    }
    if (imprimiu ||
        componente.DoExibeMsg(opmYesNo, "Impressora não responde\r\nDeseja imprimir novamente ?") !=
            mrYes) {
      break;
    }
  }

  // The backup goes only once its confirmation (or undo) was sent; one that
  // keeps failing stays on disk for the next start.
  const std::string backup = componente.Resp().ArqBackup();
  platform::Platform& os = platform::Current();
  bool enviado = false;
  for (int tentativa = 1; !backup.empty() && os.FileExists(backup); ++tentativa) {
    try {
      if (!enviado) {
        fpResp->LeArquivo(backup);
        EnviarFinalizacao([&] {
          if (imprimiu) {
            CNF();
          } else {
            NCN();
          }
        });
        enviado = true;
      }
      ApagaEVerifica(backup);
    } catch (const std::exception& erro) {
      if (tentativa >= kTentativasPorPendencia) {
        GravaLog(Name() + " ImprimirRelatorio: " + backup + " deixado para depois (" +
                 (enviado ? "enviado, não apagado" : "não enviado") + "): " + erro.what());
        if (enviado && imprimiu) {
          MarcarBackupConfirmado(backup);
        }
        break;
      }
    }
  }
  componente.BloquearMouseTeclado(false);
  if (!imprimiu) {
    throw EVornCliSiTefECF("Impressão de Relatório Falhou");
  }
}
