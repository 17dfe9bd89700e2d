// The settings and game-start operations the page calls. Each takes the request text (the JSON
// array of the page's arguments) and returns a complete JSON text.
#pragma once

#include <string>

std::string API_GetConfig(const std::string& request);
std::string API_SaveConfig(const std::string& request);
std::string API_GetResolutions(const std::string& request);
std::string API_StartGame(const std::string& request);
