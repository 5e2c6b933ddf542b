#include "host/WebSocketCodec.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "host/ConnectionErrors.h"
#include "host/Utf8Decode.h"

namespace {
constexpr char kKeySuffix[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr char kKeyHeader[] = "Sec-WebSocket-Key:";
constexpr char kStalled[] = "Tempo esgotado aguardando o restante da mensagem do cliente.";
constexpr char kWhitespace[] = " \t\r\n\v\f";
constexpr std::uint64_t kGrowStep = 1 << 20;

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(kWhitespace);
  if (first == std::string::npos)
    return "";
  const auto last = s.find_last_not_of(kWhitespace);
  return s.substr(first, last - first + 1);
}

std::string TooBig(std::uint64_t maxBytes) {
  return "Mensagem do cliente acima do limite de " + std::to_string(maxBytes) + " bytes.";
}

std::string Inflate(const std::string& gz, std::uint64_t maxBytes) {
  z_stream zs{};
  if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
    throw EConversionError("Falha ao iniciar o gzip.");
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
  zs.avail_in = static_cast<uInt>(gz.size());
  std::string out;
  char chunk[16384];
  int rc = Z_OK;
  // A gzip file may hold several members one after the other.
  while (rc != Z_STREAM_END || zs.avail_in > 0) {
    if (rc == Z_STREAM_END)
      inflateReset(&zs);
    zs.next_out = reinterpret_cast<Bytef*>(chunk);
    zs.avail_out = sizeof chunk;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      inflateEnd(&zs);
      throw EConversionError("Conteúdo gzip inválido.");
    }
    const std::size_t produced = sizeof chunk - zs.avail_out;
    if (out.size() + produced > maxBytes) {
      inflateEnd(&zs);
      throw EMessageTooLarge(TooBig(maxBytes));
    }
    out.append(chunk, produced);
    if (rc == Z_OK && produced == 0 && zs.avail_in == 0) {
      inflateEnd(&zs);
      throw EConversionError("Conteúdo gzip inválido.");
    }
  }
  inflateEnd(&zs);
  return out;
}
// XORs `size` payload bytes with the masking key, the first of them being
// byte `index` of the payload; eight bytes at a time.
void Unmask(std::uint8_t* data, std::size_t size, const std::uint8_t mask[4], std::uint64_t index) {
  std::uint8_t pattern[8];
  for (std::size_t i = 0; i < 8; ++i) pattern[i] = mask[(index + i) % 4];
  std::uint64_t word_mask;
  std::memcpy(&word_mask, pattern, 8);
  std::size_t i = 0;
  for (; size - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, data + i, 8);
    word ^= word_mask;
    std::memcpy(data + i, &word, 8);
  }
  for (; i < size; ++i) data[i] ^= pattern[i % 8];
}
}  // namespace

std::string GenerateSecWebSocketAccept(const std::string& key) {
  const std::string text = key + kKeySuffix;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha1(), nullptr);
  unsigned char encoded[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
  const int n = EVP_EncodeBlock(encoded, digest, static_cast<int>(length));
  return std::string(reinterpret_cast<char*>(encoded), static_cast<std::size_t>(n));
}

std::string ReadUpgradeRequestKey(StreamReader& in, ByteStream::Clock::time_point deadline) {
  std::string key;
  for (;;) {
    const std::string line = in.ReadLine(kMaxUpgradeLine, deadline);
    if (line.empty())
      return key;
    if (line.compare(0, sizeof kKeyHeader - 1, kKeyHeader) == 0) {
      key = Trim(line.substr(sizeof kKeyHeader - 1));
    }
  }
}

std::string UpgradeResponse(const std::string& key) {
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: " +
         GenerateSecWebSocketAccept(key) +
         "\r\n"
         "Access-Control-Allow-Origin: *\r\n"
         "Access-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
         "Access-Control-Allow-Headers: Content-Type\r\n"
         "Access-Control-Allow-Credentials: true\r\n"
         "\r\n";
}

