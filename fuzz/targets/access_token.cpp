// Access-token verification: any text as a token, checked against the
// shared key at a fixed moment. Refusals are exceptions with their message;
// a token accepted must have the right signature, so only the seeds that
// carry one get past the signature check.

#include "FuzzSupport.h"
#include "api/AccessToken.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  const std::string token(reinterpret_cast<const char*>(data), size);
  try {
    (void)VerifyAccessToken(token, "Tm4hWq8ZxB2nLc7VpD5rKs9GyE3fJa6U", 1765375629);
  } catch (const Exception&) {
  }
  return 0;
}
