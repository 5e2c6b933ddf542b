// The system's TCP listener and connections against the contract of
// Socket.h, with OpenSSL's connect BIO as a client on both systems.

#include "platform/Socket.h"

#include <gtest/gtest.h>
#include <openssl/bio.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using std::chrono::milliseconds;

struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free_all(bio); }
};
using Client = std::unique_ptr<BIO, BioDeleter>;

Client Connect(int port) {
  Client client(BIO_new_connect(("127.0.0.1:" + std::to_string(port)).c_str()));
  if (!client || BIO_do_connect(client.get()) <= 0) {
    return nullptr;
  }
  return client;
}

// A listener and one accepted connection from a client.
struct Accepted {
  std::unique_ptr<platform::TcpListener> listener = platform::ListenTcp({});
  Client client;
  std::unique_ptr<platform::TcpConnection> connection;

  Accepted() {
    auto accepting = std::async(std::launch::async, [this] { return listener->Accept(); });
    client = Connect(listener->Port());
    if (!client) {
      listener->Close();
    }
    connection = accepting.get();
  }
};

TEST(Socket, AcceptsAClientAndWaitsForItsBytes) {
  Accepted pair;
  ASSERT_TRUE(pair.client);
  ASSERT_TRUE(pair.connection);
  EXPECT_EQ(pair.connection->PeerAddress().rfind("127.0.0.1:", 0), 0u)
      << pair.connection->PeerAddress();
  EXPECT_FALSE(pair.connection->WaitReadable(milliseconds(0))) << "nothing sent yet";
  EXPECT_TRUE(pair.connection->WaitWritable(milliseconds(5000)));
  ASSERT_EQ(BIO_write(pair.client.get(), "x", 1), 1);
  EXPECT_TRUE(pair.connection->WaitReadable(milliseconds(5000)));
}

TEST(Socket, ShutdownWakesAWaitWithoutLimit) {
  Accepted pair;
  ASSERT_TRUE(pair.connection);
  auto waiting = std::async(std::launch::async,
                            [&] { return pair.connection->WaitReadable(milliseconds(-1)); });
  pair.connection->Shutdown();
  EXPECT_TRUE(waiting.get());
}

TEST(Socket, CloseWakesAccept) {
  auto listener = platform::ListenTcp({});
  auto accepting = std::async(std::launch::async, [&] { return listener->Accept(); });
  listener->Close();
  EXPECT_EQ(accepting.get(), nullptr);
}

TEST(Socket, APortInUseIsRefusedWithTheReason) {
  auto listener = platform::ListenTcp({});
  try {
    platform::ListenTcp({listener->Port()});
    FAIL() << "bound twice";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()), "") << "the system's reason";
  }
}

TEST(Socket, ThePortIsFreeAgainAfterAServerWithClientsCloses) {
  int port = 0;
  {
    Accepted pair;
    ASSERT_TRUE(pair.connection);
    port = pair.listener->Port();
    pair.connection.reset();  // the server side closes first, as a stop does
  }
  EXPECT_NO_THROW(platform::ListenTcp({port}));
}

}  // namespace
