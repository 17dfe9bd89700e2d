// Diagnostic lines for the external log viewer.
//
// Every line reads "LAUNCHER|<level>|<function>[<line>]: <message>\r\n", where level is I or E
// and function is the issuing function, qualified with its class ("UpdateManager::SetStatus").
// A line is handed to the viewer at once and synchronously; without a viewer it is discarded.
// Logging takes no lock and any thread may log.
#pragma once

#include <cstddef>

#include "log/function_name.h"
#include "log/printf_format.h"

// Formats one whole line of any length and hands it to LogSendToWindow. Returns its length.
int LogFormat(const char* format, ...) VELMORA_PRINTF_FORMAT(1, 2);

// Formats its arguments and delivers the text to the viewer, whole, whatever its length.
void LogSendToWindow(const char* format, ...) VELMORA_PRINTF_FORMAT(1, 2);

#define VELMORA_LOG_LINE(level, function, format, ...)                   \
  LogFormat("%s|" level "|%s[%d]: " format "\r\n", "LAUNCHER", function, \
            __LINE__ __VA_OPT__(, ) __VA_ARGS__)

#define VELMORA_LOG(level, format, ...)                                                  \
  do {                                                                                   \
    VELMORA_FUNCTION_NAME_DECLARE(velmoraLogFunction);                                   \
    VELMORA_LOG_LINE(level, velmoraLogFunction.text, format __VA_OPT__(, ) __VA_ARGS__); \
  } while (false)

// The two logging statements; the function field is the enclosing function's name.
#define LogInfo(format, ...) VELMORA_LOG("I", format __VA_OPT__(, ) __VA_ARGS__)
#define LogError(format, ...) VELMORA_LOG("E", format __VA_OPT__(, ) __VA_ARGS__)

// The same with an explicit function field, for code whose lines carry a name other than that of
// the C++ function holding them (the start-up sequence reports as "WinMain" on every platform).
#define LogInfoAs(function, format, ...) \
  VELMORA_LOG_LINE("I", function, format __VA_OPT__(, ) __VA_ARGS__)
#define LogErrorAs(function, format, ...) \
  VELMORA_LOG_LINE("E", function, format __VA_OPT__(, ) __VA_ARGS__)
