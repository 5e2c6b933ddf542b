// The upgrade request: its key is read up to the empty line, and the answer
// is built from whatever key was found.

#include "FuzzSupport.h"
#include "host/WebSocketCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::FuzzPlatform platform;
  if (size == 0) {
    return 0;
  }
  fuzz::MemoryStream stream(data + 1, size - 1, 1 + data[0] % 64);
  StreamReader reader(stream);
  try {
    const std::string key = ReadUpgradeRequestKey(reader, ByteStream::Clock::time_point::max());
    (void)UpgradeResponse(key);
  } catch (const EConnectionClosed&) {
  }
  return 0;
}
