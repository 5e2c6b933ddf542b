#include "api/DmSitef.h"

void TDmSitef::WireTefEvents() {
  using namespace std::placeholders;
  TVornCliSiTef& tef = VornCliSiTef;
  tef.Televenda = false;
  tef.SetEsperaSTS(7);
  tef.Identificacao().SetVersaoAplicacao("1.0.12");
  tef.OnAguardaResp = std::bind(&TDmSitef::VornCliSiTefAguardaResp, this, _1, _2, _3);
  tef.OnExibeMsg = std::bind(&TDmSitef::VornCliSiTefExibeMsg, this, _1, _2, _3);
  tef.OnRestauraFocoAplicacao = [](bool& Tratado) { Tratado = false; };
  tef.OnComandaECF = [](TVornCliSiTefOperacaoECF, TVornCliSiTefResp&, int& RetornoECF) {
    RetornoECF = 1;
  };
  tef.OnComandaImpressao = [](int& RetornoImpressao, TVornCliSiTefResp&, bool) {
    RetornoImpressao = 1;
  };
  tef.OnComandaECFPagamento = [](const std::string&, Currency, int& RetornoECF) { RetornoECF = 1; };
  tef.OnComandaECFAbreVinculado = [](const std::string&, const std::string&, Currency,
                                     int& RetornoECF) { RetornoECF = 1; };
  tef.OnComandaECFImprimeVia =
      std::bind(&TDmSitef::VornCliSiTefComandaECFImprimeVia, this, _1, _2, _3, _4);
  tef.OnInfoECF = std::bind(&TDmSitef::VornCliSiTefInfoECF, this, _1, _2);
  tef.OnAntesConfirmarTransacoes =
      std::bind(&TDmSitef::VornCliSiTefAntesConfirmarTransacoes, this, _1);
  tef.OnDepoisConfirmarTransacoes =
      std::bind(&TDmSitef::VornCliSiTefDepoisConfirmarTransacoes, this, _1);
  // The busy flag belongs to the running payment until it releases the
  // component: undoing its pending transactions does not clear it, and only
  // takes the undone payment's report out of the journal.
  tef.OnAntesCancelarTransacao = std::bind(&TDmSitef::VornCliSiTefAntesCancelarTransacao, this, _1);
  // Undone payments are reported by the transaction request itself.
  tef.OnDepoisCancelarTransacoes = [](TVornCliSiTefRespostasPendentes&) {};
  tef.OnMudaEstadoReq = std::bind(&TDmSitef::VornCliSiTefMudaEstadoReq, this, _1);
  tef.OnMudaEstadoResp = std::bind(&TDmSitef::VornCliSiTefMudaEstadoResp, this, _1);
  tef.OnExibeMenu = std::bind(&TDmSitef::VornCliSiTefExibeMenu, this, _1, _2, _3, _4);
  tef.OnObtemCampo =
      std::bind(&TDmSitef::VornCliSiTefObtemCampo, this, _1, _2, _3, _4, _5, _6, _7, _8);
  tef.OnObtemCheque = [](const std::string&, int, TVornCliSiTefCliSiTefOperacaoCampo, AnsiString&,
                         bool& Digitado, bool&) { Digitado = true; };
  tef.OnObterSenha = [](const std::string&, bool& VoltarMenu) { VoltarMenu = false; };
  tef.OnExibeQRCode = std::bind(&TDmSitef::VornCliSiTefExibeQRCode, this, _1);
}
