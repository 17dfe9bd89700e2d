// The settings key in the current user's registry, through advapi32.
#include <windows.h>

#include <cwchar>

#include "platform/settings_store.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr wchar_t kKeyPath[] = L"SOFTWARE\\Velmora\\Launcher";
// Text values are read into 512 bytes: 256 UTF-16 units, the NUL included.
constexpr DWORD kTextBufferUnits = 256;

}  // namespace

struct SettingsKey::State {
  HKEY key = nullptr;
};

SettingsKey::SettingsKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
SettingsKey::SettingsKey(SettingsKey&& other) noexcept = default;

SettingsKey::~SettingsKey() {
  Close();
}

SettingsKey SettingsKey::OpenForReading() {
  auto state = std::make_unique<State>();
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &state->key) != ERROR_SUCCESS) {
    state->key = nullptr;
  }
  return SettingsKey(std::move(state));
}

SettingsKey SettingsKey::CreateForWriting() {
  auto state = std::make_unique<State>();
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                      nullptr, &state->key, &disposition) != ERROR_SUCCESS) {
    state->key = nullptr;
  }
  return SettingsKey(std::move(state));
}

bool SettingsKey::IsOpen() const {
  return state_ && state_->key != nullptr;
}

std::optional<std::string> SettingsKey::ReadText(const std::string& name) const {
  if (!IsOpen()) return std::nullopt;
  wchar_t buffer[kTextBufferUnits] = {};
  DWORD size = sizeof(buffer);
  if (RegQueryValueExW(state_->key, Utf8ToUtf16(name.c_str()).c_str(), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // Stored texts need not carry their NUL: the text ends at the end of the data read.
  const std::size_t units = size / sizeof(wchar_t);
  const Utf16String text(buffer, wcsnlen(buffer, units));
  return Utf16ToUtf8(text.c_str());
}

std::optional<std::int32_t> SettingsKey::ReadNumber(const std::string& name) const {
  if (!IsOpen()) return std::nullopt;
  DWORD value = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(state_->key, Utf8ToUtf16(name.c_str()).c_str(), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      size != sizeof(value)) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

bool SettingsKey::WriteText(const std::string& name, const std::string& text) {
  if (!IsOpen()) return false;
  const Utf16String data = Utf8ToUtf16(text.c_str());
  // The stored data holds the NUL.
  const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(state_->key, Utf8ToUtf16(name.c_str()).c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()), size) == ERROR_SUCCESS;
}

bool SettingsKey::WriteNumber(const std::string& name, std::int32_t value) {
  if (!IsOpen()) return false;
  const DWORD data = static_cast<DWORD>(value);
  return RegSetValueExW(state_->key, Utf8ToUtf16(name.c_str()).c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&data), sizeof(data)) == ERROR_SUCCESS;
}

bool SettingsKey::Close() {
  if (!IsOpen()) return true;
  const LSTATUS status = RegCloseKey(state_->key);
  state_->key = nullptr;
  return status == ERROR_SUCCESS;
}

}  // namespace platform
