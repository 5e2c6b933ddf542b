// The message dispatcher, every route, on an in-memory connection. Each run
// starts from a fresh API module with one live session (the platform's GUIDs
// never change, so its identifier is known and in the seeds); "@TOKEN@" in
// the input becomes a validly signed access token, so session starts get past
// the signature. The app folder is a scratch folder with a printer set and
// the printing program present; no program is started.

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "FuzzSupport.h"
#include "api/Base64.h"
#include "api/DmSitef.h"

namespace {

constexpr char kKey[] = "Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U";

class MemoryConnection : public ClientConnection {
 public:
  std::uint64_t Id() const override { return 1; }
  std::string PeerAddress() const override { return "127.0.0.1:50000"; }
  void SendClientMessage(const std::string& text) override { sent += text.size(); }
  std::string DecodeWebSocketFrame() override { throw EConnectionClosed("fim"); }
  bool HasInputPending(std::chrono::milliseconds) override { return true; }
  void Close() override {}
  bool Connected() const override { return true; }
  std::size_t sent = 0;
};

std::string Token() {
  const std::string claims =
      R"({"secctional_code":"1009","ip_address":"127.0.0.1","store_code":"00000001",)"
      R"("additional_parameters":"","operator":"caixa 1","sale_id":"42","company_id":"3",)"
      R"("callback_url":"https://sales.example/"})";
  const std::string input =
      Base64UrlEncode(R"({"alg":"HS256","typ":"JWT"})") + "." + Base64UrlEncode(claims);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  HMAC(EVP_sha256(), kKey, sizeof kKey - 1, reinterpret_cast<const unsigned char*>(input.data()),
       input.size(), mac, &length);
  return input + "." + Base64UrlEncode(std::string(reinterpret_cast<char*>(mac), length));
}

struct Setup {
  Setup() {
    const std::string& folder = fuzz::ScratchFolder();
    platform.SetExecutablePath(folder + "SvcQuorelSiTef");
    platform.WriteFile(folder + "SvcQuorelSiTef.ini", "[sitef]\nprinter=Balcao 1\n", false);
    platform.WriteFile(folder + "SumatraPDF.exe", "", false);
    platform.WriteFile(folder + "libmupdf.dll", "", false);
    platform.ForceDirectories(folder + "Log");
  }
  fuzz::FuzzPlatform platform;
  const std::string token = Token();
  const std::string start =
      R"({"route":"/session/start","type":"session","token":")" + token + R"("})";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Setup setup;
  static const TIniConfig config(fuzz::ScratchFolder() + "SvcQuorelSiTef.ini");
  std::string message(reinterpret_cast<const char*>(data), size);
  for (std::size_t at = message.find("@TOKEN@"); at != std::string::npos;
       at = message.find("@TOKEN@", at + setup.token.size())) {
    message.replace(at, 7, setup.token);
  }
  TDmSitef api(config);
  MemoryConnection connection;
  api.RouteTargeting(setup.start, connection);
  try {
    api.RouteTargeting(message, connection);
  } catch (const EConnectionClosed&) {
  } catch (const Exception&) {
    // JSON that is not an object ends the connection.
  }
  return 0;
}
