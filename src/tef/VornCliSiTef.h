#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tef/VornCliSiTefClass.h"
#include "tef/VornCliSiTefEnums.h"
#include "tef/VornCliSiTefEventos.h"
#include "tef/VornCliSiTefIdentificacao.h"
#include "tef/VornCliSiTefReq.h"
#include "tef/VornCliSiTefResp.h"
#include "tef/VornCliSiTefRespostasPendentes.h"
#include "tef/VornCliSiTefTypes.h"
#include "tef/VornComponente.h"
#include "util/AnsiString.h"
#include "util/Currency.h"
#include "util/DateTime.h"

class TVornCliSiTefCliSiTef;

// One payment group of the pending list: a payment-method index of the fiscal
// printer, a payment order and the total of the responses that share both.
struct TVornCliSiTefGrupoRespostasPendentes {
  std::string IndiceFPG_ECF;
  int OrdemPagamento = 0;
  Currency Total;
};
using TVornCliSiTefArrayGrupoRespostasPendentes = std::vector<TVornCliSiTefGrupoRespostasPendentes>;

// The TEF component: owns the manager bindings, the responses of the current
// sale and the host's identification, and asks its host for everything it
// cannot do itself (messages, fiscal printer, receipts, prompts) through the
// OnXxx callbacks. Not shared between threads: the host serialises all calls.
class TVornCliSiTef : public TComponent {
 public:
  explicit TVornCliSiTef(TComponent* owner = nullptr);
  ~TVornCliSiTef() override;

  // Configuration.
  bool Televenda = false;
  std::string IDAmigo;
  std::string CNPJLoja;
  std::string CNPJVornSoft;
  bool ExibirMsgAutenticacao = true;
  bool CHQEmGerencial = false;
  bool AutoAtivarGP = true;
  double TrocoMaximo = 0;

  std::string About() const { return "VornCliSiTef Ver: 4.3.4"; }
  TVornCliSiTefIdentificacao& Identificacao() { return *fIdentificacao; }
  const std::string& ImpressoraCupom() const { return fImpressoraCupom; }
  void SetImpressoraCupom(const std::string& value) { fImpressoraCupom = value; }
  bool MultiplosCartoes() const { return fMultiplosCartoes; }
  void SetMultiplosCartoes(bool value);
  int NumeroMaximoCartoes() const { return fNumeroMaximoCartoes; }
  void SetNumeroMaximoCartoes(int value) { fNumeroMaximoCartoes = value > 0 ? value : 0; }
  bool AutoEfetuarPagamento() const { return fAutoEfetuarPagamento; }
  void SetAutoEfetuarPagamento(bool value);
  bool AutoFinalizarCupom() const { return fAutoFinalizarCupom; }
  void SetAutoFinalizarCupom(bool value);
  int NumVias() const { return fNumVias; }
  void SetNumVias(int value);
  int EsperaSTS() const { return fEsperaSTS; }
  void SetEsperaSTS(int value);
  int EsperaSleep() const { return fEsperaSleep; }
  void SetEsperaSleep(int value);
  // While unset, reading it fixes it to the executable's folder + "TEF".
  const std::string& PathBackup();
  void SetPathBackup(const std::string& value);
  const std::string& ArqLOG() const { return fArqLOG; }
  void SetArqLOG(const std::string& value);
  TVornCliSiTefCliSiTef& TEFCliSiTef() const { return *fTEFCliSiTef; }

  // Run-time state.
  TVornCliSiTefTipo GPAtual() const { return fGPAtual; }
  void SetGPAtual(TVornCliSiTefTipo value);
  // The current binding; raises EVornCliSiTefErro when no kind with a
  // binding has been selected yet.
  TVornCliSiTefClass& TEF() const;
  bool TemTEF() const { return fTEF != nullptr; }
  TVornCliSiTefClassList& Bindings() { return fBindings; }
  TVornCliSiTefRespostasPendentes& RespostasPendentes() { return *fRespostasPendentes; }
  TVornCliSiTefReqEstado EstadoReq() const { return fEstadoReq; }
  TVornCliSiTefRespEstado EstadoResp() const { return fEstadoResp; }
  void SetEstadoReq(TVornCliSiTefReqEstado value);
  void SetEstadoResp(TVornCliSiTefRespEstado value);
  bool TecladoBloqueado() const { return false; }
  bool TransacaoConfirmada = false;
  TVornCliSiTefReq& Req() const { return TEF().Req(); }
  TVornCliSiTefResp& Resp() const { return TEF().Resp(); }
  bool AguardandoResposta() const { return TEF().AguardandoResposta(); }
  // The current binding's exchange files, empty for a binding that does not
  // exchange files.
  std::string ArqReq() const;
  std::string ArqResp() const;
  std::string ArqSTS() const;
  std::string ArqTemp() const;
  std::string GPExeName() const;
  bool FornecerTaxaDeEmbarque = false;
  bool FornecerTaxaDeServico = false;
  bool VisaElectonSaque = false;
  std::string fCodigoRede;
  std::string fCodigoBandeira;
  std::string fCodigoNSU;
  std::string fCodigoAutorizacao;
  std::string fCodigoNSUHost;
  std::string fIdDaCarteiraDigital;
  std::string fNomeCarteiraDigital;
  std::string fBandeiraCarteiraDigital;
  std::string fValorAprovadoCarteiraDigital;
  std::string fCPFCliente;
  std::string FCNPJCliente;
  std::string fTelefoneCliente;
  std::string fNewCodigoAutorizacao;
  const std::string& CodigoRede() const { return fCodigoRede; }
  const std::string& CodigoBandeira() const { return fCodigoBandeira; }
  const std::string& CodigoNsu() const { return fCodigoNSU; }
  const std::string& CodigoAutorizacao() const { return fCodigoAutorizacao; }

