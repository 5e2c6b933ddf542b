#include <winsock2.h>
#include <ws2tcpip.h>
// After the socket headers, which must come before <windows.h>.
#include <mstcpip.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>

#include "platform/Socket.h"
#include "platform/win32/WideText.h"

namespace platform {
namespace {

// Winsock is started once, on the first listener, and left running until the
// process ends.
void StartWinsock() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data{};
    const int error = WSAStartup(MAKEWORD(2, 2), &data);
    if (error != 0) {
      throw std::runtime_error("WSAStartup: " + SystemMessage(static_cast<DWORD>(error)));
    }
  });
}

std::string ErrorText(const char* what, int error) {
  return std::string(what) + ": " + SystemMessage(static_cast<DWORD>(error));
}

void SetNonBlocking(SOCKET socket) {
  u_long on = 1;
  ioctlsocket(socket, FIONBIO, &on);
}

// Waits until `socket` has `events` (or hung up, or failed), or `stop` is
// set; false on time-out. Whether a wait wakes when the socket is shut down
// from this side is not documented for WSAPoll, so it waits in slices and
// looks at `stop` between them.
bool PollFor(SOCKET socket, short events, std::chrono::milliseconds timeout,
             const std::atomic<bool>& stop) {
  constexpr auto kSlice = std::chrono::milliseconds(50);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (stop)
      return true;
    auto wait = kSlice;
    if (timeout.count() >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0)
        return false;
      wait = std::min(wait, left);
    }
    WSAPOLLFD p{socket, events, 0};
    if (WSAPoll(&p, 1, static_cast<int>(wait.count())) != 0)
      return true;  // ready, or an error the read or write then reports
  }
}

class Win32Connection : public TcpConnection {
 public:
  Win32Connection(SOCKET socket, std::string peer) : socket_(socket), peer_(std::move(peer)) {}
  ~Win32Connection() override { closesocket(socket_); }

  std::intptr_t NativeHandle() const override { return static_cast<std::intptr_t>(socket_); }
  std::string PeerAddress() const override { return peer_; }
  bool WaitReadable(std::chrono::milliseconds timeout) override {
    return PollFor(socket_, POLLRDNORM, timeout, shutdown_);
  }
  bool WaitWritable(std::chrono::milliseconds timeout) override {
    return PollFor(socket_, POLLWRNORM, timeout, shutdown_);
  }
  void Shutdown() override {
    shutdown_ = true;
    shutdown(socket_, SD_BOTH);
  }

 private:
  SOCKET socket_;
  std::string peer_;
  std::atomic<bool> shutdown_{false};
};

class Win32Listener : public TcpListener {
 public:
  Win32Listener(SOCKET socket, int port, const TcpListenOptions& options)
      : socket_(socket), port_(port), options_(options), wake_(WSACreateEvent()) {
    if (wake_ == WSA_INVALID_EVENT) {
      const int error = WSAGetLastError();
      closesocket(socket_);
      throw std::runtime_error(ErrorText("WSACreateEvent", error));
    }
    accept_ = WSACreateEvent();
    WSAEventSelect(socket_, accept_, FD_ACCEPT);
  }
  ~Win32Listener() override {
    closesocket(socket_);
    WSACloseEvent(accept_);
    WSACloseEvent(wake_);
  }

  std::unique_ptr<TcpConnection> Accept() override {
    for (;;) {
      if (closed_)
        return nullptr;
      const WSAEVENT events[2] = {accept_, wake_};
      const DWORD signalled = WSAWaitForMultipleEvents(2, events, FALSE, WSA_INFINITE, FALSE);
      if (closed_ || signalled != WSA_WAIT_EVENT_0)
        return nullptr;
      WSAResetEvent(accept_);
      sockaddr_in addr{};
      int len = sizeof addr;
      const SOCKET socket = accept(socket_, reinterpret_cast<sockaddr*>(&addr), &len);
      if (socket == INVALID_SOCKET)
        continue;  // nothing waiting after all, or the peer gave up already
      // An accepted socket inherits the listener's event selection; it is
      // waited on with WSAPoll instead.
      WSAEventSelect(socket, nullptr, 0);
      SetNonBlocking(socket);
      Configure(socket);
      char ip[INET_ADDRSTRLEN] = "?";
      inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
      return std::make_unique<Win32Connection>(
          socket, std::string(ip) + ":" + std::to_string(ntohs(addr.sin_port)));
    }
  }

  void Close() override {
    if (!closed_.exchange(true))
      WSASetEvent(wake_);
  }

  int Port() const override { return port_; }

 private:
  void Configure(SOCKET socket) const {
    const BOOL on = TRUE;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    if (!options_.keepAlive)
      return;
    // The probes' count is the system's (ten on Windows); the idle time and
    // the interval are the listener's.
    tcp_keepalive settings{1, static_cast<ULONG>(options_.keepAliveIdleSeconds) * 1000,
                           static_cast<ULONG>(options_.keepAliveIntervalSeconds) * 1000};
    DWORD returned = 0;
    WSAIoctl(socket, SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr, 0, &returned, nullptr,
             nullptr);
  }

  SOCKET socket_;
  int port_;
  TcpListenOptions options_;
  WSAEVENT wake_;
  WSAEVENT accept_ = WSA_INVALID_EVENT;
  std::atomic<bool> closed_{false};
};

}  // namespace

std::unique_ptr<TcpListener> ListenTcp(const TcpListenOptions& options) {
  StartWinsock();
  const SOCKET socket = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET)
    throw std::runtime_error(ErrorText("socket", WSAGetLastError()));
  // Without SO_REUSEADDR, which on Windows would let two programs share the
  // port; connections of an earlier server in TIME_WAIT do not stop a bind.
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<std::uint16_t>(options.port));
  if (bind(socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(socket, SOMAXCONN) != 0) {
    const int error = WSAGetLastError();
    closesocket(socket);
    throw std::runtime_error(SystemMessage(static_cast<DWORD>(error)));
  }
  int len = sizeof addr;
  getsockname(socket, reinterpret_cast<sockaddr*>(&addr), &len);
  return std::make_unique<Win32Listener>(socket, ntohs(addr.sin_port), options);
}

}  // namespace platform
