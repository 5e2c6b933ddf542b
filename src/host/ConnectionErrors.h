#pragma once

#include "api/ClientConnection.h"

// The connection is ended by the server because the client broke a rule or a
// limit (stalled mid-frame, too large a message, no upgrade in time). Unlike
// a plain close, the reason is written to the service log.
class EConnectionFault : public EConnectionClosed {
 public:
  using EConnectionClosed::EConnectionClosed;
};

// A received message that could not be turned into text (bad gzip data). The
// connection goes on; the message is logged and read as empty.
class EConversionError : public Exception {
 public:
  using Exception::Exception;
};

// A message larger than the configured limit (declared, or once inflated).
class EMessageTooLarge : public EConnectionFault {
 public:
  using EConnectionFault::EConnectionFault;
};
