#include "launcher/upgrade_switch.h"

#include <cstring>

bool CommandLineRequestsUpgrade(const char* commandLine) {
  return commandLine != nullptr && std::strstr(commandLine, "--upgrade") != nullptr;
}
