#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tef/VornCliSiTefArquivo.h"
#include "tef/VornCliSiTefBase.h"
#include "tef/VornCliSiTefTypes.h"
#include "util/AnsiString.h"
#include "util/Currency.h"
#include "util/DateTime.h"

// One instalment of a payment.
class TVornCliSiTefRespParcela {
 public:
  TDateTime fsVencimentoParcela = 0;
  Currency fsValorParcela;
  std::string fsNSUParcela;
};

// The instalments of a response; the list owns them.
class TVornCliSiTefRespParcelas {
 public:
  // Instalment keys hold a three-digit sequence, so no response describes
  // more; a larger count read from a response builds no more than these.
  static constexpr std::int32_t kMaximo = 999;

  int Count() const { return static_cast<int>(fItems.size()); }
  // Raises Exception for an index outside the list.
  TVornCliSiTefRespParcela& operator[](int index) const;
  // Returns the index of the new instalment.
  int Add(std::unique_ptr<TVornCliSiTefRespParcela> parcela);
  void Insert(int index, std::unique_ptr<TVornCliSiTefRespParcela> parcela);
  void Delete(int index);
  void Clear() { fItems.clear(); }

 private:
  std::vector<std::unique_ptr<TVornCliSiTefRespParcela>> fItems;
};

// The answer to a TEF operation: its fields as a record file (the content),
// mapped into typed properties by ConteudoToProperty, which each response
// format overrides. This base record maps nothing and approves everything.
class TVornCliSiTefResp {
 public:
  TVornCliSiTefResp();
  virtual ~TVornCliSiTefResp() = default;
  TVornCliSiTefResp(const TVornCliSiTefResp&) = delete;
  TVornCliSiTefResp& operator=(const TVornCliSiTefResp&) = delete;

  virtual bool GetTransacaoAprovada() const;
  // Maps the content into the properties.
  virtual void ConteudoToProperty();

  // Resets the properties (all but TipoGP, Pendente, fMsgImpressao,
  // DataVencimento and the CliSiTef-only texts) and empties the content, the
  // instalments and both receipt copies.
  void Clear();
  // Clear, load the content from the file, map it. A missing file raises
  // EVornCliSiTefArquivo and leaves the record cleared.
  void LeArquivo(const std::string& fileName);
  // Copies the source's content, maps it with this record's own mapping, and
  // takes ArqBackup and TipoGP from the source. Nothing else is copied.
  void Assign(const TVornCliSiTefResp& source);
  // The content's value of that field (the shared value of the record file:
  // valid until the next read).
  TVornCliSiTefInformacao& LeInformacao(std::int32_t identificacao, std::int32_t sequencia);

  TVornCliSiTefArquivo& Conteudo() { return fConteudo; }
  const TVornCliSiTefArquivo& Conteudo() const { return fConteudo; }
  TVornCliSiTefRespParcelas& Parcelas() { return fParcelas; }
  const TVornCliSiTefRespParcelas& Parcelas() const { return fParcelas; }
  // Receipt lines of the first and second copy.
  std::vector<std::string>& ImagemComprovante1aVia() { return fImagemComprovante1aVia; }
  const std::vector<std::string>& ImagemComprovante1aVia() const { return fImagemComprovante1aVia; }
  std::vector<std::string>& ImagemComprovante2aVia() { return fImagemComprovante2aVia; }
  const std::vector<std::string>& ImagemComprovante2aVia() const { return fImagemComprovante2aVia; }

