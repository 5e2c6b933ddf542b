#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>

#include "platform/Socket.h"

namespace platform {
namespace {

std::string ErrorText(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Polls `fd` for `events`; true when ready (or hung up), false on time-out.
bool PollFor(int fd, short events, std::chrono::milliseconds timeout) {
  pollfd p{fd, events, 0};
  const int ms = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
  for (;;) {
    const int rc = poll(&p, 1, ms);
    if (rc > 0)
      return true;
    if (rc == 0)
      return false;
    if (errno != EINTR)
      return true;  // let the read or write report the error
  }
}

class PosixConnection : public TcpConnection {
 public:
  PosixConnection(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {}
  ~PosixConnection() override { close(fd_); }

  std::intptr_t NativeHandle() const override { return fd_; }
  std::string PeerAddress() const override { return peer_; }
  bool WaitReadable(std::chrono::milliseconds timeout) override {
    return PollFor(fd_, POLLIN, timeout);
  }
  bool WaitWritable(std::chrono::milliseconds timeout) override {
    return PollFor(fd_, POLLOUT, timeout);
  }
  void Shutdown() override { shutdown(fd_, SHUT_RDWR); }

 private:
  int fd_;
  std::string peer_;
};

class PosixListener : public TcpListener {
 public:
  PosixListener(int fd, int port, const TcpListenOptions& options)
      : fd_(fd), port_(port), options_(options) {
    if (pipe(wake_) != 0) {
      const int error = errno;
      close(fd_);
      throw std::runtime_error(ErrorText("pipe", error));
    }
  }
  ~PosixListener() override {
    close(fd_);
    close(wake_[0]);
    close(wake_[1]);
  }

  std::unique_ptr<TcpConnection> Accept() override {
    for (;;) {
      if (closed_)
        return nullptr;
      pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(p, 2, -1) < 0 && errno != EINTR)
        return nullptr;
      if (closed_ || (p[1].revents & POLLIN))
        return nullptr;
      sockaddr_in addr{};
      socklen_t len = sizeof addr;
      const int fd = accept4(fd_, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_CLOEXEC);
      if (fd < 0)
        continue;  // the peer gave up already, or a transient error
      SetNonBlocking(fd);
      Configure(fd);
      char ip[INET_ADDRSTRLEN] = "?";
      inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
      return std::make_unique<PosixConnection>(
          fd, std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port)));
    }
  }

  void Close() override {
    if (!closed_.exchange(true)) {
      const char byte = 0;
      [[maybe_unused]] const auto n = write(wake_[1], &byte, 1);
    }
  }

  int Port() const override { return port_; }

 private:
  void Configure(int fd) const {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (!options_.keepAlive)
      return;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &options_.keepAliveIdleSeconds, sizeof(int));
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &options_.keepAliveIntervalSeconds, sizeof(int));
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &options_.keepAliveProbes, sizeof(int));
  }

  int fd_;
  int port_;
  TcpListenOptions options_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> closed_{false};
};

}  // namespace

std::unique_ptr<TcpListener> ListenTcp(const TcpListenOptions& options) {
  // A write to a connection the peer has closed must fail, not kill the process.
  std::signal(SIGPIPE, SIG_IGN);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    throw std::runtime_error(ErrorText("socket", errno));
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<std::uint16_t>(options.port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd, SOMAXCONN) != 0) {
    const int error = errno;
    close(fd);
    throw std::runtime_error(std::strerror(error));
  }
  SetNonBlocking(fd);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return std::make_unique<PosixListener>(fd, ntohs(addr.sin_port), options);
}

}  // namespace platform
