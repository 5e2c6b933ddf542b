#pragma once

// The operating system's own platform class, for test doubles that replace
// a few of its operations and keep the rest real.
#ifdef _WIN32
#include "platform/win32/Win32Platform.h"
namespace platform {
using NativePlatform = Win32Platform;
}
#else
#include "platform/posix/PosixPlatform.h"
namespace platform {
using NativePlatform = PosixPlatform;
}
#endif
