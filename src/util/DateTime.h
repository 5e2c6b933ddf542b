#pragma once

#include <string>
#include <string_view>

#include "platform/Platform.h"

// A moment as days since 1899-12-30 (the fraction is the time of day).
using TDateTime = double;

// False when the fields do not form a valid date or time.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
bool TryEncodeDateTime(const platform::CivilTime& civil, TDateTime& result);
platform::CivilTime DecodeDateTime(TDateTime moment);
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// The current local time, through the platform layer.
TDateTime Now();

// Formats a moment the way the gateway writes dates: d dd m mm mmm mmmm yy
// yyyy h hh n nn s ss z zzz (case-insensitive; "m" right after an hour means
// minutes), "/" and ":" become the regional date and time separators, text in
// double or single quotes is copied. mmmm is the regional long month name.
std::string FormatDateTime(std::string_view pattern, TDateTime moment);
std::string FormatDateTime(std::string_view pattern, const platform::CivilTime& civil);
