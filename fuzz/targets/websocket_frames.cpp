// WebSocket frames as a client could send them after the upgrade: messages
// are read until the stream ends or a limit ends the connection, and each one
// is turned into text the way the server does (gzip binary inflated, UTF-8
// decoded), which must come out valid UTF-8. The first input byte picks the
// read size, so frames also arrive split across reads.

#include <cstdlib>

#include "FuzzSupport.h"
#include "host/Utf8Decode.h"
#include "host/WebSocketCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  if (size == 0) {
    return 0;
  }
  fuzz::MemoryStream stream(data + 1, size - 1, 1 + data[0] % 32);
  StreamReader reader(stream);
  const FrameLimits limits{64 * 1024, std::chrono::milliseconds(0)};
  try {
    for (;;) {
      const WebSocketMessage message = ReadWebSocketMessage(reader, limits);
      if (message.opcode == OPCODE_CLOSE) {
        break;
      }
      try {
        const std::string text = MessageText(message, limits.maxMessageBytes);
        if (DecodeUtf8Lossy(text) != text) {
          std::abort();
        }
      } catch (const EConversionError&) {
      }
    }
  } catch (const EConnectionClosed&) {
  }
  return 0;
}
