#include "tef/VornCliSiTefResp.h"

#include <algorithm>

#include "util/Exception.h"
#include "util/VornCliSiTefUtil.h"
#include "util/VornString.h"

namespace {

std::string Texto(const TVornCliSiTefInformacao& informacao) {
  return VornCliSiTefStr(informacao.AsString());
}

Currency Valor(const TVornCliSiTefInformacao& informacao) {
  return Currency::FromDouble(informacao.AsFloat());
}

// True for a decimal integer of value 0 ("0", "00", "-0").
bool IsIntegerZero(const std::string& text) {
  const std::size_t digits = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  return digits < text.size() && text.find_first_not_of('0', digits) == std::string::npos;
}

// Lines without a numeric key read as identification 0; only a real key of
// field 0 may set the header.
bool ChaveDoCampoZero(const TVornCliSiTefLinha& linha) {
  return linha.GetChave().substr(0, 3) == "000";
}

void CheckIndex(int index, std::size_t count) {
  if (index < 0 || static_cast<std::size_t>(index) >= count) {
    throw Exception("Índice de lista fora dos limites (" + std::to_string(index) + ")");
  }
}

void CheckInsertIndex(int index, std::size_t count) {
  if (index < 0 || static_cast<std::size_t>(index) > count) {
    throw Exception("Índice de lista fora dos limites (" + std::to_string(index) + ")");
  }
}

}  // namespace

TVornCliSiTefRespParcela& TVornCliSiTefRespParcelas::operator[](int index) const {
  CheckIndex(index, fItems.size());
  return *fItems[static_cast<std::size_t>(index)];
}

int TVornCliSiTefRespParcelas::Add(std::unique_ptr<TVornCliSiTefRespParcela> parcela) {
  fItems.push_back(std::move(parcela));
  return Count() - 1;
}

void TVornCliSiTefRespParcelas::Insert(int index,
                                       std::unique_ptr<TVornCliSiTefRespParcela> parcela) {
  CheckInsertIndex(index, fItems.size());
  fItems.insert(fItems.begin() + index, std::move(parcela));
}

void TVornCliSiTefRespParcelas::Delete(int index) {
  CheckIndex(index, fItems.size());
  fItems.erase(fItems.begin() + index);
}

AnsiString AjustaLinhaImagemComprovante(AnsiStringView linha) {
  if (!linha.empty() && linha.front() == '"') {
    linha.remove_prefix(1);
  }
  if (!linha.empty() && linha.back() == '"') {
    linha.remove_suffix(1);
  }
  return AnsiString(linha);
}

TVornCliSiTefResp::TVornCliSiTefResp() {
  Clear();
}

bool TVornCliSiTefResp::GetTransacaoAprovada() const {
  return true;
}

void TVornCliSiTefResp::ConteudoToProperty() {}

void TVornCliSiTefResp::Clear() {
  fConteudo.Clear();
  fParcelas.Clear();
  fImagemComprovante1aVia.clear();
  fImagemComprovante2aVia.clear();
  fHeader = {};
  fAgencia = {};
  fAgenciaDC = {};
  fAutenticacao = {};
  fBanco = {};
  fCheque = {};
  fChequeDC = {};
  fCMC7 = {};
  fCodigoAutorizacaoTransacao = {};
  fConta = {};
  fContaDC = {};
  fDocumentoPessoa = {};
  fFinalizacao = {};
  fNomeAdministradora = {};
  fNSU = {};
  fNSUTransacaoCancelada = {};
  fRede = {};
  fStatusTransacao = {};
  fTextoEspecialCliente = {};
  fTextoEspecialOperador = {};
  fTrailer = {};
  fDocumentoVinculado = {};
  fIndiceFPG_ECF = {};
  fArqBackup = {};
  fArqRespPendente = {};
  fID = 0;
  fMoeda = 0;
  fNumeroLoteTransacao = 0;
  fQtdLinhasComprovante = 0;
  fQtdParcelas = 0;
  fTipoTransacao = 0;
  fTipoParcelamento = 0;
  fOrdemPagamento = 0;
  fDataCheque = 0;
  fDataHoraTransacaoCancelada = 0;
  fDataHoraTransacaoComprovante = 0;
  fDataHoraTransacaoHost = 0;
  fDataHoraTransacaoLocal = 0;
  fDataPreDatado = 0;
  fDataEntradaCDC = 0;
  fValorTotal = {};
  fValorOriginal = {};
  fSaque = {};
  fDesconto = {};
  fValorEntradaCDC = {};
  fTipoPessoa = ' ';
  fParceladoPor = parcNenhum;
  fTipoOperacao = opOutras;
  fDebito = false;
  fCredito = false;
  fCNFEnviado = false;
}

