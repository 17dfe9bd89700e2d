#include "platform/process.h"

namespace platform {

std::string FormatCommandLine(const CommandLine& commandLine) {
  std::string text =
      commandLine.quoteProgram ? "\"" + commandLine.program + "\"" : commandLine.program;
  for (const std::string& argument : commandLine.arguments)
    text += " " + argument;
  return text;
}

}  // namespace platform
