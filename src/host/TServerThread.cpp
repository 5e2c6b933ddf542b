#include "host/TServerThread.h"

#include "host/ConnectionErrors.h"
#include "host/TlsServerContext.h"
#include "platform/Platform.h"
#include "platform/ServiceHost.h"

namespace {
std::atomic<std::uint64_t> nextConnectionId{1};
}

TServerThread::TServerThread(TServerSettings settings, ClientHandlers handlers, Log log)
    : settings_(std::move(settings)), handlers_(std::move(handlers)), log_(std::move(log)) {}

TServerThread::~TServerThread() {
  Stop();
  WaitFor();
}

void TServerThread::Start() {
  thread_ = std::thread([this] { Execute(); });
}

void TServerThread::Stop() {
  std::lock_guard lock(lock_);
  stopping_ = true;
  if (listener_ != nullptr)
    listener_->Close();
  for (Connection& entry : connections_) {
    if (!entry.handling)
      entry.connection->Abort();
  }
}

void TServerThread::WaitFor() {
  if (thread_.joinable())
    thread_.join();
}

void TServerThread::Execute() {
  const std::string folder = settings_.certificateFolder;
  try {
    TlsServerContext tls(folder + "server_cert.pem", folder + "server_key.pem",
                         folder + "ca_cert.pem", settings_.ciphers);
    std::unique_ptr<platform::TcpListener> listener;
    try {
      listener = platform::ListenTcp(settings_.listen);
    } catch (const std::exception& e) {
      throw std::runtime_error("porta " + std::to_string(settings_.listen.port) + ": " + e.what());
    }
    {
      std::lock_guard lock(lock_);
      if (stopping_)
        listener->Close();
      listener_ = listener.get();
    }
    active_ = true;
    Accept(tls, *listener);
    active_ = false;
    {
      std::lock_guard lock(lock_);
      listener_ = nullptr;
    }
    // The port is given up at once: no client connects to a stopping server.
    listener.reset();
    WaitForRequestsInProgress();
    {
      std::lock_guard lock(lock_);
      // A request still running waits for its client no more, but what it
      // still sends goes out: a payment the library is confirming reaches
      // its client approved. Its connection closes when it ends.
      for (Connection& entry : connections_) {
        if (entry.handling)
          entry.connection->EndReading();
        else
          entry.connection->Abort();
      }
    }
    Reap(true);
  } catch (const std::exception& e) {
    log_(std::string("Falha ao ativar o servidor socket: ") + e.what());
  }
  finished_ = true;
}

void TServerThread::Accept(TlsServerContext& tls, platform::TcpListener& listener) {
  while (std::unique_ptr<platform::TcpConnection> socket = listener.Accept()) {
    Reap(false);
    WaitForEndingConnections();
    std::lock_guard lock(lock_);
    if (stopping_)
      return;
    if (!MakeRoom(socket->PeerAddress())) {
      log_("Conexão de " + socket->PeerAddress() + " recusada: limite de " +
           std::to_string(settings_.maxConnections) + " conexões simultâneas atingido.");
      continue;
    }
    try {
      auto connection = std::make_shared<TWebSocketConnection>(
          nextConnectionId++, tls.Get(), std::move(socket), settings_.connection, log_);
      Connection& entry = connections_.emplace_back();
      entry.connection = std::move(connection);
      try {
        entry.thread = std::thread([this, &entry] { RunConnection(entry); });
      } catch (...) {
        connections_.pop_back();
        throw;
      }
    } catch (const std::exception& e) {
      log_(std::string("Falha ao aceitar conexão: ") + e.what());
    }
  }
}

void TServerThread::WaitForEndingConnections() {
  // Connections ended to make room finish within moments; a flood must not
  // get a new client refused only because their threads are still ending.
  constexpr int kMaxWaitMs = 2000;
  for (int waited = 0; waited < kMaxWaitMs; ++waited) {
    {
      std::lock_guard lock(lock_);
      if (stopping_ || static_cast<int>(connections_.size()) < 2 * settings_.maxConnections)
        return;
    }
    platform::Current().SleepMs(1);
    Reap(false);
  }
}

