// The name this computer goes by, which keys the display record handed to the game.
#pragma once

#include <string>

namespace platform {

// Windows: GetComputerNameA into a 16-byte buffer (at most 15 characters). Linux: the host name
// in upper case, at most its first 15 bytes. Empty when the name cannot be read.
std::string MachineName();

}  // namespace platform
