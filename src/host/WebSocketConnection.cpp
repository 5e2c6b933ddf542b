#include "host/WebSocketConnection.h"

#include "host/ConnectionErrors.h"

TWebSocketConnection::TWebSocketConnection(std::uint64_t id, SSL_CTX* ctx,
                                           std::unique_ptr<platform::TcpConnection> socket,
                                           const TConnectionSettings& settings, Log log)
    : id_(id),
      peer_(socket->PeerAddress()),
      settings_(settings),
      log_(std::move(log)),
      channel_(ctx, std::move(socket), settings.frames.stall),
      reader_(channel_),
      upgradeDeadline_(ByteStream::Clock::now() + settings.upgradeTimeout) {}

void TWebSocketConnection::TCPServerConnect() {
  channel_.Handshake(upgradeDeadline_);
}

void TWebSocketConnection::WebSocketHandshake() {
  const std::string key = ReadUpgradeRequestKey(reader_, upgradeDeadline_);
  const std::string answer = UpgradeResponse(key);
  // Marked before the answer goes out, so a client that has its answer is
  // never taken for one that has not finished its upgrade.
  upgraded_ = true;
  std::lock_guard lock(writeLock_);
  channel_.WriteAll(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size());
  data_.State = csConnected;
}

void TWebSocketConnection::SendFrame(std::uint8_t opcode, const std::string& payload) {
  const std::string frame = EncodeFrame(opcode, payload);
  std::lock_guard lock(writeLock_);
  if (!connected_)
    return;
  try {
    channel_.WriteAll(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
  } catch (const EConnectionFault& e) {
    log_("Conexão " + std::to_string(id_) + " (" + peer_ + ") encerrada: " + e.what());
    Abort();
  } catch (const EConnectionClosed&) {
    Abort();
  }
}

void TWebSocketConnection::SendClientMessage(const std::string& text) {
  SendFrame(OPCODE_TEXT, text);
}

std::string TWebSocketConnection::DecodeWebSocketFrame() {
  std::lock_guard lock(readLock_);
  if (!connected_ || readingEnded_)
    throw EConnectionClosed("Conexão encerrada.");
  WebSocketMessage message;
  std::string text;
  try {
    message = ReadWebSocketMessage(reader_, settings_.frames);
    if (message.opcode == OPCODE_CLOSE) {
      // Answer with the client's own status code, then end the connection.
      SendFrame(OPCODE_CLOSE, message.payload.substr(0, message.payload.size() >= 2 ? 2 : 0));
      Abort();
      throw EConnectionClosed("Conexão encerrada pelo cliente.");
    }
    text = MessageText(std::move(message), settings_.frames.maxMessageBytes);
  } catch (const EConversionError& e) {
    log_(std::string("Erro na conversão: ") + e.what());
    return "";
  } catch (const EMessageTooLarge&) {
    SendFrame(OPCODE_CLOSE, ClosePayload(kCloseTooBig));
    Abort();
    throw;
  } catch (const EConnectionClosed&) {
    Abort();
    throw;
  }
  return text;
}

bool TWebSocketConnection::HasInputPending(std::chrono::milliseconds wait) {
  std::lock_guard lock(readLock_);
  if (!connected_ || readingEnded_ || reader_.HasBuffered())
    return true;
  return channel_.HasInput(wait);
}

void TWebSocketConnection::Close() {
  if (!connected_)
    return;
  SendFrame(OPCODE_CLOSE, ClosePayload(kCloseNormal));
  Abort();
}

void TWebSocketConnection::Abort() {
  connected_ = false;
  channel_.Shutdown();
}

void TWebSocketConnection::EndReading() {
  // Reads hold readLock_ for their whole wait: one that holds it now can
  // only be woken by ending the connection; any later one sees the flag.
  std::unique_lock reading(readLock_, std::try_to_lock);
  readingEnded_ = true;
  if (!reading.owns_lock())
    Abort();
}
