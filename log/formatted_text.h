// printf formatting into a buffer that grows to the text: a line below 1,024 bytes stays on the
// stack, a longer one gets one heap block of exactly its size.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <memory>

#include "log/printf_format.h"

namespace logging {

class FormattedText {
 public:
  static constexpr std::size_t kInlineCapacity = 1024;

  FormattedText(const char* format, va_list args) VELMORA_PRINTF_FORMAT(2, 0);
  FormattedText(const FormattedText&) = delete;
  FormattedText& operator=(const FormattedText&) = delete;

  const char* c_str() const { return heap_ ? heap_.get() : inline_; }
  std::size_t size() const { return size_; }

 private:
  char inline_[kInlineCapacity];
  std::unique_ptr<char[]> heap_;
  std::size_t size_ = 0;
};

}  // namespace logging
