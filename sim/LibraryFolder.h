#pragma once

#include <string>

namespace clisitef_sim {

// The folder holding this library's file, ending with a path separator; empty
// when it cannot be found (files "beside the library" are then looked up in
// the working folder).
std::string LibraryFolder();

}  // namespace clisitef_sim