  // Events.
  TVornCliSiTefAguardaRespEvent OnAguardaResp;
  TVornCliSiTefExibeMsg OnExibeMsg;
  TVornCliSiTefBloqueiaMouseTeclado OnBloqueiaMouseTeclado;
  TVornCliSiTefExecutaAcao OnRestauraFocoAplicacao;
  TVornCliSiTefExecutaAcao OnLimpaTeclado;
  TVornCliSiTefComandaECF OnComandaECF;
  TVornCliSiTefComandaImpressao OnComandaImpressao;
  TVornCliSiTefComandaECFSubtotaliza OnComandaECFSubtotaliza;
  TVornCliSiTefComandaECFPagamento OnComandaECFPagamento;
  TVornCliSiTefComandaECFAbreVinculado OnComandaECFAbreVinculado;
  TVornCliSiTefComandaECFImprimeVia OnComandaECFImprimeVia;
  TVornCliSiTefObterInfoECF OnInfoECF;
  TVornCliSiTefAntesFinalizarReq OnAntesFinalizarRequisicao;
  // Raised with the responses about to be confirmed, before the first of them
  // is confirmed with the library and before any backup is deleted; the host
  // makes its record of them durable here. An exception stops the
  // confirmation: the pending transactions are undone and it propagates.
  TVornCliSiTefProcessarTransacoesPendentes OnAntesConfirmarTransacoes;
  TVornCliSiTefProcessarTransacoesPendentes OnDepoisConfirmarTransacoes;
  TVornCliSiTefAntesCancelarTransacao OnAntesCancelarTransacao;
  TVornCliSiTefProcessarTransacoesPendentes OnDepoisCancelarTransacoes;
  TVornCliSiTefMudaEstadoReq OnMudaEstadoReq;
  TVornCliSiTefMudaEstadoResp OnMudaEstadoResp;
  TVornCliSiTefCliSiTefExibeMenu OnExibeMenu;
  TVornCliSiTefCliSiTefObtemCampo OnObtemCampo;
  TVornCliSiTefCliSiTefObtemCheque OnObtemCheque;
  TVornCliSiTefSenhaConfirmacao OnObterSenha;
  TVornClisiTefCliSiTefExibeQRCode OnExibeQRCode;

  // Lifecycle.
  void Inicializar(TVornCliSiTefTipo GP = gpNenhum);
  void DesInicializar(TVornCliSiTefTipo GP = gpNenhum);
  bool Inicializado(TVornCliSiTefTipo GP = gpNenhum);
  void AtivarGP(TVornCliSiTefTipo GP = gpNenhum);

  // Talking to the user.
  int DoExibeMsg(TVornCliSiTefOperacaoMensagem Operacao, const std::string& Mensagem);
  void RestaurarFocoAplicacao();
  void LimparTeclado();
  // Does nothing: the place where blocking input around prompts would go.
  void BloquearMouseTeclado(bool Bloqueia);
  std::string LerTrilha3();
  std::string LerCartaoSeguro();

  // Operations.
  void ATV(TVornCliSiTefTipo GP = gpNenhum);
  bool ADM(TVornCliSiTefTipo GP = gpNenhum);
  bool CRT(double Valor, const std::string& IndiceFPG_ECF,
           const std::string& DocumentoVinculado = "", int Moeda = 0,
           const std::string& NumeroCartaoDigitado = "",
           const std::string& DataVencimentoDigitado = "", const std::string& CVVDigitado = "",
           const std::string& QtdParcela = "");
  bool CHQ(double Valor, const std::string& IndiceFPG_ECF, const std::string& DocumentoVinculado,
           const std::string& CMC7, char TipoPessoa, const std::string& DocumentoPessoa,
           TDateTime DataCheque, const std::string& Banco, const std::string& Agencia,
           const std::string& AgenciaDC, const std::string& Conta, const std::string& ContaDC,
           const std::string& Cheque, const std::string& ChequeDC, const std::string& Compensacao);
  bool CNC(const std::string& Rede, const std::string& NSU, TDateTime DataHoraTransacao,
           double Valor);
  void CNF(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           const std::string& DocumentoVinculado);
  void NCN(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           double Valor, const std::string& DocumentoVinculado);

