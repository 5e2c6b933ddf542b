#pragma once

#include <string>
#include <vector>

#include "tef/VornCliSiTefClass.h"
#include "tef/VornCliSiTefEventos.h"
#include "tef/VornCliSiTefRespCliSiTef.h"
#include "util/AnsiString.h"
#include "util/Currency.h"
#include "util/DateTime.h"

// The binding of the CliSiTef library: it talks to the library instead of
// exchanging files with a manager program, so it has no exchange files and no
// program to start. The terminal data is set by the host before the
// component initializes it.
class TVornCliSiTefCliSiTef : public TVornCliSiTefClass {
 public:
  explicit TVornCliSiTefCliSiTef(TComponent* owner);
  ~TVornCliSiTefCliSiTef() override;

  bool TrocaArquivos() const override { return false; }
  // The library always prints two copies: the argument is ignored.
  void SetNumVias(int count) override;
  // There is no manager program: always raises.
  void AtivarGP() override;
  // The library is always active.
  void VerificaAtivo() override;

  const AnsiString& EnderecoIP() const { return fEnderecoIP; }
  void SetEnderecoIP(const AnsiString& value) { fEnderecoIP = value; }
  const AnsiString& CodigoLoja() const { return fCodigoLoja; }
  void SetCodigoLoja(const AnsiString& value) { fCodigoLoja = value; }
  const AnsiString& NumeroTerminal() const { return fNumeroTerminal; }
  void SetNumeroTerminal(const AnsiString& value) { fNumeroTerminal = value; }
  const AnsiString& Operador() const { return fOperador; }
  void SetOperador(const AnsiString& value) { fOperador = value; }
  const AnsiString& Restricoes() const { return fRestricoes; }
  void SetRestricoes(const AnsiString& value) { fRestricoes = value; }
  const std::vector<std::string>& ParametrosAdicionais() const { return fParametrosAdicionais; }
  void SetParametrosAdicionais(const std::vector<std::string>& lines) {
    fParametrosAdicionais = lines;
  }
  int OperacaoATV() const { return fOperacaoATV; }
  void SetOperacaoATV(int value) { fOperacaoATV = value; }
  int OperacaoADM() const { return fOperacaoADM; }
  void SetOperacaoADM(int value) { fOperacaoADM = value; }
  int OperacaoCRT() const { return fOperacaoCRT; }
  void SetOperacaoCRT(int value) { fOperacaoCRT = value; }
  int OperacaoCHQ() const { return fOperacaoCHQ; }
  void SetOperacaoCHQ(int value) { fOperacaoCHQ = value; }
  int OperacaoCNC() const { return fOperacaoCNC; }
  void SetOperacaoCNC(int value) { fOperacaoCNC = value; }
  int OperacaoReImpressao() const { return fOperacaoReImpressao; }
  void SetOperacaoReImpressao(int value) { fOperacaoReImpressao = value; }
  int NumeroParcela() const { return FNumeroParcela; }
  void SetNumeroParcela(int value) { FNumeroParcela = value; }

  // Preset answers of the command loop, "field type=answer" per line.
  std::vector<std::string> fRespostas;
  // Folder of the library; empty means the system search path.
  std::string fPathDLL;
  // The library's file name in that folder.
  std::string fNomeDLL = "CliSiTef32I.dll";
  bool fIniciouRequisicao = false;
  bool fReimpressao = false;
  bool fCancelamento = false;
  bool fDevolucao = false;
  // The transaction being cancelled, set by the host.
  bool FCancelandoTransacaoTEF = false;
  std::string FCancelandoTransacaoNSU;
  TDateTime FCancelandoTransacaoDATA = 0;
  Currency FCancelandoTransacaoVALOR;
  // First hash code received in a request.
  std::string FCodigoHASH;
  // Service mode: no modal message boxes.
  bool FTEFModoServico = false;
  bool fTelevenda = false;
  // Addresses of the library functions, null until looked up.
  void* fConfiguraIntSiTefInterativoEx = nullptr;
  void* fIniciaFuncaoSiTefInterativo = nullptr;
  void* fLeTrilha3 = nullptr;
  void* fLeCartaoSeguro = nullptr;
  void* fLeCartaoDiretoSeguro = nullptr;
  void* fLeCartaoDiretoEx = nullptr;
  void* fContinuaFuncaoSiTefInterativo = nullptr;
  void* fFinalizaTransacaoSiTefInterativo = nullptr;
  void* fEscreveMensagemPermanentePinPad = nullptr;
  void* fObtemQuantidadeTransacoesPendentes = nullptr;
  void* fVerificaPresencaPinPad = nullptr;
  // Carried; the command loop raises the component's events instead.
  TVornCliSiTefCliSiTefExibeMenu OnExibeMenu;
  TVornCliSiTefCliSiTefObtemCampo OnObtemCampo;
  TVornCliSiTefCliSiTefObtemCheque OnObtemCheque;
  TVornClisiTefCliSiTefExibeQRCode OnExibeQRCode;