  // Texts. ArqBackup is stored trimmed of blanks; IndiceFPG_ECF is also
  // written to 899-002.
  const std::string& Header() const { return fHeader; }
  void SetHeader(const std::string& value) { fHeader = value; }
  const std::string& Agencia() const { return fAgencia; }
  void SetAgencia(const std::string& value) { fAgencia = value; }
  const std::string& AgenciaDC() const { return fAgenciaDC; }
  void SetAgenciaDC(const std::string& value) { fAgenciaDC = value; }
  const std::string& Autenticacao() const { return fAutenticacao; }
  void SetAutenticacao(const std::string& value) { fAutenticacao = value; }
  const std::string& Banco() const { return fBanco; }
  void SetBanco(const std::string& value) { fBanco = value; }
  const std::string& Cheque() const { return fCheque; }
  void SetCheque(const std::string& value) { fCheque = value; }
  const std::string& ChequeDC() const { return fChequeDC; }
  void SetChequeDC(const std::string& value) { fChequeDC = value; }
  const std::string& CMC7() const { return fCMC7; }
  void SetCMC7(const std::string& value) { fCMC7 = value; }
  const std::string& CodigoAutorizacaoTransacao() const { return fCodigoAutorizacaoTransacao; }
  void SetCodigoAutorizacaoTransacao(const std::string& value) {
    fCodigoAutorizacaoTransacao = value;
  }
  const std::string& Conta() const { return fConta; }
  void SetConta(const std::string& value) { fConta = value; }
  const std::string& ContaDC() const { return fContaDC; }
  void SetContaDC(const std::string& value) { fContaDC = value; }
  const std::string& DocumentoPessoa() const { return fDocumentoPessoa; }
  void SetDocumentoPessoa(const std::string& value) { fDocumentoPessoa = value; }
  const std::string& Finalizacao() const { return fFinalizacao; }
  void SetFinalizacao(const std::string& value) { fFinalizacao = value; }
  const std::string& NomeAdministradora() const { return fNomeAdministradora; }
  void SetNomeAdministradora(const std::string& value) { fNomeAdministradora = value; }
  const std::string& NSU() const { return fNSU; }
  void SetNSU(const std::string& value) { fNSU = value; }
  const std::string& NSUTransacaoCancelada() const { return fNSUTransacaoCancelada; }
  void SetNSUTransacaoCancelada(const std::string& value) { fNSUTransacaoCancelada = value; }
  const std::string& Rede() const { return fRede; }
  void SetRede(const std::string& value) { fRede = value; }
  const std::string& StatusTransacao() const { return fStatusTransacao; }
  void SetStatusTransacao(const std::string& value) { fStatusTransacao = value; }
  const std::string& TextoEspecialCliente() const { return fTextoEspecialCliente; }
  void SetTextoEspecialCliente(const std::string& value) { fTextoEspecialCliente = value; }
  const std::string& TextoEspecialOperador() const { return fTextoEspecialOperador; }
  void SetTextoEspecialOperador(const std::string& value) { fTextoEspecialOperador = value; }
  const std::string& Trailer() const { return fTrailer; }
  void SetTrailer(const std::string& value) { fTrailer = value; }
  const std::string& DocumentoVinculado() const { return fDocumentoVinculado; }
  void SetDocumentoVinculado(const std::string& value) { fDocumentoVinculado = value; }
  const std::string& IndiceFPG_ECF() const { return fIndiceFPG_ECF; }
  void SetIndiceFPG_ECF(const std::string& value);
  const std::string& ArqBackup() const { return fArqBackup; }
  void SetArqBackup(const std::string& value);
  const std::string& ArqRespPendente() const { return fArqRespPendente; }
  void SetArqRespPendente(const std::string& value) { fArqRespPendente = value; }

  // Integers. OrdemPagamento is also written to 899-003 ("0" included).
  std::int32_t ID() const { return fID; }
  void SetID(std::int32_t value) { fID = value; }
  std::int32_t Moeda() const { return fMoeda; }
  void SetMoeda(std::int32_t value) { fMoeda = value; }
  std::int32_t NumeroLoteTransacao() const { return fNumeroLoteTransacao; }
  void SetNumeroLoteTransacao(std::int32_t value) { fNumeroLoteTransacao = value; }
  std::int32_t QtdLinhasComprovante() const { return fQtdLinhasComprovante; }
  void SetQtdLinhasComprovante(std::int32_t value) { fQtdLinhasComprovante = value; }
  std::int32_t QtdParcelas() const { return fQtdParcelas; }
  void SetQtdParcelas(std::int32_t value) { fQtdParcelas = value; }
  std::int32_t TipoTransacao() const { return fTipoTransacao; }
  void SetTipoTransacao(std::int32_t value) { fTipoTransacao = value; }
  std::int32_t TipoParcelamento() const { return fTipoParcelamento; }
  void SetTipoParcelamento(std::int32_t value) { fTipoParcelamento = value; }
  std::int32_t OrdemPagamento() const { return fOrdemPagamento; }
  void SetOrdemPagamento(std::int32_t value);

