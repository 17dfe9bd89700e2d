// UTF-8 <-> UTF-16 without an OS converter: Linux has none for UTF-16 that is not deprecated.
// Malformed input is replaced the way the Windows converters replace it: each maximal invalid
// subsequence becomes one U+FFFD.

#include <cstdint>

#include "platform/text.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

struct DecodedCodePoint {
  char32_t value;
  size_t length;  // bytes consumed
};

// Decodes one code point from NUL-terminated UTF-8. The NUL (below 0x80) can never be taken for a
// continuation byte, so a sequence cut short by the end of the text ends at the NUL.
DecodedCodePoint DecodeUtf8(const unsigned char* text) {
  const unsigned lead = text[0];
  if (lead < 0x80) return {lead, 1};

  size_t continuation = 0;
  char32_t value = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return {kReplacement, 1};
  }

  for (size_t i = 1; i <= continuation; ++i) {
    const unsigned byte = text[i];
    if (byte < low || byte > high) return {kReplacement, i};
    value = (value << 6) | (byte & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {value, continuation + 1};
}

void AppendUtf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string Utf16ToUtf8(const Utf16Char* text) {
  std::string result;
  if (text == nullptr) return result;
  for (size_t i = 0; text[i] != u'\0'; ++i) {
    const char16_t unit = text[i];
    if (IsHighSurrogate(unit) && IsLowSurrogate(text[i + 1])) {
      AppendUtf8(result, 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      AppendUtf8(result, kReplacement);
    } else {
      AppendUtf8(result, unit);
    }
  }
  return result;
}

Utf16String Utf8ToUtf16(const char* text) {
  Utf16String result;
  if (text == nullptr) return result;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  while (*bytes != '\0') {
    const DecodedCodePoint decoded = DecodeUtf8(bytes);
    bytes += decoded.length;
    if (decoded.value < 0x10000) {
      result += static_cast<char16_t>(decoded.value);
    } else {
      const char32_t offset = decoded.value - 0x10000;
      result += static_cast<char16_t>(0xD800 + (offset >> 10));
      result += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
    }
  }
  return result;
}