void TVornCliSiTefResp::LeArquivo(const std::string& fileName) {
  Clear();
  fConteudo.LeArquivo(fileName);
  ConteudoToProperty();
}

void TVornCliSiTefResp::Assign(const TVornCliSiTefResp& source) {
  if (&source == this) {
    return;
  }
  fConteudo.Assign(source.fConteudo);
  ConteudoToProperty();
  fArqBackup = source.fArqBackup;
  fTipoGP = source.fTipoGP;
}

TVornCliSiTefInformacao& TVornCliSiTefResp::LeInformacao(std::int32_t identificacao,
                                                         std::int32_t sequencia) {
  return fConteudo.LeInformacao(identificacao, sequencia);
}

void TVornCliSiTefResp::SetCNFEnviado(bool value) {
  fConteudo.GravaInformacao(899, 1, value ? "S" : "N");
  fCNFEnviado = value;
}

void TVornCliSiTefResp::SetIndiceFPG_ECF(const std::string& value) {
  fConteudo.GravaInformacao(899, 2, VornAnsiStr(value));
  fIndiceFPG_ECF = value;
}

void TVornCliSiTefResp::SetOrdemPagamento(std::int32_t value) {
  fConteudo.GravaInformacao(899, 3, AnsiFromBytes(std::to_string(value)));
  fOrdemPagamento = value;
}

void TVornCliSiTefResp::SetArqBackup(const std::string& value) {
  fArqBackup = Trim(value);
}

bool TVornCliSiTefRespTXT::GetTransacaoAprovada() const {
  const std::string status = Trim(fStatusTransacao);
  return IsIntegerZero(status) || UpperCase(status) == "P1";
}

