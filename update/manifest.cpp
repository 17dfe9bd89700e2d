#include "update/manifest.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <unordered_set>

#include "update/document_checks.h"

namespace {

using Json = nlohmann::json;

bool IsSafeComponent(std::string_view component) {
  return !component.empty() && component != "." && component != "..";
}

bool HasForbiddenCharacter(std::string_view path) {
  return HasControlCharacter(path) || path.find_first_of("\\:") != std::string_view::npos;
}

// Sizes are byte counts: a fraction is cut off, a negative number counts as 0, and a value past
// the 64-bit range stops at its largest value. true and false read as 1 and 0; any other type
// fails with the library's type error.
std::int64_t ReadSize(const Json& entry) {
  const auto member = entry.find("size");
  if (member == entry.end()) return 0;
  constexpr auto kLargest = std::numeric_limits<std::int64_t>::max();
  if (member->is_boolean()) return member->get<bool>() ? 1 : 0;
  if (member->is_number_float()) {
    const double value = std::trunc(member->get<double>());
    if (!(value > 0)) return 0;
    return value >= 9.2e18 ? kLargest : static_cast<std::int64_t>(value);
  }
  if (member->is_number_unsigned()) {
    const auto value = member->get<std::uint64_t>();
    return value > static_cast<std::uint64_t>(kLargest) ? kLargest
                                                        : static_cast<std::int64_t>(value);
  }
  const auto value = member->get<std::int64_t>();
  return value < 0 ? 0 : value;
}

// Two paths that differ only in the case of ASCII letters name one file on Windows.
std::string FoldCase(std::string path) {
  for (char& c : path) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return path;
}

ManifestEntry ReadEntry(const Json& element) {
  ManifestEntry entry;
  entry.path = element.value("path", std::string());
  entry.hash = element.value("hash", std::string());
  entry.size = ReadSize(element);
  return entry;
}

}  // namespace

bool IsSafeManifestPath(std::string_view path) {
  if (path.empty() || HasForbiddenCharacter(path)) return false;
  std::size_t start = 0;
  while (true) {
    const std::size_t slash = path.find('/', start);
    const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
    if (!IsSafeComponent(path.substr(start, end - start))) return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

namespace manifest {

void Parse(const std::string& text, std::vector<ManifestEntry>& entries, std::string& version) {
  CheckJsonNesting(text);
  Json document = Json::parse(text);
  version = document.value("version", std::string());
  // Insert-or-find: a missing "files" becomes null, which iterates as no entries.
  const Json& files = document["files"];
  std::unordered_set<std::string> seen;  // paths as a case-insensitive file system sees them
  for (const Json& element : files) {
    ManifestEntry entry = ReadEntry(element);
    if (entry.path.empty()) continue;
    if (!IsSafeManifestPath(entry.path)) {
      throw std::runtime_error("unsafe path in manifest: " + entry.path);
    }
    if (!seen.insert(FoldCase(entry.path)).second) {
      throw std::runtime_error("duplicate path in manifest: " + entry.path);
    }
    entries.push_back(std::move(entry));
  }
}

}  // namespace manifest
