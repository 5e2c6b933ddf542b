#pragma once

#include <string>
#include <vector>

#include "tef/VornCliSiTefClass.h"
#include "tef/VornCliSiTefEventos.h"
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
