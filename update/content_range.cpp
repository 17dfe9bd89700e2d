#include "update/content_range.h"

#include <cctype>
#include <charconv>

namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Reads the decimal number at the start of `text` and drops it from `text`.
std::optional<std::uint64_t> TakeNumber(std::string_view& text) {
  std::uint64_t value = 0;
  if (text.empty() || !IsDigit(text.front())) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

bool StartsWithUnit(std::string_view text) {
  constexpr std::string_view kUnit = "bytes";
  if (text.size() <= kUnit.size()) return false;
  for (std::size_t i = 0; i < kUnit.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != kUnit[i]) return false;
  return text[kUnit.size()] == ' ';
}

}  // namespace

std::optional<std::uint64_t> ContentRangeStart(std::string_view value) {
  std::string_view text = Trimmed(value);
  if (!StartsWithUnit(text)) return std::nullopt;
  text = Trimmed(text.substr(5));
  const std::optional<std::uint64_t> first = TakeNumber(text);
  if (!first || !TakeChar(text, '-')) return std::nullopt;
  const std::optional<std::uint64_t> last = TakeNumber(text);
  if (!last || *last < *first || !TakeChar(text, '/')) return std::nullopt;
  if (text == "*") return first;
  const std::optional<std::uint64_t> length = TakeNumber(text);
  if (!length || !text.empty() || *last >= *length) return std::nullopt;
  return first;
}
