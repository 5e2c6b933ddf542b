#include "host/StreamReader.h"

#include <algorithm>
#include <cstring>

#include "host/ConnectionErrors.h"

namespace {
constexpr std::size_t kReadChunk = 16384;
}

bool StreamReader::Fill(Clock::time_point deadline) {
  if (!buffer_) {
    buffer_.reset(new std::uint8_t[kReadChunk]);
  }
  pos_ = 0;
  end_ = stream_.ReadSome(buffer_.get(), kReadChunk, deadline);
  return end_ > 0;
}

void StreamReader::ReadExact(std::uint8_t* out, std::size_t size, Clock::time_point firstDeadline,
                             std::chrono::milliseconds stall, const char* timeoutMessage) {
  Clock::time_point deadline = firstDeadline;
  while (size > 0) {
    if (!HasBuffered()) {
      // A large read goes straight to its destination, not through the buffer.
      if (size >= kReadChunk) {
        const std::size_t got = stream_.ReadSome(out, size, deadline);
        if (got == 0)
          throw EConnectionFault(timeoutMessage);
        out += got;
        size -= got;
        deadline = Clock::now() + stall;
        continue;
      }
      if (!Fill(deadline))
        throw EConnectionFault(timeoutMessage);
    }
    const std::size_t take = std::min(size, end_ - pos_);
    std::memcpy(out, buffer_.get() + pos_, take);
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
