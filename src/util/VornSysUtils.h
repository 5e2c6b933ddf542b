#pragma once

#include <string>

// The folder of the running executable, ending in the path delimiter.
std::string VornAppDir();
