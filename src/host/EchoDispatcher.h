#pragma once

#include <functional>
#include <string>

#include "api/ClientConnection.h"

// Stand-in for the API module's route dispatcher, so the WebSocket endpoint
// can be exercised end to end before the API exists:
//   "size:N"      answers a text of N letters "a" (frame header sizes);
//   "ask:PROMPT"  sends PROMPT, reads the next message of the same
//                 connection and answers "answer:" + it (a prompt relay);
//   "id"          answers "connection:" + the connection's number;
//   "close"       closes the connection from the server side;
//   anything else is echoed back as received.
// Each disconnect writes "Conexão N finalizada." to the given log.
ClientHandlers EchoDispatcher(std::function<void(const std::string&)> log);
