#include "tef/VornCliSiTefIdentificacao.h"

#include "util/VornString.h"

void TVornCliSiTefIdentificacao::SetNomeAplicacao(const std::string& value) {
  fNomeAplicacao = Trim(value);
}

void TVornCliSiTefIdentificacao::SetVersaoAplicacao(const std::string& value) {
  fVersaoAplicacao = Trim(value);
}

void TVornCliSiTefIdentificacao::SetSoftwareHouse(const std::string& value) {
  fSoftwareHouse = Trim(value);
}

void TVornCliSiTefIdentificacao::SetRazaoSocial(const std::string& value) {
  fRazaoSocial = Trim(value);
}