void TVornCliSiTefRespTXT::ConteudoToProperty() {
  fDataHoraTransacaoComprovante = 0;
  fImagemComprovante1aVia.clear();
  fImagemComprovante2aVia.clear();
  bool temParcelas = false;
  bool temReduzido = false;

  // The lines come in key order: 028 before 029, 710 before 711 to 713.
  for (int i = 0; i < fConteudo.GetCount(); ++i) {
    const TVornCliSiTefLinha& linha = fConteudo.GetLinha(i);
    const TVornCliSiTefInformacao& valor = linha.Informacao();
    switch (linha.Identificacao()) {
      case 0:
        if (ChaveDoCampoZero(linha)) {
          fHeader = Texto(valor);
        }
        break;
      case 1:
        fID = valor.AsInteger();
        break;
      case 2:
        fDocumentoVinculado = Texto(valor);
        break;
      case 3:
        fValorTotal = Valor(valor);
        break;
      case 4:
        fMoeda = valor.AsInteger();
        break;
      case 5:
        fCMC7 = Texto(valor);
        break;
      case 6:
        fTipoPessoa = valor.AsString().empty() ? ' ' : valor.AsString()[0];
        break;
      case 7:
        fDocumentoPessoa = Texto(valor);
        break;
      case 8:
        fDataCheque = valor.AsDate();
        break;
      case 9:
        fStatusTransacao = Texto(valor);
        break;
      case 10:
        fRede = Texto(valor);
        break;
      case 11:
        fTipoTransacao = valor.AsInteger();
        break;
      case 12:
        fNSU = Texto(valor);
        break;
      case 13:
        fCodigoAutorizacaoTransacao = Texto(valor);
        break;
      case 14:
        fNumeroLoteTransacao = valor.AsInteger();
        break;
      case 15:
        fDataHoraTransacaoHost = valor.AsTimeStamp();
        break;
      case 16:
        fDataHoraTransacaoLocal = valor.AsTimeStamp();
        break;
      case 17:
        fTipoParcelamento = valor.AsInteger();
        fParceladoPor = fTipoParcelamento == 0   ? parcLoja
                        : fTipoParcelamento == 1 ? parcADM
                                                 : parcNenhum;
        break;
      case 18:
        fQtdParcelas = valor.AsInteger();
        break;
      case 19:
        temParcelas = true;
        break;
      case 22:
        fDataHoraTransacaoComprovante += valor.AsDate();
        break;
      case 23:
        fDataHoraTransacaoComprovante += valor.AsTime();
        break;
      case 24:
        fDataPreDatado = valor.AsDate();
        break;
      case 25:
        fNSUTransacaoCancelada = Texto(valor);
        break;
      case 26:
        fDataHoraTransacaoCancelada = valor.AsTimeStamp();
        break;
      case 27:
        fFinalizacao = Texto(valor);
        break;
      case 28:
        fImagemComprovante1aVia.clear();
        fQtdLinhasComprovante = valor.AsInteger();
        break;
      case 29:
        fImagemComprovante1aVia.push_back(
            VornCliSiTefStr(AjustaLinhaImagemComprovante(valor.AsString())));
        break;
      case 30:
        fTextoEspecialOperador = Texto(valor);
        break;
      case 31:
        fTextoEspecialCliente = Texto(valor);
        break;
      case 32:
        fAutenticacao = Texto(valor);
        break;
      case 33:
        fBanco = Texto(valor);
        break;
      case 34:
        fAgencia = Texto(valor);
        break;
      case 35:
        fAgenciaDC = Texto(valor);
        break;
      case 36:
        fConta = Texto(valor);
        break;
      case 37:
        fContaDC = Texto(valor);
        break;
      case 38:
        fCheque = Texto(valor);
        break;
      case 39:
        fChequeDC = Texto(valor);
        break;
      case 40:
        fNomeAdministradora = Texto(valor);
        break;
      case 707:
        fValorOriginal = Valor(valor);
        break;
      case 708:
        fSaque = Valor(valor);
        break;
      case 709:
        fDesconto = Valor(valor);
        break;
      case 710:
        fImagemComprovante1aVia.clear();
        fQtdLinhasComprovante = valor.AsInteger();
        temReduzido = true;
        break;
      case 711:
        fImagemComprovante1aVia.push_back(
            VornCliSiTefStr(AjustaLinhaImagemComprovante(valor.AsString())));
        break;
      case 712:
        if (!temReduzido) {
          fImagemComprovante1aVia.clear();
          fQtdLinhasComprovante = valor.AsInteger();
        }
        break;
      case 713:
        if (!temReduzido) {
          fImagemComprovante1aVia.push_back(
              VornCliSiTefStr(AjustaLinhaImagemComprovante(valor.AsString())));
        }
        break;
      case 714:
        fImagemComprovante2aVia.clear();
        break;
      case 715:
        fImagemComprovante2aVia.push_back(
            VornCliSiTefStr(AjustaLinhaImagemComprovante(valor.AsString())));
        break;
      case 899:
        if (linha.Sequencia() == 1) {
          fCNFEnviado = UpperCase(Texto(valor)) == "S";
        } else if (linha.Sequencia() == 2) {
          fIndiceFPG_ECF = Texto(valor);
        } else if (linha.Sequencia() == 3) {
          fOrdemPagamento = valor.AsInteger();
        }
        break;
      case 999:
        fTrailer = Texto(valor);
        break;
      default:
        break;
    }
  }

  if (fImagemComprovante2aVia.empty()) {
    fImagemComprovante2aVia = fImagemComprovante1aVia;
  }

  fParcelas.Clear();
  if (temParcelas) {
    const std::int32_t quantidade = std::min(fQtdParcelas, TVornCliSiTefRespParcelas::kMaximo);
    for (std::int32_t sequencia = 1; sequencia <= quantidade; ++sequencia) {
      auto parcela = std::make_unique<TVornCliSiTefRespParcela>();
      parcela->fsVencimentoParcela = fConteudo.LeInformacao(19, sequencia).AsDate();
      parcela->fsValorParcela = Valor(fConteudo.LeInformacao(20, sequencia));
      parcela->fsNSUParcela = Texto(fConteudo.LeInformacao(21, sequencia));
      fParcelas.Add(std::move(parcela));
    }
  }

  const std::int32_t t = fTipoTransacao;
  fDebito = (t >= 20 && t <= 25) || t == 40;
  fCredito = t >= 10 && t <= 12;
  if (t == 10 || t == 20 || t == 23) {
    fTipoOperacao = opAvista;
  } else if (t == 11 || t == 12 || t == 22) {
    fTipoOperacao = opParcelado;
  } else if (t == 21 || t == 24 || t == 25) {
    fTipoOperacao = opPreDatado;
  } else if (t == 40) {
    fTipoOperacao = opParcelado;
    fParceladoPor = parcADM;
  } else {
    fTipoOperacao = opOutras;
  }
}
