#pragma once

// A small HTTPS server for tests: a fresh self-signed certificate for
// 127.0.0.1 in a temporary folder, a listener on a free loopback port, and a
// thread that answers each request with what the test's handler returns.
// Requests are recorded so the test can look at what arrived.

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Socket.h"

struct TestHttpRequest {
  std::string method;
  std::string target;
  // Header names in lower case.
  std::map<std::string, std::string> headers;
  std::string body;
};

struct TestHttpAnswer {
  int status = 200;
  std::string reason = "OK";
  std::string body;
  std::vector<std::string> extraHeaders;
  // Delay before answering, to provoke a client time-out.
  int delayMs = 0;
};

class HttpsTestServer {
 public:
  using Handler = std::function<TestHttpAnswer(const TestHttpRequest&)>;

  explicit HttpsTestServer(Handler handler) : handler_(std::move(handler)) {
    folder_ = std::filesystem::temp_directory_path() /
              ("https-test-" + std::to_string(std::random_device()()) + "-" +
               std::to_string(Counter()++));
    std::filesystem::create_directories(folder_);
    MakeCertificate();
    ctx_ = SSL_CTX_new(TLS_server_method());
    if (SSL_CTX_use_certificate_file(ctx_, CertFile().c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx_, (folder_ / "key.pem").string().c_str(),
                                    SSL_FILETYPE_PEM) != 1) {
      throw std::runtime_error("test certificate not usable");
    }
    platform::TcpListenOptions options;
    options.keepAlive = false;
    listener_ = platform::ListenTcp(options);
    port_ = listener_->Port();
    thread_ = std::thread([this] { Serve(); });
  }

  ~HttpsTestServer() {
    listener_->Close();
    thread_.join();
    SSL_CTX_free(ctx_);
    std::filesystem::remove_all(folder_);
  }

  std::string BaseUrl() const { return "https://127.0.0.1:" + std::to_string(port_); }
  std::string CertFile() const { return (folder_ / "cert.pem").string(); }
  std::vector<TestHttpRequest> Requests() {
    std::lock_guard guard(lock_);
    return requests_;
  }

 private:
  static std::atomic<int>& Counter() {
    static std::atomic<int> counter{0};
    return counter;
  }

  void MakeCertificate() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* cert = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
    for (const auto& [nid, value] : std::vector<std::pair<int, const char*>>{
             {NID_subject_alt_name, "IP:127.0.0.1"}, {NID_basic_constraints, "critical,CA:TRUE"}}) {
      X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
      X509_add_ext(cert, extension, -1);
      X509_EXTENSION_free(extension);
    }
    X509_sign(cert, key, EVP_sha256());
    FILE* certOut = std::fopen(CertFile().c_str(), "w");
    PEM_write_X509(certOut, cert);
    std::fclose(certOut);
    FILE* keyOut = std::fopen((folder_ / "key.pem").string().c_str(), "w");
    PEM_write_PrivateKey(keyOut, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(keyOut);
    X509_free(cert);
    EVP_PKEY_free(key);
  }

  void Serve() {
    while (const auto client = listener_->Accept()) {
      SSL* ssl = SSL_new(ctx_);
      SSL_set_fd(ssl, static_cast<int>(client->NativeHandle()));
      const auto call = [&](auto operation) { return Completed(ssl, *client, operation); };
      if (call([&] { return SSL_accept(ssl); }) == 1) {
        Answer(ssl, call);
      }
      SSL_free(ssl);
    }
  }

  // Runs an OpenSSL operation on the non-blocking connection until it is
  // done, waiting for the socket in between; a peer silent for 10 s fails it.
  template <typename Operation>
  static int Completed(SSL* ssl, platform::TcpConnection& connection, Operation operation) {
    for (;;) {
      const int result = operation();
      const int error = SSL_get_error(ssl, result);
      const bool ready =
          error == SSL_ERROR_WANT_READ    ? connection.WaitReadable(std::chrono::seconds(10))
          : error == SSL_ERROR_WANT_WRITE ? connection.WaitWritable(std::chrono::seconds(10))
                                          : false;
      if (!ready) {
        return result;
      }
    }
  }

  template <typename Call>
  void Answer(SSL* ssl, const Call& call) {
    std::string received;
    char buffer[4096];
    size_t headerEnd = std::string::npos;
    while (headerEnd == std::string::npos) {
      const int count = call([&] { return SSL_read(ssl, buffer, sizeof(buffer)); });
      if (count <= 0) {
        return;
      }
      received.append(buffer, count);
      headerEnd = received.find("\r\n\r\n");
    }
    TestHttpRequest request;
    const std::string head = received.substr(0, headerEnd);
    size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    request.method = requestLine.substr(0, requestLine.find(' '));
    request.target = requestLine.substr(request.method.size() + 1,
                                        requestLine.rfind(' ') - request.method.size() - 1);
    while (lineEnd != std::string::npos) {
      const size_t next = head.find("\r\n", lineEnd + 2);
      const std::string line = head.substr(lineEnd + 2, next - lineEnd - 2);
      const size_t colon = line.find(':');
      std::string field = line.substr(0, colon);
      for (char& c : field) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
      std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
      value.erase(0, value.find_first_not_of(' '));
      request.headers[field] = value;
      lineEnd = next;
    }
    const size_t length =
        request.headers.count("content-length") ? std::stoul(request.headers["content-length"]) : 0;
    request.body = received.substr(headerEnd + 4);
    while (request.body.size() < length) {
      const int count = call([&] { return SSL_read(ssl, buffer, sizeof(buffer)); });
      if (count <= 0) {
        return;
      }
      request.body.append(buffer, count);
    }
    {
      std::lock_guard guard(lock_);
      requests_.push_back(request);
    }
    const TestHttpAnswer answer = handler_(request);
    if (answer.delayMs > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(answer.delayMs));
    }
    std::string text = "HTTP/1.1 " + std::to_string(answer.status) + " " + answer.reason +
                       "\r\nContent-Length: " + std::to_string(answer.body.size()) +
                       "\r\nConnection: close\r\n";
    for (const std::string& header : answer.extraHeaders) {
      text += header + "\r\n";
    }
    text += "\r\n" + answer.body;
    call([&] { return SSL_write(ssl, text.data(), static_cast<int>(text.size())); });
    call([&] { return SSL_shutdown(ssl); });
  }

  Handler handler_;
  std::filesystem::path folder_;
  SSL_CTX* ctx_ = nullptr;
  std::unique_ptr<platform::TcpListener> listener_;
  int port_ = 0;
  std::thread thread_;
  std::mutex lock_;
  std::vector<TestHttpRequest> requests_;
};
