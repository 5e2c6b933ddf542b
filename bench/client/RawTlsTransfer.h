#pragma once

// The reference for the "/print" benchmark: the same bytes sent over a plain
// TLS connection on loopback to an OpenSSL server that only reads them and
// answers one byte when all have arrived.

#include <string>

namespace bench {

// Runs the server on a thread of this process and returns the microseconds
// from the first byte written to the one-byte answer, for each of `repeats`
// transfers of `payload`.
std::string RawTlsTransfer(const std::string& certFile, const std::string& keyFile,
                           const std::string& caFile, const std::string& payload, int repeats);

}  // namespace bench
