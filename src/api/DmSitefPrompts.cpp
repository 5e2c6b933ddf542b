#include <chrono>

#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "api/WireJson.h"
#include "platform/Platform.h"
#include "tef/VornCliSiTefClass.h"
#include "util/ServiceLog.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrNo = 7;

const char* NomeOperacaoCampo(TVornCliSiTefCliSiTefOperacaoCampo operacao) {
  switch (operacao) {
    case tcString:
      return "string";
    case tcCurrency:
      return "currency";
    case tcCMC7:
      return "cmc7";
    case tcBarCode:
      return "barcode";
    case tcSeguranca:
      return "segurança";
  }
  return "string";
}

TWireArray Textos(const std::vector<std::string>& textos) {
  TWireArray array;
  for (const std::string& texto : textos) {
    array.Add(texto);
  }
  return array;
}

std::string Mensagem(const std::string& type, const std::string& texto,
                     const std::vector<std::string>& opcoes) {
  return TWireObject()
      .Add("type", type)
      .Add("message", texto)
      .Add("options", Textos(opcoes))
      .Add("can_cancel", false)
      .Text();
}

// The reply as a JSON object, or nothing for a reply the read dropped.
std::optional<nlohmann::ordered_json> LerResposta(const std::string& text) {
  if (text.empty()) {
    return std::nullopt;
  }
  auto parsed = ParseJsonMessage(text);
  if (!parsed || !parsed->is_object()) {
    return std::nullopt;
  }
  return parsed;
}

// The amount rounded to whole units, at least four digits, in groups of three
// joined by the regional thousands separator ("0.012" for 12,34).
std::string FormatarUnidades(Currency valor) {
  const std::int64_t raw = valor.Raw();
  const std::int64_t units = (raw >= 0 ? raw + 5000 : raw - 5000) / 10000;
  std::string digits = std::to_string(units < 0 ? -units : units);
  while (digits.size() < 4) {
    digits.insert(0, "0");
  }
  const char separator = platform::Current().Regional().thousandsSeparator;
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), 1, separator);
  }
  return (units < 0 ? "-" : "") + digits;
}

}  // namespace

bool TDmSitef::ConfirmarCancelamento() {
  int resposta = mrNone;
  SendClientMessage(
      Mensagem("question", "Deseja realmente cancelar esta operação?", {"Sim", "Não"}));
  WaitClientResponse(resposta);
  if (resposta == mrNo || resposta == mrOk) {
    fCancelado = false;
    return false;
  }
  return true;
}

void TDmSitef::VornCliSiTefExibeMenu(const std::string& Titulo,
                                     const std::vector<std::string>& Opcoes, int& ItemSelecionado,
                                     bool& VoltarMenu) {
  const std::string menu = TWireObject()
                               .Add("type", "menu")
                               .Add("title", Titulo)
                               .Add("options", Textos(Opcoes))
                               .Add("can_cancel", false)
                               .Add("back_menu", false)
                               .Text();
  for (;;) {
    SendClientMessage(menu);
    const TRespostaPrompt resultado = WaitClientMenuResponse(Opcoes, ItemSelecionado, VoltarMenu);
    if (resultado == TRespostaPrompt::cancelamentoRetirado && !VoltarMenu) {
      // The client withdrew the cancellation: the same menu is asked again.
      ItemSelecionado = -1;
      continue;
    }
    if (resultado == TRespostaPrompt::cancelamentoMantido) {
      // No option and no going back: the library function is aborted.
      ItemSelecionado = -1;
      VoltarMenu = false;
    }
    return;
  }
}

