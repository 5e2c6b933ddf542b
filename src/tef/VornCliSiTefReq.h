#pragma once

#include <cstdint>
#include <string>

#include "tef/VornCliSiTefArquivo.h"
#include "tef/VornCliSiTefBase.h"
#include "util/Currency.h"
#include "util/DateTime.h"

// A TEF request: its fields as a record file (the content), mirrored by typed
// properties. Every setter writes its field into the content (an empty text
// or a zero removes the field) and keeps the value.
class TVornCliSiTefReq {
 public:
  TVornCliSiTefReq() = default;
  TVornCliSiTefReq(const TVornCliSiTefReq&) = delete;
  TVornCliSiTefReq& operator=(const TVornCliSiTefReq&) = delete;

  TVornCliSiTefArquivo& Conteudo() { return fConteudo; }
  const TVornCliSiTefArquivo& Conteudo() const { return fConteudo; }

  // Empties the content and resets ID and Header; the other properties keep
  // their last values (they are written again before every use).
  void Clear();
  // Writes any further field, the text converted to the ANSI code page.
  void GravaInformacao(std::int32_t identificacao, std::int32_t sequencia,
                       const std::string& texto);

  // 000-000: the operation ("ATV", "ADM", "CRT", "CHQ", "CNC", "CNF", "NCN").
  const std::string& Header() const { return fHeader; }
  void SetHeader(const std::string& value);
  // 001-000; 0 removes the field.
  std::int32_t ID() const { return fID; }
  void SetID(std::int32_t value);
  // 002-000, digits only (the property keeps the digits).
  const std::string& DocumentoVinculado() const { return fDocumentoVinculado; }
  void SetDocumentoVinculado(const std::string& value);
  // 003-000, whole cents.
  Currency ValorTotal() const { return fValorTotal; }
  void SetValorTotal(Currency value);
  // 004-000, the decimal text, "0" included.
  std::int32_t Moeda() const { return fMoeda; }
  void SetMoeda(std::int32_t value);
  const std::string& CMC7() const { return fCMC7; }  // 005-000
  void SetCMC7(const std::string& value);
  char TipoPessoa() const { return fTipoPessoa; }  // 006-000, one 8-bit character
  void SetTipoPessoa(char value);
  const std::string& DocumentoPessoa() const { return fDocumentoPessoa; }  // 007-000
  void SetDocumentoPessoa(const std::string& value);
  TDateTime DataCheque() const { return fDataCheque; }  // 008-000, "DDMMYYYY"
  void SetDataCheque(TDateTime value);
  const std::string& Rede() const { return fRede; }  // 010-000
  void SetRede(const std::string& value);
  // 012-000, digits only (the property keeps the digits).
  const std::string& NSU() const { return fNSU; }
  void SetNSU(const std::string& value);
  // Date "DDMMYYYY" in 022-000, time "HHNNSS" in 023-000.
  TDateTime DataHoraTransacaoComprovante() const { return fDataHoraTransacaoComprovante; }
  void SetDataHoraTransacaoComprovante(TDateTime value);
  const std::string& Finalizacao() const { return fFinalizacao; }  // 027-000
  void SetFinalizacao(const std::string& value);
  const std::string& Banco() const { return fBanco; }  // 033-000
  void SetBanco(const std::string& value);
  const std::string& Agencia() const { return fAgencia; }  // 034-000
  void SetAgencia(const std::string& value);
  const std::string& AgenciaDC() const { return fAgenciaDC; }  // 035-000
  void SetAgenciaDC(const std::string& value);
  const std::string& Conta() const { return fConta; }  // 036-000
  void SetConta(const std::string& value);
  const std::string& ContaDC() const { return fContaDC; }  // 037-000
  void SetContaDC(const std::string& value);
  const std::string& Cheque() const { return fCheque; }  // 038-000
  void SetCheque(const std::string& value);
  const std::string& ChequeDC() const { return fChequeDC; }  // 039-000
  void SetChequeDC(const std::string& value);

 private:
  void GravaTexto(std::int32_t identificacao, const std::string& texto);

  TVornCliSiTefArquivo fConteudo;
  TVornCliSiTefInformacao fInformacao;  // scratch value of the setters

  std::string fHeader;
  std::int32_t fID = 0;
  std::string fDocumentoVinculado;
  Currency fValorTotal;
  std::int32_t fMoeda = 0;
  std::string fCMC7;
  char fTipoPessoa = ' ';
  std::string fDocumentoPessoa;
  TDateTime fDataCheque = 0;
  std::string fRede;
  std::string fNSU;
  TDateTime fDataHoraTransacaoComprovante = 0;
  std::string fFinalizacao;
  std::string fBanco;
  std::string fAgencia;
  std::string fAgenciaDC;
  std::string fConta;
  std::string fContaDC;
  std::string fCheque;
  std::string fChequeDC;
};
