// The stand-in library's version, carried the way a Windows DLL carries its
// version resource, so the gateway's "/version" reads it from the file.

#include "platform/VersionBlock.h"

[[gnu::used,
  gnu::section(".vs_version_info")]] constexpr platform::VersionBlock kCliSiTefVersionBlock =
    platform::MakeVersionBlock(6, 2, 115, 27);
