#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "host/ConnectionErrors.h"
#include "host/StreamReader.h"
#include "host/Utf8Decode.h"
#include "host/WebSocketCodec.h"

namespace {

// Delivers the given chunks one read at a time; when they run out it either
// reports the end of the stream or, with `stallAtEnd`, a wait that ran out.
class ChunkStream : public ByteStream {
 public:
  explicit ChunkStream(std::vector<std::string> chunks, bool stallAtEnd = false)
      : chunks_(chunks.begin(), chunks.end()), stallAtEnd_(stallAtEnd) {}

  std::size_t ReadSome(std::uint8_t* data, std::size_t size, Clock::time_point) override {
    if (chunks_.empty()) {
      if (stallAtEnd_)
        return 0;
      throw EConnectionClosed("fim");
    }
    std::string& chunk = chunks_.front();
    const std::size_t take = std::min(size, chunk.size());
    std::memcpy(data, chunk.data(), take);
    chunk.erase(0, take);
    if (chunk.empty())
      chunks_.pop_front();
    return take;
  }
  void WriteAll(const std::uint8_t* data, std::size_t size) override {
    written.append(reinterpret_cast<const char*>(data), size);
  }
  std::string written;

 private:
  std::deque<std::string> chunks_;
  bool stallAtEnd_;
};

std::string Gzip(const std::string& text) {
  z_stream zs{};
  deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&zs, text.size()) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// A client frame: FIN flag, opcode, payload, masked with a fixed key.
std::string ClientFrame(bool fin, std::uint8_t opcode, const std::string& payload,
                        bool masked = true) {
  std::string frame = EncodeFrame(opcode, payload);
  if (!fin)
    frame[0] = static_cast<char>(frame[0] & 0x7F);
  if (!masked)
    return frame;
  const std::size_t header = frame.size() - payload.size();
  const char key[4] = {0x37, static_cast<char>(0xFA), 0x21, 0x3D};
  std::string out = frame.substr(0, header);
  out[1] = static_cast<char>(out[1] | 0x80);
  out.append(key, 4);
  for (std::size_t i = 0; i < payload.size(); ++i) out.push_back(payload[i] ^ key[i % 4]);
  return out;
}

std::vector<std::string> Bytewise(const std::string& s) {
  std::vector<std::string> out;
  for (char c : s) out.emplace_back(1, c);
  return out;
}

const FrameLimits kLimits{1 << 20, std::chrono::milliseconds(50)};

TEST(WebSocketCodec, DecodesMessages) {
  const std::string json = "{\"route\":\"/version\",\"type\":\"version\"}";
  const std::string big(70000, 'z');
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    std::uint8_t opcode;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"masked Hello from a browser",
       {std::string("\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58", 11)},
       OPCODE_TEXT,
       "Hello"},
      {"unmasked text", {ClientFrame(true, OPCODE_TEXT, "Hello", false)}, OPCODE_TEXT, "Hello"},
      {"text in a first and a continuation frame",
       {ClientFrame(false, OPCODE_TEXT, "Hel") + ClientFrame(true, OPCODE_CONTINUATION, "lo")},
       OPCODE_TEXT,
       "Hello"},
      {"ping inside a fragmented message replaces it",
       {ClientFrame(false, OPCODE_TEXT, "Hel") + ClientFrame(true, 9, "abc")},
       9,
       "abc"},
      {"16-bit length",
       {ClientFrame(true, OPCODE_TEXT, std::string(300, 'a'))},
       OPCODE_TEXT,
       std::string(300, 'a')},
      {"64-bit length", {ClientFrame(true, OPCODE_TEXT, big)}, OPCODE_TEXT, big},
      {"payload arriving one byte per read is read whole",
       Bytewise(ClientFrame(true, OPCODE_TEXT, "pausa no meio")), OPCODE_TEXT, "pausa no meio"},
      {"gzip binary message is inflated",
       {ClientFrame(true, OPCODE_BINARY, Gzip(json))},
       OPCODE_BINARY,
       json},
      {"binary message without the magic is plain UTF-8",
       {ClientFrame(true, OPCODE_BINARY, "ol\xc3\xa1")},
       OPCODE_BINARY,
       "ol\xc3\xa1"},
      {"invalid UTF-8 becomes U+FFFD",
       {ClientFrame(true, OPCODE_TEXT,
                    "a\xff"
                    "b")},
       OPCODE_TEXT,
       "a\xEF\xBF\xBD"
       "b"},
      {"empty text frame", {ClientFrame(true, OPCODE_TEXT, "")}, OPCODE_TEXT, ""},
  };
  for (const Case& c : cases) {
    ChunkStream stream(c.chunks);
    StreamReader reader(stream);
    const WebSocketMessage message = ReadWebSocketMessage(reader, kLimits);
    EXPECT_EQ(message.opcode, c.opcode) << c.name;
    EXPECT_EQ(MessageText(message, kLimits.maxMessageBytes), c.text) << c.name;
  }
}

