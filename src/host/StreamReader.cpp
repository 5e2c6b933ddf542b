#include "host/StreamReader.h"

#include <algorithm>
#include <cstring>

#include "host/ConnectionErrors.h"

namespace {
constexpr std::size_t kReadChunk = 16384;
}

bool StreamReader::Fill(Clock::time_point deadline) {
  if (pos_ == buffer_.size()) {
    buffer_.clear();
    pos_ = 0;
  }
  const std::size_t old = buffer_.size();
  buffer_.resize(old + kReadChunk);
  const std::size_t got = stream_.ReadSome(buffer_.data() + old, kReadChunk, deadline);
  buffer_.resize(old + got);
  return got > 0;
}

void StreamReader::ReadExact(std::uint8_t* out, std::size_t size, Clock::time_point firstDeadline,
                             std::chrono::milliseconds stall, const char* timeoutMessage) {
  Clock::time_point deadline = firstDeadline;
  while (size > 0) {
    if (!HasBuffered() && !Fill(deadline))
      throw EConnectionFault(timeoutMessage);
    const std::size_t take = std::min(size, buffer_.size() - pos_);
    std::memcpy(out, buffer_.data() + pos_, take);
    pos_ += take;
    out += take;
    size -= take;
    deadline = Clock::now() + stall;
  }
}

std::string StreamReader::ReadLine(std::size_t maxLength, Clock::time_point deadline) {
  std::string line;
  for (;;) {
    if (!HasBuffered() && !Fill(deadline)) {
      throw EConnectionFault("Tempo esgotado aguardando o pedido de upgrade do WebSocket.");
    }
    while (HasBuffered()) {
      const char c = static_cast<char>(buffer_[pos_++]);
      if (c == '\n') {
        if (!line.empty() && line.back() == '\r')
          line.pop_back();
        return line;
      }
      line.push_back(c);
      // A CR may still be removed before the LF, so it does not count yet.
      if (line.size() > maxLength + (line.back() == '\r' ? 1 : 0)) {
        throw EConnectionFault("Linha do pedido de upgrade longa demais.");
      }
    }
  }
}
