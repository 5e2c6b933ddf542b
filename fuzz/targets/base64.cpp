// The "/print" document text: cleaned with LimparBase64 and decoded
// strictly, in both alphabets. What decodes has three bytes for every four
// characters before the padding, and any bytes survive an encode and decode.

#include <cstdlib>

#include "FuzzSupport.h"
#include "api/Base64.h"
#include "api/DmSitef.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::string clean = LimparBase64(text);
  try {
    const std::string bytes = Base64Decode(clean);
    const std::size_t digits = clean.find_last_not_of('=') + 1;
    if (bytes.size() != digits * 3 / 4) {
      std::abort();
    }
  } catch (const Exception&) {
  }
  try {
    (void)Base64UrlDecode(text);
  } catch (const Exception&) {
  }
  if (Base64Decode(Base64Encode(text)) != text || Base64UrlDecode(Base64UrlEncode(text)) != text) {
    std::abort();
  }
  return 0;
}