TEST(WebSocketCodec, ReadsACloseFrameWhole) {
  ChunkStream stream({ClientFrame(true, OPCODE_CLOSE, ClosePayload(1001) + "tchau") +
                      ClientFrame(true, OPCODE_TEXT, "x")});
  StreamReader reader(stream);
  const WebSocketMessage close = ReadWebSocketMessage(reader, kLimits);
  EXPECT_EQ(close.opcode, OPCODE_CLOSE);
  EXPECT_EQ(close.payload, "\x03\xe9tchau");
  EXPECT_EQ(ReadWebSocketMessage(reader, kLimits).payload, "x") << "nothing of the close is left";
}

TEST(WebSocketCodec, RefusesBrokenMessages) {
  const std::string bomb = Gzip(std::string(2 << 20, ' '));
  std::string lyingLength = ClientFrame(true, OPCODE_TEXT, "x");
  lyingLength[1] = static_cast<char>(0x80 | 127);
  lyingLength.insert(2, std::string("\x7f\xff\xff\xff\xff\xff\xff\xff", 8));
  struct Case {
    const char* name;
    std::vector<std::string> chunks;
    bool stall;
    bool fault;  // a limit broken (logged) rather than a plain end of stream
  };
  const std::vector<Case> cases = {
      {"declared length above the limit", {lyingLength}, false, true},
      {"fragments adding up above the limit",
       {ClientFrame(false, OPCODE_TEXT, std::string(700000, 'a')) +
        ClientFrame(true, OPCODE_CONTINUATION, std::string(700000, 'b'))},
       false,
       true},
      {"peer stalls in the middle of a payload",
       {ClientFrame(true, OPCODE_TEXT, "Hello").substr(0, 8)},
       true,
       true},
      {"peer stalls between fragments", {ClientFrame(false, OPCODE_TEXT, "Hel")}, true, true},
      {"stream ends in the middle of a header", {std::string("\x81", 1)}, false, false},
  };
  for (const Case& c : cases) {
    ChunkStream stream(c.chunks, c.stall);
    StreamReader reader(stream);
    try {
      ReadWebSocketMessage(reader, kLimits);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const EConnectionFault&) {
      EXPECT_TRUE(c.fault) << c.name;
    } catch (const EConnectionClosed&) {
      EXPECT_FALSE(c.fault) << c.name;
    }
  }
  EXPECT_THROW(MessageText({OPCODE_BINARY, bomb}, kLimits.maxMessageBytes), EConnectionFault)
      << "gzip inflating above the limit";
  EXPECT_THROW(MessageText({OPCODE_BINARY,
                            "\x1f\x8b"
                            "nada"},
                           kLimits.maxMessageBytes),
               EConversionError)
      << "damaged gzip";
}

TEST(WebSocketCodec, EncodesHeadersBySize) {
  struct Case {
    std::size_t size;
    std::string header;
  };
  const std::vector<Case> cases = {
      {0, std::string("\x81\x00", 2)},
      {125, "\x81\x7d"},
      {126, std::string("\x81\x7e\x00\x7e", 4)},
      {65535, "\x81\x7e\xff\xff"},
      {65536, std::string("\x81\x7f\x00\x00\x00\x00\x00\x01\x00\x00", 10)},
  };
  for (const Case& c : cases) {
    const std::string frame = EncodeFrame(OPCODE_TEXT, std::string(c.size, 'a'));
    EXPECT_EQ(frame.substr(0, c.header.size()), c.header) << c.size << " bytes";
    EXPECT_EQ(frame.size(), c.header.size() + c.size) << c.size << " bytes";
  }
}

