#pragma once

#include <stdexcept>
#include <string>

// The plain exception of the gateway; its message is UTF-8 text shown to users.
class Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that is not a number of the asked kind.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};