  // Dates and times.
  TDateTime DataCheque() const { return fDataCheque; }
  void SetDataCheque(TDateTime value) { fDataCheque = value; }
  TDateTime DataHoraTransacaoCancelada() const { return fDataHoraTransacaoCancelada; }
  void SetDataHoraTransacaoCancelada(TDateTime value) { fDataHoraTransacaoCancelada = value; }
  TDateTime DataHoraTransacaoComprovante() const { return fDataHoraTransacaoComprovante; }
  void SetDataHoraTransacaoComprovante(TDateTime value) { fDataHoraTransacaoComprovante = value; }
  TDateTime DataHoraTransacaoHost() const { return fDataHoraTransacaoHost; }
  void SetDataHoraTransacaoHost(TDateTime value) { fDataHoraTransacaoHost = value; }
  TDateTime DataHoraTransacaoLocal() const { return fDataHoraTransacaoLocal; }
  void SetDataHoraTransacaoLocal(TDateTime value) { fDataHoraTransacaoLocal = value; }
  TDateTime DataPreDatado() const { return fDataPreDatado; }
  void SetDataPreDatado(TDateTime value) { fDataPreDatado = value; }
  TDateTime DataEntradaCDC() const { return fDataEntradaCDC; }
  void SetDataEntradaCDC(TDateTime value) { fDataEntradaCDC = value; }

  // Amounts.
  Currency ValorTotal() const { return fValorTotal; }
  void SetValorTotal(Currency value) { fValorTotal = value; }
  Currency ValorOriginal() const { return fValorOriginal; }
  void SetValorOriginal(Currency value) { fValorOriginal = value; }
  Currency Saque() const { return fSaque; }
  void SetSaque(Currency value) { fSaque = value; }
  Currency Desconto() const { return fDesconto; }
  void SetDesconto(Currency value) { fDesconto = value; }
  Currency ValorEntradaCDC() const { return fValorEntradaCDC; }
  void SetValorEntradaCDC(Currency value) { fValorEntradaCDC = value; }

  // One 8-bit character: "F" or "J", blank when unknown.
  char TipoPessoa() const { return fTipoPessoa; }
  void SetTipoPessoa(char value) { fTipoPessoa = value; }

  TVornCliSiTefRespParceladoPor ParceladoPor() const { return fParceladoPor; }
  void SetParceladoPor(TVornCliSiTefRespParceladoPor value) { fParceladoPor = value; }
  TVornCliSiTefRespTipoOperacao TipoOperacao() const { return fTipoOperacao; }
  void SetTipoOperacao(TVornCliSiTefRespTipoOperacao value) { fTipoOperacao = value; }

  // CNFEnviado (the confirmation was sent) is also written to 899-001 as
  // "S" or "N".
  bool Debito() const { return fDebito; }
  void SetDebito(bool value) { fDebito = value; }
  bool Credito() const { return fCredito; }
  void SetCredito(bool value) { fCredito = value; }
  bool CNFEnviado() const { return fCNFEnviado; }
  void SetCNFEnviado(bool value);

  // Not reset by Clear: the kind of manager that produced the response, and
  // whether it was read back from a backup file at start-up.
  TVornCliSiTefTipo TipoGP() const { return fTipoGP; }
  void SetTipoGP(TVornCliSiTefTipo value) { fTipoGP = value; }
  bool Pendente() const { return fPendente; }
  void SetPendente(bool value) { fPendente = value; }

  // Not reset by Clear; filled by the CliSiTef mapping only.
  TDateTime DataVencimento() const { return fDataVencimento; }
  void SetDataVencimento(TDateTime value) { fDataVencimento = value; }
  const std::string& Instituicao() const { return fInstituicao; }
  void SetInstituicao(const std::string& value) { fInstituicao = value; }
  const std::string& ModalidadePagto() const { return fModalidadePagto; }
  void SetModalidadePagto(const std::string& value) { fModalidadePagto = value; }
  const std::string& ModalidadePagtoDescrita() const { return fModalidadePagtoDescrita; }
  void SetModalidadePagtoDescrita(const std::string& value) { fModalidadePagtoDescrita = value; }
  const std::string& ModalidadeExtenso() const { return fModalidadeExtenso; }
  void SetModalidadeExtenso(const std::string& value) { fModalidadeExtenso = value; }
  const std::string& CodigoRedeAutorizada() const { return fCodigoRedeAutorizada; }
  void SetCodigoRedeAutorizada(const std::string& value) { fCodigoRedeAutorizada = value; }
  const std::string& Bandeira() const { return fBandeira; }
  void SetBandeira(const std::string& value) { fBandeira = value; }
  const std::string& CodigoRede() const { return fCodigoRede; }
  void SetCodigoRede(const std::string& value) { fCodigoRede = value; }
  const std::string& CodigoBandeira() const { return fCodigoBandeira; }
  void SetCodigoBandeira(const std::string& value) { fCodigoBandeira = value; }
  const std::string& CodigoEstabelecimento() const { return fCodigoEstabelecimento; }
  void SetCodigoEstabelecimento(const std::string& value) { fCodigoEstabelecimento = value; }
  const std::string& NSUComprovante() const { return fNSUComprovante; }
  void SetNSUComprovante(const std::string& value) { fNSUComprovante = value; }
  const std::string& CodigoHASH() const { return fCodigoHASH; }
  void SetCodigoHASH(const std::string& value) { fCodigoHASH = value; }
  const std::string& NumeroCartao() const { return fNumeroCartao; }
  void SetNumeroCartao(const std::string& value) { fNumeroCartao = value; }
  const std::string& Estabelecimento() const { return fEstabelecimento; }
  void SetEstabelecimento(const std::string& value) { fEstabelecimento = value; }