TEST(WebSocketHandshake, FindsTheKeyAndAnswers) {
  const std::string suffixOnly = GenerateSecWebSocketAccept("");
  struct Case {
    const char* name;
    std::string request;
    std::string key;
  };
  const std::vector<Case> cases = {
      {"browser request",
       "GET / HTTP/1.1\r\nHost: x\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n",
       "dGhlIHNhbXBsZSBub25jZQ=="},
      {"no key header", "GET / HTTP/1.1\r\nHost: x\r\n\r\n", ""},
      {"lower-case header name is not the key", "GET /\r\nsec-websocket-key: abc\r\n\r\n", ""},
      {"later key replaces earlier", "GET /\nSec-WebSocket-Key: a\nSec-WebSocket-Key:  b \n\n",
       "b"},
  };
  for (const Case& c : cases) {
    ChunkStream stream(Bytewise(c.request));
    StreamReader reader(stream);
    EXPECT_EQ(ReadUpgradeRequestKey(reader, ByteStream::Clock::time_point::max()), c.key) << c.name;
  }
  EXPECT_EQ(GenerateSecWebSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
  EXPECT_EQ(suffixOnly, "Kfh9QIsMVZcl6xEPYxPHzW8SZ8w=");
  EXPECT_EQ(
      UpgradeResponse("dGhlIHNhbXBsZSBub25jZQ=="),
      "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"
      "Access-Control-Allow-Origin: *\r\nAccess-Control-Allow-Methods: GET, POST, OPTIONS\r\n"
      "Access-Control-Allow-Headers: Content-Type\r\nAccess-Control-Allow-Credentials: true\r\n"
      "\r\n");
}

TEST(WebSocketHandshake, LeavesTheFirstFrameForTheFrameReader) {
  ChunkStream stream(
      {"GET /\r\nSec-WebSocket-Key: k\r\n\r\n" + ClientFrame(true, OPCODE_TEXT, "oi")});
  StreamReader reader(stream);
  EXPECT_EQ(ReadUpgradeRequestKey(reader, ByteStream::Clock::time_point::max()), "k");
  EXPECT_EQ(ReadWebSocketMessage(reader, kLimits).payload, "oi");
}

TEST(WebSocketHandshake, RefusesOverlongLineAndSlowRequest) {
  ChunkStream longLine({"GET /" + std::string(kMaxUpgradeLine, 'a') + "\r\n\r\n"});
  StreamReader longReader(longLine);
  EXPECT_THROW(ReadUpgradeRequestKey(longReader, ByteStream::Clock::time_point::max()),
               EConnectionFault);
  ChunkStream exact({std::string(kMaxUpgradeLine, 'a') + "\r\n\r\n"});
  StreamReader exactReader(exact);
  EXPECT_EQ(ReadUpgradeRequestKey(exactReader, ByteStream::Clock::time_point::max()), "");
  ChunkStream slow({"GET / HTTP/1.1\r\n"}, true);
  StreamReader slowReader(slow);
  EXPECT_THROW(ReadUpgradeRequestKey(slowReader, ByteStream::Clock::now()), EConnectionFault);
}

TEST(Utf8Decode, ReplacesEachInvalidSubpart) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  };
  const std::string r = "\xEF\xBF\xBD";
  const std::vector<Case> cases = {
      {"valid multi-byte text", "a\xc3\xa7\xe2\x82\xac\xf0\x9f\x98\x80",
       "a\xc3\xa7\xe2\x82\xac\xf0\x9f\x98\x80"},
      {"stray continuation byte", "\x80", r},
      {"overlong slash", "\xc0\xaf", r + r},
      {"surrogate", "\xed\xa0\x80", r + r + r},
      {"above U+10FFFF", "\xf4\x90\x80\x80", r + r + r + r},
      {"truncated sequence at the end", "ab\xe2\x82", "ab" + r},
      {"truncated sequence before ASCII", "\xe2\x82x", r + "x"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeUtf8Lossy(c.in), c.out) << c.name;
}

}  // namespace
