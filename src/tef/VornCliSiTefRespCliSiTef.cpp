#include "tef/VornCliSiTefRespCliSiTef.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "tef/VornCliSiTefArquivo.h"
#include "tef/VornCliSiTefBase.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

constexpr std::int32_t kParcelaData = 141;
constexpr std::int32_t kParcelaValor = 142;
constexpr std::int32_t kComprovante1aVia = 121;
constexpr std::int32_t kComprovante2aVia = 122;

Currency ComoValor(const TVornCliSiTefInformacao& informacao) {
  return Currency::FromRaw(std::llround(informacao.AsFloat() * Currency::kScale));
}

// The number written in text[first, first + count), 0 when it is no number.
int NumeroEm(const std::string& text, std::size_t first, std::size_t count) {
  if (first >= text.size()) {
    return 0;
  }
  const std::string part = text.substr(first, count);
  if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return std::stoi(part);
}

// The receipt text as lines; the library separates them with LF (CR LF and a
// lone CR are taken too), and a final line break adds no empty line.
std::vector<std::string> LinhasDoComprovante(const std::string& text) {
  std::vector<std::string> linhas;
  std::string atual;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      linhas.push_back(atual);
      atual.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
    } else {
      atual += c;
    }
  }
  if (!atual.empty()) {
    linhas.push_back(atual);
  }
  return linhas;
}

}  // namespace

void TVornCliSiTefRespCliSiTef::GravaInformacao(std::int32_t tipoCampo, AnsiStringView valor) {
  std::int32_t sequencia = 0;
  if (tipoCampo == kParcelaData || tipoCampo == kParcelaValor) {
    sequencia = 1;
    while (fConteudo.AchaLinha(tipoCampo, sequencia) >= 0) {
      ++sequencia;
    }
  }
  if (tipoCampo == kComprovante1aVia || tipoCampo == kComprovante2aVia) {
    fMsgImpressao = true;
  }
  fConteudo.GravaInformacao(tipoCampo, sequencia, BinaryStringToString(valor));
}

