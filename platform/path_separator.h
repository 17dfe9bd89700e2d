// How this system joins a folder and a file name.
#pragma once

namespace platform {

// '\\' on Windows, '/' on Linux.
char PathSeparator();

}  // namespace platform
