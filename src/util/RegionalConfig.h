#pragma once

#include "util/IniConfig.h"

// Applies the [regional] keys of the configuration (decimal_separator,
// thousands_separator, date_separator, time_separator: one character each)
// over the platform's regional settings. Absent keys keep the platform's value.
void ApplyRegionalConfig(const TIniConfig& config);