TDmSitef::TRespostaPrompt TDmSitef::WaitClientMenuResponse(const std::vector<std::string>& Opcoes,
                                                           int& ItemSelecionado, bool& VoltarMenu) {
  if (const auto reply = LerResposta(GetClientResponse());
      reply && GetValue(*reply, "type") == "menu") {
    const std::string response = Trim(GetValue(*reply, "response"));
    if (!response.empty()) {
      ItemSelecionado = -1;
      for (std::size_t i = 0; i < Opcoes.size(); ++i) {
        if (SameText(Opcoes[i], response)) {
          ItemSelecionado = static_cast<int>(i);
          break;
        }
      }
    } else {
      if (GetValue(*reply, "back_menu") == "true") {
        VoltarMenu = true;
      }
      fCancelado = true;
    }
  }
  if (!fCancelado) {
    return TRespostaPrompt::respondido;
  }
  return ConfirmarCancelamento() ? TRespostaPrompt::cancelamentoMantido
                                 : TRespostaPrompt::cancelamentoRetirado;
}

void TDmSitef::VornCliSiTefObtemCampo(const std::string& Titulo, int TamanhoMinimo,
                                      int TamanhoMaximo, int TipoCampo,
                                      TVornCliSiTefCliSiTefOperacaoCampo Operacao,
                                      AnsiString& Resposta, bool& Digitado, bool& VoltarMenu) {
  const std::string campo = TWireObject()
                                .Add("type", "collect")
                                .Add("title", Titulo)
                                .Add("minimum_size", TamanhoMinimo)
                                .Add("maximum_size", TamanhoMaximo)
                                .Add("field_type", TipoCampo)
                                .Add("field_operation", NomeOperacaoCampo(Operacao))
                                .Add("can_cancel", false)
                                .Add("back_menu", VoltarMenu)
                                .Add("typed", Digitado)
                                .Text();
  for (;;) {
    SendClientMessage(campo);
    const TRespostaPrompt resultado = WaitClientCollectResponse(Resposta, Digitado, VoltarMenu);
    if (resultado == TRespostaPrompt::cancelamentoRetirado) {
      // The client withdrew the cancellation: the same field is asked again.
      continue;
    }
    if (resultado == TRespostaPrompt::cancelamentoMantido) {
      // The cancellation stands: the library function is aborted instead of
      // receiving an empty answer.
      Digitado = false;
      VoltarMenu = false;
    }
    return;
  }
}

TDmSitef::TRespostaPrompt TDmSitef::WaitClientCollectResponse(AnsiString& Resposta, bool&,
                                                              bool& VoltarMenu) {
  if (const auto reply = LerResposta(GetClientResponse());
      reply && GetValue(*reply, "type") == "collect") {
    if (GetValue(*reply, "typed") == "true") {
      Resposta = VornAnsiStr(GetValue(*reply, "response"));
    } else if (GetValue(*reply, "back_menu") == "true") {
      VoltarMenu = true;
    } else {
      fCancelado = true;
    }
  }
  if (!fCancelado) {
    return TRespostaPrompt::respondido;
  }
  return ConfirmarCancelamento() ? TRespostaPrompt::cancelamentoMantido
                                 : TRespostaPrompt::cancelamentoRetirado;
}

void TDmSitef::WaitClientResponse(int& pModalResult) {
  const auto reply = LerResposta(GetClientResponse());
  if (!reply) {
    return;
  }
  const std::string type = GetValue(*reply, "type");
  if (type == "confirmation") {
    pModalResult = mrNone;
  } else if (type == "question") {
    const std::string response = GetValue(*reply, "response");
    if (response == "Sim") {
      pModalResult = mrYes;
    } else if (response == "Não") {
      pModalResult = mrNo;
    } else if (response == "Reimprimir") {
      pModalResult = mrOk;
    }
  }
}

void TDmSitef::VornCliSiTefExibeMsg(TVornCliSiTefOperacaoMensagem Operacao,
                                    const std::string& Mensagem_, int& AModalResult) {
  try {
    ControlDisplayMessage(Mensagem_, Operacao, AModalResult);
  } catch (const EConnectionClosed&) {
    throw;
  } catch (const std::exception& error) {
    SendClientMessage(GetJsonError(error.what()));
  }
}

