#include "platform/VersionBlock.h"

// The gateway's own version, carried in the executable the way a Windows
// file carries its version resource, so "/version" reads it from the file.
// Its own object, added to every program that links the API module, so the
// block is there even where nothing refers to it.
[[gnu::used,
  gnu::section(".vs_version_info")]] constexpr platform::VersionBlock kGatewayVersionBlock =
    platform::MakeVersionBlock(GATEWAY_VERSION_MAJOR, GATEWAY_VERSION_MINOR, GATEWAY_VERSION_PATCH,
                               GATEWAY_VERSION_TWEAK);
