// Whether the launcher was started to take over from an older one.
#pragma once

// True when the command line contains "--upgrade" anywhere, also inside a longer argument; the
// comparison is case-sensitive. A null command line holds nothing.
bool CommandLineRequestsUpgrade(const char* commandLine);
