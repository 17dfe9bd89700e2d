// The product's Launcher.exe (this build's, x86_64) as players meet it: started from a folder
// with a space in its name on a machine without the WebView2 runtime (wine has none), and its
// resources as Windows reads them.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "launcher/page_resources.h"
#include "platform/launcher_directory.h"
#include "platform/text.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::LogCapture;
using testing_support::LogMessage;
using testing_support::TempDir;

std::filesystem::path CopyLauncherInto(const TempDir& folder) {
  const std::filesystem::path built =
      std::filesystem::path(Utf8ToUtf16(GetLauncherDirectory().c_str())) / L"Launcher.exe";
  const std::filesystem::path copy = folder.path() / L"Launcher.exe";
  std::filesystem::copy_file(built, copy);
  return copy;
}

std::string TextOf(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return Utf16ToUtf8(text);
}

struct DialogSearch {
  DWORD process = 0;
  HWND dialog = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<DialogSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  if (owner != search->process || !IsWindowVisible(window) ||
      std::wstring(className) != L"#32770") {
    return TRUE;
  }
  search->dialog = window;
  return FALSE;
}

// The message box of `process`, once it is on screen.
HWND WaitForDialog(DWORD process, DWORD timeoutMs) {
  DialogSearch search{process, nullptr};
  for (DWORD waited = 0; search.dialog == nullptr && waited < timeoutMs; waited += 50) {
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.dialog == nullptr) Sleep(50);
  }
  return search.dialog;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM data) {
  wchar_t className[32] = {};
  GetClassNameW(child, className, 32);
  if (std::wstring(className) == L"Static") *reinterpret_cast<std::string*>(data) += TextOf(child);
  return TRUE;
}

std::string MessageOf(HWND dialog) {
  std::string text;
  EnumChildWindows(dialog, CollectStaticText, reinterpret_cast<LPARAM>(&text));
  return text;
}

// What a player saw of a launcher that stopped with an error dialog.
struct DialogRun {
  bool dialogShown = false;
  std::string caption;
  std::string message;
  bool waitedForThePlayer = false;  // still running while the dialog was up
  DWORD exitCode = 0;
};

// Starts the launcher copied into `folder` with `arguments`, waits for its error dialog, reads it,
// presses OK and waits for the launcher to end.
DialogRun RunUntilDialog(const TempDir& folder, const std::filesystem::path& launcher,
                         const std::wstring& arguments) {
  DialogRun run;
  std::wstring commandLine = L"\"" + launcher.wstring() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.path().c_str(), &startup, &process)) {
    return run;
  }
  const HWND dialog = WaitForDialog(process.dwProcessId, 60000);
  if (dialog != nullptr) {
    run.dialogShown = true;
    run.caption = TextOf(dialog);
    run.message = MessageOf(dialog);
    run.waitedForThePlayer = WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  }
  if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
  }
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

TEST(LauncherExe, WithoutTheWebViewRuntimeItSaysSoAndExitsWithOne) {
  LogCapture viewer;
  viewer.Start();
  TempDir folder;
  const std::filesystem::path launcher = CopyLauncherInto(folder);
  const DialogRun run = RunUntilDialog(folder, launcher, L"--verbose now");

  ASSERT_TRUE(run.dialogShown) << "no error dialog appeared";
  EXPECT_EQ(run.caption, "Error");
  EXPECT_NE(run.message.find("WebView2Loader.dll"), std::string::npos) << run.message;
  EXPECT_TRUE(run.waitedForThePlayer)
      << "the launcher must wait for the player to read the message";
  EXPECT_EQ(run.exitCode, 1u);

  const std::vector<LogMessage> lines = viewer.Messages(2);
  ASSERT_EQ(lines.size(), 2u) << "only the start and the failure happened";
  EXPECT_EQ(lines[0].bytes.substr(0, 19), "LAUNCHER|I|WinMain[");
  EXPECT_NE(lines[0].bytes.find("]: Launcher starting with args: --verbose now\r\n"),
            std::string::npos)
      << lines[0].bytes;
  EXPECT_EQ(lines[1].bytes.substr(0, 19), "LAUNCHER|E|WinMain[");
  EXPECT_NE(lines[1].bytes.find("]: Failed to create the web view: WebView2Loader.dll"),
            std::string::npos)
      << lines[1].bytes;
}

// The environment variable `name` set to `value` for as long as this object lives (and for the
// programs started meanwhile).
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const wchar_t* name_;
};

