#include "host/TlsServerContext.h"

#include <openssl/err.h>

#include <stdexcept>

std::string TlsErrorText() {
  const unsigned long error = ERR_get_error();
  ERR_clear_error();
  if (error == 0)
    return "erro desconhecido";
  const char* reason = ERR_reason_error_string(error);
  return reason != nullptr ? reason : "erro " + std::to_string(error);
}

TlsServerContext::TlsServerContext(const std::string& certificateFile, const std::string& keyFile,
                                   const std::string& caFile, const std::string& ciphers)
    : ctx_(SSL_CTX_new(TLS_server_method())) {
  if (ctx_ == nullptr)
    throw std::runtime_error("Falha ao criar o contexto TLS: " + TlsErrorText());
  auto fail = [this](const std::string& what, const std::string& file) {
    const std::string reason = TlsErrorText();
    SSL_CTX_free(ctx_);
    throw std::runtime_error(what + " " + file + ": " + reason);
  };
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION);
  // A list in which nothing is known is refused; unknown names beside known
  // ones are skipped.
  if (SSL_CTX_set_cipher_list(ctx_, ciphers.c_str()) != 1) {
    fail("Lista de cifras TLS inválida:", ciphers);
  }
  SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
  // Whole records in one read of the socket instead of a header read and a
  // body read.
  SSL_CTX_set_read_ahead(ctx_, 1);
  // Room for several records per read during a large message.
  SSL_CTX_set_default_read_buffer_len(ctx_, 64 * 1024);
  if (SSL_CTX_use_certificate_chain_file(ctx_, certificateFile.c_str()) != 1) {
    fail("Não foi possível carregar o certificado", certificateFile);
  }
  if (SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    fail("Não foi possível carregar a chave privada", keyFile);
  }
  if (SSL_CTX_check_private_key(ctx_) != 1) {
    fail("A chave privada não corresponde ao certificado", keyFile);
  }
  if (SSL_CTX_load_verify_locations(ctx_, caFile.c_str(), nullptr) != 1) {
    fail("Não foi possível carregar o certificado da CA", caFile);
  }
}

TlsServerContext::~TlsServerContext() {
  SSL_CTX_free(ctx_);
}
