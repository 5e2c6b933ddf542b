#pragma once

// Latency samples and their summary, printed as one JSON line per result so
// the benchmark runner can read them.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double MicrosSince(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// The sample at the given quantile (nearest rank) of sorted samples.
inline double Quantile(const std::vector<double>& sorted, double q) {
  if (sorted.empty()) {
    return 0;
  }
  const auto rank = static_cast<std::size_t>(q * static_cast<double>(sorted.size()) + 0.999999);
  return sorted[std::min(sorted.size(), std::max<std::size_t>(rank, 1)) - 1];
}

// {"name":..,"count":..,"median_us":..,"p99_us":..,"max_us":..,"errors":..}
inline void PrintSummary(const std::string& name, std::vector<double> samples, long errors) {
  std::sort(samples.begin(), samples.end());
  std::printf(
      "{\"name\":\"%s\",\"count\":%zu,\"median_us\":%.1f,\"p99_us\":%.1f,\"max_us\":%.1f,"
      "\"errors\":%ld}\n",
      name.c_str(), samples.size(), Quantile(samples, 0.5), Quantile(samples, 0.99),
      samples.empty() ? 0.0 : samples.back(), errors);
  std::fflush(stdout);
}

}  // namespace bench
