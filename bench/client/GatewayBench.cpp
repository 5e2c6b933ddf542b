// The measuring client of scripts/bench.sh. Each command measures one thing
// against a server on 127.0.0.1 and prints its figures as JSON lines:
//
//   rtt PORT CA COUNT WARMUP MESSAGE EXPECTED
//       one connection; COUNT round trips of MESSAGE after WARMUP ones; every
//       answer must equal EXPECTED.
//   crowd PORT CA CLIENTS REQUESTS START MESSAGE EXPECTED
//       CLIENTS connections opened at once; each sends START (its answer must
//       contain "created") and then REQUESTS round trips of MESSAGE.
//   print PORT CA MESSAGE_FILE SPOOL
//       sends the message in the file once and waits for a new document in
//       SPOOL; prints the microseconds from the first byte sent to the start
//       of the printing program (the stamp in the document's name).
//   raw CERT KEY CA MESSAGE_FILE REPEATS
//       the same bytes over plain TLS (OpenSSL both ends), per transfer.
//   idle PORT CA COUNT
//       opens COUNT upgraded connections, prints "ready", holds them until
//       standard input ends.
//   payment PORT CA START TRANSACTION REPEATS API_PORT CERT KEY
//       serves the sale API on API_PORT (HTTPS with CERT and KEY; SaleApi.h),
//       opens a session with START, then REPEATS times sends TRANSACTION (its
//       {session} and {sale} replaced by the session and 4711 + the repeat's
//       number), answers each menu with its first option and each field with
//       "1", and prints per payment the microseconds from the request sent to
//       the "result" received, less the client's own time from a prompt
//       received to its answer sent, in the order made, and the callbacks'
//       own times. Every result must be approved.
//   startup PORT PROGRAM ARG...
//       starts the program and prints the microseconds until a socket listens
//       on PORT (looked for every 0.2 ms), then ends it with SIGTERM.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <barrier>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "RawTlsTransfer.h"
#include "SaleApi.h"
#include "Stats.h"
#include "TlsWebSocket.h"

extern char** environ;

namespace {

using namespace bench;

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int Rtt(int port, const std::string& ca, int count, int warmup, const std::string& message,
        const std::string& expected) {
  TlsClientContext context(ca);
  WebSocketClient client(context, port);
  long errors = 0;
  for (int i = 0; i < warmup; ++i) {
    errors += client.Ask(message) != expected;
  }
  std::vector<double> samples;
  samples.reserve(count);
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    const std::string answer = client.Ask(message);
    samples.push_back(MicrosSince(start));
    errors += answer != expected;
  }
  PrintSummary("rtt", std::move(samples), errors);
  return errors == 0 ? 0 : 1;
}

int Crowd(int port, const std::string& ca, int clients, int requests, const std::string& start,
          const std::string& message, const std::string& expected) {
  TlsClientContext context(ca);
  std::barrier ready(clients);
  std::mutex lock;
  std::vector<double> connects, sessions, rounds;
  std::atomic<long> errors{0};
  std::vector<std::string> firstErrors;
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&] {
      std::vector<double> mine;
      double connectUs = 0, sessionUs = 0;
      ready.arrive_and_wait();
      try {
        auto begin = Clock::now();
        WebSocketClient client(context, port);
        connectUs = MicrosSince(begin);
        begin = Clock::now();
        const std::string created = client.Ask(start);
        sessionUs = MicrosSince(begin);
        if (created.find("\"created\"") == std::string::npos) {
          throw std::runtime_error("session not created: " + created);
        }
        for (int i = 0; i < requests; ++i) {
          begin = Clock::now();
          const std::string answer = client.Ask(message);
          mine.push_back(MicrosSince(begin));
          if (answer != expected) {
            throw std::runtime_error("unexpected answer: " + answer);
          }
        }
      } catch (const std::exception& error) {
        ++errors;
        std::lock_guard guard(lock);
        if (firstErrors.size() < 5) {
          firstErrors.push_back(error.what());
        }
      }
      std::lock_guard guard(lock);
      if (connectUs > 0) {
        connects.push_back(connectUs);
      }
      if (sessionUs > 0) {
        sessions.push_back(sessionUs);
      }
      rounds.insert(rounds.end(), mine.begin(), mine.end());
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  for (const auto& error : firstErrors) {
    std::fprintf(stderr, "crowd: %s\n", error.c_str());
  }
  PrintSummary("crowd_connect", std::move(connects), errors);
  PrintSummary("crowd_session", std::move(sessions), errors);
  PrintSummary("crowd_version", std::move(rounds), errors);
  return errors == 0 ? 0 : 1;
}