std::string EncodeFrame(std::uint8_t opcode, const std::string& payload) {
  const std::uint64_t n = payload.size();
  std::string frame;
  frame.reserve(payload.size() + 10);
  frame.push_back(static_cast<char>(0x80 | opcode));
  if (n <= 125) {
    frame.push_back(static_cast<char>(n));
  } else if (n <= 0xFFFF) {
    frame.push_back(static_cast<char>(126));
    frame.push_back(static_cast<char>(n >> 8));
    frame.push_back(static_cast<char>(n & 0xFF));
  } else {
    frame.push_back(static_cast<char>(127));
    for (int shift = 56; shift >= 0; shift -= 8) frame.push_back(static_cast<char>(n >> shift));
  }
  frame += payload;
  return frame;
}

std::string ClosePayload(std::uint16_t status) {
  return std::string{static_cast<char>(status >> 8), static_cast<char>(status & 0xFF)};
}

WebSocketMessage ReadWebSocketMessage(StreamReader& in, const FrameLimits& limits) {
  using Clock = ByteStream::Clock;
  WebSocketMessage message;
  bool first = true;
  for (;;) {
    // Only the first byte of a message may be waited for without limit.
    const Clock::time_point start = first ? Clock::time_point::max() : Clock::now() + limits.stall;
    std::uint8_t header[2];
    in.ReadExact(header, 1, start, limits.stall, kStalled);
    in.ReadExact(header + 1, 1, Clock::now() + limits.stall, limits.stall, kStalled);
    const bool fin = (header[0] & 0x80) != 0;
    const std::uint8_t opcode = header[0] & 0x0F;
    const bool masked = (header[1] & 0x80) != 0;

    std::uint64_t length = header[1] & 0x7F;
    if (length >= 126) {
      const int size = length == 126 ? 2 : 8;
      std::uint8_t bytes[8];
      in.ReadExact(bytes, size, Clock::now() + limits.stall, limits.stall, kStalled);
      length = 0;
      for (int i = 0; i < size; ++i) length = (length << 8) | bytes[i];
    }
    std::uint8_t mask[4] = {0, 0, 0, 0};
    if (masked)
      in.ReadExact(mask, 4, Clock::now() + limits.stall, limits.stall, kStalled);

    if (opcode == OPCODE_CLOSE || (!first && opcode != OPCODE_CONTINUATION)) {
      // A close, or a frame of another kind in the middle of a message,
      // replaces what was collected.
      message.payload.clear();
      message.opcode = opcode;
    } else if (first) {
      message.opcode = opcode;
    }
    first = false;

    const std::uint64_t collected = message.payload.size();
    if (collected > limits.maxMessageBytes || length > limits.maxMessageBytes - collected) {
      throw EMessageTooLarge(TooBig(limits.maxMessageBytes));
    }
    // Grow as the bytes arrive, so a declared length costs no memory before
    // the peer actually sends it. Once a quarter of it has arrived, room for
    // the rest is made at once: growing by doubling would copy and touch
    // about twice the message (fresh memory is the dearest part of a large
    // message).
    std::uint64_t remaining = length;
    std::uint64_t index = 0;
    while (remaining > 0) {
      if (length - remaining >= length / 4 && message.payload.capacity() < collected + length) {
        message.payload.reserve(static_cast<std::size_t>(collected + length));
      }
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kGrowStep));
      const std::size_t offset = message.payload.size();
      message.payload.resize(offset + take);
      auto* data = reinterpret_cast<std::uint8_t*>(message.payload.data()) + offset;
      in.ReadExact(data, take, Clock::now() + limits.stall, limits.stall, kStalled);
      if (masked) {
        Unmask(data, take, mask, index);
        index += take;
      }
      remaining -= take;
    }
    if (opcode == OPCODE_CLOSE || fin)
      return message;
  }
}

std::string DetectAndDecompress(std::string bytes, std::uint64_t maxBytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
      static_cast<unsigned char>(bytes[1]) == 0x8B) {
    return DecodeUtf8Lossy(Inflate(bytes, maxBytes));
  }
  return DecodeUtf8Lossy(std::move(bytes));
}

std::string MessageText(WebSocketMessage message, std::uint64_t maxBytes) {
  if (message.opcode == OPCODE_BINARY)
    return DetectAndDecompress(std::move(message.payload), maxBytes);
  return DecodeUtf8Lossy(std::move(message.payload));
}
