#include "../TestEnvironment.h"

#include <cstdlib>

// An empty value removes the variable.
void SetTestEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}
