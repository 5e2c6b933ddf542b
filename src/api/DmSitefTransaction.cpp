#include "api/DmSitef.h"
#include "api/JsonMessage.h"
#include "api/RequestConversions.h"
#include "api/WireJson.h"
#include "platform/Platform.h"
#include "tef/VornCliSiTefTef.h"
#include "util/Exception.h"
#include "util/ServiceLog.h"
#include "util/VornString.h"

namespace {

const char kFalhaTransacao[] = "Transação TEF não realizada.";

// The values one "/transaction" request carries, read before anything of the
// module changes.
struct TPedido {
  std::string type;
  std::int32_t operacao = 0;
  std::string payerName;
  std::string nsu;
  TDateTime data = 0;
  std::optional<std::int32_t> saleId;
  Currency valor;
  std::int32_t parcelas = 0;
};

std::optional<std::string> OptionalValue(const nlohmann::ordered_json& object,
                                         const std::string& name) {
  if (!object.contains(name)) {
    return std::nullopt;
  }
  return GetValue(object, name);
}

// Reads the request; answers and returns nothing when a member is blank or
// not a date. Other errors (missing members, conversions) raise.
std::optional<TPedido> LerPedido(const nlohmann::ordered_json& message,
                                 ClientConnection& connection) {
  TPedido pedido;
  pedido.type = GetValue(message, "type");
  if (!VornStrIn(pedido.type, {"transaction", "cancellation", "reprint"})) {
    connection.SendClientMessage(TDmSitef::GetJsonError("O campo type diferente de transaction"));
    return std::nullopt;
  }
  pedido.operacao = StrToInt32(GetValue(message, "operation"));
  if (pedido.type == "transaction") {
    pedido.payerName = GetValue(message, "payer_name");
  }
  if (pedido.type == "cancellation") {
    pedido.nsu = GetValue(message, "cancellation_nsu");
    if (Trim(pedido.nsu).empty()) {
      connection.SendClientMessage(
          TDmSitef::GetJsonError("O campo \"cancellation_nsu\" não foi preenchido."));
      return std::nullopt;
    }
    const std::string data = GetValue(message, "transaction_date");
    if (Trim(data).empty()) {
      connection.SendClientMessage(
          TDmSitef::GetJsonError("O campo \"transaction_date\" não foi preenchido."));
      return std::nullopt;
    }
    try {
      pedido.data = StrToDateTimeRegional(TDmSitef::ConverterData(data));
    } catch (const std::exception&) {
      connection.SendClientMessage(
          TDmSitef::GetJsonError("O campo \"transaction_date\" não foi preenchido corretamente."));
      return std::nullopt;
    }
  }
  if (pedido.type != "reprint") {
    if (const auto sale = OptionalValue(message, "sale_id")) {
      pedido.saleId = StrToInt32(*sale);
    }
    if (const auto value = OptionalValue(message, "transaction_value")) {
      pedido.valor = StrToCurrRegional(*value);
    }
    if (const auto parcelas = OptionalValue(message, "number_of_installments")) {
      pedido.parcelas = StrToInt32(*parcelas);
    }
  }
  return pedido;
}

std::string DoisDigitos(std::int32_t value) {
  const std::string digits = std::to_string(value < 0 ? -value : value);
  return (value < 0 ? "-" : "") + (digits.size() < 2 ? "0" + digits : digits);
}

}  // namespace

TDmSitef::TUsoTEF::TUsoTEF(TDmSitef& owner, ClientConnection& connection) : fOwner(owner) {
  fOwner.FIdContext = &connection;
  try {
    fOwner.AplicarConfiguracaoCliSiTef();
  } catch (...) {
    fOwner.FIdContext = nullptr;
    fOwner.fAcesso.Sair();
    throw;
  }
}

TDmSitef::TUsoTEF::~TUsoTEF() {
  fOwner.FIdContext = nullptr;
  fOwner.fAcesso.Sair();
}