void TVornCliSiTefRespCliSiTef::ConteudoToProperty() {
  fValorTotal = Currency();
  fImagemComprovante1aVia.clear();
  fImagemComprovante2aVia.clear();
  fDebito = false;
  fCredito = false;
  bool temParcelas = false;

  // Setters of some properties write back into the content, so the lines are
  // walked on a copy.
  const std::vector<AnsiString> linhas = fConteudo.Linhas();
  for (const AnsiString& bruta : linhas) {
    TVornCliSiTefLinha linha;
    linha.SetLinha(bruta);
    TVornCliSiTefInformacao valor;
    valor.SetAsString(StringToBinaryString(linha.Informacao().AsString()));
    const std::string texto = VornCliSiTefStr(valor.AsString());
    switch (linha.Identificacao()) {
      case 100: {
        fModalidadePagto = texto;
        const int tipo = NumeroEm(texto, 0, 2);
        if (tipo == 1) {
          fDebito = true;
        } else if (tipo == 2) {
          fCredito = true;
        }
        const int forma = NumeroEm(texto, 2, 2);
        if (forma == 2) {
          fParceladoPor = parcLoja;
        } else if (forma == 3) {
          fParceladoPor = parcADM;
        }
        if (forma == 0) {
          fTipoOperacao = opAvista;
        } else if (forma == 1) {
          fTipoOperacao = opPreDatado;
        } else if (forma == 2 || forma == 3) {
          fTipoOperacao = opParcelado;
        } else {
          fTipoOperacao = opOutras;
        }
        break;
      }
      case 101:
        fModalidadeExtenso = texto;
        break;
      case 102:
        fModalidadePagtoDescrita = texto;
        break;
      case 105:
        fDataHoraTransacaoComprovante = valor.AsTimeStampSQL();
        fDataHoraTransacaoHost = fDataHoraTransacaoComprovante;
        fDataHoraTransacaoLocal = fDataHoraTransacaoComprovante;
        break;
      case 120:
        fAutenticacao = texto;
        break;
      case 121:
        fImagemComprovante1aVia = LinhasDoComprovante(texto);
        break;
      case 122:
        fImagemComprovante2aVia = LinhasDoComprovante(texto);
        break;
      case 130:
        fSaque = ComoValor(valor);
        fValorTotal += fSaque;
        break;
      case 131:
        fInstituicao = texto;
        break;
      case 132:
        fBandeira = texto;
        break;
      case 133:
        fNSU = texto;
        break;
      case 134:
        fNSUComprovante = texto;
        break;
      case 135:
        fCodigoAutorizacaoTransacao = texto;
        break;
      case 139:
        fValorEntradaCDC = ComoValor(valor);
        break;
      case 140:
        fDataEntradaCDC = valor.AsDate();
        break;
      case 141:
        temParcelas = true;
        break;
      case 156:
        fRede = texto;
        break;
      case 157:
        fCodigoEstabelecimento = texto;
        break;
      case 501:
        fTipoPessoa = valor.AsInteger() == 0 ? 'J' : 'F';
        break;
      case 502:
        fDocumentoPessoa = texto;
        break;
      case 505:
        fQtdParcelas = valor.AsInteger();
        break;
      case 506:
        fDataPreDatado = valor.AsDate();
        break;
      case 511:
        fQtdParcelas = valor.AsInteger();
        break;
      case 515:
        fDataHoraTransacaoCancelada = valor.AsDate();
        break;
      case 516:
        fNSUTransacaoCancelada = texto;
        break;
      case 527:
        fDataVencimento = valor.AsDate();
        break;
      case 613:
        fCheque = texto.size() > 20 ? texto.substr(20, 6) : std::string();
        fCMC7 = texto;
        break;
      case 626:
        fBanco = texto;
        break;
      case 627:
        fAgencia = texto;
        break;
      case 628:
        fAgenciaDC = texto;
        break;
      case 629:
        fConta = texto;
        break;
      case 630:
        fContaDC = texto;
        break;
      case 800:
        fCodigoHASH = texto;
        break;
      case 899:
        switch (linha.Sequencia()) {
          case 1:
            SetCNFEnviado(UpperCase(texto) == "S");
            break;
          case 2:
            SetIndiceFPG_ECF(texto);
            break;
          case 3:
            SetOrdemPagamento(valor.AsInteger());
            break;
          case 100:
            fHeader = texto;
            break;
          case 101:
            fID = valor.AsInteger();
            break;
          case 102:
            fDocumentoVinculado = texto;
            break;
          case 103:
            fValorTotal += ComoValor(valor);
            break;
          default:
            break;
        }
        break;
      case 2021:
        fNumeroCartao = texto;
        break;
      case 4029:
        fDesconto = ComoValor(valor);
        fValorTotal -= fDesconto;
        break;
      default:
        break;
    }
  }

  fQtdLinhasComprovante = static_cast<std::int32_t>(
      std::max(fImagemComprovante1aVia.size(), fImagemComprovante2aVia.size()));

  fParcelas.Clear();
  if (temParcelas) {
    const std::int32_t quantidade = std::min(fQtdParcelas, TVornCliSiTefRespParcelas::kMaximo);
    for (std::int32_t sequencia = 1; sequencia <= quantidade; ++sequencia) {
      auto parcela = std::make_unique<TVornCliSiTefRespParcela>();
      TVornCliSiTefInformacao data;
      data.SetAsString(
          StringToBinaryString(fConteudo.LeInformacao(kParcelaData, sequencia).AsString()));
      parcela->fsVencimentoParcela = data.AsDate();
      TVornCliSiTefInformacao valor;
      valor.SetAsString(
          StringToBinaryString(fConteudo.LeInformacao(kParcelaValor, sequencia).AsString()));
      parcela->fsValorParcela = ComoValor(valor);
      fParcelas.Add(std::move(parcela));
    }
  }
}
