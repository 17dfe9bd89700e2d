#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/text.h"
#include "tests/settings/store_sandbox.h"

namespace settings_testing {

namespace {

constexpr wchar_t kVelmoraKey[] = L"SOFTWARE\\Velmora";
constexpr wchar_t kLauncherKey[] = L"SOFTWARE\\Velmora\\Launcher";

void SetValue(const std::string& name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kLauncherKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key, Utf8ToUtf16(name.c_str()).c_str(), 0, type, static_cast<const BYTE*>(data),
                 size);
  RegCloseKey(key);
}

std::string Quoted(const std::string& text) {
  std::string result = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') result += '\\';
    result += c;
  }
  return result + "\"";
}

}  // namespace

class StoreSandbox::Impl {};

StoreSandbox::StoreSandbox() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kVelmoraKey);
}

StoreSandbox::~StoreSandbox() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kVelmoraKey);
}

void StoreSandbox::PutText(const std::string& name, const std::string& text) {
  const Utf16String data = Utf8ToUtf16(text.c_str());
  SetValue(name, REG_SZ, data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void StoreSandbox::PutNumber(const std::string& name, std::uint32_t value) {
  const DWORD data = value;
  SetValue(name, REG_DWORD, &data, sizeof(data));
}

std::optional<std::string> StoreSandbox::Exported(const std::string& name) const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kLauncherKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return std::nullopt;
  std::vector<BYTE> data(65536);
  DWORD size = static_cast<DWORD>(data.size());
  DWORD type = 0;
  const LSTATUS status =
      RegQueryValueExW(key, Utf8ToUtf16(name.c_str()).c_str(), nullptr, &type, data.data(), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  if (type == REG_DWORD && size == 4) {
    DWORD value = 0;
    std::memcpy(&value, data.data(), 4);
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%08lx", static_cast<unsigned long>(value));
    return std::string("dword:") + digits;
  }
  if (type == REG_SZ) {
    Utf16String text(reinterpret_cast<const wchar_t*>(data.data()), size / sizeof(wchar_t));
    return Quoted(Utf16ToUtf8(text.c_str()));
  }
  return "type:" + std::to_string(type);
}

void StoreSandbox::BlockKeyCreation() {
  // A key that lives only in memory cannot hold the launcher's lasting one.
  RegDeleteTreeW(HKEY_CURRENT_USER, kVelmoraKey);
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kVelmoraKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE,
                      nullptr, &key, nullptr) == ERROR_SUCCESS) {
    RegCloseKey(key);
  }
}

}  // namespace settings_testing
