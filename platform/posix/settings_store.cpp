// The settings key as a small file in the user's configuration folder, one value per line in
// regedit export syntax. The file is only ever replaced whole, never written in place.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/safe_write.h"
#include "platform/settings_store.h"
#include "platform/text.h"

namespace platform {

namespace {

// The first line of a new file says which registry key the file stands for.
constexpr char kKeyLine[] = "[HKEY_CURRENT_USER\\SOFTWARE\\Velmora\\Launcher]";
constexpr char kNumberPrefix[] = "dword:";
constexpr std::size_t kNumberDigits = 8;
// Text values are limited as the registry reads them: 512 bytes of UTF-16 with the NUL.
constexpr std::size_t kMaxTextBytes = 512;

std::string ConfigHome() {
  const char* configured = std::getenv("XDG_CONFIG_HOME");
  if (configured != nullptr && configured[0] == '/') return configured;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  const passwd* user = getpwuid(getuid());
  if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/')
    return std::string(user->pw_dir) + "/.config";
  return {};
}

std::string SettingsFolder() {
  const std::string home = ConfigHome();
  return home.empty() ? std::string() : home + "/Velmora";
}

std::string SettingsFilePath(const std::string& folder) {
  return folder.empty() ? std::string() : folder + "/Launcher.reg";
}

enum class ReadOutcome { Read, Missing, Failed };

// Only a regular file is read: a pipe or device in its place is never opened in a way that
// could block the window.
ReadOutcome ReadWholeFile(const std::string& path, std::string& content) {
  if (path.empty()) return ReadOutcome::Failed;
  FileStatus status;
  ReadableFile file = ReadableFile::OpenPath(path, status);
  if (!file.IsOpen()) {
    return status.problem == FileProblem::Missing ? ReadOutcome::Missing : ReadOutcome::Failed;
  }
  char chunk[4096];
  while (true) {
    const std::ptrdiff_t count = file.Read(chunk, sizeof(chunk));
    if (count < 0) return ReadOutcome::Failed;
    if (count == 0) return ReadOutcome::Read;
    content.append(chunk, static_cast<std::size_t>(count));
  }
}

std::vector<std::string> SplitLines(const std::string& content) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();  // edited on Windows
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// A double-quoted text starting at text[at], with \" and \\ undone; `at` ends past the closing
// quote. Absent when the text does not start with a quote or is not closed.
std::optional<std::string> ParseQuoted(std::string_view text, std::size_t& at) {
  if (at >= text.size() || text[at] != '"') return std::nullopt;
  std::string result;
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      at = i + 1;
      return result;
    }
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) ++i;
    result += text[i];
  }
  return std::nullopt;
}

std::string Quote(std::string_view text) {
  std::string result = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') result += '\\';
    result += c;
  }
  return result + "\"";
}

// The data part of a line that names `name` ("Name"=<data>), or absent for any other line.
std::optional<std::string_view> DataOf(std::string_view line, const std::string& name) {
  std::size_t at = 0;
  const std::optional<std::string> lineName = ParseQuoted(line, at);
  if (!lineName || *lineName != name || at >= line.size() || line[at] != '=') return std::nullopt;
  return line.substr(at + 1);
}

std::optional<std::string> ParseTextData(std::string_view data) {
  std::size_t at = 0;
  std::optional<std::string> text = ParseQuoted(data, at);
  if (!text || at != data.size()) return std::nullopt;
  return text;
}

std::optional<std::int32_t> ParseNumberData(std::string_view data) {
  const std::string_view prefix = kNumberPrefix;
  if (data.size() != prefix.size() + kNumberDigits || data.substr(0, prefix.size()) != prefix)
    return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : data.substr(prefix.size())) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value);
}

std::string NumberLine(const std::string& name, std::int32_t value) {
  char digits[kNumberDigits + 1];
  std::snprintf(digits, sizeof(digits), "%08x", static_cast<std::uint32_t>(value));
  return Quote(name) + "=" + kNumberPrefix + digits;
}

bool EnsureFolder(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ignored);
  if (mkdir(folder.c_str(), S_IRWXU) != 0 && errno != EEXIST) return false;
  struct stat info {};
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A save that a crash interrupted leaves its temporary file; it is removed once nobody holds it.
void RemoveLeftoverOf(const std::string& path) {
  if (!path.empty()) RemoveStrayTemporaryFile(TemporaryPathFor(path));
}

}  // namespace

