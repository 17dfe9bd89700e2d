// The program entry: Windows hands over its command line text, Linux joins its arguments with
// single spaces into the same form.
#include "launcher/launcher_main.h"

#ifdef _WIN32
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  return LauncherMain(commandLine);
}

#else
#include <string>

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return LauncherMain(commandLine.c_str());
}

#endif
