// The component's handling of the pending responses of a sale: confirming
// them once printed, or undoing everything pending.

#include "platform/Platform.h"
#include "tef/VornCliSiTef.h"
#include "tef/VornCliSiTefTef.h"

void TVornCliSiTef::CancelarTransacoesPendentes() {
  try {
    for (int i = 0; i < fBindings.Count(); ++i) {
      if (fBindings[i].Habilitado()) {
        fBindings[i].CancelarTransacoesPendentesClass();
      }
    }
    if (OnDepoisCancelarTransacoes) {
      OnDepoisCancelarTransacoes(*fRespostasPendentes);
    }
  } catch (...) {
    fRespostasPendentes->Clear();
    throw;
  }
  fRespostasPendentes->Clear();
}

bool TVornCliSiTef::ConfirmarTransacao(bool Confirma, const std::string& DocumentoVinculado) {
  try {
    TEFCliSiTef().FinalizarTransacao(Confirma, DocumentoVinculado);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void TVornCliSiTef::ConfirmarTransacoesPendentes() {
  TEF().GravaLog("ConfirmarTransacoesPendentes");
  TVornCliSiTefRespostasPendentes& pendentes = *fRespostasPendentes;
  if (OnAntesConfirmarTransacoes && pendentes.Count() > 0) {
    try {
      OnAntesConfirmarTransacoes(pendentes);
    } catch (...) {
      // Without the host's record a confirmed payment could go unreported,
      // so none of them is confirmed.
      CancelarTransacoesPendentes();
      throw;
    }
  }
  for (int i = 0; i < pendentes.Count(); ++i) {
    TVornCliSiTefResp& resp = pendentes[i];
    for (int tentativa = 1;; ++tentativa) {
      try {
        SetGPAtual(resp.TipoGP());
        if (!resp.CNFEnviado()) {
          TEF().EnviarFinalizacao(
              [&] { CNF(resp.Rede(), resp.NSU(), resp.Finalizacao(), resp.DocumentoVinculado()); });
          resp.SetCNFEnviado(true);
        }
        ApagaEVerifica(resp.ArqRespPendente());
        ApagaEVerifica(resp.ArqBackup());
        break;
      } catch (const std::exception& erro) {
        if (tentativa >= kTentativasPorPendencia) {
          TEF().GravaLog("ConfirmarTransacoesPendentes: " + resp.Header() + " NSU " + resp.NSU() +
                         " deixada para depois (" +
                         (resp.CNFEnviado() ? "confirmada, backup não apagado" : "não confirmada") +
                         "): " + erro.what());
          if (resp.CNFEnviado() && !resp.ArqBackup().empty() &&
              platform::Current().FileExists(resp.ArqBackup())) {
            TEF().MarcarBackupConfirmado(resp.ArqBackup());
          }
          break;
        }
      }
    }
  }
  try {
    if (OnDepoisConfirmarTransacoes) {
      OnDepoisConfirmarTransacoes(pendentes);
    }
  } catch (...) {
    pendentes.Clear();
    throw;
  }
  pendentes.Clear();
}
