// Conversions between UTF-8, the text type of the whole launcher, and UTF-16, the text type of
// the Windows calls (paths, registry values, process command lines).
#pragma once

#include <string>

#ifdef _WIN32
using Utf16Char = wchar_t;
#else
using Utf16Char = char16_t;
#endif
using Utf16String = std::basic_string<Utf16Char>;

// Both read their input up to its first NUL; a null or empty input gives an empty result.
// Malformed input (a stray UTF-8 byte, an unpaired surrogate) becomes U+FFFD, as the Windows
// converters do.
std::string Utf16ToUtf8(const Utf16Char* text);
Utf16String Utf8ToUtf16(const char* text);