std::set<std::string> Documents(const std::filesystem::path& spool) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(spool)) {
    if (entry.path().extension() == ".pdf") {
      names.insert(entry.path().filename().string());
    }
  }
  return names;
}

int Print(int port, const std::string& ca, const std::string& messageFile,
          const std::string& spool) {
  const std::string message = ReadWholeFile(messageFile);
  TlsClientContext context(ca);
  WebSocketClient client(context, port);
  const auto before = Documents(spool);
  // The frame is masked before the clock starts: that is the client's work.
  const std::vector<std::uint8_t> frame = client.TextFrame(message);
  const auto sent = std::chrono::system_clock::now();
  client.SendFrame(frame);
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (Clock::now() < deadline) {
    for (const auto& name : Documents(spool)) {
      if (before.count(name) == 0) {
        // "<printer>-<nanoseconds since the epoch>-<pid>.pdf"
        const auto first = name.find('-');
        const auto stamp =
            std::stoll(name.substr(first + 1, name.find('-', first + 1) - first - 1));
        const auto sentNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(sent.time_since_epoch()).count();
        std::printf("{\"name\":\"print\",\"elapsed_us\":%.1f,\"bytes\":%zu}\n",
                    static_cast<double>(stamp - sentNs) / 1000.0, message.size());
        return 0;
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  std::fprintf(stderr, "print: no document reached %s\n", spool.c_str());
  return 1;
}

int Idle(int port, const std::string& ca, int count) {
  TlsClientContext context(ca);
  std::vector<std::unique_ptr<WebSocketClient>> clients;
  for (int i = 0; i < count; ++i) {
    clients.push_back(std::make_unique<WebSocketClient>(context, port));
  }
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
  }
  return 0;
}

// The text of the first string after `"name":` in a compact JSON message, as
// written (escapes kept, so it can be sent back inside a JSON string).
std::string RawMember(const std::string& message, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  auto at = message.find(key);
  if (at == std::string::npos) {
    return "";
  }
  at = message.find('"', at + key.size());
  std::string text;
  for (auto i = at + 1; i < message.size() && message[i] != '"'; ++i) {
    text += message[i];
    if (message[i] == '\\' && i + 1 < message.size()) {
      text += message[++i];
    }
  }
  return text;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

void PrintList(const char* name, const std::vector<double>& values) {
  std::printf("\"%s\":[", name);
  for (std::size_t i = 0; i < values.size(); ++i) {
    std::printf("%s%.1f", i == 0 ? "" : ",", values[i]);
  }
  std::printf("]");
}

int Payment(int port, const std::string& ca, const std::string& start,
            const std::string& transaction, int repeats, int apiPort, const std::string& cert,
            const std::string& key) {
  SaleApi api(apiPort, cert, key);
  TlsClientContext context(ca);
  WebSocketClient client(context, port);
  const std::string created = client.Ask(start);
  const std::string session = RawMember(created, "session_uuid");
  if (session.empty()) {
    throw std::runtime_error("session not created: " + created);
  }
  const std::string prefix =
      "{\"route\":\"/transaction\",\"session_uuid\":\"" + session + "\",\"type\":";
  std::vector<double> samples;
  int prompts = 0;
  for (int i = 0; i < repeats; ++i) {
    const std::string request =
        Replace(Replace(transaction, "{session}", session), "{sale}", std::to_string(4711 + i));
    double ownUs = 0;
    const auto begin = Clock::now();
    client.SendText(request);
    for (;;) {
      const std::string message = client.ReceiveText();
      const auto received = Clock::now();
      const std::string type = RawMember(message, "type");
      if (type == "result") {
        samples.push_back(MicrosSince(begin) - ownUs);
        if (message.find("\"status\":\"approved\"") == std::string::npos) {
          throw std::runtime_error("payment not approved: " + message);
        }
        break;
      }
      std::string answer;
      if (type == "menu") {
        answer = prefix + "\"menu\",\"response\":\"" + RawMember(message, "options") + "\"}";
      } else if (type == "collect") {
        answer = prefix + "\"collect\",\"typed\":true,\"response\":\"1\"}";
      } else if (type == "confirmation" || type == "question") {
        throw std::runtime_error("unexpected prompt: " + message);
      } else {
        continue;
      }
      ++prompts;
      client.SendText(answer);
      ownUs += MicrosSince(received);
    }
  }
  std::printf("{\"name\":\"payment\",\"prompts\":%d,", prompts);
  PrintList("samples_us", samples);
  std::printf(",");
  PrintList("callbacks_us", api.Durations());
  std::printf("}\n");
  return 0;
}

bool Listening(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);
  char wanted[8];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.size() > 5 && local.compare(local.size() - 5, 5, wanted) == 0) {
      return true;
    }
  }
  return false;
}

