#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// A two-way byte stream: a TLS connection in the server, memory in the tests.
class ByteStream {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~ByteStream() = default;

  // Reads at least one and at most `size` bytes, waiting until `deadline`
  // (Clock::time_point::max(): no limit) for the first. Returns 0 when the
  // deadline passed first; throws EConnectionClosed when the stream ended.
  virtual std::size_t ReadSome(std::uint8_t* data, std::size_t size,
                               Clock::time_point deadline) = 0;

  // Writes all `size` bytes; throws EConnectionClosed when it cannot.
  virtual void WriteAll(const std::uint8_t* data, std::size_t size) = 0;
};
