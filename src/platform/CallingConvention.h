#pragma once

// Calling convention of the CliSiTef library's exported functions: stdcall on
// Windows, the platform's C convention elsewhere. Both the stand-in library
// and the driver's function-pointer types use it, so the two always agree.
#ifdef _WIN32
#define VORN_STDCALL __stdcall
#else
#define VORN_STDCALL
#endif
