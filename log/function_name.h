// The function field of a log line, worked out at compile time from the compiler's own
// description of the enclosing function: "void UpdateManager::SetStatus(UpdateState, int, ...)"
// becomes "UpdateManager::SetStatus", a free function keeps its bare name.
#pragma once

#include <cstddef>
#include <string_view>

namespace logging {

// Cuts the return type and the parameter list off a GCC/Clang __PRETTY_FUNCTION__ text. The
// parameter list is the first "(" outside template brackets; a lambda's text names its enclosing
// function first, so lines logged from a lambda carry that function's name.
consteval std::string_view QualifiedName(std::string_view pretty) {
  std::size_t depth = 0;
  std::size_t open = pretty.size();
  for (std::size_t i = 0; i < pretty.size(); ++i) {
    if (pretty[i] == '<') {
      ++depth;
    } else if (pretty[i] == '>') {
      --depth;
    } else if (pretty[i] == '(' && depth == 0) {
      open = i;
      break;
    }
  }
  std::string_view head = pretty.substr(0, open);
  if (const std::size_t space = head.rfind(' '); space != std::string_view::npos) {
    head.remove_prefix(space + 1);
  }
  while (!head.empty() && (head.front() == '*' || head.front() == '&'))
    head.remove_prefix(1);
  return head;
}

// A NUL-terminated copy of a compile-time text, for the "%s" of the line prefix.
template <std::size_t Length>
struct FunctionName {
  char text[Length + 1]{};
};

template <std::size_t Length>
consteval FunctionName<Length> MakeFunctionName(std::string_view name) {
  FunctionName<Length> result;
  for (std::size_t i = 0; i < Length; ++i)
    result.text[i] = name[i];
  return result;
}

}  // namespace logging

// The enclosing function's log name as a static NUL-terminated array. Use inside a function body.
#define VELMORA_FUNCTION_NAME_DECLARE(variable)                                          \
  static constexpr auto variable =                                                       \
      ::logging::MakeFunctionName<::logging::QualifiedName(__PRETTY_FUNCTION__).size()>( \
          ::logging::QualifiedName(__PRETTY_FUNCTION__))
