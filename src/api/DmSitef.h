#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "api/AcessoTEF.h"
#include "api/ClientConnection.h"
#include "api/ConfiguracaoCliSiTef.h"
#include "api/Rest.h"
#include "api/Sessions.h"
#include "api/TransactionResult.h"
#include "api/outbox/Outbox.h"
#include "api/outbox/OutboxSender.h"
#include "tef/VornCliSiTef.h"
#include "util/DateTime.h"
#include "util/IniConfig.h"

// The API module: turns each client message into an action and answers on the
// connection that sent it. One instance serves every connection; the service
// host creates it with the configuration reader it owns and installs
// Handlers() on its server.
class TDmSitef {
 public:
  // The key shared with the sale back office, unless [security] jwt_secret
  // names another.
  static constexpr char kJWTSecretKey[] = "Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U";
  static constexpr int kSessionSeconds = 1800;

  // DataModuleCreate: an empty session list and today's TEF trace path.
  explicit TDmSitef(const TIniConfig& config);
  // DataModuleDestroy.
  ~TDmSitef();
  TDmSitef(const TDmSitef&) = delete;
  TDmSitef& operator=(const TDmSitef&) = delete;

  // The server's hooks: every message goes to RouteTargeting; the delivery to
  // the sale API runs while the server does.
  ClientHandlers Handlers();

  // Dispatches one client message (see DmSitefDispatch.cpp). Text that is not
  // JSON is ignored; JSON that is not an object raises, which ends the
  // connection; EConnectionClosed passes through.
  void RouteTargeting(const std::string& pContent, ClientConnection& pIdContext);

  // Route handlers; each receives the message the dispatcher parsed (a JSON
  // object) and answers on the connection itself.
  void CreateSession(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext);
  // True with the session, or false after answering the reason.
  bool ValidateSession(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                       TSession& pSession);
  void FinishSession(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                     const TSession& pSession);
  void CheckFileVersion(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext);
  // "/initialize" and "/pinpad/status" (DmSitefTerminal.cpp).
  void InitializeSiTef(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                       const TSession& pSession);
  void CheckPinpad(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                   const TSession& pSession);
  // Takes the document ("data", megabytes long) out of the message instead of
  // copying it.
  void Print(nlohmann::ordered_json& pMessage, ClientConnection& pIdContext);
  void PrintData(const std::string& FileType, std::string Data, ClientConnection& pIdContext);
  // "/transaction/status" (DmSitefOutbox.cpp): how the last operation of a
  // sale ended, or that one is running now.
  void TransactionStatus(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext);

  // {"type":"error","message":text}.
  static std::string GetJsonError(const std::string& text);
  // A new random identifier, 36 upper-case characters; empty when the
  // platform cannot make one.
  static std::string GenerateUUID();
  // A local moment as "yyyy-mm-ddThh:nn:ss.zzzZ" in UTC.
  static std::string DateTimeToUTCISO8601(TDateTime local);
  // "major.minor.release.build", or "Versão não encontrada".
  static std::string GetFileVersion(const std::string& file);
  // An HS384 token over the claims (JSON object text; none: {}).
  static std::string GenerateJWT(const std::string& SecretKey,
                                 const std::optional<std::string>& Claims = std::nullopt);

  // Transaction request and cancellation (DmSitefTransaction.cpp).
  void StartTransaction(const nlohmann::ordered_json& pMessage, ClientConnection& pIdContext,
                        const TSession& pSession);
  // "yyyy-mm-dd[ hh:nn:ss]" as "dd/mm/yyyy[ hh:nn:ss]"; texts of another
  // shape give texts that are no dates.
  static std::string ConverterData(const std::string& text);
  void CancelTransactionInProgress(const nlohmann::ordered_json& pMessage);
  void GetClientCancelRespose();
  std::string GetClientResponse();
  void SitefCancelChange(bool value);
  // A connection ended: the component's pending transactions are undone.
  void TCPServerDisconnect(ClientConnection& pIdContext);

