#include "TlsWebSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace bench {

namespace {

std::runtime_error TlsError(const std::string& what) {
  char reason[256] = "";
  ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
  return std::runtime_error(what + ": " + reason);
}

}  // namespace

TlsClientContext::TlsClientContext(const std::string& caFile)
    : ctx_(SSL_CTX_new(TLS_client_method())) {
  if (ctx_ == nullptr || SSL_CTX_load_verify_locations(ctx_, caFile.c_str(), nullptr) != 1) {
    throw TlsError("CA file " + caFile);
  }
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
}

TlsClientContext::~TlsClientContext() {
  SSL_CTX_free(ctx_);
}

TlsConnection::TlsConnection(const TlsClientContext& context, int port) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    if (fd_ >= 0) {
      close(fd_);
    }
    throw std::runtime_error(std::string("connect: ") + std::strerror(error));
  }
  const int on = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ssl_ = SSL_new(context.Get());
  SSL_set_fd(ssl_, fd_);
  SSL_set_tlsext_host_name(ssl_, "localhost");
  if (SSL_connect(ssl_) != 1) {
    SSL_free(ssl_);
    close(fd_);
    throw TlsError("TLS handshake");
  }
}

TlsConnection::~TlsConnection() {
  SSL_shutdown(ssl_);
  SSL_free(ssl_);
  close(fd_);
}

void TlsConnection::WriteAll(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    std::size_t written = 0;
    if (SSL_write_ex(ssl_, bytes, size, &written) != 1) {
      throw TlsError("TLS write");
    }
    bytes += written;
    size -= written;
  }
}

void TlsConnection::ReadExact(void* data, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    std::size_t read = 0;
    if (SSL_read_ex(ssl_, bytes, size, &read) != 1) {
      throw TlsError("connection ended");
    }
    bytes += read;
    size -= read;
  }
}

WebSocketClient::WebSocketClient(const TlsClientContext& context, int port) : tls_(context, port) {
  const std::string request =
      "GET / HTTP/1.1\r\nHost: localhost\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
  tls_.WriteAll(request.data(), request.size());
  std::string answer;
  while (answer.size() < 4 || answer.compare(answer.size() - 4, 4, "\r\n\r\n") != 0) {
    char c;
    tls_.ReadExact(&c, 1);
    answer += c;
  }
  if (answer.rfind("HTTP/1.1 101", 0) != 0) {
    throw std::runtime_error("upgrade refused: " + answer.substr(0, answer.find('\r')));
  }
}

std::vector<std::uint8_t> WebSocketClient::TextFrame(const std::string& text) {
  std::vector<std::uint8_t> frame;
  frame.reserve(text.size() + 14);
  frame.push_back(0x81);
  const std::size_t n = text.size();
  if (n <= 125) {
    frame.push_back(0x80 | static_cast<std::uint8_t>(n));
  } else if (n <= 0xFFFF) {
    frame.push_back(0x80 | 126);
    frame.push_back(static_cast<std::uint8_t>(n >> 8));
    frame.push_back(static_cast<std::uint8_t>(n));
  } else {
    frame.push_back(0x80 | 127);
    for (int shift = 56; shift >= 0; shift -= 8) {
      frame.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(n) >> shift));
    }
  }
  maskSeed_ = maskSeed_ * 1664525u + 1013904223u;
  std::uint8_t mask[4];
  std::memcpy(mask, &maskSeed_, 4);
  frame.insert(frame.end(), mask, mask + 4);
  const std::size_t start = frame.size();
  frame.resize(start + n);
  for (std::size_t i = 0; i < n; ++i) {
    frame[start + i] = static_cast<std::uint8_t>(text[i]) ^ mask[i % 4];
  }
  return frame;
}

void WebSocketClient::SendFrame(const std::vector<std::uint8_t>& frame) {
  tls_.WriteAll(frame.data(), frame.size());
}

std::string WebSocketClient::ReceiveText() {
  for (;;) {
    std::uint8_t head[2];
    tls_.ReadExact(head, 2);
    std::uint64_t n = head[1] & 0x7F;
    if (n == 126 || n == 127) {
      std::uint8_t extended[8];
      const std::size_t width = n == 126 ? 2 : 8;
      tls_.ReadExact(extended, width);
      n = 0;
      for (std::size_t i = 0; i < width; ++i) {
        n = (n << 8) | extended[i];
      }
    }
    std::string payload(n, '\0');
    tls_.ReadExact(payload.data(), n);
    const int opcode = head[0] & 0x0F;
    if (opcode == 0x8) {
      throw std::runtime_error("closed by the server");
    }
    if (opcode == 0x1 || opcode == 0x2) {
      return payload;
    }
  }
}

}  // namespace bench