  // Library: looking up and releasing its functions, and the small queries.
  void LoadDLLFunctions();
  void UnLoadDLLFunctions();
  void Inicializar() override;
  void DesInicializar() override;
  // The library counts as loaded while EscreveMensagemPermanentePinPad is known.
  bool BibliotecaCarregada() const { return fEscreveMensagemPermanentePinPad != nullptr; }
  int DefineMensagemPermanentePinPad(const AnsiString& mensagem);
  std::string VerificarPresencaPinPad();
  int ObtemQuantidadeTransacoesPendentes(TDateTime data, const AnsiString& documento);

  // Command loop.
  int FazerRequisicao(int Funcao, const AnsiString& AHeader, Currency Valor,
                      const AnsiString& Documento, const AnsiString& ListaRestricoes);
  int ContinuarRequisicao(bool bIdAmigo, const std::string& NumeroCartaoDigitado,
                          const std::string& DataVencimentoDigitado, const std::string& CVVDigitado,
                          std::string QtdParcela);
  static std::string ProcessaMensagemTela(const std::string& mensagem);
  static std::string HMS();
  int LerTrilha3(AnsiString& AResposta) override;
  int LerCartaoSeguro() override;
  // The preset answer for a field type (empty when none), and setting one
  // (an empty answer removes it).
  AnsiString Resposta(int tipoCampo) const;
  void SetResposta(int tipoCampo, const std::string& resposta);
  TVornCliSiTefRespCliSiTef& RespCliSiTef() {
    return static_cast<TVornCliSiTefRespCliSiTef&>(*fpResp);
  }

  // Operations, finalization and errors.
  void ProcessarResposta() override;
  bool ProcessarRespostaPagamento(const std::string& IndiceFPG_ECF, Currency Valor) override;
  void VerificarIniciouRequisicao() override;
  void ATV() override;
  bool ADM() override;
  bool CRT(Currency Valor, const std::string& IndiceFPG_ECF, const std::string& NumeroCartao,
           const std::string& DataVencimento, const std::string& CVV, const std::string& QtdParcela,
           const std::string& DocumentoVinculado, int Moeda) override;
  bool CHQ(Currency Valor, const std::string& IndiceFPG_ECF, const std::string& DocumentoVinculado,
           const std::string& CMC7, char TipoPessoa, const std::string& DocumentoPessoa,
           TDateTime DataCheque, const std::string& Banco, const std::string& Agencia,
           const std::string& AgenciaDC, const std::string& Conta, const std::string& ContaDC,
           const std::string& Cheque, const std::string& ChequeDC,
           const std::string& Compensacao) override;
  using TVornCliSiTefClass::CNC;
  using TVornCliSiTefClass::CNF;
  using TVornCliSiTefClass::NCN;
  void NCN(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           Currency Valor, const std::string& DocumentoVinculado) override;
  void CNF(const std::string& Rede, const std::string& NSU, const std::string& Finalizacao,
           const std::string& DocumentoVinculado) override;
  bool CNC(const std::string& Rede, const std::string& NSU, TDateTime DataHoraTransacao,
           Currency Valor) override;
  void FinalizarTransacao(bool Confirma, const std::string& DocumentoVinculado);
  void AvaliaErro(int status);

  // Seconds the card reader waits for a card.
  static constexpr short kTimeOutLeituraCartao = 30;

 private:
  std::string ArquivoDLL() const;
  int Executar(int Funcao, const AnsiString& AHeader, Currency Valor,
               const AnsiString& ListaRestricoes, const std::string& NumeroCartao,
               const std::string& DataVencimento, const std::string& CVV,
               const std::string& QtdParcela);
  // Answers a library function left running by an error with the abort code
  // until it returns a final status.
  void AbortarFuncao(char* buffer);
  // Undoes the running transaction in the library, without the print step.
  void DesfazerNaBiblioteca(const std::string& documento);

 public:
 private:
  AnsiString fEnderecoIP;
  AnsiString fCodigoLoja;
  AnsiString fNumeroTerminal;
  AnsiString fOperador;
  AnsiString fRestricoes;
  std::vector<std::string> fParametrosAdicionais;
  int fOperacaoATV = 111;
  int fOperacaoADM = 110;
  int fOperacaoCRT = 0;
  int fOperacaoCHQ = 1;
  int fOperacaoCNC = 200;
  int fOperacaoReImpressao = 112;
  int FNumeroParcela = 0;
};

// The amount as the library reads it: two decimals, "," as decimal mark, no
// thousands separators (12.5 gives "12,50").
AnsiString ValorParaCliSiTef(Currency valor);
// The amount with two decimals and the regional decimal separator.
std::string ValorFormatado(Currency valor);
// Digits only, zero-filled on the left to the width; a longer value keeps its
// first digits.
AnsiString FormataCampo(const std::string& texto, int largura);