int Startup(int port, char** argv) {
  const auto start = Clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv, environ) != 0) {
    std::perror("posix_spawn");
    return 1;
  }
  int status = 0;
  while (!Listening(port)) {
    if (waitpid(pid, &status, WNOHANG) == pid || MicrosSince(start) > 30e6) {
      std::fprintf(stderr, "startup: never listened on %d\n", port);
      return 1;
    }
    // Polling without a pause would take a processor from the program it
    // measures (there are two); 0.2 ms is the figure's resolution.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  const double elapsed = MicrosSince(start);
  kill(pid, SIGTERM);
  waitpid(pid, &status, 0);
  std::printf("{\"name\":\"startup\",\"elapsed_us\":%.1f}\n", elapsed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  auto need = [&](std::size_t n) {
    if (args.size() < n) {
      std::fprintf(stderr, "%s: see the comment at the top of GatewayBench.cpp\n", argv[0]);
      std::exit(2);
    }
  };
  need(1);
  signal(SIGPIPE, SIG_IGN);
  try {
    const std::string& command = args[0];
    if (command == "rtt") {
      need(7);
      return Rtt(std::stoi(args[1]), args[2], std::stoi(args[3]), std::stoi(args[4]), args[5],
                 args[6]);
    }
    if (command == "crowd") {
      need(8);
      return Crowd(std::stoi(args[1]), args[2], std::stoi(args[3]), std::stoi(args[4]), args[5],
                   args[6], args[7]);
    }
    if (command == "print") {
      need(5);
      return Print(std::stoi(args[1]), args[2], args[3], args[4]);
    }
    if (command == "raw") {
      need(6);
      std::printf(
          "{\"name\":\"raw\",\"samples_us\":%s}\n",
          RawTlsTransfer(args[1], args[2], args[3], ReadWholeFile(args[4]), std::stoi(args[5]))
              .c_str());
      return 0;
    }
    if (command == "idle") {
      need(4);
      return Idle(std::stoi(args[1]), args[2], std::stoi(args[3]));
    }
    if (command == "payment") {
      need(9);
      return Payment(std::stoi(args[1]), args[2], args[3], args[4], std::stoi(args[5]),
                     std::stoi(args[6]), args[7], args[8]);
    }
    if (command == "startup") {
      need(3);
      return Startup(std::stoi(args[1]), argv + 3);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
    return 1;
  }
  std::fprintf(stderr, "%s: unknown command\n", argv[0]);
  return 2;
}
