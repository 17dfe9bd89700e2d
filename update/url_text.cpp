#include "update/url_text.h"

namespace {

bool IsUnsafeInUrl(unsigned char byte) {
  if (byte <= 0x20 || byte >= 0x7f) return true;
  switch (byte) {
    case '"':
    case '<':
    case '>':
    case '\\':
    case '^':
    case '`':
    case '{':
    case '|':
    case '}':
      return true;
    default:
      return false;
  }
}

bool IsPlainInPath(unsigned char byte) {
  if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
      (byte >= '0' && byte <= '9')) {
    return true;
  }
  switch (byte) {
    case '/':
    case '-':
    case '.':
    case '_':
    case '~':
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case ';':
    case '=':
    case '@':
      return true;
    default:
      return false;
  }
}

template <typename KeepPlain>
std::string PercentEncode(std::string_view text, KeepPlain keepPlain) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (keepPlain(byte)) {
      result += c;
    } else {
      result += '%';
      result += kHexDigits[byte >> 4];
      result += kHexDigits[byte & 0x0f];
    }
  }
  return result;
}

}  // namespace

std::string EscapeUrl(std::string_view url) {
  return PercentEncode(url, [](unsigned char byte) { return !IsUnsafeInUrl(byte); });
}

std::string EncodeUrlPath(std::string_view path) {
  return PercentEncode(path, IsPlainInPath);
}
