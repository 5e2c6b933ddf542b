#include "tef/VornCliSiTefReq.h"

#include <string>

#include "util/VornCliSiTefUtil.h"

void TVornCliSiTefReq::Clear() {
  fConteudo.Clear();
  fID = 0;
  fHeader.clear();
}

void TVornCliSiTefReq::GravaInformacao(std::int32_t identificacao, std::int32_t sequencia,
                                       const std::string& texto) {
  fConteudo.GravaInformacao(identificacao, sequencia, VornAnsiStr(texto));
}

void TVornCliSiTefReq::GravaTexto(std::int32_t identificacao, const std::string& texto) {
  GravaInformacao(identificacao, 0, texto);
}

void TVornCliSiTefReq::SetHeader(const std::string& value) {
  GravaTexto(0, value);
  fHeader = value;
}

void TVornCliSiTefReq::SetID(std::int32_t value) {
  fInformacao.SetAsInteger(value);
  fConteudo.GravaInformacao(1, 0, fInformacao);
  fID = value;
}

void TVornCliSiTefReq::SetDocumentoVinculado(const std::string& value) {
  fDocumentoVinculado = OnlyNumber(VornAnsiStr(value));
  GravaTexto(2, fDocumentoVinculado);
}

void TVornCliSiTefReq::SetValorTotal(Currency value) {
  fInformacao.SetAsFloat(value.ToDouble());
  fConteudo.GravaInformacao(3, 0, fInformacao);
  fValorTotal = value;
}

void TVornCliSiTefReq::SetMoeda(std::int32_t value) {
  GravaTexto(4, std::to_string(value));
  fMoeda = value;
}

void TVornCliSiTefReq::SetCMC7(const std::string& value) {
  GravaTexto(5, value);
  fCMC7 = value;
}

void TVornCliSiTefReq::SetTipoPessoa(char value) {
  // A NUL byte has no place in a text file: it removes the field.
  fConteudo.GravaInformacao(6, 0, value == '\0' ? AnsiString() : AnsiString(1, value));
  fTipoPessoa = value;
}

void TVornCliSiTefReq::SetDocumentoPessoa(const std::string& value) {
  GravaTexto(7, value);
  fDocumentoPessoa = value;
}

void TVornCliSiTefReq::SetDataCheque(TDateTime value) {
  fInformacao.SetAsDate(value);
  fConteudo.GravaInformacao(8, 0, fInformacao);
  fDataCheque = value;
}

void TVornCliSiTefReq::SetRede(const std::string& value) {
  GravaTexto(10, value);
  fRede = value;
}

void TVornCliSiTefReq::SetNSU(const std::string& value) {
  fNSU = OnlyNumber(VornAnsiStr(value));
  GravaTexto(12, fNSU);
}

void TVornCliSiTefReq::SetDataHoraTransacaoComprovante(TDateTime value) {
  fInformacao.SetAsDate(value);
  fConteudo.GravaInformacao(22, 0, fInformacao);
  fInformacao.SetAsTime(value);
  fConteudo.GravaInformacao(23, 0, fInformacao);
  fDataHoraTransacaoComprovante = value;
}

void TVornCliSiTefReq::SetFinalizacao(const std::string& value) {
  GravaTexto(27, value);
  fFinalizacao = value;
}

void TVornCliSiTefReq::SetBanco(const std::string& value) {
  GravaTexto(33, value);
  fBanco = value;
}

void TVornCliSiTefReq::SetAgencia(const std::string& value) {
  GravaTexto(34, value);
  fAgencia = value;
}

void TVornCliSiTefReq::SetAgenciaDC(const std::string& value) {
  GravaTexto(35, value);
  fAgenciaDC = value;
}

void TVornCliSiTefReq::SetConta(const std::string& value) {
  GravaTexto(36, value);
  fConta = value;
}

void TVornCliSiTefReq::SetContaDC(const std::string& value) {
  GravaTexto(37, value);
  fContaDC = value;
}

void TVornCliSiTefReq::SetCheque(const std::string& value) {
  GravaTexto(38, value);
  fCheque = value;
}

void TVornCliSiTefReq::SetChequeDC(const std::string& value) {
  GravaTexto(39, value);
  fChequeDC = value;
}
