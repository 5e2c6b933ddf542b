#pragma once

// The back office's sale API for the payment benchmark: an HTTPS server on
// 127.0.0.1 that answers every POST 201 {"data":n}. It records, per request,
// the microseconds from the connection accepted to the answer written: the
// callback's own time, which the benchmark subtracts. Its thread blocks in
// accept, so it takes a connection as soon as the processor lets it.

#include <openssl/ssl.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class SaleApi {
 public:
  SaleApi(int port, const std::string& certFile, const std::string& keyFile);
  ~SaleApi();
  SaleApi(const SaleApi&) = delete;
  SaleApi& operator=(const SaleApi&) = delete;

  // The callbacks served so far, in order.
  std::vector<double> Durations();

 private:
  void Serve();
  void Answer(int fd, int number);

  SSL_CTX* ctx_;
  int listener_;
  std::atomic<bool> stopping_{false};
  std::mutex lock_;
  std::vector<double> durations_;
  std::thread thread_;
};

}  // namespace bench
