#include "host/TlsChannel.h"

#include <openssl/err.h>

#include "host/ConnectionErrors.h"
#include "host/TlsServerContext.h"

namespace {
std::chrono::milliseconds Remaining(ByteStream::Clock::time_point deadline) {
  if (deadline == ByteStream::Clock::time_point::max())
    return std::chrono::milliseconds(-1);
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - ByteStream::Clock::now());
  return left.count() < 0 ? std::chrono::milliseconds(0) : left;
}
}  // namespace

TlsChannel::TlsChannel(SSL_CTX* ctx, std::unique_ptr<platform::TcpConnection> socket,
                       std::chrono::milliseconds writeStall)
    : socket_(std::move(socket)), ssl_(SSL_new(ctx)), writeStall_(writeStall) {
  if (ssl_ == nullptr)
    throw EConnectionFault("Falha ao criar a sessão TLS: " + TlsErrorText());
  SSL_set_fd(ssl_, static_cast<int>(socket_->NativeHandle()));
}

TlsChannel::~TlsChannel() {
  SSL_free(ssl_);
}

bool TlsChannel::WaitFor(int error, Clock::time_point deadline) {
  const auto left = Remaining(deadline);
  if (left.count() == 0)
    return false;
  return error == SSL_ERROR_WANT_WRITE ? socket_->WaitWritable(left) : socket_->WaitReadable(left);
}

void TlsChannel::Handshake(Clock::time_point deadline) {
  for (;;) {
    int error;
    {
      std::lock_guard lock(io_);
      ERR_clear_error();
      const int rc = SSL_accept(ssl_);
      if (rc == 1)
        return;
      error = SSL_get_error(ssl_, rc);
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
        // A peer that leaves before sending anything (a port probe) is no fault.
        if (error != SSL_ERROR_SSL ||
            ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
          ERR_clear_error();
          throw EConnectionClosed("Conexão encerrada pelo cliente.");
        }
        throw EConnectionFault("Falha na negociação TLS: " + TlsErrorText() + ".");
      }
    }
    if (!WaitFor(error, deadline))
      throw EConnectionFault("Tempo esgotado na negociação TLS.");
  }
}

std::size_t TlsChannel::ReadSome(std::uint8_t* data, std::size_t size, Clock::time_point deadline) {
  bool buffered;
  {
    std::lock_guard lock(io_);
    buffered = SSL_has_pending(ssl_) == 1;
  }
  // With nothing received yet, wait for the socket first: a read now would
  // only report that there is nothing.
  if (!buffered && Remaining(deadline).count() != 0 &&
      !socket_->WaitReadable(Remaining(deadline))) {
    return 0;
  }
  for (;;) {
    int error;
    {
      std::lock_guard lock(io_);
      ERR_clear_error();
      const int rc = SSL_read(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
      if (rc > 0)
        return static_cast<std::size_t>(rc);
      error = SSL_get_error(ssl_, rc);
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        throw EConnectionClosed("Conexão encerrada.");
      }
    }
    if (!WaitFor(error, deadline))
      return 0;
  }
}

void TlsChannel::WriteAll(const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    int error;
    {
      std::lock_guard lock(io_);
      ERR_clear_error();
      const int rc = SSL_write(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
      if (rc > 0) {
        data += rc;
        size -= static_cast<std::size_t>(rc);
        continue;
      }
      error = SSL_get_error(ssl_, rc);
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        throw EConnectionClosed("Conexão encerrada.");
      }
    }
    if (!WaitFor(error, Clock::now() + writeStall_)) {
      throw EConnectionFault("Tempo esgotado enviando dados ao cliente.");
    }
  }
}

bool TlsChannel::HasInput(std::chrono::milliseconds wait) {
  const Clock::time_point deadline = Clock::now() + wait;
  for (;;) {
    {
      std::lock_guard lock(io_);
      ERR_clear_error();
      std::uint8_t byte;
      const int rc = SSL_peek(ssl_, &byte, 1);
      if (rc > 0)
        return true;
      const int error = SSL_get_error(ssl_, rc);
      ERR_clear_error();
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
        return true;
    }
    if (!WaitFor(SSL_ERROR_WANT_READ, deadline))
      return false;
  }
}

void TlsChannel::Shutdown() {
  socket_->Shutdown();
}
