#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tef/VornCliSiTefEnums.h"
#include "tef/VornCliSiTefReq.h"
#include "tef/VornCliSiTefResp.h"
#include "tef/VornCliSiTefRespostasPendentes.h"
#include "tef/VornCliSiTefTypes.h"
#include "util/AnsiString.h"
#include "util/Currency.h"

// Callbacks through which the TEF component asks its host to act. Arguments
// passed by non-const reference are in/out: the component reads them back.
// Objects passed by reference are borrowed for the call only.

using TVornCliSiTefAguardaRespEvent =
    std::function<void(const std::string& Arquivo, int SegundosTimeOut, bool& Interromper)>;
using TVornCliSiTefExibeMsg = std::function<void(TVornCliSiTefOperacaoMensagem Operacao,
                                                 const std::string& Mensagem, int& AModalResult)>;
using TVornCliSiTefBloqueiaMouseTeclado = std::function<void(bool Bloqueia, bool& Tratado)>;
using TVornCliSiTefExecutaAcao = std::function<void(bool& Tratado)>;
using TVornCliSiTefComandaECF = std::function<void(TVornCliSiTefOperacaoECF Operacao,
                                                   TVornCliSiTefResp& Resp, int& RetornoECF)>;
using TVornCliSiTefComandaImpressao =
    std::function<void(int& RetornoImpressao, TVornCliSiTefResp& Resp, bool Cancelado)>;
using TVornCliSiTefComandaECFSubtotaliza = std::function<void(Currency DescAcre, int& RetornoECF)>;
using TVornCliSiTefComandaECFPagamento =
    std::function<void(const std::string& IndiceECF, Currency Valor, int& RetornoECF)>;
using TVornCliSiTefComandaECFAbreVinculado = std::function<void(
    const std::string& COO, const std::string& IndiceECF, Currency Valor, int& RetornoECF)>;
using TVornCliSiTefComandaECFImprimeVia =
    std::function<void(TVornCliSiTefTipoRelatorio TipoRelatorio, int Via,
                       const std::vector<std::string>& ImagemComprovante, int& RetornoECF)>;
using TVornCliSiTefObterInfoECF =
    std::function<void(TVornCliSiTefInfoECF Operacao, std::string& RetornoECF)>;
using TVornCliSiTefAntesFinalizarReq = std::function<void(TVornCliSiTefReq& Req)>;
using TVornCliSiTefProcessarTransacoesPendentes =
    std::function<void(TVornCliSiTefRespostasPendentes& RespostasPendentes)>;
using TVornCliSiTefAntesCancelarTransacao =
    std::function<void(TVornCliSiTefResp& RespostaPendente)>;
using TVornCliSiTefMudaEstadoReq = std::function<void(TVornCliSiTefReqEstado EstadoReq)>;
using TVornCliSiTefMudaEstadoResp = std::function<void(TVornCliSiTefRespEstado EstadoResp)>;
using TVornCliSiTefCliSiTefExibeMenu =
    std::function<void(const std::string& Titulo, const std::vector<std::string>& Opcoes,
                       int& ItemSelecionado, bool& VoltarMenu)>;
using TVornCliSiTefCliSiTefObtemCampo =
    std::function<void(const std::string& Titulo, int TamanhoMinimo, int TamanhoMaximo,
                       int TipoCampo, TVornCliSiTefCliSiTefOperacaoCampo Operacao,
                       AnsiString& Resposta, bool& Digitado, bool& VoltarMenu)>;
using TVornCliSiTefCliSiTefObtemCheque = std::function<void(
    const std::string& Titulo, int TipoCampo, TVornCliSiTefCliSiTefOperacaoCampo Operacao,
    AnsiString& Resposta, bool& Digitado, bool& VoltarMenu)>;
using TVornCliSiTefSenhaConfirmacao =
    std::function<void(const std::string& Titulo, bool& VoltarMenu)>;
using TVornClisiTefCliSiTefExibeQRCode = std::function<void(const std::string& QRCode)>;