  // Prompt relay (DmSitefPrompts.cpp): the component's events.
  void VornCliSiTefExibeMenu(const std::string& Titulo, const std::vector<std::string>& Opcoes,
                             int& ItemSelecionado, bool& VoltarMenu);
  void VornCliSiTefObtemCampo(const std::string& Titulo, int TamanhoMinimo, int TamanhoMaximo,
                              int TipoCampo, TVornCliSiTefCliSiTefOperacaoCampo Operacao,
                              AnsiString& Resposta, bool& Digitado, bool& VoltarMenu);
  void VornCliSiTefExibeMsg(TVornCliSiTefOperacaoMensagem Operacao, const std::string& Mensagem,
                            int& AModalResult);
  void VornCliSiTefExibeQRCode(const std::string& QRCode);
  void VornCliSiTefAguardaResp(const std::string& Arquivo, int SegundosTimeOut, bool& Interromper);
  void VornCliSiTefMudaEstadoResp(TVornCliSiTefRespEstado EstadoResp);
  void VornCliSiTefMudaEstadoReq(TVornCliSiTefReqEstado EstadoReq);
  void VornCliSiTefAntesCancelarTransacao(TVornCliSiTefResp& RespostaPendente);
  void VornCliSiTefInfoECF(TVornCliSiTefInfoECF Operacao, std::string& RetornoECF);
  void ControlDisplayMessage(const std::string& pMessage, TVornCliSiTefOperacaoMensagem pOperation,
                             int& pModalResult);
  // How a prompt wait ended.
  enum class TRespostaPrompt { respondido, cancelamentoRetirado, cancelamentoMantido };
  TRespostaPrompt WaitClientMenuResponse(const std::vector<std::string>& Opcoes,
                                         int& ItemSelecionado, bool& VoltarMenu);
  TRespostaPrompt WaitClientCollectResponse(AnsiString& Resposta, bool& Digitado, bool& VoltarMenu);
  void WaitClientResponse(int& pModalResult);
  // Asks "Deseja realmente cancelar esta operação?"; true when the
  // cancellation stands, false when the client withdrew it.
  bool ConfirmarCancelamento();
  // The receipt tear-off countdown: about three seconds of "message"s.
  void ContagemDestaqueVia(const std::string& pMessage);

  // Result, receipts and the sale callback (DmSitefResult.cpp).
  void VornCliSiTefDepoisConfirmarTransacoes(TVornCliSiTefRespostasPendentes& RespostasPendentes);
  // Writes the report of the responses about to be confirmed into the
  // journal, unless one already covers them (DmSitefOutbox.cpp).
  void VornCliSiTefAntesConfirmarTransacoes(TVornCliSiTefRespostasPendentes& RespostasPendentes);
  void VornCliSiTefComandaECFImprimeVia(TVornCliSiTefTipoRelatorio TipoRelatorio, int Via,
                                        const std::vector<std::string>& ImagemComprovante,
                                        int& RetornoECF);
  // The first attempt to post the journal's report; the client's result gets
  // the answer's payment id. The report's new state is written back.
  bool ConfirmTransactionAPI(TTransactionResult& result, TRelato& relato);
  // The callback client's settings: [callback] ca_file and timeout_ms.
  TRestOptions CallbackOptions() const;

  // The shared key in force: [security] jwt_secret, or kJWTSecretKey.
  std::string JWTSecretKey() const;
  // Session lifetime: [security] session_seconds when positive, else 1800.
  int SessionSeconds() const;

  // What the latest session start applied (copies, taken under the lock).
  TConfiguracaoCliSiTef CliSiTef() const;
  std::int32_t Venda_Id() const;
  std::int32_t Empresa_Id() const;
  std::string CallbackURL() const;
  const std::string& ArqLOG() const { return fArqLOG; }
  const TSessionList& SessionList() const { return FSessionList; }
  // How the TEF component names this application to its managers.
  const TVornCliSiTefIdentificacao& Identificacao() { return VornCliSiTef.Identificacao(); }

