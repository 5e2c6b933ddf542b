#pragma once

#include <string>

// Who the host application is; sent to a file-exchange manager with each request.
class TVornCliSiTefIdentificacao {
 public:
  const std::string& NomeAplicacao() const { return fNomeAplicacao; }
  const std::string& VersaoAplicacao() const { return fVersaoAplicacao; }
  const std::string& SoftwareHouse() const { return fSoftwareHouse; }
  const std::string& RazaoSocial() const { return fRazaoSocial; }

  // Each setter stores the value trimmed of blanks.
  void SetNomeAplicacao(const std::string& value);
  void SetVersaoAplicacao(const std::string& value);
  void SetSoftwareHouse(const std::string& value);
  void SetRazaoSocial(const std::string& value);

 private:
  std::string fNomeAplicacao;
  std::string fVersaoAplicacao;
  std::string fSoftwareHouse;
  std::string fRazaoSocial;
};
