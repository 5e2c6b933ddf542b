#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "host/StreamReader.h"

inline constexpr std::uint8_t OPCODE_CONTINUATION = 0;
inline constexpr std::uint8_t OPCODE_TEXT = 1;
inline constexpr std::uint8_t OPCODE_BINARY = 2;
inline constexpr std::uint8_t OPCODE_CLOSE = 8;

// Longest line accepted in the upgrade request.
inline constexpr std::size_t kMaxUpgradeLine = 16384;

// Status codes of the close frames the server sends.
inline constexpr std::uint16_t kCloseNormal = 1000;
inline constexpr std::uint16_t kCloseTooBig = 1009;

// The accept value of a key: base64 of the SHA-1 of key + the RFC 6455 suffix.
std::string GenerateSecWebSocketAccept(const std::string& key);

// Reads the upgrade request up to its empty line and returns the value of
// its last "Sec-WebSocket-Key:" line (case-sensitive header name, trimmed),
// or "" without one. Nothing else of the request is looked at.
std::string ReadUpgradeRequestKey(StreamReader& in, ByteStream::Clock::time_point deadline);

// The complete 101 answer to an upgrade request with `key`.
std::string UpgradeResponse(const std::string& key);

// One unmasked frame with FIN set: 2-, 4- or 10-byte header, then `payload`.
std::string EncodeFrame(std::uint8_t opcode, const std::string& payload);

// The payload of a close frame carrying `status`.
std::string ClosePayload(std::uint16_t status);

struct FrameLimits {
  std::uint64_t maxMessageBytes;    // declared or inflated size above this ends the connection
  std::chrono::milliseconds stall;  // longest wait for the rest of a started message
};

// One received message: the opcode of its first frame (the ping/pong or
// close that interrupted a fragmented one replaces it) and its payload.
struct WebSocketMessage {
  std::uint8_t opcode = 0;
  std::string payload;
};

// Reads frames until one with FIN set (or a close frame) and returns the
// message. The first byte may be waited for without limit; the rest of the
// message must keep arriving within `limits.stall`. Masked payloads are
// unmasked. A close frame is read whole and returned with opcode
// OPCODE_CLOSE and its payload. Throws EConnectionFault when a limit is
// broken and EConnectionClosed when the stream ends.
WebSocketMessage ReadWebSocketMessage(StreamReader& in, const FrameLimits& limits);

// The text of a received message: a binary payload that starts with the
// gzip magic is inflated (at most `maxBytes`, beyond that EConnectionFault);
// everything is decoded as UTF-8 with U+FFFD for invalid sequences. Throws
// EConversionError for a damaged gzip stream.
std::string MessageText(WebSocketMessage message, std::uint64_t maxBytes);

// Inflates a gzip payload when it starts with the magic 1F 8B; decodes as
// UTF-8 either way.
std::string DetectAndDecompress(std::string bytes, std::uint64_t maxBytes);