void TDmSitef::SendClientMessage(const std::string& pMsg) {
  if (FIdContext != nullptr) {
    FIdContext->SendClientMessage(pMsg);
  }
}

std::string TDmSitef::ConverterData(const std::string& text) {
  std::vector<std::string> pieces(1);
  for (char c : text) {
    if (c == ' ') {
      pieces.emplace_back();
    } else {
      pieces.back() += c;
    }
  }
  const std::string& date = pieces[0];
  if (date.size() != 10) {
    return "Formato de data inválido";
  }
  std::string result = date.substr(8, 2) + "/" + date.substr(5, 2) + "/" + date.substr(0, 4);
  if (pieces.size() > 1) {
    const std::string& time = pieces[1];
    if (time.size() < 8) {
      result += " Formato de hora inválido";
    } else {
      result += " " + time.substr(0, 2) + ":" + time.substr(3, 2) + ":" + time.substr(6, 2);
    }
  }
  return result;
}

void TDmSitef::StartTransaction(const nlohmann::ordered_json& pMessage,
                                ClientConnection& pIdContext, const TSession&) {
  std::optional<TUsoTEF> uso;
  std::vector<std::string> finais;
  // "/transaction/status" answers "running" for the sale of the transaction
  // this request started until its end is in the journal.
  struct TEmCurso {
    std::atomic<std::uint64_t>& emCurso;
    std::uint64_t marca = 0;
    std::int32_t saleId = 0;
    // Its connection closed before any result was sent.
    bool cortada = false;
    void Encerrar() {
      std::uint64_t propria = marca;
      if (marca != 0) {
        emCurso.compare_exchange_strong(propria, 0);
      }
    }
    ~TEmCurso() { Encerrar(); }
  } emCurso{fEmCurso};
  try {
    const std::optional<TPedido> pedido = LerPedido(pMessage, pIdContext);
    if (!pedido) {
      return;
    }
    // One TEF operation at a time: a request while a payment is processing
    // is dropped; an initialization or query of another connection, or the
    // undo of a closed one, is waited for.
    if (!fAcesso.Entrar(TAcessoTEF::TDesistencia::processando)) {
      GravaLog("Transação recebida durante outra operação TEF; descartada.");
      return;
    }
    uso.emplace(*this, pIdContext);
    TTransacao transacao;
    {
      std::lock_guard guard(fConfigLock);
      transacao.fVenda_Id = fVenda_Id;
      transacao.fEmpresa_Id = fEmpresa_Id;
      transacao.fCallbackURL = fCallbackURL;
    }
    transacao.fOperacao = pedido->operacao;
    transacao.fCancelamento = pedido->type == "cancellation";
    if (pedido->type != "reprint") {
      transacao.fPayerName = pedido->payerName;
      transacao.fVenda_Id = pedido->saleId.value_or(transacao.fVenda_Id);
      transacao.fValorTransacao = pedido->valor;
      transacao.fQtdParcelas = pedido->parcelas;
    }
    fTransacao = transacao;
    emCurso.saleId = transacao.fVenda_Id;
    emCurso.marca = (static_cast<std::uint64_t>(++fSequenciaEmCurso) << 32) |
                    static_cast<std::uint32_t>(transacao.fVenda_Id);
    fEmCurso = emCurso.marca;

    try {
      if (!VornCliSiTef.Inicializado(gpCliSiTef)) {
        InicializarCliSiTef();
      }
      if (!VornCliSiTef.Inicializado(gpCliSiTef)) {
        SendClientMessage(GetJsonError("SiTef não inicializado."));
        return;
      }
      fConcluido = false;
      fPodeCancelar = false;
      fCancelado = false;
      // A reply held for an earlier transaction answers none of this one.
      fLastContentReceived.clear();
      fAcesso.SetProcessando(true);
      TVornCliSiTefCliSiTef& cliSiTef = VornCliSiTef.TEFCliSiTef();
      cliSiTef.SetOperacaoCRT(transacao.fOperacao);
      cliSiTef.FCancelandoTransacaoTEF = false;
      const std::string documento = std::to_string(transacao.fVenda_Id);
      const std::string parcelas = DoisDigitos(transacao.fQtdParcelas);
      fGuardarResultado = true;
      if (pedido->type == "transaction") {
        VornCliSiTef.RespostasPendentes().fValorTotalAPagar = transacao.fValorTransacao;
        VornCliSiTef.RespostasPendentes().fValorDinheiro = transacao.fValorTransacao;
        VornCliSiTef.CRT(transacao.fValorTransacao.ToDouble(), "02", documento, 0, "", "", "",
                         parcelas);
      } else if (pedido->type == "cancellation") {
        cliSiTef.FCancelandoTransacaoNSU = pedido->nsu;
        cliSiTef.FCancelandoTransacaoDATA = pedido->data;
        cliSiTef.FCancelandoTransacaoVALOR = transacao.fValorTransacao;
        cliSiTef.FCancelandoTransacaoTEF = true;
        VornCliSiTef.CRT(transacao.fValorTransacao.ToDouble(), "02", documento, 0, "", "", "",
                         parcelas);
      } else {
        VornCliSiTef.CRT(1.0, std::to_string(transacao.fOperacao), "0", 0, "", "", "", "0");
      }
      TomarResultado(finais);
      // A confirmed payment has its result already; anything else ends with
      // the failure result, exactly once.
      if (!fConcluido) {
        if (VornCliSiTef.Inicializado(gpCliSiTef)) {
          VornCliSiTef.CancelarTransacoesPendentes();
        }
        const std::string status = fCancelado ? "canceled" : "unauthorized";
        finais.push_back(TTransactionResult{status, kFalhaTransacao, std::nullopt}.Text());
        RegistrarFimSemAprovacao(transacao.fVenda_Id, status, finais.back());
      }
    } catch (const EConnectionClosed&) {
      TomarResultado(finais);
      emCurso.cortada = !fConcluido;
      throw;
    } catch (const std::exception& error) {
      TomarResultado(finais);
      finais.push_back(GetJsonError(error.what()));
    }
    // The payment ends when it releases the component, and the client learns
    // its end only then, so a request it sends right away is not dropped as
    // busy.
    emCurso.Encerrar();
    uso.reset();
    for (const std::string& text : finais) {
      pIdContext.SendClientMessage(text);
    }
  } catch (const EConnectionClosed&) {
    uso.reset();
    if (emCurso.cortada) {
      // Nothing was sent: the operation ended with its connection. Written
      // once the component is free again.
      RegistrarFimSemAprovacao(emCurso.saleId, "canceled", std::nullopt);
    }
    throw;
  } catch (const std::exception& error) {
    pIdContext.SendClientMessage(GetJsonError(error.what()));
  }
}

