#include "api/outbox/IdentidadePagamento.h"

#include <openssl/evp.h>

#include "tef/VornCliSiTefResp.h"

std::string IdentidadePagamento(const TVornCliSiTefResp& resp) {
  std::string linhas;
  for (const AnsiString& linha : resp.Conteudo().Linhas()) {
    if (linha.rfind("899-", 0) != 0) {
      linhas.append(linha.data(), linha.size());
      linhas += '\n';
    }
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int tamanho = 0;
  EVP_Digest(linhas.data(), linhas.size(), digest, &tamanho, EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < tamanho; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0F];
  }
  return hex;
}
