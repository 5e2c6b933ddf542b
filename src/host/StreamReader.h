#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/ByteStream.h"

// Buffered reading from a ByteStream. Bytes that arrive beyond what a read
// asked for stay here for the next read (a client may send its upgrade
// request and its first frame in one packet).
class StreamReader {
 public:
  using Clock = ByteStream::Clock;

  explicit StreamReader(ByteStream& stream) : stream_(stream) {}

  // Fills `out` with exactly `size` bytes. The first byte may take until
  // `firstDeadline`; after that, every wait for more bytes may take `stall`.
  // Throws EConnectionFault with `timeoutMessage` when a wait runs out.
  void ReadExact(std::uint8_t* out, std::size_t size, Clock::time_point firstDeadline,
                 std::chrono::milliseconds stall, const char* timeoutMessage);

  // Reads one line ending at LF, without the LF and without a CR right before
  // it. Throws EConnectionFault when the line passes `maxLength` characters
  // or `deadline` passes first.
  std::string ReadLine(std::size_t maxLength, Clock::time_point deadline);

  // True when bytes are already buffered here.
  bool HasBuffered() const { return pos_ < end_; }

 private:
  // Reads more bytes into the empty buffer; false when `deadline` passed
  // first.
  bool Fill(Clock::time_point deadline);

  ByteStream& stream_;
  // Allocated on the first read and never cleared: bytes [pos_, end_) are
  // the ones not yet taken.
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
};
