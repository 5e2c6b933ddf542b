#pragma once

#include <string>

// Enumerations carried by the TEF component's events and states.

enum TVornCliSiTefOperacaoMensagem {
  opmOK,                  // show and wait for OK
  opmYesNo,               // ask yes or no
  opmYesNoCustom,         // ask with custom answers
  opmExibirMsgOperador,   // show a lasting message to the operator
  opmRemoverMsgOperador,  // remove it
  opmExibirMsgCliente,    // show a lasting message to the customer
  opmRemoverMsgCliente,   // remove it
  opmDestaqueVia,         // ask to tear off a receipt copy
  opmExcept,              // report an error
  opmQRCode               // QR-code related message
};

enum TVornCliSiTefOperacaoECF {
  opeAbreGerencial,
  opeFechaGerencial,
  opePulaLinhas,
  opeSubTotalizaCupom,
  opeFechaCupom,
  opeFechaVinculado,
  opeCancelaCupom,
  opeImprimePagamentos
};

enum TVornCliSiTefTipoRelatorio { trGerencial, trVinculado };

enum TVornCliSiTefInfoECF { ineSubTotal, ineEstadoECF, ineTotalAPagar };

enum TVornCliSiTefReqEstado {
  reqNenhum,
  reqIniciando,
  reqCriandoArquivo,
  reqAguardandoResposta,
  reqConferindoResposta,
  reqFinalizada
};

enum TVornCliSiTefRespEstado { respNenhum, respAguardandoResposta, respProcessando, respConcluida };

enum TVornCliSiTefCliSiTefOperacaoCampo { tcString, tcCurrency, tcCMC7, tcBarCode, tcSeguranca };

// The answer of a yes/no message that means yes.
inline constexpr int mrYes = 6;

// The value names as they appear in the TEF trace and in messages.
std::string NomeValor(TVornCliSiTefOperacaoMensagem value);
std::string NomeValor(TVornCliSiTefOperacaoECF value);
std::string NomeValor(TVornCliSiTefTipoRelatorio value);
std::string NomeValor(TVornCliSiTefInfoECF value);
