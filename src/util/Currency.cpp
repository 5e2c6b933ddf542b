#include "util/Currency.h"

#include <cmath>

Currency Currency::FromDouble(double value) {
  return Currency(static_cast<std::int64_t>(std::nearbyint(value * kScale)));
}

std::int64_t Currency::CentsHalfAwayFromZero() const {
  const std::int64_t whole = raw_ / 100;
  const std::int64_t rest = raw_ % 100;
  if (rest >= 50) {
    return whole + 1;
  }
  if (rest <= -50) {
    return whole - 1;
  }
  return whole;
}
