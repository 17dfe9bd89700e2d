#include <windows.h>

#include "platform/text.h"

std::string Utf16ToUtf8(const Utf16Char* text) {
  if (text == nullptr || *text == L'\0') return {};
  // The measuring call counts the NUL because the input length is given as -1.
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
  result.resize(static_cast<size_t>(size) - 1);
  return result;
}

Utf16String Utf8ToUtf16(const char* text) {
  if (text == nullptr || *text == '\0') return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (size <= 1) return {};
  Utf16String result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, result.data(), size);
  result.resize(static_cast<size_t>(size) - 1);
  return result;
}
