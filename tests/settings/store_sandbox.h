// The settings store as a test sees it: empty when the test starts, gone when it ends, and read
// or written here directly, without the launcher's own store code. Linux points XDG_CONFIG_HOME
// at a fresh folder; Windows deletes HKCU\SOFTWARE\Velmora (the key is shared by the whole wine
// prefix, so programs using this run one at a time).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace settings_testing {

class StoreSandbox {
 public:
  StoreSandbox();
  ~StoreSandbox();
  StoreSandbox(const StoreSandbox&) = delete;
  StoreSandbox& operator=(const StoreSandbox&) = delete;

  // Stores a value as another program would: a text (with its NUL on Windows), a number.
  void PutText(const std::string& name, const std::string& text);
  void PutNumber(const std::string& name, std::uint32_t value);
  // The stored value in regedit syntax: "text" (\" and \\ escaped) or dword:0000000a (other
  // registry types as type:<n>); absent when there is none.
  std::optional<std::string> Exported(const std::string& name) const;
  // From now on the key cannot be created for writing.
  void BlockKeyCreation();

  class Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace settings_testing
