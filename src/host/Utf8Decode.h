#pragma once

#include <string>

// `bytes` as valid UTF-8: every invalid sequence (stray continuation byte,
// overlong form, surrogate, value above U+10FFFF, truncated sequence) becomes
// one U+FFFD per maximal invalid subpart; valid text passes unchanged.
std::string DecodeUtf8Lossy(std::string bytes);
