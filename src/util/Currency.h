#pragma once

#include <compare>
#include <cstdint>

// A fixed-point amount: a signed 64-bit count of ten-thousandths.
class Currency {
 public:
  static constexpr std::int64_t kScale = 10000;

  constexpr Currency() = default;
  static constexpr Currency FromRaw(std::int64_t raw) { return Currency(raw); }
  static constexpr Currency FromCents(std::int64_t cents) { return Currency(cents * 100); }
  // A double rounded to four decimals, halves to even (the conversion of a
  // floating amount into a currency value).
  static Currency FromDouble(double value);

  constexpr std::int64_t Raw() const { return raw_; }
  double ToDouble() const { return static_cast<double>(raw_) / kScale; }
  // Whole cents, halves away from zero (how amounts are written in records).
  std::int64_t CentsHalfAwayFromZero() const;

  constexpr Currency operator+(Currency other) const { return Currency(raw_ + other.raw_); }
  constexpr Currency operator-(Currency other) const { return Currency(raw_ - other.raw_); }
  constexpr Currency operator-() const { return Currency(-raw_); }
  constexpr Currency& operator+=(Currency other) {
    raw_ += other.raw_;
    return *this;
  }
  constexpr Currency& operator-=(Currency other) {
    raw_ -= other.raw_;
    return *this;
  }
  constexpr auto operator<=>(const Currency&) const = default;

 private:
  constexpr explicit Currency(std::int64_t raw) : raw_(raw) {}
  std::int64_t raw_ = 0;
};