void TDmSitef::ControlDisplayMessage(const std::string& pMessage,
                                     TVornCliSiTefOperacaoMensagem pOperation, int& pModalResult) {
  switch (pOperation) {
    case opmOK:
      SendClientMessage(Mensagem("confirmation", pMessage, {"Ok"}));
      WaitClientResponse(pModalResult);
      if (pMessage == "Sem conexao SiTef") {
        fCancelado = true;
        fProcessando = false;
      }
      break;
    case opmYesNo:
      SendClientMessage(Mensagem("question", pMessage, {"Sim", "Não"}));
      WaitClientResponse(pModalResult);
      break;
    case opmYesNoCustom:
      SendClientMessage(Mensagem("question", pMessage, {"Sim", "Não", "Reimprimir"}));
      WaitClientResponse(pModalResult);
      break;
    case opmExibirMsgOperador:
    case opmExibirMsgCliente:
    case opmQRCode:
      SendClientMessage(Mensagem("message", pMessage, {}));
      break;
    case opmRemoverMsgOperador:
      SendClientMessage(Mensagem("message", "", {}));
      break;
    case opmRemoverMsgCliente:
      break;
    case opmDestaqueVia:
      ContagemDestaqueVia(pMessage);
      break;
    case opmExcept:
      fCancelado = true;
      SendClientMessage(Mensagem("confirmation", pMessage, {}));
      WaitClientResponse(pModalResult);
      break;
  }
}

void TDmSitef::ContagemDestaqueVia(const std::string& pMessage) {
  using Clock = std::chrono::steady_clock;
  fUltimaMsg = pMessage;
  try {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(3000);
    do {
      platform::Current().SleepMs(500);
      const auto left = std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now());
      SendClientMessage(Mensagem(
          "message", pMessage + " " + std::to_string(std::max<long long>(0, left.count())), {}));
    } while (Clock::now() <= deadline);
  } catch (const EConnectionClosed&) {
    SendClientMessage(Mensagem("message", fUltimaMsg, {}));
    throw;
  } catch (const std::exception&) {
  }
  SendClientMessage(Mensagem("message", fUltimaMsg, {}));
}

void TDmSitef::VornCliSiTefExibeQRCode(const std::string& QRCode) {
  SendClientMessage(TWireObject().Add("type", "qrcode").Add("data", QRCode).Text());
}

void TDmSitef::VornCliSiTefAguardaResp(const std::string& Arquivo, int, bool& Interromper) {
  if (VornCliSiTef.GPAtual() == gpCliSiTef && Arquivo == "23" && !fPodeCancelar &&
      fUltimaMsg != "Retire o cartao da leitora") {
    SitefCancelChange(true);
  }
  if (!FProcessandoMsg && FIdContext != nullptr &&
      FIdContext->HasInputPending(std::chrono::milliseconds(100))) {
    GetClientCancelRespose();
  }
  if (fCancelado) {
    Interromper = true;
    fCancelado = false;
    fProcessando = false;
  }
}

void TDmSitef::VornCliSiTefMudaEstadoResp(TVornCliSiTefRespEstado EstadoResp) {
  const bool aguardando = EstadoResp == respAguardandoResposta;
  if (aguardando != fPodeCancelar) {
    SitefCancelChange(aguardando);
  }
}

void TDmSitef::VornCliSiTefMudaEstadoReq(TVornCliSiTefReqEstado) {
  fCancelado = false;
}

void TDmSitef::VornCliSiTefInfoECF(TVornCliSiTefInfoECF Operacao, std::string& RetornoECF) {
  const bool semGP = !VornCliSiTef.TemTEF() || !VornCliSiTef.TEF().Inicializado();
  if (semGP && Operacao == ineEstadoECF &&
      (VornCliSiTef.GPAtual() == gpCliSiTef || VornCliSiTef.GPAtual() == gpVeSPague)) {
    RetornoECF = "R";
    return;
  }
  switch (Operacao) {
    case ineEstadoECF:
      RetornoECF = "L";
      break;
    case ineSubTotal:
    case ineTotalAPagar:
      RetornoECF = FormatarUnidades(fTransacao.fValorTransacao);
      break;
  }
}
