// The registry store under wine: how values of odd sizes and types read, and what a save writes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/settings_store.h"
#include "settings/settings_api.h"
#include "tests/settings/store_sandbox.h"

namespace {

using platform::SettingsKey;
using settings_testing::StoreSandbox;

constexpr wchar_t kLauncherKey[] = L"SOFTWARE\\Velmora\\Launcher";

void PutRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kLauncherKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// Type and size of a stored value; type 0 when there is none.
std::pair<DWORD, DWORD> TypeAndSize(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kLauncherKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
    return {0, 0};
  DWORD type = 0;
  DWORD size = 0;
  RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
  RegCloseKey(key);
  return {type, size};
}

TEST(Registry, TextWithoutItsNulEndsAtTheDataRead) {
  StoreSandbox store;
  // The registry adds a NUL the caller left out when one follows the data in memory, so every
  // source below has another character after the bytes it stores.
  const std::wstring text = L"1280x720#";
  PutRaw(L"Resolution", REG_SZ, text.data(), 16);
  const std::wstring full(257, L'7');  // 512 bytes: the whole buffer, no room for a NUL
  PutRaw(L"Version", REG_SZ, full.data(), 512);
  const std::wstring over(258, L'8');
  PutRaw(L"Other", REG_SZ, over.data(), 514);

  const SettingsKey key = SettingsKey::OpenForReading();
  ASSERT_TRUE(key.IsOpen());
  EXPECT_EQ(key.ReadText("Resolution"), "1280x720");
  EXPECT_EQ(key.ReadText("Version"), std::string(256, '7'));
  EXPECT_EQ(key.ReadText("Other"), std::nullopt);
}

TEST(Registry, NumbersAreReadAsExactlyFourBytesOfAnyType) {
  StoreSandbox store;
  const unsigned char two[2] = {1, 0};
  PutRaw(L"Windowed", REG_BINARY, two, 2);
  const unsigned char eight[8] = {16, 0, 0, 0, 0, 0, 0, 0};
  PutRaw(L"AntiAliasing", REG_BINARY, eight, 8);
  const wchar_t zeroText[] = L"0";  // "0" and its NUL: four bytes, 0x00000030, non-zero
  PutRaw(L"VSync", REG_SZ, zeroText, 4);

  const SettingsKey key = SettingsKey::OpenForReading();
  EXPECT_EQ(key.ReadNumber("Windowed"), std::nullopt);
  EXPECT_EQ(key.ReadNumber("AntiAliasing"), std::nullopt);
  EXPECT_EQ(key.ReadNumber("VSync"), 0x30);
  EXPECT_EQ(API_GetConfig("[]"),
            R"({"resolution":"1920x1080","windowed":false,"vsync":true,"antiAliasing":4,)"
            R"("version":"1.0.0.0"})");
}

TEST(Registry, SaveWritesATextWithItsNulAndFourByteNumbers) {
  StoreSandbox store;
  ASSERT_EQ(API_SaveConfig(R"(["{\"resolution\":\"1280x720\",\"windowed\":true}"])"), "true");
  EXPECT_EQ(TypeAndSize(L"Resolution"), std::make_pair(DWORD{REG_SZ}, DWORD{18}));
  for (const wchar_t* name : {L"Windowed", L"VSync", L"AntiAliasing"})
    EXPECT_EQ(TypeAndSize(name), std::make_pair(DWORD{REG_DWORD}, DWORD{4}));
  EXPECT_EQ(TypeAndSize(L"Version").first, 0u);
}

}  // namespace
