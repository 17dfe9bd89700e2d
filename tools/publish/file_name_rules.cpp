#include "tools/publish/file_name_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <string_view>

#include "update/manifest.h"

namespace publish {

namespace {

std::vector<std::string_view> Components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t slash; (slash = path.find('/', start)) != std::string_view::npos;
       start = slash + 1)
    parts.push_back(path.substr(start, slash - start));
  parts.push_back(path.substr(start));
  return parts;
}

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (auto& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool HasForbiddenCharacter(std::string_view name) {
  return std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("<>:\"|?*").find(c) != std::string_view::npos;
  });
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, with any extension.
bool IsReservedDeviceName(std::string_view name) {
  const std::string stem = AsciiUpper(name.substr(0, name.find('.')));
  static constexpr std::array<std::string_view, 4> kPlain{"CON", "PRN", "AUX", "NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), stem) != kPlain.end()) return true;
  return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
         stem[3] >= '1' && stem[3] <= '9';
}

std::string ComponentRefusal(std::string_view name) {
  if (HasForbiddenCharacter(name))
    return "it holds a control character or one of < > : \" | ? *, which Windows does not allow";
  if (name.back() == '.' || name.back() == ' ')
    return "a name ends in a dot or a space, which Windows drops";
  if (IsReservedDeviceName(name)) return "a name is reserved for a device on Windows";
  return {};
}

}  // namespace

std::string PathRefusal(const std::string& path) {
  if (!IsValidUtf8(path)) return "the name is not valid UTF-8";
  if (!IsSafeManifestPath(path))
    return "the launcher refuses it (absolute, a drive letter, a backslash, or an empty, . or .. "
           "part)";
  for (const auto component : Components(path)) {
    std::string refusal = ComponentRefusal(component);
    if (!refusal.empty()) return refusal;
  }
  return {};
}

CaseCollision FindCaseCollision(const std::vector<std::string>& paths) {
  // Folders may share a name that differs only in case (they merge into one); a file may share
  // it with nothing.
  struct Seen {
    std::string name;
    bool isFolder;
  };
  std::map<std::string, Seen> seen;
  auto collides = [&seen](const std::string& name, bool isFolder) {
    const auto [place, inserted] = seen.emplace(AsciiUpper(name), Seen{name, isFolder});
    return !inserted && !(isFolder && place->second.isFolder) && place->second.name != name;
  };
  for (const auto& path : paths) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      const std::string folder = path.substr(0, slash);
      if (collides(folder, true)) return {seen[AsciiUpper(folder)].name, folder};
    }
    if (collides(path, false)) return {seen[AsciiUpper(path)].name, path};
  }
  return {};
}

}  // namespace publish