void TDmSitef::TomarResultado(std::vector<std::string>& finais) {
  fGuardarResultado = false;
  if (fResultado) {
    finais.push_back(*fResultado);
    fResultado.reset();
  }
}

void TDmSitef::CancelTransactionInProgress(const nlohmann::ordered_json& pMessage) {
  if (GetValue(pMessage, "type") != "cancellation") {
    return;
  }
  GravaLog("Entrou no cancelamento.");
  if (fPodeCancelar) {
    fCancelado = true;
    GravaLog("Setou no cancelamento = true");
  } else {
    GravaLog("Não pode cancelar");
  }
}

void TDmSitef::GetClientCancelRespose() {
  if (fCancelado || FIdContext == nullptr) {
    return;
  }
  struct Flags {
    TDmSitef& owner;
    explicit Flags(TDmSitef& o) : owner(o) {
      owner.FProcessandoMsg = true;
      owner.FAguardandoRespCanc = true;
    }
    ~Flags() {
      owner.FProcessandoMsg = false;
      owner.FAguardandoRespCanc = false;
    }
  } flags(*this);
  fLastContentReceived.clear();
  const std::string text = FIdContext->DecodeWebSocketFrame();
  if (text.empty()) {
    return;
  }
  // An object without "type" raises its missing-member error, which ends the
  // transaction; any other text is held for the next reply read.
  const auto message = ParseJsonMessage(text);
  const bool cancellation =
      message && message->is_object() && GetValue(*message, "type") == "cancellation";
  if (cancellation) {
    if (fPodeCancelar) {
      fCancelado = true;
    }
    return;
  }
  fLastContentReceived = text;
}