 private:
  // Wires the component's events to the handlers above (DmSitefEvents.cpp).
  void WireTefEvents();
  // Delivery to the sale API (DmSitefOutbox.cpp). Iniciar reads the journal,
  // settles what a stopped process left written before its confirmation was
  // known, and starts the sender; Parar ends the sender.
  void IniciarEntrega();
  void PararEntrega();
  // The approved result of the responses, as posted and sent.
  TTransactionResult ResultadoAprovado(TVornCliSiTefRespostasPendentes& RespostasPendentes);
  // Records how an operation of the sale that sent no approved result ended:
  // its failure result, or nothing (its connection closed). Never raises.
  void RegistrarFimSemAprovacao(std::int32_t saleId, const std::string& status,
                                const std::optional<std::string>& resultado);
  // Copies what the latest session start set, and the restriction list the
  // configuration file gives now, into the CliSiTef binding.
  void AplicarConfiguracaoCliSiTef();
  // With the component held: initializes the CliSiTef binding, whose
  // start-up confirmation reports recovered payments with the session's sale
  // values, and tells the access gate whether it is initialized now.
  void InicializarCliSiTef();
  // Moves the result a transaction built into the messages sent at its end.
  void TomarResultado(std::vector<std::string>& finais);
  // Sends on the connection of the operation that holds the component.
  void SendClientMessage(const std::string& pMsg);

  // What a running transaction uses, fixed when it starts: another
  // connection's session start or request cannot change it.
  struct TTransacao {
    std::int32_t fVenda_Id = 0;
    std::int32_t fEmpresa_Id = 0;
    std::string fCallbackURL;
    std::string fPayerName;
    Currency fValorTransacao;
    std::int32_t fQtdParcelas = 0;
    std::int32_t fOperacao = 0;
    bool fCancelamento = false;
  };
  // Holds the component for one operation of one connection, once
  // fAcesso.Entrar has let it in: its events talk to that connection, and the
  // binding gets the terminal configuration in force before the operation
  // starts. Leaving lets the next user in.
  class TUsoTEF {
   public:
    TUsoTEF(TDmSitef& owner, ClientConnection& connection);
    ~TUsoTEF();
    TUsoTEF(const TUsoTEF&) = delete;
    TUsoTEF& operator=(const TUsoTEF&) = delete;

   private:
    TDmSitef& fOwner;
  };

  const TIniConfig& fConfig;
  // The TEF trace path; handed to the TEF component once it exists.
  std::string fArqLOG;
  // Guards the terminal configuration and the sale fields below, which any
  // connection's session start may replace.
  mutable std::mutex fConfigLock;
  TConfiguracaoCliSiTef fCliSiTef;
  std::int32_t fVenda_Id = 0;
  std::int32_t fEmpresa_Id = 0;
  std::string fCallbackURL;
  TSessionList FSessionList;

  TVornCliSiTef VornCliSiTef;
  // One operation in the component at a time: transactions, queries and the
  // disconnect handling all enter through it. Its busy flag (a payment
  // processing) is set from the start of a payment's library work until the
  // payment releases the component.
  TAcessoTEF fAcesso;
  // Set while the component is held: the connection its events talk to.
  ClientConnection* FIdContext = nullptr;
  TTransacao fTransacao;
  std::string fUltimaMsg;
  std::string fLastContentReceived;
  std::atomic<bool> fPodeCancelar{false};
  std::atomic<bool> fCancelado{false};
  std::atomic<bool> fConcluido{false};
  std::atomic<bool> FAguardandoRespCanc{false};
  std::atomic<bool> FProcessandoMsg{false};
  // While a transaction runs, its approved result is kept here and sent when
  // the component is free again.
  bool fGuardarResultado = false;
  std::optional<std::string> fResultado;
  // The transaction running now, for "/transaction/status" on other
  // connections: a sequence number of the transaction (high 32 bits) and its
  // sale id (low 32 bits); 0 when none runs. A transaction clears it only
  // while it still holds its own mark, so a later one's is never lost.
  std::atomic<std::uint64_t> fEmCurso{0};
  std::uint32_t fSequenciaEmCurso = 0;
  // The journal of results for the sale API, beside the executable, and its
  // sender.
  TOutbox fOutbox;
  TOutboxSender fEnvio;
};

// The base64 text with every LF, CR and blank removed, and everything up to
// and including a first comma (a data-URL header) dropped; done in the text's
// own memory.
std::string LimparBase64(std::string text);
// Decodes the base64 text into the file. On failure sends the plain text
// "Erro na conversão do arquivo: " + reason on the connection and returns false.
bool ConverterBase64ParaPDF(std::string text, const std::string& path,
                            ClientConnection& connection);
// Ends every running printing program (SumatraPDF.exe).
void KillSumatraProcess();

// The current moment in UTC, through the platform's clock and time zone.
TDateTime NowUTC();