TEST(LauncherExe, ABrokenOrOldWebViewSaysWhatIsWrongWithIt) {
  // The build wrote these files at Linux paths; wine shows the Linux root as drive Z:.
  const struct {
    const char* name;
    std::string loader;      // copied beside the launcher as WebView2Loader.dll
    const wchar_t* runtime;  // VELMORA_FAKE_WEBVIEW2_RUNTIME for the stand-in, or null
    std::string says;        // in the dialog and the log line, after the folder's path
  } cases[] = {
      {"a loader of another architecture", "Z:" X86_LOADER, nullptr,
       "\\WebView2Loader.dll cannot be loaded (error 193: it is not the x64 loader that this "
       "64-bit launcher needs)"},
      {"a runtime too old", "Z:" FAKE_LOADER, L"old",
       "the WebView2 Runtime on this computer (90.0.818.66) is too old; the launcher needs version "
       "91.0.864.35 or later"},
  };
  for (const auto& broken : cases) {
    SCOPED_TRACE(broken.name);
    LogCapture viewer;
    viewer.Start();
    TempDir folder;
    const std::filesystem::path launcher = CopyLauncherInto(folder);
    std::filesystem::copy_file(std::filesystem::path(broken.loader),
                               folder.path() / L"WebView2Loader.dll");
    std::optional<ScopedVariable> runtime;
    if (broken.runtime != nullptr)
      runtime.emplace(L"VELMORA_FAKE_WEBVIEW2_RUNTIME", broken.runtime);
    const DialogRun run = RunUntilDialog(folder, launcher, L"");
    runtime.reset();

    ASSERT_TRUE(run.dialogShown) << "no error dialog appeared";
    EXPECT_EQ(run.caption, "Error");
    EXPECT_NE(run.message.find(broken.says), std::string::npos) << run.message;
    EXPECT_EQ(run.exitCode, 1u);
    const std::vector<LogMessage> lines = viewer.Messages(2);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines.back().bytes.find("]: Failed to create the web view: "), std::string::npos)
        << lines.back().bytes;
    EXPECT_NE(lines.back().bytes.find(broken.says), std::string::npos) << lines.back().bytes;
  }
}

// A resource of `module` as bytes; empty if it is missing.
std::string ResourceBytes(HMODULE module, int id, LPCWSTR type) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {};
  const void* data = LockResource(LoadResource(module, found));
  return {static_cast<const char*>(data), SizeofResource(module, found)};
}

#pragma pack(push, 2)
struct IconGroupHeader {
  WORD reserved;
  WORD type;  // 1: icons
  WORD count;
};
struct IconGroupEntry {
  BYTE width;  // 0 stands for 256
  BYTE height;
  BYTE colors;
  BYTE reserved;
  WORD planes;
  WORD bitsPerPixel;
  DWORD bytes;
  WORD id;  // of the RT_ICON resource holding the image
};
#pragma pack(pop)

TEST(LauncherExe, CarriesItsIconManifestAndPage) {
  TempDir folder;
  const std::filesystem::path launcher = CopyLauncherInto(folder);
  HMODULE module = LoadLibraryExW(launcher.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);

  const std::string group = ResourceBytes(module, 101, RT_GROUP_ICON);
  ASSERT_GE(group.size(), sizeof(IconGroupHeader));
  const auto* header = reinterpret_cast<const IconGroupHeader*>(group.data());
  EXPECT_EQ(header->type, 1);
  ASSERT_EQ(header->count, 6);
  ASSERT_EQ(group.size(), sizeof(IconGroupHeader) + 6 * sizeof(IconGroupEntry));
  const auto* entries = reinterpret_cast<const IconGroupEntry*>(header + 1);
  std::set<int> sizes;
  for (int i = 0; i < header->count; ++i) {
    sizes.insert(entries[i].width == 0 ? 256 : entries[i].width);
    const std::string image = ResourceBytes(module, entries[i].id, RT_ICON);
    EXPECT_EQ(image.size(), entries[i].bytes) << "image " << entries[i].id;
  }
  EXPECT_EQ(sizes, (std::set<int>{16, 24, 32, 48, 64, 256}));
  // The system can pick and decode the small icon the title bar and taskbar use.
  const int small = LookupIconIdFromDirectoryEx(
      reinterpret_cast<PBYTE>(const_cast<char*>(group.data())), TRUE, 32, 32, LR_DEFAULTCOLOR);
  std::string image = ResourceBytes(module, small, RT_ICON);
  HICON icon = CreateIconFromResourceEx(reinterpret_cast<PBYTE>(image.data()),
                                        static_cast<DWORD>(image.size()), TRUE, 0x00030000, 32, 32,
                                        LR_DEFAULTCOLOR);
  EXPECT_NE(icon, nullptr);
  if (icon != nullptr) DestroyIcon(icon);

  const std::string manifest = ResourceBytes(module, 1, RT_MANIFEST);
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\""), std::string::npos)
      << manifest;
  for (const char* awareness :
       {">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">",
        "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">"}) {
    EXPECT_NE(manifest.find(awareness), std::string::npos) << awareness;
  }

  EXPECT_NE(ResourceBytes(module, VELMORA_PAGE_HTML_RESOURCE, RT_RCDATA).find("<html"),
            std::string::npos);
  EXPECT_FALSE(ResourceBytes(module, VELMORA_PAGE_CSS_RESOURCE, RT_RCDATA).empty());
  EXPECT_FALSE(ResourceBytes(module, VELMORA_PAGE_JS_RESOURCE, RT_RCDATA).empty());
  FreeLibrary(module);
}

}  // namespace
