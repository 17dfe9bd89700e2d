#include "log/formatted_text.h"

#include <cstdio>

namespace logging {

FormattedText::FormattedText(const char* format, va_list args) {
  // Formatted straight into the inline buffer; only a text that does not fit is formatted a
  // second time, into a heap block of its exact size.
  va_list retry;
  va_copy(retry, args);
  const int length = std::vsnprintf(inline_, kInlineCapacity, format, args);
  if (length <= 0) {  // nothing to show, or a format the runtime could not apply
    inline_[0] = '\0';
  } else {
    size_ = static_cast<std::size_t>(length);
    if (size_ >= kInlineCapacity) {
      heap_ = std::make_unique<char[]>(size_ + 1);
      std::vsnprintf(heap_.get(), size_ + 1, format, retry);
    }
  }
  va_end(retry);
}

}  // namespace logging
