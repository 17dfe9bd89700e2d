// The launcher's settings key: HKEY_CURRENT_USER\SOFTWARE\Velmora\Launcher on Windows. On Linux
// the file $XDG_CONFIG_HOME/Velmora/Launcher.reg (~/.config when the variable is unset), mode
// 0600, in regedit export syntax: "Name"="text" (\" and \\ escaped) and "Name"=dword:0000000a.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// One open key, owned by the operation that opened it. Values are named in UTF-8.
class SettingsKey {
 public:
  // The key opened for reading. IsOpen() is false when it does not exist or cannot be read.
  static SettingsKey OpenForReading();
  // The key created, with everything above it, or opened for writing. IsOpen() is false when
  // that fails; nothing has been changed then.
  static SettingsKey CreateForWriting();

  SettingsKey(SettingsKey&& other) noexcept;
  SettingsKey& operator=(SettingsKey&& other) = delete;
  // Closes the key as Close() does.
  ~SettingsKey();

  bool IsOpen() const;

  // A text value whose data, as UTF-16 with its NUL, fits in 512 bytes; the text ends at its
  // first NUL or at the end of the data. Absent when the value is missing or longer. Windows
  // does not look at the stored type; Linux reads only "text" lines.
  std::optional<std::string> ReadText(const std::string& name) const;
  // A value of exactly 4 bytes as a signed 32-bit integer; absent when missing or of another
  // size. Linux reads only dword lines.
  std::optional<std::int32_t> ReadNumber(const std::string& name) const;

  // Stores a text value (up to its first NUL) or a 32-bit number; false when it was not stored.
  // On Linux the values are kept until Close(), and a text holding a line break is refused:
  // the file's line syntax has no way to write one.
  bool WriteText(const std::string& name, const std::string& text);
  bool WriteNumber(const std::string& name, std::int32_t value);

  // Closes the key; false when that fails. On Linux a key opened for writing first replaces the
  // file with all its values, whole: a temporary file beside it is written, flushed to disk and
  // renamed over it. Values of the file that were not written (Version) are kept as they were.
  // When that fails the file stays as it was before.
  bool Close();

  struct State;

 private:
  explicit SettingsKey(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace platform
