#include "host/EchoDispatcher.h"

#include <algorithm>
#include <string>

namespace {
constexpr std::size_t kMaxEchoSize = 64u << 20;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}
}  // namespace

ClientHandlers EchoDispatcher(std::function<void(const std::string&)> log) {
  ClientHandlers handlers;
  handlers.OnClientMessage = [](ClientConnection& connection, const std::string& message) {
    if (StartsWith(message, "size:")) {
      const std::size_t size = std::stoul(message.substr(5));
      connection.SendClientMessage(std::string(std::min(size, kMaxEchoSize), 'a'));
    } else if (StartsWith(message, "ask:")) {
      connection.SendClientMessage(message.substr(4));
      std::string reply;
      while (reply.empty()) reply = connection.DecodeWebSocketFrame();
      connection.SendClientMessage("answer:" + reply);
    } else if (message == "id") {
      connection.SendClientMessage("connection:" + std::to_string(connection.Id()));
    } else if (message == "close") {
      connection.Close();
    } else {
      connection.SendClientMessage(message);
    }
  };
  handlers.OnClientDisconnected = [log](ClientConnection& connection) {
    log("Conexão " + std::to_string(connection.Id()) + " finalizada.");
  };
  return handlers;
}
