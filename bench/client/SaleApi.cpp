#include "SaleApi.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "Stats.h"

namespace bench {

SaleApi::SaleApi(int port, const std::string& certFile, const std::string& keyFile)
    : ctx_(SSL_CTX_new(TLS_server_method())), listener_(socket(AF_INET, SOCK_STREAM, 0)) {
  if (ctx_ == nullptr || SSL_CTX_use_certificate_chain_file(ctx_, certFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx_, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("sale API: cannot load " + certFile);
  }
  const int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 8) != 0) {
    throw std::runtime_error("sale API: cannot listen on " + std::to_string(port));
  }
  thread_ = std::thread([this] { Serve(); });
}

SaleApi::~SaleApi() {
  stopping_ = true;
  shutdown(listener_, SHUT_RDWR);
  thread_.join();
  close(listener_);
  SSL_CTX_free(ctx_);
}

std::vector<double> SaleApi::Durations() {
  std::lock_guard guard(lock_);
  return durations_;
}

void SaleApi::Serve() {
  for (int number = 1; !stopping_; ++number) {
    const int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) {
      return;
    }
    const auto accepted = Clock::now();
    Answer(fd, number);
    std::lock_guard guard(lock_);
    durations_.push_back(MicrosSince(accepted));
  }
}

// Reads the request head and its Content-Length body, answers, closes.
void SaleApi::Answer(int fd, int number) {
  SSL* ssl = SSL_new(ctx_);
  SSL_set_fd(ssl, fd);
  if (SSL_accept(ssl) == 1) {
    std::string request;
    char buffer[4096];
    std::size_t n = 0;
    std::size_t need = std::string::npos;
    while (request.size() < need && SSL_read_ex(ssl, buffer, sizeof buffer, &n) == 1) {
      request.append(buffer, n);
      const auto head = request.find("\r\n\r\n");
      if (need == std::string::npos && head != std::string::npos) {
        const auto length = request.find("Content-Length: ");
        need = head + 4 + (length < head ? std::stoul(request.substr(length + 16)) : 0);
      }
    }
    const std::string body = "{\"data\":" + std::to_string(number) + "}";
    const std::string answer =
        "HTTP/1.1 201 Created\r\nContent-Type: application/json\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    SSL_write_ex(ssl, answer.data(), answer.size(), &n);
    SSL_shutdown(ssl);
  }
  SSL_free(ssl);
  close(fd);
}

}  // namespace bench
