// Turning the texts the engine joins into URLs into requests any HTTP client accepts.
#pragma once

#include <string>
#include <string_view>

// Percent-encodes the bytes a URL may not carry as they are: controls, space, bytes outside
// ASCII and " < > \ ^ ` { | }. Everything else, "%" included, stays, so an already escaped URL
// is unchanged.
std::string EscapeUrl(std::string_view url);

// Percent-encodes a relative file path for use as the path of a URL: every byte except letters,
// digits, "/" and - . _ ~ ! $ & ' ( ) * + , ; = @ becomes %XX, "%", "?" and "#" included, so the
// server sees exactly the file name.
std::string EncodeUrlPath(std::string_view path);