  // The response carries receipt text; set by the CliSiTef record, not reset.
  bool fMsgImpressao = false;

 protected:
  TVornCliSiTefArquivo fConteudo;
  TVornCliSiTefRespParcelas fParcelas;
  std::vector<std::string> fImagemComprovante1aVia;
  std::vector<std::string> fImagemComprovante2aVia;

  std::string fHeader;
  std::string fAgencia;
  std::string fAgenciaDC;
  std::string fAutenticacao;
  std::string fBanco;
  std::string fCheque;
  std::string fChequeDC;
  std::string fCMC7;
  std::string fCodigoAutorizacaoTransacao;
  std::string fConta;
  std::string fContaDC;
  std::string fDocumentoPessoa;
  std::string fFinalizacao;
  std::string fNomeAdministradora;
  std::string fNSU;
  std::string fNSUTransacaoCancelada;
  std::string fRede;
  std::string fStatusTransacao;
  std::string fTextoEspecialCliente;
  std::string fTextoEspecialOperador;
  std::string fTrailer;
  std::string fDocumentoVinculado;
  std::string fIndiceFPG_ECF;
  std::string fArqBackup;
  std::string fArqRespPendente;
  std::int32_t fID = 0;
  std::int32_t fMoeda = 0;
  std::int32_t fNumeroLoteTransacao = 0;
  std::int32_t fQtdLinhasComprovante = 0;
  std::int32_t fQtdParcelas = 0;
  std::int32_t fTipoTransacao = 0;
  std::int32_t fTipoParcelamento = 0;
  std::int32_t fOrdemPagamento = 0;
  TDateTime fDataCheque = 0;
  TDateTime fDataHoraTransacaoCancelada = 0;
  TDateTime fDataHoraTransacaoComprovante = 0;
  TDateTime fDataHoraTransacaoHost = 0;
  TDateTime fDataHoraTransacaoLocal = 0;
  TDateTime fDataPreDatado = 0;
  TDateTime fDataEntradaCDC = 0;
  Currency fValorTotal;
  Currency fValorOriginal;
  Currency fSaque;
  Currency fDesconto;
  Currency fValorEntradaCDC;
  char fTipoPessoa = ' ';
  TVornCliSiTefRespParceladoPor fParceladoPor = parcNenhum;
  TVornCliSiTefRespTipoOperacao fTipoOperacao = opOutras;
  bool fDebito = false;
  bool fCredito = false;
  bool fCNFEnviado = false;
  TVornCliSiTefTipo fTipoGP = gpNenhum;
  bool fPendente = false;
  TDateTime fDataVencimento = 0;
  std::string fInstituicao;
  std::string fModalidadePagto;
  std::string fModalidadePagtoDescrita;
  std::string fModalidadeExtenso;
  std::string fCodigoRedeAutorizada;
  std::string fBandeira;
  std::string fCodigoRede;
  std::string fCodigoBandeira;
  std::string fCodigoEstabelecimento;
  std::string fNSUComprovante;
  std::string fCodigoHASH;
  std::string fNumeroCartao;
  std::string fEstabelecimento;
};

// A response read from a file-exchange manager's file or from a backup file.
class TVornCliSiTefRespTXT : public TVornCliSiTefResp {
 public:
  // Approved when the trimmed status is the integer 0 or "P1" in any case.
  bool GetTransacaoAprovada() const override;
  void ConteudoToProperty() override;
  bool GetTrailerOK() const { return !Trailer().empty(); }
};

// A receipt line as stored in a response file: one leading and then one
// trailing double quote removed, inner quotes kept.
AnsiString AjustaLinhaImagemComprovante(AnsiStringView linha);