bool TServerThread::MakeRoom(const std::string& peer) {
  // Connections that never finish their upgrade must not hold every place
  // and turn a well-behaved client away, so the oldest of them gives its
  // place up. Upgraded clients keep theirs. Ended connections whose threads
  // have not finished yet still count against twice the limit, which bounds
  // the threads under a flood.
  int live = 0;
  Connection* oldestPending = nullptr;
  for (Connection& entry : connections_) {
    if (entry.evicted || entry.done)
      continue;
    ++live;
    if (oldestPending == nullptr && !entry.connection->Upgraded())
      oldestPending = &entry;
  }
  if (live < settings_.maxConnections)
    return static_cast<int>(connections_.size()) < 2 * settings_.maxConnections;
  if (oldestPending == nullptr ||
      static_cast<int>(connections_.size()) >= 2 * settings_.maxConnections)
    return false;
  oldestPending->evicted = true;
  oldestPending->connection->Abort();
  log_("Conexão " + std::to_string(oldestPending->connection->Id()) + " (" +
       oldestPending->connection->PeerAddress() + ") encerrada sem concluir o upgrade: limite de " +
       std::to_string(settings_.maxConnections) +
       " conexões simultâneas atingido, vaga dada à conexão de " + peer + ".");
  return true;
}

void TServerThread::RunConnection(Connection& entry) {
  TWebSocketConnection& connection = *entry.connection;
  try {
    connection.TCPServerConnect();
    while (connection.Connected()) TCPServerExecute(entry);
  } catch (const EConnectionFault& e) {
    log_("Conexão " + std::to_string(connection.Id()) + " (" + connection.PeerAddress() +
         ") encerrada: " + e.what());
  } catch (const EConnectionClosed&) {
    // The client closed it, or the server is stopping: nothing to report.
  } catch (const std::exception& e) {
    log_("Conexão " + std::to_string(connection.Id()) + " (" + connection.PeerAddress() +
         ") encerrada por erro: " + e.what());
  }
  connection.Abort();
  if (connection.Data().State == csConnected)
    TCPServerDisconnect(connection);
  entry.done = true;
}

void TServerThread::TCPServerExecute(Connection& entry) {
  TWebSocketConnection& connection = *entry.connection;
  if (connection.Data().State == csHandshake) {
    connection.WebSocketHandshake();
    return;
  }
  const std::string message = connection.DecodeWebSocketFrame();
  if (!message.empty() && handlers_.OnClientMessage)
    HandleMessage(entry, message);
}

void TServerThread::HandleMessage(Connection& entry, const std::string& message) {
  {
    std::lock_guard lock(lock_);
    if (stopping_) {
      entry.connection->Abort();
      return;
    }
    entry.handling = true;
  }
  struct Ended {
    TServerThread& server;
    Connection& entry;
    ~Ended() {
      {
        std::lock_guard lock(server.lock_);
        entry.handling = false;
        if (server.stopping_)
          entry.connection->Abort();
      }
      server.requestEnded_.notify_all();
    }
  } ended{*this, entry};
  handlers_.OnClientMessage(*entry.connection, message);
}

void TServerThread::WaitForRequestsInProgress() {
  const auto handling = [this] {
    for (const Connection& entry : connections_) {
      if (entry.handling)
        return true;
    }
    return false;
  };
  const std::string seconds = std::to_string(settings_.stopWait.count());
  std::unique_lock lock(lock_);
  if (!handling())
    return;
  log_("Aguardando o fim da operação em andamento para parar o servidor (até " + seconds + " s).");
  const auto deadline = std::chrono::steady_clock::now() + settings_.stopWait;
  while (handling()) {
    if (requestEnded_.wait_until(
            lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::seconds(1))) ==
            std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline) {
      log_("A operação em andamento não terminou em " + seconds +
           " s; a conexão foi encerrada para parar o servidor.");
      return;
    }
    // The service manager hears that the stop is progressing while it waits.
    platform::ServiceProgress();
  }
  log_("Operação em andamento concluída; parando o servidor.");
}

void TServerThread::TCPServerDisconnect(TWebSocketConnection& connection) {
  if (!handlers_.OnClientDisconnected)
    return;
  try {
    handlers_.OnClientDisconnected(connection);
  } catch (const std::exception& e) {
    log_("Erro ao tratar o fim da conexão " + std::to_string(connection.Id()) + ": " + e.what());
  }
}

void TServerThread::Reap(bool all) {
  std::list<Connection> ended;
  {
    std::lock_guard lock(lock_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      if (all || it->done) {
        ended.splice(ended.end(), connections_, it++);
      } else {
        ++it;
      }
    }
  }
  for (Connection& entry : ended) entry.thread.join();
}
