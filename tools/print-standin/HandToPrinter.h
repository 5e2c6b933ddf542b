#pragma once

#include <string>

// The system's side of the printing stand-in.

// Hands FILE to the system's printing for PRINTER; 0 when handed over, 1 with
// the reason on stderr otherwise.
int HandToPrinter(const std::string& printer, const std::string& file);

// This process's id, to keep spooled names of concurrent runs apart.
long ProcessId();
