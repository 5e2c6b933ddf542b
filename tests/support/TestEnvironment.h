#pragma once

#include <string>

// Sets an environment variable of the test process, or removes it when the
// value is empty (libraries loaded by the test read it with getenv).
void SetTestEnvironment(const std::string& name, const std::string& value);
