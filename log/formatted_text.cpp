#include "log/formatted_text.h"

#include <cstdio>

namespace logging {

FormattedText::FormattedText(const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  inline_[0] = '\0';
  if (length <= 0) return;  // nothing to show, or a format the runtime could not apply

  size_ = static_cast<std::size_t>(length);
  char* target = inline_;
  if (size_ >= kInlineCapacity) {
    heap_ = std::make_unique<char[]>(size_ + 1);
    target = heap_.get();
  }
  std::vsnprintf(target, size_ + 1, format, args);
}

}  // namespace logging
