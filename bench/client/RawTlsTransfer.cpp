#include "RawTlsTransfer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "Stats.h"
#include "TlsWebSocket.h"

namespace bench {

namespace {

// A listening socket on an ephemeral loopback port.
int Listen(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 8) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("raw TLS server: cannot listen");
  }
  port = ntohs(address.sin_port);
  return fd;
}

// Accepts `repeats` connections; reads `size` bytes from each, answers "k".
void Serve(SSL_CTX* ctx, int listener, std::size_t size, int repeats) {
  std::vector<char> buffer(1 << 16);
  for (int i = 0; i < repeats; ++i) {
    const int fd = accept(listener, nullptr, nullptr);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
      std::size_t received = 0;
      std::size_t n = 0;
      while (received < size && SSL_read_ex(ssl, buffer.data(), buffer.size(), &n) == 1) {
        received += n;
      }
      SSL_write_ex(ssl, "k", 1, &n);
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    close(fd);
  }
}

}  // namespace

std::string RawTlsTransfer(const std::string& certFile, const std::string& keyFile,
                           const std::string& caFile, const std::string& payload, int repeats) {
  SSL_CTX* server = SSL_CTX_new(TLS_server_method());
  if (SSL_CTX_use_certificate_chain_file(server, certFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(server, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("raw TLS server: cannot load the certificate");
  }
  // The gateway speaks TLS 1.2; so does the reference.
  SSL_CTX_set_min_proto_version(server, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(server, TLS1_2_VERSION);
  int port = 0;
  const int listener = Listen(port);
  std::thread thread(Serve, server, listener, payload.size(), repeats);
  TlsClientContext client(caFile);
  std::vector<double> samples;
  for (int i = 0; i < repeats; ++i) {
    TlsConnection connection(client, port);
    const auto start = Clock::now();
    connection.WriteAll(payload.data(), payload.size());
    char answer;
    connection.ReadExact(&answer, 1);
    samples.push_back(MicrosSince(start));
  }
  thread.join();
  close(listener);
  SSL_CTX_free(server);
  std::string list;
  for (const double sample : samples) {
    if (!list.empty()) {
      list += ',';
    }
    list += std::to_string(sample);
  }
  return "[" + list + "]";
}

}  // namespace bench
