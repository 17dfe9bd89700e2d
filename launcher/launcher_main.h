// The whole life of the launcher process, from its command line to its exit code.
#pragma once

// Runs the launcher: optional upgrade hand-over, the borderless page window, the page's bridge,
// the message loop. Returns the process exit code: 0 after the window closed or when the
// hand-over ends this process, 1 when the window cannot be created or the page is missing.
int LauncherMain(const char* commandLine);
