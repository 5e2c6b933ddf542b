#pragma once

#include <string>

// The service's name: the service registration and the log file name use it.
inline constexpr char kServiceName[] = "QuorelSiTefService";

// Appends one line to today's service log, Log/<Month-yyyy>/<service> dd-mm-yyyy.log
// beside the executable: "[dd/mm/yyyy hh:nn:ss] " + text, or an empty line when
// the text is blank. Returns false, and writes nothing, when any step fails.
bool GravaLog(const std::string& text);

// Log/mm-yyyy/TEF-dd-mm-yyyy.log beside the executable for today, creating its
// folders when missing (a folder that cannot be created is not an error here).
std::string TefTracePath();