std::string TDmSitef::GetClientResponse() {
  while (FAguardandoRespCanc) {
    platform::Current().SleepMs(1);
  }
  std::string text;
  if (!fLastContentReceived.empty()) {
    // The early read held this message for the prompt; taking it consumes it.
    text.swap(fLastContentReceived);
  } else {
    while (text.empty() && FIdContext != nullptr) {
      text = FIdContext->DecodeWebSocketFrame();
    }
  }
  const auto message = ParseJsonMessage(text);
  if (!message) {
    return "";
  }
  if (!message->is_object()) {
    throw Exception("A resposta recebida não é um objeto JSON.");
  }
  if (!message->contains("route")) {
    SendClientMessage(GetJsonError("Campo route nao encontrado."));
    return "";
  }
  const std::string route = GetValue(*message, "route");
  if (route == "/transaction") {
    return WireJson(*message);
  }
  if (route == "/transaction/cancel") {
    CancelTransactionInProgress(*message);
  }
  return "";
}

void TDmSitef::SitefCancelChange(bool value) {
  fPodeCancelar = value;
  SendClientMessage(TWireObject().Add("type", "can_cancel").Add("can_cancel", value).Text());
}

void TDmSitef::TCPServerDisconnect(ClientConnection& pIdContext) {
  // While another connection's payment is processing, what is pending in the
  // component is that payment's, which confirms or undoes it itself: the
  // clean-up gives up at once instead of holding this connection's thread,
  // and with it the connection's place in the server, until that payment's
  // client answers. An initialization or query in front is waited for.
  if (!fAcesso.Entrar(TAcessoTEF::TDesistencia::processando)) {
    return;
  }
  TUsoTEF uso(*this, pIdContext);
  if (VornCliSiTef.TemTEF() && VornCliSiTef.Inicializado(gpCliSiTef)) {
    VornCliSiTef.CancelarTransacoesPendentes();
  }
}

void TDmSitef::InicializarCliSiTef() {
  // Payments the start-up confirmation recovers belong to no request: their
  // results carry the session's sale values and nothing of a request.
  TTransacao sessao;
  {
    std::lock_guard guard(fConfigLock);
    sessao.fVenda_Id = fVenda_Id;
    sessao.fEmpresa_Id = fEmpresa_Id;
    sessao.fCallbackURL = fCallbackURL;
  }
  const TTransacao anterior = fTransacao;
  fTransacao = sessao;
  try {
    VornCliSiTef.Inicializar(gpCliSiTef);
  } catch (...) {
    fTransacao = anterior;
    fAcesso.SetInicializado(VornCliSiTef.TEFCliSiTef().Inicializado());
    throw;
  }
  fTransacao = anterior;
  fAcesso.SetInicializado(VornCliSiTef.TEFCliSiTef().Inicializado());
}

void TDmSitef::AplicarConfiguracaoCliSiTef() {
  const TConfiguracaoCliSiTef config = CliSiTef();
  TVornCliSiTefCliSiTef& driver = VornCliSiTef.TEFCliSiTef();
  driver.FTEFModoServico = config.FTEFModoServico;
  driver.fPathDLL = config.fPathDLL;
  driver.fNomeDLL = config.fNomeDLL;
  driver.SetEnderecoIP(config.fEnderecoIP);
  driver.SetCodigoLoja(config.fCodigoLoja);
  driver.SetNumeroTerminal(config.fNumeroTerminal);
  driver.SetParametrosAdicionais(config.fParametrosAdicionais);
  driver.SetOperador(config.fOperador);
  driver.SetRestricoes(RestricoesCliSiTef(fConfig));
}
