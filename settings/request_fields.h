// Reading the settings record the page sends to api_saveConfig. The page's record is a JSON
// object serialised to a string and passed as the call's only argument, so the request is a
// one-element JSON array holding that string. The fields are found by plain text searches, the
// first occurrence of each pattern counting.
#pragma once

#include <cstdint>
#include <string>

#include "settings/display_settings.h"

// The settings object inside a request: for ["<text>"] the text between the first two and the
// last two characters, with \" and \\ undone in one pass (other escapes are kept as they are).
// Any other request, an array holding the object itself for instance, is returned unchanged.
std::string UnwrapRequest(const std::string& request);

// The characters after "key":" up to the next double quote; empty when the pattern is missing
// or the text is not closed.
std::string ExtractStringField(const std::string& text, const std::string& key);

// True only when the four characters after "key": are exactly the letters true.
bool ExtractBoolField(const std::string& text, const std::string& key);

// The decimal integer right after "key": as atoi reads it (white space, an optional sign, the
// digits up to the first non-digit), 0 without digits or without the pattern. Numbers beyond
// the 32-bit range stop at its limits.
std::int32_t ExtractIntField(const std::string& text, const std::string& key);

// The four settings of an unwrapped record. Missing keys give an empty resolution, windowed and
// vsync false and antiAliasing 0; the version keeps its default and is never stored.
DisplaySettings SettingsFromRequestText(const std::string& text);
