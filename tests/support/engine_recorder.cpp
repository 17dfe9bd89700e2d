// Stands in for the game in tests. When started it appends its arguments (the program path
// first) and then its working folder, one per line in UTF-8, to engine_args.txt in its working
// folder, and exits with 0 (1 when the file cannot be written).
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "platform/text.h"

// The arguments as Unicode: the narrow argv of a Windows program loses what the code page lacks.
std::vector<std::string> Arguments(int, char**) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> result;
  for (int i = 0; i < count; ++i)
    result.push_back(Utf16ToUtf8(arguments[i]));
  LocalFree(arguments);
  return result;
}
#else
std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}
#endif

int main(int argc, char** argv) {
  const std::u8string folder = std::filesystem::current_path().u8string();
  std::string record;
  for (const std::string& argument : Arguments(argc, argv))
    record += argument + '\n';
  record += std::string(folder.begin(), folder.end()) + '\n';
  // One write, so a reader never sees half a record.
  std::ofstream out("engine_args.txt", std::ios::binary | std::ios::app);
  out << record;
  out.close();
  return out ? 0 : 1;
}
