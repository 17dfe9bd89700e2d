// Where the running launcher lives.
#pragma once

#include <string>

// Full path of the running executable, UTF-8.
std::string GetExecutablePath();

// Folder of the running executable, UTF-8, without a trailing separator.
std::string GetLauncherDirectory();
