// The bridge operations that act on the launcher window itself and report its version.
#pragma once

#include <string>

// Minimises the main window (nothing while there is none); replies "true".
std::string API_MinimizeWindow(const std::string& request);
// Asks the main window to close once this call has returned; replies "true".
std::string API_CloseWindow(const std::string& request);
// Replies the launcher's version as a JSON string ("\"1.0.3\""); logs nothing.
std::string API_GetLauncherVersion(const std::string& request);
