#include "log/log.h"

#include <cstdarg>

#include "log/formatted_text.h"
#include "platform/log_transport.h"

int LogFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const logging::FormattedText line(format, args);
  va_end(args);
  LogSendToWindow("%s", line.c_str());
  return static_cast<int>(line.size());
}

void LogSendToWindow(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const logging::FormattedText text(format, args);
  va_end(args);
  platform::SendLogLine(text.c_str(), text.size());
}