struct SettingsKey::State {
  bool open = false;
  bool forWriting = false;
  bool changed = false;
  std::string folder;
  std::string path;
  std::vector<std::string> lines;

  // The data of the last line naming `name`: a later line overrides an earlier one.
  std::optional<std::string_view> Find(const std::string& name) const {
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
      if (const auto data = DataOf(*line, name)) return data;
    }
    return std::nullopt;
  }

  // Puts `line` where `name` was first defined, drops its other definitions, or appends it.
  void Store(const std::string& name, std::string line) {
    if (lines.empty()) lines.push_back(kKeyLine);
    bool placed = false;
    for (auto it = lines.begin(); it != lines.end();) {
      if (!DataOf(*it, name)) {
        ++it;
      } else if (!placed) {
        *it++ = line;
        placed = true;
      } else {
        it = lines.erase(it);
      }
    }
    if (!placed) lines.push_back(std::move(line));
    changed = true;
  }
};

SettingsKey::SettingsKey(std::unique_ptr<State> state) : state_(std::move(state)) {}
SettingsKey::SettingsKey(SettingsKey&& other) noexcept = default;

SettingsKey::~SettingsKey() {
  Close();
}

SettingsKey SettingsKey::OpenForReading() {
  auto state = std::make_unique<State>();
  state->folder = SettingsFolder();
  state->path = SettingsFilePath(state->folder);
  RemoveLeftoverOf(state->path);
  std::string content;
  state->open = ReadWholeFile(state->path, content) == ReadOutcome::Read;
  state->lines = SplitLines(content);
  return SettingsKey(std::move(state));
}

SettingsKey SettingsKey::CreateForWriting() {
  auto state = std::make_unique<State>();
  state->folder = SettingsFolder();
  state->path = SettingsFilePath(state->folder);
  state->forWriting = true;
  RemoveLeftoverOf(state->path);
  std::string content;
  // A file that exists but cannot be read is never overwritten: its values would be lost.
  state->open =
      EnsureFolder(state->folder) && ReadWholeFile(state->path, content) != ReadOutcome::Failed;
  state->lines = SplitLines(content);
  return SettingsKey(std::move(state));
}

bool SettingsKey::IsOpen() const {
  return state_ && state_->open;
}

std::optional<std::string> SettingsKey::ReadText(const std::string& name) const {
  if (!IsOpen()) return std::nullopt;
  const auto data = state_->Find(name);
  if (!data) return std::nullopt;
  std::optional<std::string> text = ParseTextData(*data);
  if (!text) return std::nullopt;
  text->resize(text->find('\0') == std::string::npos ? text->size() : text->find('\0'));
  const std::size_t bytes = (Utf8ToUtf16(text->c_str()).size() + 1) * 2;
  if (bytes > kMaxTextBytes) return std::nullopt;
  return text;
}

std::optional<std::int32_t> SettingsKey::ReadNumber(const std::string& name) const {
  if (!IsOpen()) return std::nullopt;
  const auto data = state_->Find(name);
  return data ? ParseNumberData(*data) : std::nullopt;
}

bool SettingsKey::WriteText(const std::string& name, const std::string& text) {
  if (!IsOpen() || !state_->forWriting) return false;
  const std::string stored = text.substr(0, text.find('\0'));  // as the registry stores it
  if (stored.find_first_of("\r\n") != std::string::npos) return false;
  state_->Store(name, Quote(name) + "=" + Quote(stored));
  return true;
}

bool SettingsKey::WriteNumber(const std::string& name, std::int32_t value) {
  if (!IsOpen() || !state_->forWriting) return false;
  state_->Store(name, NumberLine(name, value));
  return true;
}

bool SettingsKey::Close() {
  if (!IsOpen()) return true;
  State& state = *state_;
  state.open = false;
  if (!state.forWriting || !state.changed) return true;
  std::string content;
  for (const std::string& line : state.lines)
    content += line + "\n";
  return ReplaceFileContent(state.path, content, ReplacingFile::Access::OwnerOnly);
}

}  // namespace platform
