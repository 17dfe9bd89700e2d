// The player's own web browser, for pages the launcher does not show itself.
#pragma once

#include <string>

namespace platform {

// Hands `url` to the player's default web browser, outside the launcher, and returns without
// waiting for the browser. False when nothing could be started to open it. Windows:
// ShellExecuteW with the verb "open". Linux: the program xdg-open, found on PATH, with `url` as
// its one argument (no shell).
bool OpenInDefaultBrowser(const std::string& url);

}  // namespace platform