  // Pending transactions.
  void CancelarTransacoesPendentes();
  void ConfirmarTransacoesPendentes();
  // Asks the CliSiTef binding to finish its open transaction, confirming it
  // or undoing it; false, instead of an exception, when that fails.
  bool ConfirmarTransacao(bool Confirma, const std::string& DocumentoVinculado);
  // Does nothing: the start-up confirmation belongs to the binding.
  void ConfirmarESolicitarImpressaoTransacoesPendentes() {}

  // Fiscal printer and receipts.
  int ComandarECF(TVornCliSiTefOperacaoECF Operacao);
  int ECFSubtotaliza(double DescAcres);
  int ECFPagamento(const std::string& Indice, double Valor);
  int ECFAbreVinculado(const std::string& COO, const std::string& Indice, double Valor);
  int ECFImprimeVia(TVornCliSiTefTipoRelatorio TipoRelatorio, int Via,
                    const std::vector<std::string>& ImagemComprovante);
  std::string InfoECFAsString(TVornCliSiTefInfoECF Operacao);
  // The answer as a number rounded to 2 decimals; with the marker default
  // kInfoECFSemValor an answer that is no number raises EVornCliSiTefErro.
  double InfoECFAsDouble(TVornCliSiTefInfoECF Operacao, int DefaultValue = kInfoECFSemValor);
  char EstadoECF();
  TVornCliSiTefArrayGrupoRespostasPendentes AgruparRespostasPendentes();
  void ImprimirTransacoesPendentes();
  void FinalizarCupom(bool DesbloquearMouseTecladoNoTermino);

  static constexpr int kInfoECFSemValor = -98787158;

  // Steps shared by the printing sequences of the component and the bindings.
  // The operator and customer texts shown while a response prints.
  struct TMensagensExibidas {
    TDateTime inicio = 0;
    bool operador = false;
    bool cliente = false;
  };
  // Frees the printer: closes an open linked receipt or report; for the
  // states N, P and V runs acaoNPV (when given). Raises EVornCliSiTefECF
  // "ECF não está LIVRE" when the printer is still not free.
  void LiberarECF(const std::function<void(char)>& acaoNPV);
  void MostrarMensagens(const TVornCliSiTefResp& resp, TMensagensExibidas& exibidas);
  // Removes the shown texts; with aguardar, only after they have been up for
  // more than 4 whole seconds since exibidas.inicio.
  void RemoverMensagens(TMensagensExibidas& exibidas, bool aguardar);

 private:
  struct TImpressao {
    bool naoFiscal;
    bool relatorioUnico;
    bool ultimaResposta;
    const TVornCliSiTefGrupoRespostasPendentes* grupo;
  };
  struct TEstadoImpressao {
    int ultimaOrdem = -1;
    bool relatorioAberto = false;
    TMensagensExibidas mensagens;
    std::string autenticacao;
  };
  void ImprimirResposta(TVornCliSiTefResp& resp, const TImpressao& impressao,
                        TEstadoImpressao& estado);
  void ImprimirVinculado(const TVornCliSiTefArrayGrupoRespostasPendentes& grupos, bool& naoFiscal,
                         TEstadoImpressao& estado);
  void ImprimirNaoFiscal(TEstadoImpressao& estado);
  bool FecharCupomPagamento();
  void RegistrarPagamentosECF();

 private:
  std::unique_ptr<TVornCliSiTefIdentificacao> fIdentificacao;
  TVornCliSiTefClassList fBindings;
  std::unique_ptr<TVornCliSiTefRespostasPendentes> fRespostasPendentes;
  TVornCliSiTefCliSiTef* fTEFCliSiTef = nullptr;
  TVornCliSiTefClass* fTEF = nullptr;
  TVornCliSiTefTipo fGPAtual = gpNenhum;
  TVornCliSiTefReqEstado fEstadoReq = reqNenhum;
  TVornCliSiTefRespEstado fEstadoResp = respNenhum;
  std::string fImpressoraCupom;
  bool fMultiplosCartoes = false;
  int fNumeroMaximoCartoes = 0;
  bool fAutoEfetuarPagamento = false;
  bool fAutoFinalizarCupom = true;
  int fNumVias = 2;
  int fEsperaSTS = 7;
  int fEsperaSleep = 250;
  std::string fPathBackup;
  std::string fArqLOG;
};

// Formats an amount with two decimals and the regional decimal separator.
std::string FormatarValor(Currency valor);
// The amount rounded to whole cents, halves to even.
Currency ArredondaCentavos(Currency valor);
// "Destaque a %dª Via": the pause to tear off a receipt copy.
std::string TextoDestaqueVia(int via);
