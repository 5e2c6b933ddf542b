#pragma once

#include <string>
#include <string_view>

// Base64 in the standard alphabet (with "=" padding) and in the URL-safe
// alphabet of JWS tokens (without padding). Decoding is strict: a character
// outside the alphabet, misplaced padding or an impossible length raises
// Exception with a Portuguese message.
std::string Base64Encode(std::string_view bytes);
std::string Base64Decode(std::string_view text);
// Base64Decode into the text's own memory (a document of megabytes needs no
// second buffer).
std::string Base64DecodeInPlace(std::string text);
std::string Base64UrlEncode(std::string_view bytes);
std::string Base64UrlDecode(std::string_view text);
